// The platform's XML parser (MSXML through COM) for the release file list and
// the release information file.
#pragma once

#include "common/Handles.h"

#include <msxml2.h>
#include <string>

namespace installer::xml {

// Loads FileName synchronously, external entities not resolved.  Raises
// EFrameworkError with the parser's reason when the file is missing or not
// well-formed.  PreserveWhiteSpace keeps the layout for a later save.
TComPtr<IXMLDOMDocument> Load(const std::wstring& FileName, bool PreserveWhiteSpace);
// Saves Doc to FileName; raises EFrameworkError when that fails.
void Save(IXMLDOMDocument* Doc, const std::wstring& FileName);
// The first child of Parent whose node name is Name (any node type), or null.
TComPtr<IXMLDOMNode> ChildByName(IXMLDOMNode* Parent, const wchar_t* Name);
// The first child node of Parent, or null.
TComPtr<IXMLDOMNode> FirstChild(IXMLDOMNode* Parent);
// Child nodes of Parent (any type) in document order.
long ChildCount(IXMLDOMNode* Parent);
TComPtr<IXMLDOMNode> ChildAt(IXMLDOMNode* Parent, long Index);
bool IsElement(IXMLDOMNode* Node);
// Text content (descendants' text joined).
std::wstring Text(IXMLDOMNode* Node);
void SetText(IXMLDOMNode* Node, const std::wstring& Value);
// Value of an attribute of an element; Found tells whether it is there.
std::wstring Attribute(IXMLDOMNode* Node, const wchar_t* Name, bool& Found);

}  // namespace installer::xml
