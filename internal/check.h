// Precondition checks of the library.
//
// A failed check is reported through the host's note "Assertion failed: %s"
// with the reason at checking level 1 or more, and fails silently at level 0.
// The caller then returns its failure value.
#pragma once

#include <stend/error.h>
#include <stend/system.h>

#include <cstdarg>
#include <cstdio>

namespace merrow1 {

// Reports a failed precondition (at checking level >= 1); always returns false
// so it can stand in a return statement.
inline bool precondition_failed(const char* file, int line, const char* reason) {
    if (MACH__checking_level >= 1) ERROR_note(file, line, "Assertion failed: %s", reason);
    return false;
}

// As precondition_failed, the reason followed by where the bad value was met
// (printf-style): "Assertion failed: DUE_TO_VERTEX_NOT_FINITE (CHAIN_offset:
// vertex 3)".
#if defined(__GNUC__)
__attribute__((format(printf, 4, 5)))
#endif
inline bool precondition_failed_at(const char* file, int line, const char* reason, const char* where, ...) {
    if (MACH__checking_level < 1) return false;
    char place[256];
    va_list args;
    va_start(args, where);
    std::vsnprintf(place, sizeof place, where, args);
    va_end(args);
    char text[384];
    std::snprintf(text, sizeof text, "%s (%s)", reason, place);
    ERROR_note(file, line, "Assertion failed: %s", text);
    return false;
}

// True when the condition holds; otherwise reports the reason and returns false.
inline bool precondition(bool ok, const char* file, int line, const char* reason) {
    return ok ? true : precondition_failed(file, line, reason);
}

// A link-following walk ran past the bound its data gives: the links are
// broken.  Raises the host error 965003.
[[noreturn]] inline void infinite_loop(const char* file, int line) {
    ERROR_raise(file, line, ERROR_INFINITE_LOOP_CODE, "Infinite Loop Encountered");
}

}  // namespace merrow1

// `MERROW1_REQUIRE(cond, "DUE_TO_INVALID_INPUT", 0);` returns 0 from the
// calling function when cond does not hold.
#define MERROW1_REQUIRE(cond, reason, failure_value)                                  \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            ::merrow1::precondition_failed(__FILE__, __LINE__, reason);                \
            return failure_value;                                                      \
        }                                                                              \
    } while (0)

// `MERROW1_REQUIRE_AT(std::isfinite(r), "DUE_TO_RADIUS_NOT_FINITE", nullptr,
// "CHAIN_create_circle_chain: radius");` as MERROW1_REQUIRE, the note naming
// where the bad value was met.
#define MERROW1_REQUIRE_AT(cond, reason, failure_value, ...)                          \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            ::merrow1::precondition_failed_at(__FILE__, __LINE__, reason, __VA_ARGS__); \
            return failure_value;                                                      \
        }                                                                              \
    } while (0)

// Reports a failed precondition without returning.
#define MERROW1_NOTE_FAILURE(reason) ::merrow1::precondition_failed(__FILE__, __LINE__, reason)

// Raises "Infinite Loop Encountered" (965003) from the calling line.
#define MERROW1_INFINITE_LOOP() ::merrow1::infinite_loop(__FILE__, __LINE__)

namespace merrow1 {

// An engine's assertion: at checking level 1 or more a failed condition is
// reported through the host's ERROR_assertion_failed as the expression and
// the message on two lines.  Answers the condition.
inline bool assertion(bool ok, const char* file, int line, const char* expression, const char* message) {
    if (!ok && MACH__checking_level >= 1) ERROR_assertion_failed(file, line, "%s\n%s", expression, message);
    return ok;
}

}  // namespace merrow1

// `if (!MERROW1_ASSERT(p != nullptr, "p != NULL", "Engine::Op() - no input")) return false;`
#define MERROW1_ASSERT(cond, expression, message) ::merrow1::assertion((cond), __FILE__, __LINE__, (expression), (message))
