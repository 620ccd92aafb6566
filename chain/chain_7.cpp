// Chain transforms.
//
// Each transform is one affine map f of the plane applied vertex by vertex:
// the end point p of every vertex becomes f(p); an arc vertex also maps its
// centre c and takes |f(c) - f(p)| as its radius, so the arc stays exact for
// every similarity (and radii stay positive when f reverses or scales by a
// negative factor).  Reflection reverses the plane's orientation, so it also
// turns every arc's sense.
#include <merrow1/chain.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_transform.h>
#include <merrow1/chain_types.h>

#include "chain/chain_record.h"

#include <cmath>

namespace {

using merrow1::arc_of;
using merrow1::vertex_record;

bool is_chain(const RING_header_s* ring) { return ring && ring->type == RING_TYPE_CHAIN; }

// The flag kind of an arc vertex (SEG_ARC + 1 in the two low bits).
const unsigned kArcFlagKind = SEG_ARC + 1;

// Applies the map to every vertex of the chain (at most the vertex count,
// following successors from the first), then recomputes a cached box.
// `map` writes f(in) to out; `flip_arcs` turns every arc's sense.
template <class Map>
void transform_chain(RING_header_s* chain, const Map& map, bool flip_arcs) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        CHAIN_vertex_data_s* vertex = vertex_record(node);
        if (!vertex || !vertex->geometry) continue;
        double* p = vertex->geometry;
        double fp[2];
        map(p, fp);
        if ((vertex->flags & CHAIN_VERTEX_SEG_TYPE_MASK) == kArcFlagKind) {
            end_segment* arc = arc_of(node);
            const double c[2] = {arc->cx, arc->cy};
            double fc[2];
            map(c, fc);
            arc->cx = fc[0];
            arc->cy = fc[1];
            arc->radius = std::hypot(fc[0] - fp[0], fc[1] - fp[1]);
            if (flip_arcs) arc->direction = arc->direction == CCW ? CW : CCW;
        }
        p[0] = fp[0];
        p[1] = fp[1];
    }
    CHAIN_refresh_cached_box(chain);
}

}  // namespace

void CHAIN_translate_chain(RING_header_s* chain_or_list, const Korvo::Math::Vector2* v) {
    if (!chain_or_list || !v) return;
    const double vx = v->x, vy = v->y;
    auto map = [vx, vy](const double p[2], double out[2]) {
        out[0] = p[0] + vx;
        out[1] = p[1] + vy;
    };
    if (is_chain(chain_or_list)) {
        transform_chain(chain_or_list, map, false);
        CHAIN_debug_report(3, "CHAIN_translate_chain", chain_or_list, nullptr);
        return;
    }
    if (chain_or_list->type != RING_TYPE_LIST) return;
    RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!is_chain(chain) || !chain->first || !chain->last) continue;
        transform_chain(chain, map, false);
        CHAIN_debug_report(3, "CHAIN_translate_chain", chain, nullptr);
    }
    // The list's own cached box covers its chains and moved with them.
    CHAIN_refresh_cached_box(chain_or_list);
}

void CHAIN_scale_chain(RING_header_s* chain, double s, const Korvo::Math::Point2* c) {
    if (!is_chain(chain) || !c) return;
    const double cx = c->x, cy = c->y;
    transform_chain(
        chain,
        [s, cx, cy](const double p[2], double out[2]) {
            out[0] = cx + s * (p[0] - cx);
            out[1] = cy + s * (p[1] - cy);
        },
        false);
    CHAIN_debug_report(3, "CHAIN_scale_chain", chain, nullptr);
}

void CHAIN_rotate_chain(RING_header_s* chain, double angle, const Korvo::Math::Point2* c) {
    if (!is_chain(chain) || !c) return;
    const double cx = c->x, cy = c->y;
    const double cos_a = std::cos(angle), sin_a = std::sin(angle);
    transform_chain(
        chain,
        [cx, cy, cos_a, sin_a](const double p[2], double out[2]) {
            const double dx = p[0] - cx, dy = p[1] - cy;
            out[0] = cx + (cos_a * dx - sin_a * dy);
            out[1] = cy + (sin_a * dx + cos_a * dy);
        },
        false);
    CHAIN_debug_report(3, "CHAIN_rotate_chain", chain, nullptr);
}

void CHAIN_reflect_chain(RING_header_s* chain, const Korvo::Math::Point2* p0, const Korvo::Math::Vector2* u) {
    if (!is_chain(chain) || !p0 || !u) return;
    const double ox = p0->x, oy = p0->y, ux = u->x, uy = u->y;
    transform_chain(
        chain,
        [ox, oy, ux, uy](const double p[2], double out[2]) {
            // q is the foot of p on the line; the mirror image is 2 q - p.
            const double t = ux * (p[0] - ox) + uy * (p[1] - oy);
            const double qx = ox + ux * t, qy = oy + uy * t;
            out[0] = 2.0 * qx - p[0];
            out[1] = 2.0 * qy - p[1];
        },
        true);
    CHAIN_debug_report(3, "CHAIN_reflect_chain", chain, nullptr);
}
