// Host system services: a named environment variable.
#pragma once

#include <string>

namespace Korvo {
namespace System {

// Reads the variable each time it is asked, through the host's environment
// (ENV_translate_variable), so a change is seen at the next ask.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name);
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;
    ~EnvironmentVariable();

    // Whether the variable is set (an empty value counts as set).
    bool IsSet() const;
    // Its value, or null when it is not set.
    const char* GetValue() const;
    // Whether it is set with exactly this value.
    bool Equals(const char* value) const;

private:
    std::string m_name;
};

}  // namespace System
}  // namespace Korvo
