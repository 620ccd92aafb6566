// Reporting a caught error without raising it: the host's own errors go to
// its error service as severe errors stamped with the place that caught them,
// and a standard exception is converted first.  Call from a catch block.
#pragma once

#include <stend/error.h>
#include <stend/error_report.h>

#include <exception>

namespace merrow1 {

inline void report_caught_error(const char* file, int line) {
    try {
        throw;
    } catch (const Korvo::Error::Exception& e) {
        ERROR_report_and_clear(file, line, Korvo::Error::Severe(e.askCode(), e.askText()));
    } catch (const std::exception& e) {
        Korvo::Error::Severe severe;
        severe.Convert(e);
        ERROR_report_and_clear(file, line, severe);
    }
}

}  // namespace merrow1

// Reports the error being handled where this stands.
#define MERROW1_REPORT_CAUGHT_ERROR() ::merrow1::report_caught_error(__FILE__, __LINE__)
