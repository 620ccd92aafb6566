// Stand-in of the host's character tests.  The illegal set is a fixed list of
// punctuation plus the blank and every control character; tests may change
// the list.
#include <velte/testing_text.h>
#include <velte/text.h>

#include <cstring>

namespace {
const char* const kDefaultIllegal = " !\"#$%&'()*+,/:;<=>?@[\\]^`{|}";
std::string g_illegal = kDefaultIllegal;
std::vector<std::string> g_calls;
}  // namespace

int TEXT_isalpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int TEXT_isalnum(int c) { return TEXT_isalpha(c) || (c >= '0' && c <= '9'); }

int HV_STRING_contain_illegal_char(const char* text) {
    g_calls.push_back(text ? text : "");
    for (const char* p = text; p && *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7f || g_illegal.find(static_cast<char>(c)) != std::string::npos) return 1;
    }
    return 0;
}

namespace velte_test {
void set_illegal_chars(const std::string& chars) { g_illegal = chars; }
void reset_illegal_chars() {
    g_illegal = kDefaultIllegal;
    g_calls.clear();
}
const std::vector<std::string>& illegal_char_calls() { return g_calls; }
}  // namespace velte_test
