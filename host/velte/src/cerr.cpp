// Abort checks and fatal errors.
#include <stend/error.h>
#include <velte/cerr.h>
#include <velte/testing.h>

#include <string>
#include <vector>

namespace {
bool g_abort_requested = false;
int g_abort_after = 0;
long g_abort_checks = 0;
int g_error_code = 0;
std::string g_error_text;
}  // namespace

void CERR_raise_on_abort() {
    ++g_abort_checks;
    if (!g_abort_requested) return;
    if (g_abort_after > 0) {
        --g_abort_after;
        return;
    }
    g_abort_requested = false;
    throw Korvo::Error::Severe(ERROR_USER_ABORT_CODE, "User abort");
}

void CERR_processor_abort(int code) {
    g_error_code = code;
    throw Korvo::Error::Severe(code, "Processor abort");
}

void CERR__set_error_code(int code) {
    g_error_code = code;
    g_error_text.clear();
}
int CERR__ask_error_code() { return g_error_code; }
void CERR__set_error_code_and_text(int code, const char* text) {
    g_error_code = code;
    g_error_text = text ? text : "";
}
const char* CERR__ask_error_text() { return g_error_text.c_str(); }

namespace velte_test {
void request_abort(int after_checks) {
    g_abort_requested = true;
    g_abort_after = after_checks;
    g_abort_checks = 0;
}
void cancel_abort() {
    g_abort_requested = false;
    g_abort_checks = 0;
}
long abort_checks() { return g_abort_checks; }
void reset_all() {
    cancel_abort();
    clear_listing();
    g_error_code = 0;
    g_error_text.clear();
}
}  // namespace velte_test
