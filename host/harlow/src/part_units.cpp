// Stand-in of the units of an object's part: a map set by tests, the work
// part's units for other objects.
#include <harlow/part.h>
#include <harlow/testing_part_units.h>

#include <map>

namespace {
std::map<tag_t, int> g_units;
std::vector<tag_t> g_calls;
}  // namespace

int PART_ask_units_of_object(tag_t object) {
    g_calls.push_back(object);
    auto it = g_units.find(object);
    return it == g_units.end() ? PART_ask_units(0) : it->second;
}

namespace harlow_test {
void set_object_units(tag_t object, int units) { g_units[object] = units; }
const std::vector<tag_t>& object_units_calls() { return g_calls; }
void reset_object_units() {
    g_units.clear();
    g_calls.clear();
}
}  // namespace harlow_test
