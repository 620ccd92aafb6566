// Error handler frames: a stack of the caller's frames, every call recorded.
#include <stend/error.h>
#include <stend/error_handler.h>
#include <stend/testing_error_handler.h>

#include <vector>

namespace {

ERROR_handler_s* g_top = nullptr;
std::vector<stend_test::HandlerCall> g_calls;
std::vector<std::string> g_violations;

}  // namespace

void ERROR_set_handler(ERROR_handler_s* frame) {
    g_calls.push_back({"set", frame, 0});
    if (!frame) return;
    frame->code = 0;
    frame->text.clear();
    frame->below = g_top;
    g_top = frame;
}

void ERROR_cancel_handler(ERROR_handler_s* frame) {
    g_calls.push_back({"cancel", frame, 0});
    if (frame && frame == g_top) {
        g_top = frame->below;
        return;
    }
    // Not the top frame: find it (the walk is bounded by the frames seen).
    ERROR_handler_s** at = &g_top;
    int depth = stend_test::handler_depth();
    while (*at && *at != frame && depth-- > 0) at = &(*at)->below;
    if (frame && *at == frame) {
        g_violations.push_back("cancel of a frame that is not the top one");
        *at = frame->below;
    } else {
        g_violations.push_back("cancel of a frame that is not installed");
    }
}

void ERROR_handler_catch(ERROR_handler_s* frame, int code, const char* text) {
    if (!frame) return;
    frame->code = code;
    frame->text = text ? text : "";
}

void ERROR_reraise(const ERROR_handler_s* frame) {
    g_calls.push_back({"reraise", frame, frame ? frame->code : 0});
    if (!frame || frame->code == 0)
        ERROR_internal(__FILE__, __LINE__, "ERROR_reraise of a frame that caught no error");
    throw Korvo::Error::Severe(frame->code, frame->text);
}

namespace stend_test {
const std::vector<HandlerCall>& handler_calls() { return g_calls; }
const std::vector<std::string>& handler_violations() { return g_violations; }
int handler_depth() {
    int depth = 0;
    for (const ERROR_handler_s* f = g_top; f && depth < 1000000; f = f->below) ++depth;
    return depth;
}
void reset_handlers() {
    g_top = nullptr;
    g_calls.clear();
    g_violations.clear();
}
}  // namespace stend_test
