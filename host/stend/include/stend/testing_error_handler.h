// Test controls of the error handler frames of the libstend stand-in.  Not
// part of the host's interface.
#pragma once

#include <string>
#include <vector>

struct ERROR_handler_s;

namespace stend_test {

// One call of the frame trio: "set", "cancel" or "reraise", the frame, and
// the code it carried (reraise) or 0.
struct HandlerCall {
    std::string op;
    const ERROR_handler_s* frame;
    int code;
};

const std::vector<HandlerCall>& handler_calls();
// Breaches of the protocol since the last reset ("cancel of a frame that is
// not the top one", "cancel of a frame that is not installed").
const std::vector<std::string>& handler_violations();
// Frames on the stack now.
int handler_depth();
// Forgets calls and breaches and empties the stack.
void reset_handlers();

}  // namespace stend_test
