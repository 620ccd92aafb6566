// Tool-list stand-in: tools built by the tests, kept until cleared.
#include <pellam/testing_tool.h>

#include <memory>
#include <vector>

namespace {

struct Stored {
    TOOL_s tool{};
    std::vector<TOOL_profile_element_s> elements;
};
std::vector<std::unique_ptr<Stored>> g_tools;

}  // namespace

namespace pellam_test {

TOOL_s* add_tool(const std::vector<TOOL_profile_element_s>& profile, double length) {
    auto stored = std::make_unique<Stored>();
    stored->elements = profile;
    for (size_t i = 0; i < stored->elements.size(); ++i)
        stored->elements[i].next = i + 1 < stored->elements.size() ? &stored->elements[i + 1] : nullptr;
    stored->tool.profile = stored->elements.empty() ? nullptr : stored->elements.data();
    stored->tool.length = length;
    if (!g_tools.empty()) g_tools.back()->tool.next = &stored->tool;
    g_tools.push_back(std::move(stored));
    return &g_tools.front()->tool;
}

void clear_tools() { g_tools.clear(); }

}  // namespace pellam_test
