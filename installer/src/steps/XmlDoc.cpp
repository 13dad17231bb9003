#include "XmlDoc.h"

#include "common/Errors.h"
#include "common/OleVariant.h"
#include "common/Win32Error.h"

#include <cwchar>

namespace installer::xml {
namespace {

// MinGW ships msxml2.h without the newer class ids: the ones tried, newest first.
constexpr CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr CLSID kDomDocument26 = {0xf5078f1b, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr IID kIidDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr IID kIidDomElement = {0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

std::wstring HrText(HRESULT hr) {
    wchar_t code[16];
    std::swprintf(code, 16, L"%08lX", static_cast<unsigned long>(hr));
    std::wstring sys = SysErrorMessage(static_cast<DWORD>(hr));
    return sys.empty() ? std::wstring(L"0x") + code : sys + L" (0x" + code + L")";
}

void Check(HRESULT hr, const wchar_t* what) {
    if (FAILED(hr)) throw EFrameworkError(std::wstring(L"XML: ") + what + L": " + HrText(hr));
}

std::wstring Trimmed(const wchar_t* s) {
    std::wstring t = s ? s : L"";
    while (!t.empty() && (t.back() == L'\r' || t.back() == L'\n' || t.back() == L' ' || t.back() == L'.'))
        t.pop_back();
    return t;
}

TComPtr<IXMLDOMDocument> NewDocument() {
    TComPtr<IXMLDOMDocument> doc;
    HRESULT hr = E_FAIL;
    for (const CLSID* clsid : {&kDomDocument60, &kDomDocument30, &kDomDocument26}) {
        hr = ::CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument, doc.put_void());
        if (SUCCEEDED(hr)) return doc;
    }
    Check(hr, L"cannot create the XML document");
    return doc;
}

TOleVariant PathVariant(const std::wstring& path) {
    TOleVariant v;
    V_VT(&v.get()) = VT_BSTR;
    V_BSTR(&v.get()) = ::SysAllocString(path.c_str());
    return v;
}

}  // namespace

TComPtr<IXMLDOMDocument> Load(const std::wstring& FileName, bool PreserveWhiteSpace) {
    TComPtr<IXMLDOMDocument> doc = NewDocument();
    Check(doc->put_async(VARIANT_FALSE), L"async");
    doc->put_resolveExternals(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    doc->put_preserveWhiteSpace(PreserveWhiteSpace ? VARIANT_TRUE : VARIANT_FALSE);
    TOleVariant source = PathVariant(FileName);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = doc->load(source.get(), &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        std::wstring reason;
        TComPtr<IXMLDOMParseError> err;
        TBStr text;
        long line = 0, pos = 0;
        if (SUCCEEDED(doc->get_parseError(err.put())) && err) {
            if (SUCCEEDED(err->get_reason(text.put()))) reason = Trimmed(text.c_str());
            err->get_line(&line);
            err->get_linepos(&pos);
        }
        if (reason.empty()) reason = FAILED(hr) ? HrText(hr) : L"the document is not loaded";
        if (line > 0) reason += L" (line " + std::to_wstring(line) + L", column " + std::to_wstring(pos) + L")";
        throw EFrameworkError(reason + L": " + FileName);
    }
    return doc;
}

void Save(IXMLDOMDocument* Doc, const std::wstring& FileName) {
    TOleVariant target = PathVariant(FileName);
    HRESULT hr = Doc->save(target.get());
    if (FAILED(hr)) throw EFrameworkError(L"Cannot save " + FileName + L": " + HrText(hr));
}

TComPtr<IXMLDOMNode> FirstChild(IXMLDOMNode* Parent) {
    TComPtr<IXMLDOMNode> node;
    if (!Parent || FAILED(Parent->get_firstChild(node.put()))) return nullptr;
    return node;
}

TComPtr<IXMLDOMNode> ChildByName(IXMLDOMNode* Parent, const wchar_t* Name) {
    TComPtr<IXMLDOMNode> node = FirstChild(Parent);
    while (node) {
        TBStr name;
        if (SUCCEEDED(node->get_nodeName(name.put())) && std::wcscmp(name.c_str(), Name) == 0) return node;
        TComPtr<IXMLDOMNode> next;
        if (FAILED(node->get_nextSibling(next.put()))) return nullptr;
        node = next;
    }
    return nullptr;
}

bool IsElement(IXMLDOMNode* Node) {
    DOMNodeType type = NODE_INVALID;
    return Node && SUCCEEDED(Node->get_nodeType(&type)) && type == NODE_ELEMENT;
}

long ChildCount(IXMLDOMNode* Parent) {
    TComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (!Parent || FAILED(Parent->get_childNodes(children.put())) || !children ||
        FAILED(children->get_length(&count)))
        return 0;
    return count;
}

TComPtr<IXMLDOMNode> ChildAt(IXMLDOMNode* Parent, long Index) {
    TComPtr<IXMLDOMNodeList> children;
    TComPtr<IXMLDOMNode> node;
    if (!Parent || FAILED(Parent->get_childNodes(children.put())) || !children ||
        FAILED(children->get_item(Index, node.put())))
        return nullptr;
    return node;
}

std::wstring Text(IXMLDOMNode* Node) {
    TBStr text;
    Check(Node->get_text(text.put()), L"text");
    return text.c_str();
}

void SetText(IXMLDOMNode* Node, const std::wstring& Value) {
    TBStr text(Value.c_str());
    Check(Node->put_text(text.get()), L"text");
}

std::wstring Attribute(IXMLDOMNode* Node, const wchar_t* Name, bool& Found) {
    Found = false;
    TComPtr<IXMLDOMElement> element;
    if (!Node || FAILED(Node->QueryInterface(kIidDomElement, element.put_void())) || !element) return L"";
    TBStr name(Name);
    TOleVariant value;
    if (element->getAttribute(name.get(), value.put()) != S_OK || value.Type() != VT_BSTR) return L"";
    Found = true;
    return V_BSTR(&value.get()) ? V_BSTR(&value.get()) : L"";
}

}  // namespace installer::xml

