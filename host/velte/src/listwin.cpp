// The listing window: lines are kept for tests to read.
#include <velte/listwin.h>
#include <velte/testing.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> g_listing;
}

void BASE_LISTWIN_write(const char* text) { g_listing.push_back(text ? text : ""); }

namespace velte_test {
const std::vector<std::string>& listing_lines() { return g_listing; }
void clear_listing() { g_listing.clear(); }
}  // namespace velte_test
