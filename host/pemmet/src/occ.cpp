// Stand-in for the host's occurrences: a table of occurrence -> prototype set
// by tests, and a log of the calls.
#include <pemmet/occ.h>
#include <pemmet/testing.h>

#include <map>

namespace {
std::map<tag_t, tag_t> g_prototypes;
std::vector<std::string> g_calls;
}  // namespace

bool OCC_is_occurrence(tag_t object) {
    g_calls.push_back("OCC_is_occurrence " + std::to_string(object));
    return g_prototypes.count(object) != 0;
}

tag_t OCC_ask_prototype_of_occ(tag_t occurrence) {
    g_calls.push_back("OCC_ask_prototype_of_occ " + std::to_string(occurrence));
    auto it = g_prototypes.find(occurrence);
    return it == g_prototypes.end() ? 0 : it->second;
}

namespace pemmet_test {
void set_occurrence(tag_t occurrence, tag_t prototype) { g_prototypes[occurrence] = prototype; }
const std::vector<std::string>& calls() { return g_calls; }
void reset() {
    g_prototypes.clear();
    g_calls.clear();
}
}  // namespace pemmet_test
