// Stand-in for the host's record manager: object types set by tests, and a log
// of the tags asked about.
#include <harlow/rm.h>
#include <harlow/testing_rm.h>

#include <map>
#include <utility>

namespace {
std::map<tag_t, std::pair<int, int>> g_types;
std::vector<tag_t> g_calls;
}  // namespace

int RM_ask_entity_type_and_subtype(tag_t object, int* type, int* subtype) {
    g_calls.push_back(object);
    auto it = g_types.find(object);
    const bool known = object != 0 && it != g_types.end();
    if (type) *type = known ? it->second.first : 0;
    if (subtype) *subtype = known ? it->second.second : 0;
    return known ? 0 : RM_ERROR_NO_OBJECT;
}

int RM_ask_entity_type(tag_t object) {
    int type = 0;
    RM_ask_entity_type_and_subtype(object, &type, nullptr);
    return type;
}

namespace harlow_test {
void set_entity_type(tag_t object, int type, int subtype) { g_types[object] = {type, subtype}; }
const std::vector<tag_t>& rm_calls() { return g_calls; }
void reset_rm() {
    g_types.clear();
    g_calls.clear();
}
}  // namespace harlow_test
