// Recording stand-in of the displayed part's palette: a test map from host
// colour numbers to the answer, the number itself where the map has none.
#include <glimra/color.h>
#include <glimra/testing_color.h>

#include <map>

namespace {
std::map<int, int> g_map;
std::vector<int> g_queries;
}  // namespace

int COLOR_ask_closest_color_in_displayed_part(int colour) {
    g_queries.push_back(colour);
    auto it = g_map.find(colour);
    return it == g_map.end() ? colour : it->second;
}

namespace glimra_test {
void set_closest_color(int from, int to) { g_map[from] = to; }
const std::vector<int>& closest_color_queries() { return g_queries; }
void reset_colors() {
    g_map.clear();
    g_queries.clear();
}
}  // namespace glimra_test
