// Stand-in of the host's customer defaults: a prefix set by tests.
#include <wendle/ccd.h>
#include <wendle/testing.h>

#include <string>

namespace {
bool g_has_prefix = false;
std::string g_prefix;
int g_calls = 0;
}  // namespace

const char* CCD_ask_cam_env_var_prefix() {
    ++g_calls;
    return g_has_prefix ? g_prefix.c_str() : nullptr;
}

namespace wendle_test {
void set_cam_env_var_prefix(const char* prefix) {
    g_has_prefix = prefix != nullptr;
    g_prefix = prefix ? prefix : "";
}
int cam_env_var_prefix_calls() { return g_calls; }
void reset() {
    g_has_prefix = false;
    g_prefix.clear();
    g_calls = 0;
}
}  // namespace wendle_test
