// Host text of UTF-8 characters.
#pragma once

#include <string>

namespace Korvo {

class UString {
public:
    UString() = default;
    UString(const char* utf8) : m_text(utf8 ? utf8 : "") {}
    const char* utf8_str() const { return m_text.c_str(); }
    bool empty() const { return m_text.empty(); }
    std::size_t length() const { return m_text.size(); }  // in bytes
    bool operator==(const UString& other) const { return m_text == other.m_text; }
    bool operator!=(const UString& other) const { return m_text != other.m_text; }

private:
    std::string m_text;
};

}  // namespace Korvo
