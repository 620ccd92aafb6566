// The check of the chains a public entry is given (chain_check.h).
#include "chain/chain_check.h"

#include <merrow1/chain.h>
#include <merrow1/chain_types.h>
#include <quorn/quorn.h>

#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/ring_check.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace {

using merrow1::arc_of;
using merrow1::is_closed;

// Position (from 1) of the first vertex whose point, or arc centre or
// radius, is not finite; 0 when there is none.  *untyped is set when a vertex
// has no geometry to read (or no type): the readers' own refusal applies.
int first_non_finite_vertex(const RING_header_s* chain, bool* untyped) {
    *untyped = false;
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        const auto* vertex = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        if (!vertex || !vertex->geometry || (vertex->flags & CHAIN_VERTEX_SEG_TYPE_MASK) == 0) {
            *untyped = true;
            return 0;
        }
        // A point or line vertex holds two doubles: only an arc's record is
        // read as a whole end_segment.
        const SEGMENT_TYPE type = CHAIN_seg_ask_type(node);
        const bool finite = type == SEG_ARC
                                ? CHAIN__end_is_finite(*arc_of(node), type)
                                : std::isfinite(vertex->geometry[0]) && std::isfinite(vertex->geometry[1]);
        if (!finite) return i + 1;
    }
    return 0;
}

// Position (from 1) of the first arc vertex one of whose ends lies off its
// circle: the end's distance from the stored centre differs from the stored
// radius by more than the length tolerance, beyond the rounding of that
// distance itself.  Such a record names two circles at once (the readers that
// take the ends and the radius see one, those that take the centre another),
// so no reading of it is the arc its caller meant.  0 when there is none.
// The vertices are finite (first_non_finite_vertex passed).
int first_arc_off_its_circle(const RING_header_s* chain) {
    const double tolerance = EQ_ask_length_tolerance();
    const RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        // The first vertex of an open chain starts the chain: no arc ends there.
        if (!node->previous || CHAIN_seg_ask_type(node) != SEG_ARC) continue;
        const end_segment& arc = *arc_of(node);
        const double* start = merrow1::point_of(node->previous);
        if (!start) continue;
        auto off = [&](double x, double y) {
            const double magnitude = std::fmax(std::fmax(std::fabs(x), std::fabs(y)),
                                               std::fmax(std::fmax(std::fabs(arc.cx), std::fabs(arc.cy)), arc.radius));
            const double rounding = 8.0 * DBL_EPSILON * magnitude;
            return !(std::fabs(std::hypot(x - arc.cx, y - arc.cy) - arc.radius) <= tolerance + rounding);
        };
        if (off(start[0], start[1]) || off(arc.x, arc.y)) return i + 1;
    }
    return 0;
}

// The checks of one chain; position is its place in the list (0: alone).
bool chain_usable(const RING_header_s* chain, int position, const char* entry, unsigned checks) {
    if (chain->type != RING_TYPE_CHAIN) return true;  // not a chain: the entry's own readers decide
    // The place of the chain in a message is written only when one is made.
    char where[64] = "";
    bool untyped = false;
    const int bad = first_non_finite_vertex(chain, &untyped);
    if (untyped) return merrow1::precondition_failed(__FILE__, __LINE__, "DUE_TO_VERTEX_WITHOUT_GEOMETRY");
    if (bad) {
        if (position > 0) std::snprintf(where, sizeof where, "chain %d, ", position);
        return merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_VERTEX_NOT_FINITE", "%s: %svertex %d", entry,
                                               where, bad);
    }
    if (const int off = first_arc_off_its_circle(chain)) {
        if (position > 0) std::snprintf(where, sizeof where, "chain %d, ", position);
        return merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_ARC_END_OFF_CIRCLE", "%s: %svertex %d",
                                               entry, where, off);
    }
    // Any open chain, a lone start point too, would reach the region
    // machinery as an open poly; a chain without vertices bounds nothing.
    if ((checks & CHAIN_INPUT_CLOSED) && chain->count > 0 && !is_closed(chain)) {
        if (position > 0) std::snprintf(where, sizeof where, ": chain %d", position);
        return merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_CHAIN_BEING_OPEN", "%s%s", entry, where);
    }
    return true;
}

}  // namespace

bool CHAIN__input_usable(const RING_header_s* chain_or_list, const char* entry, unsigned checks) {
    if (!chain_or_list) return true;
    if (chain_or_list->type != RING_TYPE_LIST) {
        // The note the loaders and the other list entries give.
        if (checks & CHAIN_INPUT_LIST) return merrow1::list_or_null(chain_or_list, __FILE__, __LINE__);
        return chain_usable(chain_or_list, 0, entry, checks);
    }
    const RING_node_s* node = chain_or_list->first;
    for (int i = 0; i < chain_or_list->count && node; ++i, node = node->next) {
        const RING_header_s* chain = RING_ask_node_subring(node);
        if (chain && !chain_usable(chain, i + 1, entry, checks)) return false;
    }
    return true;
}

bool CHAIN__offset_in_range(const RING_header_s* chain, double offset, const char* entry) {
    // m bounds every coordinate of the chain and of its offset: the largest
    // coordinate, centre coordinate or radius plus |offset|.  A difference of
    // two such coordinates is at most 2m, a squared distance at most 8m^2;
    // the margin of 64 covers the products of such values the offset code
    // forms (intersections of offset lines and arcs).
    double m = 0.0;
    const RING_node_s* node = chain ? chain->first : nullptr;
    for (int i = 0; chain && i < chain->count && node; ++i, node = node->next) {
        const auto* vertex = static_cast<const CHAIN_vertex_data_s*>(node->main_data);
        if (!vertex || !vertex->geometry) continue;
        m = std::fmax(m, std::fmax(std::fabs(vertex->geometry[0]), std::fabs(vertex->geometry[1])));
        if (CHAIN_seg_ask_type(node) == SEG_ARC) {
            const auto* arc = arc_of(node);
            m = std::fmax(m, std::fmax(std::fmax(std::fabs(arc->cx), std::fabs(arc->cy)), std::fabs(arc->radius)));
        }
    }
    m += std::fabs(offset);
    if (std::isfinite(64.0 * m * m)) return true;
    return merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_OFFSET_OUT_OF_RANGE", "%s: offset %g", entry,
                                           offset);
}
