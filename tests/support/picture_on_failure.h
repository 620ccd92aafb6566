// Pictures of failing tests: while a PictureOnFailure lives (a fixture
// member, or a local in a check), a reported failure makes it write what the
// display stand-in recorded as an SVG picture named after the test
// (<suite>.<test>.svg) into the test's working folder.  Display tests record
// by themselves; other tests pass a function that draws what they want to see
// with the helpers below (it runs only on failure, while the data lives).
#pragma once

#include <glimra/display.h>
#include <glimra/testing.h>
#include <gtest/gtest.h>
#include <merrow1/chain_display.h>
#include <merrow1/chain_split.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace picture_test {

class PictureOnFailure {
public:
    // `draw` (optional) draws what the picture should show; it runs only when
    // a failure was reported while the guard lived.
    explicit PictureOnFailure(std::function<void()> draw = nullptr) : draw_(std::move(draw)), parts_(parts()) {}
    PictureOnFailure(const PictureOnFailure&) = delete;
    PictureOnFailure& operator=(const PictureOnFailure&) = delete;
    ~PictureOnFailure() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (!info || !failed_since(info, parts_)) return;
        if (draw_) draw_();
        if (glimra_test::calls().empty()) return;
        std::string name = std::string(info->test_suite_name()) + "." + info->name() + ".svg";
        for (char& ch : name)
            if (ch == '/' || ch == '\\') ch = '_';
        if (glimra_test::write_svg(name)) std::fprintf(stderr, "picture of the failing test: %s\n", name.c_str());
    }

private:
    static int parts() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info ? info->result()->total_part_count() : 0;
    }
    static bool failed_since(const ::testing::TestInfo* info, int from) {
        const ::testing::TestResult* result = info->result();
        for (int i = from; i < result->total_part_count(); ++i)
            if (result->GetTestPartResult(i).failed()) return true;
        return false;
    }
    std::function<void()> draw_;
    int parts_;
};

// Host colour numbers the pictures use (see the stand-in's palette).
enum Colour { black = 0, red = 1, green = 2, blue = 3, orange = 4 };

// A chain (or every chain of a chain list) with its vertices.
inline void draw_chain(const RING_header_s* chain, int colour) {
    if (!chain) return;
    if (chain->type == RING_TYPE_LIST) return CHAIN_display_all_chains(chain, -1, colour, 1, 1);
    CHAIN_display_chain(chain, -1, colour, 1, 1, nullptr, nullptr);
    CHAIN_display_all_vertices(chain, -1, colour, 3);
}

// Points (x, y pairs) as markers.
inline void draw_points(const std::vector<std::pair<double, double>>& points, int colour) {
    std::vector<double> xyz;
    for (const auto& p : points) xyz.insert(xyz.end(), {p.first, p.second, 0.0});
    DSS_TEMP_display_markers(static_cast<tag_t>(-1), 1, colour, 3, static_cast<int>(points.size()), xyz.data());
}

// A closed polygon (x, y pairs) as a polyline.
inline void draw_polygon(const std::vector<std::pair<double, double>>& points, int colour) {
    std::vector<double> xyz;
    for (const auto& p : points) xyz.insert(xyz.end(), {p.first, p.second, 0.0});
    if (!points.empty()) xyz.insert(xyz.end(), {points[0].first, points[0].second, 0.0});
    DSS_TEMP_display_polyline(static_cast<tag_t>(-1), colour, 1, 1, 3, static_cast<int>(xyz.size() / 3), xyz.data());
}

// A split network: every piece once (from the end where it starts) and a
// marker at every junction.
inline void draw_network(const RING_header_s* network, int colour) {
    const RING_node_s* junction = network ? network->first : nullptr;
    for (int j = 0; network && j < network->count && junction; ++j, junction = junction->next) {
        const RING_header_s* ends = RING_ask_node_subring(junction);
        const RING_node_s* end = ends ? ends->first : nullptr;
        for (int e = 0; ends && e < ends->count && end; ++e, end = end->next) {
            const SPLIT_CHAIN_s* record = static_cast<const SPLIT_CHAIN_s*>(end->main_data);
            if (!record || !record->piece) continue;
            if (e == 0)
                CHAIN_display_point_on_chain(record->reversed ? record->piece->end : record->piece->start, -1, black,
                                             2);
            if (!record->reversed) CHAIN_display_splitchain(end, -1, colour, 1, 1);
        }
    }
}

}  // namespace picture_test
