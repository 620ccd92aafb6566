// Test-only checks of a polygon-set intersection network.
//
// psi_validate walks every node record reachable from the wrappers (along
// links, arm cycles and ghost lists) and returns one line per broken
// invariant:
// - along links are symmetric and run from each segment's start node to a
//   node at its end point, in increasing order along the segment;
// - an arm is in a cycle exactly when it has an along neighbour; inactive
//   arms point at themselves;
// - every cycle closes, all its records stand at one point, no segment
//   leaves it twice in one direction, and consecutive arms turn strictly
//   counter-clockwise by the exact predicate (checked against the first arm
//   of the cycle: first the half turn, then the order within it);
// - flags: no merge or sort marks left, start nodes are vertices, a blank
//   is marked at both ends of its sub-segment, ghosts have no arms.
// psi_canonical gives a description of the network that does not depend on
// how it is split into records, for comparing two networks.
#pragma once

#include <merrow1/psi.h>

#include "exact/line_arc_seg_prd.h"
#include "polyset/psi_internal.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace psi_test {

using merrow1::psi::seg_end;
using merrow1::psi::seg_index;
using merrow1::psi::seg_piece;
using merrow1::psi::seg_start;

struct ArmRef {
    PSI_INTXN_NODE_s* node;
    int arm;
    bool operator<(const ArmRef& o) const { return node != o.node ? node < o.node : arm < o.arm; }
    bool operator==(const ArmRef& o) const { return node == o.node && arm == o.arm; }
};

inline bool is_grid_record(const PSI_INTXN_NODE_s* n) {
    return ((n->flags[0] | n->flags[1]) & PSI_NODE_FLAG_VERTEX) != 0;
}

// Exact order of two arms of a cycle: at a grid point straight from the
// predicate with the point; elsewhere through the library's arm comparison
// (which names the point by the crossing's own segments and flags).
inline int compare_arms(const PSI_s* psi, ArmRef x, ArmRef y, const PNT2_s* grid_point) {
    if (grid_point) {
        RING_node_s* s0 = x.node->segs[x.arm & 1];
        RING_node_s* s1 = y.node->segs[y.arm & 1];
        const PNT2_s p0 = seg_start(s0), p1 = seg_start(s1);
        return LINE_ARC_SEG_prd_compare_around(&p0, seg_piece(s0), (x.arm & 2) != 0, &p1, seg_piece(s1),
                                               (y.arm & 2) != 0, nullptr, nullptr, 0, 0, grid_point);
    }
    return PSI__compare_arms(psi, x.node, x.arm, y.node, y.arm);
}

// Parameter of a point along a segment, in doubles (for the coarse order
// check only).
inline double along_param(RING_node_s* seg, const PNT2_s& p) {
    const LINE_ARC_SEG_s* s = seg_piece(seg);
    const PNT2_s a = seg_start(seg);
    if (LINE_ARC_SEG_is_line(s)) {
        const double dx = s->x - a.x, dy = s->y - a.y;
        return ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
    }
    PNT2_s c;
    double r = 0, sweep = 0;
    LINE_ARC_SEG_calc_arc_data(s, &a, &c, &r, &sweep);
    const double a0 = std::atan2(a.y - c.y, a.x - c.x);
    const double ap = std::atan2(p.y - c.y, p.x - c.x);
    double d = s->h >= 0 ? ap - a0 : a0 - ap;
    const double two_pi = 6.283185307179586;
    while (d < -1.0) d += two_pi;  // points may round a little before the start
    while (d > two_pi - 1.0) d -= two_pi;
    return d;
}

inline std::vector<std::string> psi_validate(const PSI_s* psi,
                                             const std::vector<PSI_segment_search_wrapper_s*>& wrappers) {
    std::vector<std::string> errors;
    auto fail = [&](const std::string& what, const PSI_INTXN_NODE_s* n) {
        std::ostringstream o;
        o << what << " at (" << (n ? n->pnt.x : 0) << ", " << (n ? n->pnt.y : 0) << ")";
        if (errors.size() < 50) errors.push_back(o.str());
    };
    // Free records must not be reachable.
    std::set<const PSI_INTXN_NODE_s*> free_set;
    for (PSI_INTXN_NODE_s* f = psi->free_nodes; f && free_set.size() < 1000000; f = f->pn_along[0]) free_set.insert(f);
    // 1. Reachable records.
    std::set<PSI_INTXN_NODE_s*> seen;
    std::vector<PSI_INTXN_NODE_s*> todo;
    for (PSI_segment_search_wrapper_s* w : wrappers)
        for (int i = 0; i < w->count; ++i)
            if (w->first_nodes && w->first_nodes[i]) todo.push_back(w->first_nodes[i]);
    while (!todo.empty()) {
        PSI_INTXN_NODE_s* n = todo.back();
        todo.pop_back();
        if (!n || !seen.insert(n).second) continue;
        if (free_set.count(n)) fail("free record reachable", n);
        for (int a = 0; a < 4; ++a) {
            todo.push_back(n->pn_along[a]);
            todo.push_back(n->next_around[a]);
        }
        todo.push_back(n->next);
    }
    const long bound = static_cast<long>(seen.size()) * 4 + 4;
    // 2. Per record and arm.
    for (PSI_INTXN_NODE_s* n : seen) {
        for (int i = 0; i < 2; ++i) {
            if (n->flags[i] & PSI_NODE_FLAG_EQUAL) fail("merge mark 0x0400 left", n);
            if (n->segs[i] && (n->flags[i] & PSI_NODE_FLAG_UNSORTED)) fail("sort mark 0x0200 left", n);
        }
        for (int a = 0; a < 4; ++a) {
            PSI_INTXN_NODE_s* m = n->pn_along[a];
            if (!m) {
                if (n->next_around[a] != n || n->next_around_idx[a] != a) fail("inactive arm in a cycle", n);
                continue;
            }
            RING_node_s* s = n->segs[a & 1];
            if (!s) {
                fail("along link without segment", n);
                continue;
            }
            const int j = seg_index(m, s);
            if (j < 0) {
                fail("along neighbour lacks the segment", n);
                continue;
            }
            if (m->pn_along[(a & 2) ? j : 2 + j] != n) fail("along link not symmetric", n);
            if (a & 2) {
                // Sub-segment n -> m: blank marks at both ends or neither.
                const bool leave = (n->flags[a & 1] & PSI_NODE_FLAG_LEAVE_BLANK) != 0;
                const bool arrive = (m->flags[j] & PSI_NODE_FLAG_ARRIVE_BLANK) != 0;
                if (leave != arrive) fail("blank marked at one end only", n);
                // Coarse order: a node well before its predecessor is misplaced.
                const double d = along_param(s, m->pnt) - along_param(s, n->pnt);
                if (d < 0 && std::hypot(m->pnt.x - n->pnt.x, m->pnt.y - n->pnt.y) > 2.0)
                    fail("nodes out of order along a segment", n);
            }
        }
        for (PSI_INTXN_NODE_s* g = n->next; g; g = g->next) {
            for (int a = 0; a < 4; ++a)
                if (g->pn_along[a]) fail("ghost with an along link", g);
            if (g->pnt.x != n->pnt.x || g->pnt.y != n->pnt.y) fail("ghost away from its holder", g);
            if (!seen.count(g)) break;
        }
    }
    // 3. Segments: from the start node forward to a node at the end point.
    for (PSI_segment_search_wrapper_s* w : wrappers) {
        for (int i = 0; i < w->count; ++i) {
            PSI_INTXN_NODE_s* n = w->first_nodes ? w->first_nodes[i] : nullptr;
            if (!n) continue;
            RING_node_s* s = w->segs[i];
            if (n->segs[0] != s) fail("start node does not start its segment", n);
            if (!(n->flags[0] & PSI_NODE_FLAG_VERTEX)) fail("start node not a vertex", n);
            const PNT2_s st = seg_start(s);
            if (n->pnt.x != st.x || n->pnt.y != st.y) fail("start node away from the segment start", n);
            long steps = 0;
            while (n && steps++ < bound) {
                const int j = seg_index(n, s);
                if (j < 0) break;
                if (!n->pn_along[2 + j]) break;
                n = n->pn_along[2 + j];
            }
            if (steps >= bound) {
                fail("segment list does not end", n);
                continue;
            }
            const PNT2_s e = seg_end(s);
            if (!n || n->pnt.x != e.x || n->pnt.y != e.y) fail("segment list ends away from the segment end", n);
        }
    }
    // 4. Cycles.
    std::set<ArmRef> done;
    for (PSI_INTXN_NODE_s* n : seen) {
        for (int a = 0; a < 4; ++a) {
            if (!n->pn_along[a] || done.count(ArmRef{n, a})) continue;
            std::vector<ArmRef> cyc;
            ArmRef r{n, a};
            bool closed = false;
            for (long k = 0; k < bound; ++k) {
                cyc.push_back(r);
                done.insert(r);
                ArmRef nx{r.node->next_around[r.arm], r.node->next_around_idx[r.arm]};
                r = nx;
                if (r == ArmRef{n, a}) {
                    closed = true;
                    break;
                }
            }
            if (!closed) {
                fail("cycle does not close", n);
                continue;
            }
            const PNT2_s* grid = nullptr;
            std::set<std::pair<RING_node_s*, int>> legs;
            for (const ArmRef& x : cyc) {
                if (!x.node->pn_along[x.arm]) fail("inactive arm in a cycle", x.node);
                if (x.node->pnt.x != n->pnt.x || x.node->pnt.y != n->pnt.y) fail("cycle spans two points", x.node);
                if (is_grid_record(x.node)) grid = &x.node->pnt;
                if (!legs.insert({x.node->segs[x.arm & 1], x.arm & 2}).second) {
                    std::ostringstream o;
                    o << "segment leaves a point twice in one direction:";
                    for (const ArmRef& y : cyc) {
                        RING_node_s* s = y.node->segs[y.arm & 1];
                        const PNT2_s a = seg_start(s), e = seg_end(s);
                        o << " [" << y.node << "/" << y.arm << " " << s << " (" << a.x << "," << a.y << ")->(" << e.x
                          << "," << e.y << ") h " << seg_piece(s)->h << " f" << y.node->flags[0] << "/"
                          << y.node->flags[1] << "]";
                    }
                    fail(o.str(), x.node);
                }
            }
            if (!errors.empty() || cyc.size() < 2) continue;
            // Half-turn class against the first arm, then the order inside.
            auto cls = [&](const ArmRef& x) {
                if (x == cyc[0]) return 0;
                const int c = compare_arms(psi, x, cyc[0], grid);
                // Arms along the first arm that the tie order puts before it
                // close the turn.
                if (c == 0) return PSI__arm_tie_less(psi, x.node, x.arm, cyc[0].node, cyc[0].arm) ? 4 : 0;
                return c == 1 ? 1 : c == 2 ? 2 : 3;
            };
            for (size_t k = 1; k < cyc.size(); ++k) {
                const ArmRef p = cyc[k - 1], q = cyc[k];
                const int cp = cls(p), cq = cls(q);
                bool ok;
                if (cp != cq) {
                    ok = cp < cq;
                } else {
                    const int c = (cp == 0 || cp == 4) ? 0 : compare_arms(psi, q, p, grid);
                    ok = c == 1 || (c == 0 && PSI__arm_tie_less(psi, p.node, p.arm, q.node, q.arm));
                }
                if (!ok) {
                    std::ostringstream o;
                    o << "arms not strictly counter-clockwise (" << cyc.size() << " arms, grid " << (grid != nullptr)
                      << ", at arm " << k << "):";
                    for (const ArmRef& x : cyc) {
                        RING_node_s* s = x.node->segs[x.arm & 1];
                        const PNT2_s a = seg_start(s), e = seg_end(s);
                        o << " [" << x.node << "/" << x.arm << " cls " << cls(x) << " (" << a.x << "," << a.y << ")->("
                          << e.x << "," << e.y << ") h " << seg_piece(s)->h << " f" << x.node->flags[0] << "/"
                          << x.node->flags[1] << "]";
                    }
                    fail(o.str(), p.node);
                }
            }
        }
    }
    return errors;
}

// The network as plain data: per segment the positions of its nodes in
// order, and the set of cycles as rotations of (segment, forward) lists
// starting at their least element, keyed by position.
struct Canonical {
    std::map<RING_node_s*, std::vector<std::pair<double, double>>> along;
    std::multiset<std::pair<std::pair<double, double>, std::vector<std::pair<RING_node_s*, int>>>> cycles;
    bool operator==(const Canonical& o) const { return along == o.along && cycles == o.cycles; }
};

inline Canonical psi_canonical(const std::vector<PSI_segment_search_wrapper_s*>& wrappers) {
    Canonical out;
    std::set<ArmRef> done;
    for (PSI_segment_search_wrapper_s* w : wrappers) {
        for (int i = 0; i < w->count; ++i) {
            PSI_INTXN_NODE_s* n = w->first_nodes ? w->first_nodes[i] : nullptr;
            RING_node_s* s = w->segs[i];
            auto& list = out.along[s];
            for (int guard = 0; n && guard < 1000000; ++guard) {
                list.push_back({n->pnt.x, n->pnt.y});
                const int j = seg_index(n, s);
                for (int a : {j, 2 + j}) {
                    if (!n->pn_along[a] || done.count(ArmRef{n, a})) continue;
                    std::vector<std::pair<RING_node_s*, int>> legs;
                    ArmRef r{n, a};
                    for (int k = 0; k < 100000; ++k) {
                        done.insert(r);
                        legs.push_back({r.node->segs[r.arm & 1], r.arm & 2});
                        r = ArmRef{r.node->next_around[r.arm], r.node->next_around_idx[r.arm]};
                        if (r == ArmRef{n, a}) break;
                    }
                    std::rotate(legs.begin(), std::min_element(legs.begin(), legs.end()), legs.end());
                    out.cycles.insert({{n->pnt.x, n->pnt.y}, legs});
                }
                n = n->pn_along[2 + j];
            }
        }
    }
    return out;
}

}  // namespace psi_test
