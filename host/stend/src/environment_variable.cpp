// Environment-variable objects over ENV_translate_variable, and the error
// reports of caught errors.
#include <stend/environment_variable.h>
#include <stend/error_report.h>
#include <stend/system.h>
#include <stend/testing_error_report.h>

#include <cstring>

namespace {
long g_alive = 0;
long g_made = 0;
std::vector<stend_test::ReportedError> g_reported;
}  // namespace

namespace Korvo {
namespace System {

EnvironmentVariable::EnvironmentVariable(const char* name) : m_name(name ? name : "") {
    ++g_alive;
    ++g_made;
}

EnvironmentVariable::~EnvironmentVariable() { --g_alive; }

bool EnvironmentVariable::IsSet() const { return GetValue() != nullptr; }

const char* EnvironmentVariable::GetValue() const { return ENV_translate_variable(m_name.c_str()); }

bool EnvironmentVariable::Equals(const char* value) const {
    const char* have = GetValue();
    return have && value && std::strcmp(have, value) == 0;
}

}  // namespace System
}  // namespace Korvo

void ERROR_report_and_clear(const char* file, int line, const Korvo::Error::Exception& error) {
    g_reported.push_back({file ? file : "", line, error.askCode(), error.askText()});
}

namespace stend_test {
const std::vector<ReportedError>& reported_errors() { return g_reported; }
void reset_reported_errors() { g_reported.clear(); }
long environment_variables_alive() { return g_alive; }
long environment_variables_made() { return g_made; }
}  // namespace stend_test
