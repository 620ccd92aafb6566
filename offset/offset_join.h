// Where two offsets that do not cross still meet, for the tracer's and the
// stocked walk's concave corners; which source segments are too short to
// carry an offset of their own; and the corner type a walk joins a corner
// by.
#pragma once

#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_segments.h>
#include <merrow1/segment.h>
#include <merrow1/segment_intersection.h>
#include <stend/system.h>

#include "chain/chain_corner_kind.h"
#include "chain/chain_readings.h"
#include "chain/chain_record.h"
#include "internal/vec2.h"

#include <cmath>

namespace merrow1 {

// Whether reading a chain's segments reports nothing: the segment
// consistency check writes only at checking level 1 or more with chain and
// segment debugging on.  A stage that a bound shows cannot change an answer
// is passed over only then, so that none of its reports goes missing.
inline bool segment_reads_are_silent() {
    return MACH__checking_level < 1 || SEGMENT_ask_segment_debug_status() == 0 || !CHAIN_ask_chain_debug_status();
}

// Offsets at a turn too slight, or beside a segment too short, for their
// crossing to fall on both: where the next offset's start lies on the
// previous one within the tolerance (or the previous one's end on the next
// one), the two run together there and meet at that end, which goes to
// `at`.  A dummy join back from one to the other would make a loop of pieces
// lying within the tolerance of each other, whose crossings no intersection
// can place.
inline bool offsets_meet_at_an_end(const SEGMENT& previous, const SEGMENT& next, double tolerance, double at[2]) {
    const double* start = next.start;
    const double* end = reinterpret_cast<const double*>(previous.end);
    const LOCATION start_on_previous =
        SEGMENT_point_location(&previous, Korvo::Math::Point2{start[0], start[1]}, tolerance);
    if (start_on_previous == 3 || start_on_previous == 4) {
        at[0] = start[0], at[1] = start[1];
        return true;
    }
    const LOCATION end_on_next = SEGMENT_point_location(&next, Korvo::Math::Point2{end[0], end[1]}, tolerance);
    if (end_on_next == 2 || end_on_next == 3) {
        at[0] = end[0], at[1] = end[1];
        return true;
    }
    return false;
}

// A source segment no longer than the tolerance carries no offset of its
// own: its two ends lie within the tolerance of each other, so the joins
// about them are circles of one radius about nearly one centre, crossing at
// an angle of about length / offset, and where they cross cannot be placed.
// The tracer and the stocked walk join the segments before and after it as
// one corner (see corner_joined_beyond); that corner's pieces lie within the
// tolerance of the true offset.
inline bool carries_no_offset(const SEGMENT& segment, double tolerance) {
    return SegmentLength(&segment) <= tolerance;
}

// Whether some segment of the chain carries an offset of its own.  A chain
// all of whose segments are that short is walked segment by segment: joined
// across, it would have no corner left to join.
inline bool some_segment_carries_offset(const RING_header_s* chain, double tolerance) {
    const RING_node_s* node = chain->first;
    SEGMENT segment;
    for (int i = 0; i < chain->count && node; ++i, node = node->next)
        if (ChainSegment(chain, node, &segment) && (segment.type == SEG_LINE || segment.type == SEG_ARC) &&
            !carries_no_offset(segment, tolerance))
            return true;
    return false;
}

// Where a walk round the chain starts: the first vertex of an open chain; for
// a closed chain the first vertex, or after it the first one whose incoming
// segment carries an offset of its own, so that no run of segments without
// one passes the walk's start.
inline const RING_node_s* walk_start(const RING_header_s* chain, double tolerance) {
    const RING_node_s* first = chain->first;
    if (!first || !chain->last || chain->last->next != first) return first;
    const RING_node_s* start = first;
    SEGMENT segment;
    for (int i = 0; i < chain->count; ++i, start = start->next)
        if (!ChainSegment(chain, start, &segment) || !carries_no_offset(segment, tolerance)) return start;
    return first;
}

// Whether the segment starting at the vertex carries no offset of its own,
// so that a walk from `start` (walk_start) joins the corner across it, at the
// vertex ending it.  At an open chain's ends the corner is the end itself: a
// short first segment is walked over to the start of the second, a short
// last one from the end of the one before.  Never across the segment that
// ends at the walk's start, whose end the walk has passed, nor in a chain of
// one segment.
inline bool corner_joined_beyond(const RING_header_s* chain, const RING_node_s* start, const RING_node_s* vertex,
                                 double tolerance) {
    const RING_node_s* next = vertex ? vertex->next : nullptr;
    if (!next || next == start) return false;
    auto real = [](const SEGMENT& s) { return s.type == SEG_LINE || s.type == SEG_ARC; };
    SEGMENT before, segment, after;
    if (!ChainSegment(chain, next, &segment) || !real(segment) || !carries_no_offset(segment, tolerance))
        return false;
    const bool has_before = ChainSegment(chain, vertex, &before) && real(before);
    const bool has_after = next->next && ChainSegment(chain, next->next, &after) && real(after);
    return has_before || has_after;
}

// The corner a walk joins at `vertex` comes in along the segment ending at
// its entry: the vertex itself, or the first vertex of the run of segments
// that carry no offset and end at the vertex.  `accept` is the walk's own
// test of a joined segment (corner_joined_beyond, and whatever else the walk
// needs); the run never passes the walk's start.
template <class Accept>
const RING_node_s* corner_entry(const RING_header_s* chain, const RING_node_s* start, const RING_node_s* vertex,
                                Accept accept) {
    const RING_node_s* entry = vertex;
    for (int i = 0; i < chain->count && entry && entry != start && entry->previous && accept(entry->previous); ++i)
        entry = entry->previous;
    return entry ? entry : vertex;
}

// The corner's tangents: the incoming one at the entry, the outgoing one at
// the vertex, with their curvatures (optional), as ChainVertexTangent gives
// them.
inline CHAIN_tangent_status_t corner_tangents(const RING_header_s* chain, const RING_node_s* entry,
                                              const RING_node_s* vertex, double in[2], double out[2],
                                              double* k_in, double* k_out) {
    if (entry == vertex) return ChainVertexTangent(chain, vertex, in, out, k_in, k_out);
    double unused[2], k_unused = 0.0;
    const CHAIN_tangent_status_t before = ChainVertexTangent(chain, entry, in, unused, k_in, &k_unused);
    const CHAIN_tangent_status_t after = ChainVertexTangent(chain, vertex, unused, out, &k_unused, k_out);
    const bool has_in = before == CHAIN_TANGENT_BOTH || before == CHAIN_TANGENT_INCOMING;
    const bool has_out = after == CHAIN_TANGENT_BOTH || after == CHAIN_TANGENT_OUTGOING;
    return has_in && has_out ? CHAIN_TANGENT_BOTH
           : has_in          ? CHAIN_TANGENT_INCOMING
           : has_out         ? CHAIN_TANGENT_OUTGOING
                             : CHAIN_TANGENT_NONE;
}

// ChainCornerType of a corner joined from its entry: the same rule on its own
// tangents.
inline int joined_corner_type(const RING_header_s* chain, const RING_node_s* entry, const RING_node_s* vertex) {
    if (entry == vertex) return ChainCornerType(chain, vertex);
    double a[2], b[2];
    const CHAIN_tangent_status_t tangents = corner_tangents(chain, entry, vertex, a, b, nullptr, nullptr);
    return corner_kind(chain, tangents, a, b);
}

// At a reversal, curvatures of opposite signs govern by the smaller radius
// only when the radii differ by more than this.
constexpr double kDistinctRadii = 1e-8;

// The corner type the tracer joins a corner by (the stocked walk takes it
// where it finds a reversal concave) (0 undefined, 1 start, 2 end, 3
// concave, 4 convex, 5 smooth): that of
// joined_corner_type (which goes to *raw), except where the chain doubles
// back.  There the turn's sign and the material side decide, unless the
// tangents reverse exactly, or so nearly that the governing arc comes back
// across the other piece's tangent line within the length tolerance of the
// vertex: the two pieces then run together there, and the side the
// governing arc bends to decides (a cusp whose pieces part to one side is a
// spike tip, not a corner to walk round the back of).  Only two lines, or
// two arcs of one radius, running back along each other (the turn at an
// open chain's end when it is closed back along itself) leave the corner
// undefined, to be walked round.
inline int walked_corner_type(const RING_header_s* source, const RING_node_s* entry, const RING_node_s* vertex,
                              int* raw) {
    const int type = joined_corner_type(source, entry, vertex);
    if (raw) *raw = type;
    if (type != CORNER_TYPE_NONE) return type;
    double in[2], out[2], k_in = 0.0, k_out = 0.0;
    if (corner_tangents(source, entry, vertex, in, out, &k_in, &k_out) != CHAIN_TANGENT_BOTH) return type;
    const SIDE side = main_of(source)->material_side;
    if (side != LEFT && side != RIGHT) return type;
    // a: the incoming tangent reversed; b: the outgoing one.
    const double a[2] = {-in[0], -in[1]}, b[2] = {out[0], out[1]};
    // The curvature that governs a reversal: the arc's where an arc meets a
    // line, the common one of two arcs bending alike, else the sharper one.
    const SEGMENT_TYPE t_in = CHAIN_seg_ask_type(entry);
    const SEGMENT_TYPE t_out = vertex->next ? CHAIN_seg_ask_type(vertex->next) : SEG_POINT;
    double k = 0.0;
    if (t_in == SEG_ARC && t_out != SEG_ARC)
        k = k_in;
    else if (t_out == SEG_ARC && t_in != SEG_ARC)
        k = k_out;
    else if (k_in != 0.0 && k_out != 0.0) {
        if ((k_in > 0.0) == (k_out > 0.0))
            k = k_in;
        else if (std::fabs(1.0 / k_in - 1.0 / k_out) > kDistinctRadii &&
                 std::fabs(std::fabs(1.0 / k_in) - std::fabs(1.0 / k_out)) > kDistinctRadii)
            k = std::fabs(k_in) > std::fabs(k_out) ? k_in : k_out;
    }
    // The governing arc leaves the other piece's tangent line by at most
    // (1 - cos t) / |k| for the angle t between the tangents.
    const double departure = std::fabs(dot(a, b) - 1.0);
    const double tolerance = length_tolerance_of(source);
    if (departure > 1e-10 && !(k != 0.0 && departure <= tolerance * std::fabs(k))) {
        const double c = cross(a, b);
        return (c > 0.0 && side == RIGHT) || (c <= 0.0 && side == LEFT) ? CORNER_TYPE_CONVEX : CORNER_TYPE_CONCAVE;
    }
    if (k == 0.0) return type;
    if (side == RIGHT) return k < 0.0 ? CORNER_TYPE_CONCAVE : CORNER_TYPE_CONVEX;
    return k > 0.0 ? CORNER_TYPE_CONCAVE : CORNER_TYPE_CONVEX;
}

}  // namespace merrow1
