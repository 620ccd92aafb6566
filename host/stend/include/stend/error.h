// Host system services: error reporting, error exceptions and message tables.
//
// Stand-in for the host's libstend.  Every note, assertion, internal error and
// log line is captured (see <stend/testing.h>) so tests can assert exact texts.
#pragma once

#include <exception>
#include <string>

#if defined(__GNUC__)
#define STEND_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define STEND_PRINTF(f, a)
#endif

// Error codes the host itself raises through these services.
enum {
    ERROR_INTERNAL_CODE = 930000,       // ERROR_internal
    ERROR_ASSERTION_CODE = 930001,      // reserved for failed assertions that stop
    ERROR_USER_ABORT_CODE = 930002,     // CERR_raise_on_abort after an abort request
    ERROR_INFINITE_LOOP_CODE = 965003,  // "Infinite Loop Encountered"
};

namespace Korvo {
namespace Error {

// The host's exception: carries an error code and a text.
class Exception {
public:
    Exception() = default;
    Exception(int code, std::string text) : m_code(code), m_text(std::move(text)) {}
    virtual ~Exception() = default;

    int askCode() const { return m_code; }
    const std::string& askText() const { return m_text; }

    // Throws a copy of this exception with its dynamic type kept.
    [[noreturn]] virtual void Rethrow() const { throw *this; }

protected:
    int m_code = 0;
    std::string m_text;
};

// Errors that end an operation.
class Severe : public Exception {
public:
    Severe() = default;
    Severe(int code, std::string text) : Exception(code, std::move(text)) {}
    ~Severe() override = default;

    // Takes over the message of a standard exception (code ERROR_INTERNAL_CODE).
    void Convert(const std::exception& e);

    [[noreturn]] void Rethrow() const override { throw *this; }
};

}  // namespace Error
}  // namespace Korvo

typedef const char* (*ERROR_decoder_fn_t)(int code, const void* table);

// One entry of a message table: {code, text}; a table ends with code 0.
struct ERROR_message_s {
    int code;
    const char* text;
};

void ERROR_note(const char* file, int line, const char* format, ...) STEND_PRINTF(3, 4);
void ERROR_assertion_failed(const char* file, int line, const char* format, ...) STEND_PRINTF(3, 4);
[[noreturn]] void ERROR_internal(const char* file, int line, const char* format, ...) STEND_PRINTF(3, 4);
[[noreturn]] void ERROR_exception(const char* file, int line, int code, const char* format, ...)
    STEND_PRINTF(4, 5);
[[noreturn]] void ERROR_raise(const char* file, int line, int code, const char* format, ...)
    STEND_PRINTF(4, 5);

// Registers a decoder for codes first .. first + count - 1; returns 1, or 0 when
// the range overlaps one already registered.
int ERROR_register_decoder_fn(int first, int count, ERROR_decoder_fn_t decoder, const void* table);
// Text of a code: the registered decoder's answer, or null when none knows it.
const char* ERROR_decode(int code);
// Decoder over a table of ERROR_message_s ending with code 0.
const char* ERROR_decode_in_table(int code, const void* table);

void ERROR_lprintf(const char* format, ...) STEND_PRINTF(1, 2);
