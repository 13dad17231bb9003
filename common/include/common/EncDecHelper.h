// Conversions of byte content between memory streams, OLE variant byte
// arrays and Base64 text; multi-line text to and from Base64; repair of XML
// element names that begin with a digit.  A class of class methods.
#pragma once

#include "common/MemoryStream.h"
#include "common/OleVariant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TEncDecHelper {
public:
    TEncDecHelper() = delete;

    // Whole content of srcStream (from its first byte) as a one-dimensional
    // safe array of bytes, bounds 0..size-1; no elements for null or empty.
    static TOleVariant GetSegmentDATA(const TMemoryStream* srcStream);
    // A new stream (position 0) with the bytes of the variant byte array, or
    // null for a Null variant.  Raises EFrameworkError when DATA is not a
    // one-dimensional byte array; ImageStream is then null.
    static void SetSegmentDATA(const VARIANT& DATA, std::unique_ptr<TMemoryStream>& ImageStream);
    // Decodes s (through the ANSI code page) and writes the bytes at the
    // stream's position, which ends after them.
    static void SetStreamFromBase64String(const std::wstring& s, TMemoryStream& ImageStream);
    // Base64 of the bytes from the stream's position to its end (the position
    // ends at the end, as after reading them).
    static std::wstring GetBase64String(TMemoryStream& srcStream);
    static std::wstring GetBase64StringFromBA(const std::vector<uint8_t>& srcBA);
    // Lines of s in the ANSI code page, each ended by CR LF, no BOM, in Base64.
    static std::wstring GetBase64StringFromString(const std::wstring& s);
    // Decoded text (BOM decides the encoding, else ANSI), every line ending in CR LF.
    static std::wstring SetStringFromBase64String(const std::wstring& s);
    // Prefixes nodeName to element names that begin with a digit; 0 or -1.
    static int32_t CorrectXMLDigitNodes(const std::wstring& filename, const std::wstring& nodeName);
};
