// Stand-in of the host's name length test: counts UTF-8 characters.
#include <stend/name_length.h>
#include <stend/testing_name_length.h>

namespace {
std::vector<std::string> g_calls;
}

namespace Korvo {
bool TemporaryNameLength(const UString& name, int max_length) {
    g_calls.push_back(name.utf8_str());
    long characters = 0;
    for (const char* p = name.utf8_str(); *p; ++p)
        if ((static_cast<unsigned char>(*p) & 0xc0) != 0x80) ++characters;
    return characters <= max_length;
}
}  // namespace Korvo

namespace stend_test {
const std::vector<std::string>& name_length_calls() { return g_calls; }
void clear_name_length_calls() { g_calls.clear(); }
}  // namespace stend_test
