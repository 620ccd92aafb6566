// Host error handler frames: a caller installs a frame before work that may
// raise, and on an error learns the code and text in the frame, tidies up and
// raises the same error again.
//
// The host's frame holds a jump buffer that its error raising jumps to.  The
// library never jumps: it catches the raised exception, writes what it caught
// into the frame (ERROR_handler_catch) and raises it again from the frame
// with ERROR_reraise.  Frames form a stack; only the top frame may be
// cancelled.
#pragma once

#include <string>

struct ERROR_handler_s {
    long jump_buffer[32];     // the host's jump buffer (opaque; never jumped to)
    int code = 0;             // the error caught in the frame, 0 before one
    std::string text;         // its text
    ERROR_handler_s* below = nullptr;  // the frame installed before this one
};

// Pushes the frame on the stack of frames (null: nothing happens).
void ERROR_set_handler(ERROR_handler_s* frame);
// Takes the frame off the stack.  Cancelling a frame that is not the top one
// is a breach of the protocol: it is recorded, and the frame is taken out of
// the stack where it stands.
void ERROR_cancel_handler(ERROR_handler_s* frame);
// Records the error caught in the frame (code and text).
void ERROR_handler_catch(ERROR_handler_s* frame, int code, const char* text);
// Raises the error caught in the frame again: a Korvo::Error::Severe with the
// same code and text.  A frame that caught nothing raises the internal error.
[[noreturn]] void ERROR_reraise(const ERROR_handler_s* frame);
