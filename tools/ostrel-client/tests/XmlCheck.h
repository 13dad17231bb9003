#pragma once
// A strict checker of the XML the SVG writer produces: an optional XML
// declaration, one root element, elements with double- or single-quoted
// attributes (no duplicates), text with the five predefined entities or
// character references only, matching end tags, nothing after the root.
#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace xmlcheck {

struct TElement {
    std::string Name;
    std::map<std::string, std::string> Attrs;
    std::string Text;  // direct text content, entities resolved
    int Depth = 0;
};

class TParser {
public:
    explicit TParser(const std::string& doc) : D(doc) {}

    // Empty on success, else what is wrong and where.
    std::string Parse(std::vector<TElement>& out) {
        Out = &out;
        out.clear();
        if (D.compare(0, 5, "<?xml") == 0) {
            const size_t e = D.find("?>");
            if (e == std::string::npos) return Err("unterminated XML declaration");
            P = e + 2;
        }
        SkipSpace();
        if (!Element(0)) return Error;
        SkipSpace();
        if (P != D.size()) return Err("content after the root element");
        return {};
    }

private:
    const std::string& D;
    size_t P = 0;
    std::vector<TElement>* Out = nullptr;
    std::string Error;

    bool Fail(const std::string& what) {
        Error = Err(what);
        return false;
    }
    std::string Err(const std::string& what) const { return what + " at offset " + std::to_string(P); }
    void SkipSpace() {
        while (P < D.size() && std::isspace(static_cast<unsigned char>(D[P]))) ++P;
    }
    static bool NameChar(char c, bool first) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
               (!first && (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'));
    }
    bool Name(std::string& name) {
        const size_t s = P;
        if (P >= D.size() || !NameChar(D[P], true)) return Fail("name expected");
        while (P < D.size() && NameChar(D[P], false)) ++P;
        name = D.substr(s, P - s);
        return true;
    }
    // Text up to `stop`, entities resolved; '<' is never allowed in it.
    bool Chars(char stop, std::string& text) {
        while (P < D.size() && D[P] != stop) {
            const char c = D[P];
            if (c == '<') return Fail("'<' in text or attribute");
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t')
                return Fail("control character");
            if (c == '&') {
                const size_t e = D.find(';', P);
                if (e == std::string::npos) return Fail("bare '&'");
                const std::string ent = D.substr(P + 1, e - P - 1);
                if (ent == "amp") text += '&';
                else if (ent == "lt") text += '<';
                else if (ent == "gt") text += '>';
                else if (ent == "quot") text += '"';
                else if (ent == "apos") text += '\'';
                else if (ent.size() > 1 && ent[0] == '#') text += '?';
                else return Fail("unknown entity &" + ent + ";");
                P = e + 1;
                continue;
            }
            text += c;
            ++P;
        }
        return true;
    }
    bool Element(int depth) {
        if (P >= D.size() || D[P] != '<') return Fail("'<' expected");
        ++P;
        TElement el;
        el.Depth = depth;
        if (!Name(el.Name)) return false;
        const size_t index = Out->size();
        Out->push_back(el);
        for (;;) {
            const size_t before = P;
            SkipSpace();
            if (P >= D.size()) return Fail("unterminated start tag");
            if (D.compare(P, 2, "/>") == 0) {
                P += 2;
                return true;
            }
            if (D[P] == '>') {
                ++P;
                break;
            }
            if (P == before) return Fail("space expected before an attribute");
            std::string name, value;
            if (!Name(name)) return false;
            if (P >= D.size() || D[P] != '=') return Fail("'=' expected");
            ++P;
            if (P >= D.size() || (D[P] != '"' && D[P] != '\'')) return Fail("quoted value expected");
            const char q = D[P++];
            if (!Chars(q, value)) return false;
            if (P >= D.size()) return Fail("unterminated attribute value");
            ++P;
            if (!(*Out)[index].Attrs.emplace(name, value).second) return Fail("duplicate attribute " + name);
        }
        for (;;) {
            std::string text;
            if (!Chars('<', text)) return false;
            (*Out)[index].Text += text;
            if (P >= D.size()) return Fail("unterminated element " + (*Out)[index].Name);
            if (D.compare(P, 2, "</") == 0) {
                P += 2;
                std::string name;
                if (!Name(name)) return false;
                if (name != (*Out)[index].Name) return Fail("end tag " + name + " closes " + (*Out)[index].Name);
                SkipSpace();
                if (P >= D.size() || D[P] != '>') return Fail("'>' expected");
                ++P;
                return true;
            }
            if (!Element(depth + 1)) return false;
        }
    }
};

inline std::string Check(const std::string& doc, std::vector<TElement>& elements) {
    return TParser(doc).Parse(elements);
}

}  // namespace xmlcheck
