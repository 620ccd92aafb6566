// Test controls of the tool-list stand-in.  Not part of the host's interface.
#pragma once

#include <pellam/tool.h>

#include <vector>

namespace pellam_test {

// Appends a tool with the profile elements (copied; their next links are
// set here) and the length to the stand-in's list; returns the list's head.
TOOL_s* add_tool(const std::vector<TOOL_profile_element_s>& profile, double length);
// Frees every tool of the list.
void clear_tools();

}  // namespace pellam_test
