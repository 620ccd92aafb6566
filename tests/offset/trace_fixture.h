// Chains for the trace tests, and long-double geometry to check traces
// against: distances to lines and arcs, winding numbers of closed chains.
#pragma once

#include "support/chain_builders.h"

#include <gtest/gtest.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_region.h>
#include <stend/system.h>
#include <velte/cmem.h>
#include <stend/testing.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace trace_test {

// Whether a failed precondition with the reason was noted since the notes
// were last cleared.
inline bool noted(const std::string& reason) {
    for (const std::string& text : stend_test::texts(stend_test::Kind::Note))
        if (text == "Assertion failed: " + reason) return true;
    return false;
}

// Chain debug switched on for a test: the host callback keeps the labels of
// the reports and answers the loop-removal query (kind 2, code 42).
struct DebugCapture {
    static std::vector<std::string>& labels() {
        static std::vector<std::string> l;
        return l;
    }
    static int& answer() {
        static int a = 0;
        return a;
    }
    static void callback(const void* data) {
        const auto* d = static_cast<const CHAIN_debug_function_data_t*>(data);
        if (d->label) labels().push_back(d->label);
        if (d->request == 2 && d->code == 42)
            CHAIN_debug_function_set_int_value(static_cast<int*>(d->pointer_value), answer());
    }
    static void on() {
        labels().clear();
        answer() = 0;
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(1);
        CALLBACK_register("CHAIN_debug_function", callback);
    }
    static void off() {
        CALLBACK_unregister("CHAIN_debug_function", callback);
        MACH__checking_level = 1;
        CHAIN_set_chain_debug_status(0);
        MACH__checking_level = 0;
    }
    static int count(const std::string& label) {
        int n = 0;
        for (const std::string& l : labels()) n += l == label;
        return n;
    }
};

// The trace tests' chains come from the appenders (support/chain_builders.h).
using Vertex = chain_builders::BulgeVertex;
using chain_builders::appended_chain;
using chain_builders::appended_circle;
using chain_builders::appended_rect;
using chain_builders::arc_of;
using chain_builders::end_at;
using chain_builders::is_closed;
using chain_builders::point_of;

inline SIDE side_of(const RING_header_s* chain) {
    return static_cast<const CHAIN_main_data_s*>(chain->main_data)->material_side;
}
// The chains of a chain list in order (none for null).
inline std::vector<RING_header_s*> chains_of(const RING_header_s* list) {
    std::vector<RING_header_s*> out;
    if (!list) return out;
    const RING_node_s* node = list->first;
    for (int i = 0; i < list->count && node; ++i, node = node->next) out.push_back(RING_ask_node_subring(node));
    return out;
}

template <class Fn>
void for_each_vertex(const RING_header_s* chain, Fn fn) {
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) fn(node, i);
}

// One piece of a chain in long double: a line, or an arc with its centre,
// radius and signed sweep in its own sense.
struct Seg {
    long double ax, ay, bx, by;
    bool arc = false;
    long double cx = 0, cy = 0, r = 0, sweep = 0;
};

inline long double sweep_of(long double ax, long double ay, long double bx, long double by, long double cx,
                            long double cy, DIRECTION direction) {
    long double s = std::atan2((ax - cx) * (by - cy) - (ay - cy) * (bx - cx), (ax - cx) * (bx - cx) + (ay - cy) * (by - cy));
    const long double two_pi = 2.0L * 3.141592653589793238462643383279502884L;
    if (direction == CCW && s < 0) s += two_pi;
    if (direction == CW && s > 0) s -= two_pi;
    return s;
}

// The piece ending at the node (the node must not be an open chain's first).
inline Seg seg_ending_at(const RING_node_s* node) {
    const double* a = point_of(node->previous);
    const double* b = point_of(node);
    Seg s{a[0], a[1], b[0], b[1]};
    const unsigned type = static_cast<const CHAIN_vertex_data_s*>(node->main_data)->flags & 3u;
    if (type == SEG_ARC + 1) {
        const end_segment* e = arc_of(node);
        s.arc = true;
        s.cx = e->cx, s.cy = e->cy, s.r = e->radius;
        s.sweep = sweep_of(s.ax, s.ay, s.bx, s.by, s.cx, s.cy, e->direction);
    }
    return s;
}

inline std::vector<Seg> segments_of(const RING_header_s* chain) {
    std::vector<Seg> out;
    if (chain->count < 2) return out;
    const int n = is_closed(chain) ? chain->count : chain->count - 1;
    const RING_node_s* node = chain->first->next;
    for (int k = 0; k < n; ++k, node = node->next) out.push_back(seg_ending_at(node));
    return out;
}

// Whether the direction from the centre to the point lies inside the arc's sweep.
inline bool within_sweep(const Seg& s, long double px, long double py) {
    long double t = std::atan2((s.ax - s.cx) * (py - s.cy) - (s.ay - s.cy) * (px - s.cx),
                               (s.ax - s.cx) * (px - s.cx) + (s.ay - s.cy) * (py - s.cy));
    const long double two_pi = 2.0L * 3.141592653589793238462643383279502884L;
    if (s.sweep >= 0) {
        if (t < 0) t += two_pi;
        return t <= s.sweep;
    }
    if (t > 0) t -= two_pi;
    return t >= s.sweep;
}

inline long double distance_to(const Seg& s, long double px, long double py) {
    const long double da = std::hypot(px - s.ax, py - s.ay), db = std::hypot(px - s.bx, py - s.by);
    long double best = std::fmin(da, db);
    if (!s.arc) {
        const long double dx = s.bx - s.ax, dy = s.by - s.ay, l2 = dx * dx + dy * dy;
        if (l2 > 0) {
            const long double t = ((px - s.ax) * dx + (py - s.ay) * dy) / l2;
            if (t > 0 && t < 1) best = std::fmin(best, std::fabs((px - s.ax) * dy - (py - s.ay) * dx) / std::sqrt(l2));
        }
        return best;
    }
    if (within_sweep(s, px, py)) best = std::fmin(best, std::fabs(std::hypot(px - s.cx, py - s.cy) - s.r));
    return best;
}

inline long double distance_to(const std::vector<Seg>& chain, long double px, long double py) {
    long double best = 1e30L;
    for (const Seg& s : chain) best = std::fmin(best, distance_to(s, px, py));
    return best;
}

// Points along a piece: t in [0, 1].
inline void point_at(const Seg& s, long double t, long double* x, long double* y) {
    if (!s.arc) {
        *x = s.ax + t * (s.bx - s.ax);
        *y = s.ay + t * (s.by - s.ay);
        return;
    }
    const long double a = std::atan2(s.ay - s.cy, s.ax - s.cx) + t * s.sweep;
    *x = s.cx + s.r * std::cos(a);
    *y = s.cy + s.r * std::sin(a);
}

// Winding number of a closed chain about a point (2 pi units summed, rounded).
inline int winding(const std::vector<Seg>& chain, long double px, long double py) {
    long double total = 0;
    const long double two_pi = 2.0L * 3.141592653589793238462643383279502884L;
    for (const Seg& s : chain) {
        const long double ux = s.ax - px, uy = s.ay - py, vx = s.bx - px, vy = s.by - py;
        long double angle = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
        if (s.arc) {
            // Inside the region between the arc and its chord the arc turns a
            // whole turn more than the chord, in its own sense.
            long double mx, my;
            point_at(s, 0.5L, &mx, &my);
            const long double cx = s.bx - s.ax, cy = s.by - s.ay;
            const long double side_p = cx * (py - s.ay) - cy * (px - s.ax);
            const long double side_m = cx * (my - s.ay) - cy * (mx - s.ax);
            if (std::hypot(px - s.cx, py - s.cy) < s.r && (side_p > 0) == (side_m > 0) && side_p != 0)
                angle += s.sweep > 0 ? two_pi : -two_pi;
        }
        total += angle;
    }
    return static_cast<int>(std::lround(total / two_pi));
}

// The point at distance d from the piece's point at t along the piece's
// normal there: to its left for sense 1, to its right for sense -1.  *x, *y
// get the piece's point, *nx, *ny the point at the distance.
inline void point_off_normal(const Seg& s, long double t, long double d, long double sense, long double* x,
                             long double* y, long double* nx, long double* ny) {
    long double x2, y2;
    point_at(s, t, x, y);
    point_at(s, t + 1e-6L, &x2, &y2);
    const long double len = std::hypot(x2 - *x, y2 - *y);
    *nx = *x - (y2 - *y) / len * sense * d;
    *ny = *y + (x2 - *x) / len * sense * d;
}

// The nearest approach to the source of points sampled along the pieces.
inline long double nearest_approach(const std::vector<Seg>& pieces, const std::vector<Seg>& source) {
    long double best = 1e30L;
    for (const Seg& s : pieces)
        for (int k = 0; k <= 64; ++k) {
            long double x, y;
            point_at(s, k / 64.0L, &x, &y);
            best = std::fmin(best, distance_to(source, x, y));
        }
    return best;
}

// Puts the boolean-engine switch back as it was at the end of a test.
struct EngineSwitchGuard {
    bool was = CHAIN_ask_use_new_boolean();
    ~EngineSwitchGuard() { CHAIN_set_new_boolean_flag(was); }
};

// Twice the signed area of a closed chain (positive counter-clockwise): the
// chords' cross products plus, for every arc, twice the signed area between
// it and its chord, r^2 (sweep - sin sweep).
inline long double twice_signed_area(const std::vector<Seg>& chain) {
    long double total = 0;
    for (const Seg& s : chain) {
        total += s.ax * s.by - s.bx * s.ay;
        if (s.arc) total += s.r * s.r * (s.sweep - std::sin(s.sweep));
    }
    return total;
}

// Every corner control, in the order the offset tests run them.
const CORNER_CONTROL kControls[] = {ADD_ARC, EXTEND_TANGENT, BREAK_CORNER, ALWAYS_EXTEND_TANGENT};

// The corner control's name, for the messages.
inline const char* control_name(CORNER_CONTROL c) {
    switch (c) {
        case ADD_ARC: return "ADD_ARC";
        case EXTEND_TANGENT: return "EXTEND_TANGENT";
        case BREAK_CORNER: return "BREAK_CORNER";
        case ALWAYS_EXTEND_TANGENT: return "ALWAYS_EXTEND_TANGENT";
        default: return "?";
    }
}

// Nearest and farthest approach to the source of points sampled along every
// chain of a result list.
struct Reach {
    long double nearest = 1e30L, farthest = 0;
};
inline Reach reach_of(RING_header_s* list, const std::vector<Seg>& source) {
    Reach r;
    for (RING_header_s* chain : chains_of(list))
        for (const Seg& s : segments_of(chain))
            for (int k = 0; k <= 64; ++k) {
                long double x, y;
                point_at(s, k / 64.0L, &x, &y);
                const long double at = distance_to(source, x, y);
                r.nearest = std::fmin(r.nearest, at);
                r.farthest = std::fmax(r.farthest, at);
            }
    return r;
}

// The chains of a result list, for a failure message: per chain its vertex
// count, whether it is closed and its signed area.
inline std::string describe_result(const RING_header_s* list) {
    std::string out;
    for (RING_header_s* chain : chains_of(list)) {
        char text[96];
        std::snprintf(text, sizeof text, "[%d vertices, %s, area %.6Lg] ", static_cast<int>(chain->count),
                      is_closed(chain) ? "closed" : "open", twice_signed_area(segments_of(chain)) / 2);
        out += text;
    }
    return out;
}

// A test with a pool of its own, deleted after the test (so the sanitizers
// see every record freed once), that leaves the engine switch undecided.
class EnginePoolTest : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "offset test", __LINE__, __FILE__); }
    void TearDown() override {
        CHAIN_unset_new_boolean_flag();
        CMEM_private_delete_pool(pool);
    }
    CMEM_pool_s* pool = nullptr;
};

}  // namespace trace_test
