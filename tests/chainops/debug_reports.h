// The chain debug interface in tests: turned on for a test, every report it
// makes (code and label) captured, turned off again afterwards.
#pragma once

#include <merrow1/chain_debug.h>
#include <stend/system.h>

#include <string>
#include <utility>
#include <vector>

namespace debug_reports {

// The reports since the last clear: (code, label).
inline std::vector<std::pair<int, std::string>>& reports() {
    static std::vector<std::pair<int, std::string>> captured;
    return captured;
}

inline void capture(const void* data) {
    const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
    reports().push_back({d->code, d->label ? d->label : ""});
}

// The labels of the reports that start with the prefix, in order.
inline std::vector<std::string> labels_starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& report : reports())
        if (report.second.compare(0, prefix.size(), prefix) == 0) out.push_back(report.second);
    return out;
}

// Turns the interface on (it takes checking level 1 to change) and captures.
class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { off(); }
    void on() {
        on_ = true;
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(1);
        CALLBACK_register("CHAIN_debug_function", capture);
    }
    // Back off, the checking level at 0.
    void off() {
        if (on_) {
            MACH__checking_level = 1;
            CHAIN_set_chain_debug_status(-100);
            MACH__checking_level = 0;
        }
        on_ = false;
    }

private:
    bool on_ = false;
};

}  // namespace debug_reports
