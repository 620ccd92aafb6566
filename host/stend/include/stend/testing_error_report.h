// Test controls of error reports (<stend/error_report.h>) and of the
// environment-variable objects (<stend/environment_variable.h>).  Not part of
// the host's interface.
#pragma once

#include <string>
#include <vector>

namespace stend_test {

struct ReportedError {
    std::string file;
    int line;
    int code;
    std::string text;
};

// Errors reported and cleared since the last reset.
const std::vector<ReportedError>& reported_errors();
void reset_reported_errors();

// EnvironmentVariable objects alive now, and made so far (never reset).
long environment_variables_alive();
long environment_variables_made();

}  // namespace stend_test
