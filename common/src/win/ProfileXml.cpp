#include "ProfileXml.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/OleVariant.h"

#include <msxml2.h>

namespace profile_xml {
namespace {

// MinGW ships msxml2.h without the newer class ids: the ones tried, newest first.
constexpr CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr CLSID kDomDocument26 = {0xf5078f1b, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr IID kIidDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

[[noreturn]] void Fail(const std::wstring& text) { throw EFrameworkError(text); }

void Check(HRESULT hr, const wchar_t* what) {
    if (FAILED(hr)) {
        wchar_t code[16];
        ::swprintf(code, 16, L"%08lX", static_cast<unsigned long>(hr));
        Fail(std::wstring(L"Ошибка XML: ") + what + L" (0x" + code + L")");
    }
}

TComPtr<IXMLDOMDocument> NewDocument() {
    TComPtr<IXMLDOMDocument> doc;
    HRESULT hr = E_FAIL;
    for (const CLSID* clsid : {&kDomDocument60, &kDomDocument30, &kDomDocument26}) {
        hr = ::CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument, doc.put_void());
        if (SUCCEEDED(hr)) return doc;
    }
    Check(hr, L"не удается создать XML-документ");
    return doc;
}

std::wstring Trimmed(const wchar_t* s) {
    std::wstring t = s ? s : L"";
    while (!t.empty() && (t.back() == L'\r' || t.back() == L'\n' || t.back() == L' ')) t.pop_back();
    return t;
}

}  // namespace

TProfileTexts ReadDataXml(const std::wstring& path) {
    TComInit com;  // the caller's apartment when it has one
    TComPtr<IXMLDOMDocument> doc = NewDocument();
    Check(doc->put_async(VARIANT_FALSE), L"async");
    TOleVariant source;
    V_VT(&source.get()) = VT_BSTR;
    V_BSTR(&source.get()) = ::SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = doc->load(source.get(), &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        std::wstring reason;
        TComPtr<IXMLDOMParseError> err;
        TBStr text;
        if (SUCCEEDED(doc->get_parseError(err.put())) && err && SUCCEEDED(err->get_reason(text.put())))
            reason = Trimmed(text.get());
        if (reason.empty()) reason = L"документ не загружен";
        Fail(L"Ошибка загрузки XML-документа \"" + path + L"\": " + reason);
    }
    TComPtr<IXMLDOMElement> root;
    TBStr rootName;
    if (FAILED(doc->get_documentElement(root.put())) || !root || FAILED(root->get_nodeName(rootName.put())) ||
        std::wstring(rootName.c_str()) != L"ROOT")
        Fail(L"В XML-документе \"" + path + L"\" нет элемента ROOT");

    TProfileTexts texts;
    struct {
        const wchar_t* name;
        std::wstring* out;
        bool found;
    } wanted[] = {{L"Name", &texts.Name, false},
                  {L"Password", &texts.Password, false},
                  {L"Zone", &texts.Zone, false},
                  {L"PhoneNumber", &texts.PhoneNumber, false}};
    TComPtr<IXMLDOMNodeList> children;
    Check(root->get_childNodes(children.put()), L"childNodes");
    long count = 0;
    Check(children->get_length(&count), L"length");
    for (long i = 0; i < count; ++i) {
        TComPtr<IXMLDOMNode> node;
        if (FAILED(children->get_item(i, node.put())) || !node) continue;
        DOMNodeType type = NODE_INVALID;
        if (FAILED(node->get_nodeType(&type)) || type != NODE_ELEMENT) continue;
        TBStr name;
        if (FAILED(node->get_nodeName(name.put()))) continue;
        for (auto& w : wanted) {
            if (w.found || std::wstring(name.c_str()) != w.name) continue;
            TBStr value;
            Check(node->get_text(value.put()), L"text");
            *w.out = value.c_str();
            w.found = true;
        }
    }
    return texts;
}

}  // namespace profile_xml
