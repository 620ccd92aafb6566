// A small checking XML reader for the tests: it accepts a well-formed
// document (an optional declaration, comments, one root element, properly
// nested and closed elements, quoted and unique attributes, only the five
// predefined and numeric character references, no raw '<' or '&' in text or
// attribute values) and answers its element tree with references decoded.
#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace xml_check {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;  // the character data directly inside, decoded
    std::vector<Element> children;

    std::string attribute(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }
};

class Reader {
public:
    explicit Reader(const std::string& text) : s_(text) {}

    // The root element, or false with `error` set.
    bool parse(Element& root) {
        skip_misc(true);
        if (!error_.empty()) return false;
        if (!element(root)) return false;
        skip_misc(false);
        if (error_.empty() && i_ != s_.size()) fail("content after the root element");
        return error_.empty();
    }
    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& why) {
        if (error_.empty()) error_ = why + " at offset " + std::to_string(i_);
        return false;
    }
    bool starts(const char* p) const { return s_.compare(i_, std::char_traits<char>::length(p), p) == 0; }
    void skip_space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    // Whitespace, comments and (before the root) the declaration.
    void skip_misc(bool prolog) {
        for (;;) {
            skip_space();
            if (prolog && i_ == 0 && starts("<?xml")) {
                const size_t end = s_.find("?>", i_);
                if (end == std::string::npos) return void(fail("unclosed declaration"));
                i_ = end + 2;
            } else if (starts("<!--")) {
                const size_t end = s_.find("-->", i_ + 4);
                if (end == std::string::npos) return void(fail("unclosed comment"));
                i_ = end + 3;
            } else {
                return;
            }
        }
    }
    static bool name_char(char c, bool first) {
        const unsigned char u = static_cast<unsigned char>(c);
        return std::isalpha(u) || c == '_' || c == ':' || u >= 0x80 ||
               (!first && (std::isdigit(u) || c == '-' || c == '.'));
    }
    bool name(std::string& out) {
        const size_t from = i_;
        if (i_ >= s_.size() || !name_char(s_[i_], true)) return fail("name expected");
        while (i_ < s_.size() && name_char(s_[i_], false)) ++i_;
        out = s_.substr(from, i_ - from);
        return true;
    }
    // Character data up to `stop`, references decoded.
    bool chars(char stop, std::string& out) {
        while (i_ < s_.size() && s_[i_] != stop) {
            const char c = s_[i_];
            if (c == '<') return fail("raw '<'");
            if (c != '&') {
                out += c;
                ++i_;
                continue;
            }
            const size_t end = s_.find(';', i_);
            if (end == std::string::npos) return fail("unterminated reference");
            const std::string ref = s_.substr(i_ + 1, end - i_ - 1);
            static const std::map<std::string, char> named = {
                {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
            if (named.count(ref)) {
                out += named.at(ref);
            } else if (ref.size() > 1 && ref[0] == '#') {
                const bool hex = ref[1] == 'x';
                const std::string digits = ref.substr(hex ? 2 : 1);
                char* tail = nullptr;
                const long code = std::strtol(digits.c_str(), &tail, hex ? 16 : 10);
                if (digits.empty() || *tail || code <= 0 || code > 0x7f) return fail("bad character reference");
                out += static_cast<char>(code);
            } else {
                return fail("unknown entity '" + ref + "'");
            }
            i_ = end + 1;
        }
        return true;
    }
    bool element(Element& e) {
        if (!starts("<")) return fail("element expected");
        ++i_;
        if (!name(e.name)) return false;
        for (;;) {
            const size_t before = i_;
            skip_space();
            if (starts("/>")) {
                i_ += 2;
                return true;
            }
            if (starts(">")) {
                ++i_;
                break;
            }
            if (i_ == before) return fail("space expected before an attribute");
            std::string key, value;
            if (!name(key)) return false;
            skip_space();
            if (!starts("=")) return fail("'=' expected");
            ++i_;
            skip_space();
            if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return fail("quoted value expected");
            const char quote = s_[i_++];
            if (!chars(quote, value)) return false;
            if (i_ >= s_.size()) return fail("unterminated value");
            ++i_;
            if (!e.attributes.emplace(key, value).second) return fail("repeated attribute '" + key + "'");
        }
        for (;;) {
            if (!chars('<', e.text)) return false;
            if (i_ >= s_.size()) return fail("unclosed element '" + e.name + "'");
            if (starts("<!--")) {
                skip_misc(false);
                continue;
            }
            if (starts("</")) {
                i_ += 2;
                std::string closing;
                if (!name(closing)) return false;
                if (closing != e.name) return fail("'" + closing + "' closes '" + e.name + "'");
                skip_space();
                if (!starts(">")) return fail("'>' expected");
                ++i_;
                return true;
            }
            e.children.emplace_back();
            if (!element(e.children.back())) return false;
        }
    }

    const std::string& s_;
    size_t i_ = 0;
    std::string error_;
};

// Every element below `e` (depth first, in document order) with the given
// class attribute.
inline void collect(const Element& e, const std::string& cls, std::vector<const Element*>& out) {
    for (const Element& child : e.children) {
        if (child.attribute("class") == cls) out.push_back(&child);
        collect(child, cls, out);
    }
}
inline std::vector<const Element*> of_class(const Element& root, const std::string& cls) {
    std::vector<const Element*> out;
    collect(root, cls, out);
    return out;
}

// The numbers of an attribute such as a points list or path data, in order;
// letters and separators are skipped.
inline std::vector<double> numbers(const std::string& text) {
    std::vector<double> out;
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end != p && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '-' || *p == '+' || *p == '.')) {
            out.push_back(v);
            p = end;
        } else {
            ++p;
        }
    }
    return out;
}

}  // namespace xml_check
