// Stand-in of the host's work part and user-function runner: records each run
// and answers a scripted result.
#include <harlow/exit.h>
#include <harlow/testing.h>

namespace {
std::vector<harlow_test::Run> g_runs;
int g_result = 0;
int g_user_result = 0;
tag_t g_work_part = 1;
}  // namespace

tag_t ASSY_ask_work_part() { return g_work_part; }

int HVEXIT_run_user_function(const char* library, const FSPEC* fspec, int* user_result, const char* entry_point,
                             HVEXIT_callback_t callback, int flag) {
    harlow_test::Run run{library ? library : "", fspec ? fspec->length : -1,
                         fspec ? std::string(fspec->data, sizeof fspec->data) + fspec->terminator : std::string(),
                         entry_point ? entry_point : "", callback != nullptr, flag};
    g_runs.push_back(run);
    if (callback) callback();
    if (user_result) *user_result = g_user_result;
    return g_result;
}

namespace harlow_test {
const std::vector<Run>& runs() { return g_runs; }
void set_run_result(int result, int user_result) {
    g_result = result;
    g_user_result = user_result;
}
void set_work_part(tag_t part) { g_work_part = part; }
void reset() {
    g_runs.clear();
    g_result = 0;
    g_user_result = 0;
    g_work_part = 1;
}
}  // namespace harlow_test
