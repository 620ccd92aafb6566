// Error recovery of the classic build's routines that hold a scratch pool.
//
// The host's error frame is installed over the routine's work; the routine
// never jumps.  A raised error (a host error, or a standard exception taken
// as the host's internal error) is caught here once the routine's own guards
// have withdrawn what they put on caller data (their destructors run while the
// error leaves the body); then the scratch pool is deleted, the frame
// cancelled, the module error code set with the error's code and text, and the
// error raised again from the frame with the same code and text.  On the
// normal path the frame is cancelled and the pool deleted before the
// routine's answer comes back.
#pragma once

#include <internal/scratch_pool.h>
#include <stend/error.h>
#include <stend/error_handler.h>
#include <velte/cerr.h>

#include <exception>
#include <type_traits>
#include <utility>

namespace merrow1 {
namespace classic {

class ErrorFrame {
public:
    ErrorFrame(const char* pool_name, const char* file, int line, int size_hint = 0)
        : m_pool(pool_name, file, line, size_hint) {
        ERROR_set_handler(&m_frame);
    }
    // Only reached without run() finishing when an error left before it: the
    // frame goes first, then the pool (a member).
    ~ErrorFrame() { cancel(); }
    ErrorFrame(const ErrorFrame&) = delete;
    ErrorFrame& operator=(const ErrorFrame&) = delete;

    CMEM_pool_s* pool() const { return m_pool.get(); }

    // Runs body() under the frame and answers what it answers.
    template <class Body>
    auto run(Body&& body) -> decltype(body()) {
        try {
            if constexpr (std::is_void_v<decltype(body())>) {
                std::forward<Body>(body)();
                finish();
            } else {
                auto answer = std::forward<Body>(body)();
                finish();
                return answer;
            }
        } catch (const Korvo::Error::Exception& e) {
            recover(e.askCode(), e.askText().c_str());
        } catch (const std::exception& e) {
            recover(ERROR_INTERNAL_CODE, e.what());
        }
    }

private:
    void cancel() {
        if (!m_installed) return;
        m_installed = false;
        ERROR_cancel_handler(&m_frame);
    }
    void finish() {
        cancel();
        m_pool.release();
    }
    [[noreturn]] void recover(int code, const char* text) {
        ERROR_handler_catch(&m_frame, code, text);
        m_pool.release();
        cancel();
        CERR__set_error_code_and_text(code, m_frame.text.c_str());
        ERROR_reraise(&m_frame);
    }

    ScratchPool m_pool;
    ERROR_handler_s m_frame;
    bool m_installed = true;
};

}  // namespace classic
}  // namespace merrow1
