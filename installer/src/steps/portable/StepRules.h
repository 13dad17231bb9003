// Platform-free rules of the deployment steps: which file-list entries stay
// inside their folder, the shortcut file name, the release file version
// number and the regional text of a floating-point value.
#pragma once

#include <string>

namespace installer::rules {

// True when Entry, a path taken from the release file list and appended to a
// folder, names a file strictly below that folder: a relative path of plain
// names, "\" or "/" separated.  Refused: an empty path; a leading separator
// (rooted or UNC path); a ":" anywhere (drive letter, drive-relative path,
// stream name); a component ".." that climbs above the folder; a component of
// dots and blanks only (other than "."), since Windows trims such names;
// characters that are not valid in file names; device names (CON, NUL, COM1
// ...); a path whose last component is "." or that ends with a separator.
bool IsContainedRelativePath(const std::wstring& Entry);

// The shortcut's file name: LinkName when not empty, else FileName; the text
// after the last dot of the name part replaced by "lnk" (".lnk" appended when
// the name part has no dot); only the part after the last "\" or ":".
std::wstring ShortcutFileName(const std::wstring& FileName, const std::wstring& LinkName);

// The text of an integer as the release file holds it: optional blanks
// around, optional sign, decimal digits, within the 32-bit range.  Raises
// EFrameworkError "'<text>' is not a valid integer value" otherwise.
int ParseInteger(const std::wstring& Text);

// The shortest decimal text of Value with up to 15 significant digits, with
// DecimalSeparator in place of the point: 1.0 gives "1", 1.5 gives "1,5"
// with a comma.  Very large or small magnitudes use an exponent ("1E20").
std::wstring FloatText(double Value, const std::wstring& DecimalSeparator);

}  // namespace installer::rules
