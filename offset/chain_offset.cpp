// Offsets of single chains: the dispatcher, its three roads and the entries
// built on them.
//
// The dispatcher:
//   1. Refuse a missing chain or pool and an offset that is not finite (null,
//      noted).  A corner control other than ADD_ARC, EXTEND_TANGENT,
//      BREAK_CORNER or ALWAYS_EXTEND_TANGENT is noted and taken as ADD_ARC.
//   2. A chain without a material side (neither RIGHT nor LEFT) cannot be
//      offset to a side: a non-zero offset is noted and the zero-offset road
//      taken.
//   3. Zero offset: the cleaned copy of the chain.
//   4. An open chain takes the open road: it is closed back along itself and
//      offset, by the older engine as a closed chain whose pieces traced from
//      the forward half are kept (its trace keeps its embedded loops for the
//      clean to judge, see offset_closed), by the newer one through the
//      special tracing of the traced-offset cleaner.  With BREAK_CORNER both engines
//      offset the closed chain as the older one does (the stocked walk about
//      both sides, cleaned as a closed region, its forward pieces kept); the
//      stocked walk of the open chain itself, cleaned as an open chain, would
//      keep stretches that run into the material and its end caps.  The caps
//      round the two ends are the offset of the chain's ends, never
//      connecting pieces (unmark_end_caps).  Everything else takes the
//      closed road: trace, then clean.
//   5. A closed ADD_ARC offset that gives nothing is tried again in 2, 3 and
//      4 equal steps when stepping can work at all (feasibility below).
// A negative offset works on the other side: the source's material side is
// flipped for the call, the tracer gets the magnitude and the results' sides
// are flipped back.  Whatever a road stamps on the caller's chain (side,
// direction, the there-and-back marks, the geometry-type record) goes back on
// every path, errors included.
#include <merrow1/chain_offset.h>

#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_clean.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_intersection.h>
#include <merrow1/chain_order.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/chain_trace.h>
#include <merrow1/chain_violation.h>

#include <pellam/mchn_offset.h>
#include <pellam/mchn_segment.h>
#include <quorn/quorn.h>
#include <velte/cmem.h>

#include "chain/chain_check.h"
#include "chain/chain_readings.h"
#include "chainops/chain_backtrack.h"
#include "chainops/chain_poly_seg_internal.h"
#include "chainops/shape_kind.h"
#include "chain/chain_each.h"
#include "internal/check.h"
#include "internal/ring_nodes.h"
#include "offset_join.h"
#include "chain/chain_fields_guard.h"

#include <cmath>
#include <optional>
#include <unordered_set>
#include <vector>

namespace {

// Debug-report kinds of the offset stages.
constexpr int kReportInput = 32;
constexpr int kReportIntermediate = 34;
constexpr int kReportOutput = 35;
// Vertex marks.
constexpr unsigned kMarkSampleSource = 0x800u;     // zero-offset vertex of a SAMPLE_CHAIN source
constexpr unsigned kMarkThereAndBack = 0x20000u;   // traced from a vertex marked there-and-back (key 13)
// Equal geometry-type offsets.
constexpr double kEqualOffsets = 1e-8;
// Feasibility of stepping: the clearance a test point needs beyond the
// offset, and how far beyond the offset the longest line's mid-point is moved.
constexpr double kStepClearance = 1e-7;
constexpr double kStepProbe = 1e-6;
// Collapse-limit search: at most this many offsets tried; a request below
// the least is not searched.
constexpr int kCollapseTries = 100;
constexpr double kCollapseLeast = 1e-10;
// Traces one call of CHAIN__offset_trace makes at most: one, two half steps
// and four quarter steps.
constexpr int kTracesPerOffsetTrace = 7;

// The chain's main data: the one reader, under the name this file's walks use.
using merrow1::main_of;
using merrow1::is_closed;
using merrow1::vertex_record;

using merrow1::other_side;
bool has_side(const RING_header_s* chain) {
    const SIDE side = main_of(chain)->material_side;
    return side == RIGHT || side == LEFT;
}

bool is_valid_corner_control(int control) {
    return control == ADD_ARC || control == EXTEND_TANGENT || control == BREAK_CORNER ||
           control == ALWAYS_EXTEND_TANGENT;
}

void report(const char* label, RING_header_s* ring, int kind) { CHAIN_debug_report(kind, label, ring, nullptr); }

// A new, empty chain list in the pool.
RING_header_s* new_list(CMEM_pool_s* pool) { return RING_create_in_pool(nullptr, RING_TYPE_LIST, pool); }

// An empty list is no result: deleted, null.
RING_header_s* null_if_empty(RING_header_s* list) {
    if (list && !list->first) {
        RING_delete(list);
        return nullptr;
    }
    return list;
}

template <class Fn>
void for_each_result_chain(RING_header_s* list, Fn fn) {
    for (RING_node_s* node : merrow1::ring_nodes(list))
        if (RING_header_s* chain = RING_ask_node_subring(node)) fn(chain);
}

void flip_sides(RING_header_s* list) {
    for_each_result_chain(list, [](RING_header_s* chain) {
        if (CHAIN_main_data_s* md = main_of(chain)) md->material_side = other_side(md->material_side);
    });
}

// A closed chain runs inwards when its offset goes into the area it encloses.
bool runs_inwards(const RING_header_s* chain) {
    const DIRECTION direction = merrow1::stored_or_computed_direction(chain, merrow1::StoredDirection::CwOrCcw);
    const SIDE side = main_of(chain)->material_side;
    return (direction == CCW && side == RIGHT) || (direction == CW && side == LEFT);
}
bool runs_outwards(const RING_header_s* chain) {
    const DIRECTION direction = merrow1::stored_or_computed_direction(chain, merrow1::StoredDirection::CwOrCcw);
    const SIDE side = main_of(chain)->material_side;
    return (direction == CCW && side == LEFT) || (direction == CW && side == RIGHT);
}

struct Callbacks {
    CHAIN_trace_vertex_source_cb_t trace_source;
    CHAIN_trace_vertex_cb_t trace_vertex;
    CHAIN_vertex_source_callback_t vertex_source;
};

// The clean of a trace or stocked chain on the side: the offset cleaner
// (newer engine, closed chain: region by region, told whether the offset was
// negative), else the boolean clean.  A new list in the pool, possibly empty.
RING_header_s* clean_traced(RING_header_s* source, RING_header_s* raw, SIDE side, bool negative,
                            CHAIN_vertex_source_callback_t merge, CMEM_pool_s* pool, bool offset_cleaner) {
    if (!offset_cleaner) return CHAIN__clean(raw, side, merge, pool);
    merrow1::OwnedChain out(new_list(pool));
    CHAIN__clean_offset(source, raw, side, merge, out.get(), negative);
    return out.release();
}

// Whether the chain bounds a region of its own: closed, and not an open
// chain closed back along itself for the open road.
bool bounds_a_region(const RING_header_s* chain) {
    return is_closed(chain) && !APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_THERE_AND_BACK);
}

// The lines of a closed chain's trace that run back along the line before
// them within the tracing tolerance go before the clean; false when nothing
// is left.  The tracer finds every corner and trims every piece within that
// tolerance (two points closer are one point to it), so where the offset of
// a region collapses onto a line (at half a width, or short of it by less
// than the tolerance) the trace runs out along the line and back up to the
// tolerance apart: a piece shorter than the tolerance at the turn is dropped
// and the way back refitted onto the way out's end, or kept as a turn that
// stays within the tolerance of a point, or the two directions meet a
// rounding apart.  The lines then bound a triangle no wider than the
// tolerance, whose points all lie within it of the trace: no region a tool
// can follow, which an exact clean would keep as a face of the width of its
// error.  Taking it away changes the winding of no point off that triangle,
// so the clean's exact face decisions elsewhere stay as they were.  A trace
// of an open chain closed back along itself is left alone: its two sides
// run at twice the offset apart and are sorted by their marks afterwards.
// For the same reason a trace that fits in a square of the tolerance's side
// (the offset of a square a few roundings wider than twice the offset) is
// a point to the tracer: nothing is left.
//
// The box test needs no box when two vertices lie farther apart than the
// tolerance in x or in y: the box along the default axis (0, 1) holds every
// vertex's coordinates exactly (a projection on that axis or its normal is a
// coordinate), so its extent is at least their difference and the trace
// cannot fit.
bool vertices_spread_beyond(const RING_header_s* trace, double tolerance) {
    const RING_node_s* node = trace->first;
    if (!node || !vertex_record(node)->geometry) return false;
    const double* first = vertex_record(node)->geometry;
    node = node->next;
    for (int i = 1; i < trace->count && node; ++i, node = node->next) {
        const double* p = vertex_record(node)->geometry;
        if (p && (std::fabs(p[0] - first[0]) > tolerance || std::fabs(p[1] - first[1]) > tolerance)) return true;
    }
    return false;
}

bool cancel_trace_backtracks(const RING_header_s* source, RING_header_s* trace) {
    if (!bounds_a_region(source)) return true;
    const double tolerance = merrow1::length_tolerance_of(source);
    if (!CHAIN__cancel_loop_backtracks(trace, tolerance)) return false;
    if (merrow1::segment_reads_are_silent() && vertices_spread_beyond(trace, tolerance)) return true;
    CHAIN_BOX_s box{};
    return !(ChainBox(trace, nullptr, &box) && box.max_along - box.min_along <= tolerance &&
             box.max_normal - box.min_normal <= tolerance);
}

// ---------------------------------------------------------------------------
// The roads

// Zero offset: the chain copied into the pool as a trace, then cleaned.
RING_header_s* offset_zero(RING_header_s* chain, SIDE side, CHAIN_vertex_source_callback_t merge,
                           CMEM_pool_s* pool) {
    RING_header_s* copy = CHAIN_copy(chain, pool, merge);
    if (!copy) return nullptr;
    main_of(copy)->kind = TRACE_CHAIN;
    if (main_of(chain)->kind == SAMPLE_CHAIN) {
        const std::vector<RING_node_s*> nodes = merrow1::ring_nodes(copy);
        for (size_t i = 1; i < nodes.size(); ++i) vertex_record(nodes[i])->flags |= kMarkSampleSource;
    }
    // The copy stays in the pool: the cleaned chains' sources lead through it.
    return null_if_empty(CHAIN__clean(copy, side, merge, pool));
}

// The caps that the stocked walk (BREAK_CORNER) puts round the two ends of a
// chain closed back along itself, the pieces it made at the first vertex and
// at the turning vertex (header key 110), are the offset of the open chain's
// ends.  The walk marks them as connecting pieces: at a reversal whose two
// pieces leave the vertex alike the bisector runs back along the chain, so
// its test finds every such cap against the bisector.  The offset cleaner
// covers a connecting piece on the boundary of its result by lines through
// the piece's source vertex, which would cut the region of the cap away and
// leave the forward offset inside it, nearer than the offset to the chain's
// end, on the result.  So the caps lose the mark before the clean.
void unmark_end_caps(RING_header_s* trace, const RING_header_s* chain) {
    if (!CHAIN_is_closed_back_along_itself(chain)) return;
    const RING_node_s* turn = merrow1::turning_vertex(chain);
    for (RING_node_s* node : merrow1::ring_nodes(trace)) {
        CHAIN_trace_vertex_data_s* piece = CHAIN_ask_trace_vertex_data(node);
        const auto* source = static_cast<const CHAIN_source_chain_source_vertex_s*>(
            APP_DATA__ask_app_data(node->app_data, APP_DATA_SOURCE_VERTEX));
        if (piece && piece->vertex_piece && source &&
            (source->source_vertex == chain->first || source->source_vertex == turn))
            piece->dummy = 0;
    }
}

// The closed road: trace at the offset's magnitude, then clean.  The older
// clean gets a trace whose embedded loops are removed, except for a chain
// closed back along itself: that removal takes a loop holding connecting
// pieces for a part of a one-sided offset that collapsed, but the trace of
// such a chain runs round both of its sides, and where the chain turns
// sharply the connecting arc of one side crosses the chain and the other
// side's offset: a trace crossing itself once so, with connecting pieces on
// both lobes, would be deleted whole.  Its clean, from the trace's
// arrangement, decides what is left, as on the newer engine.
RING_header_s* offset_closed(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                             const Callbacks& cb, CMEM_pool_s* pool, bool delete_trace,
                             const CHAIN_traceOutputParams_s* output) {
    report("CHAIN__offset: source chain -- input", chain, kReportInput);
    if (side == 0) side = main_of(chain)->material_side;
    const bool negative = offset < 0.0;
    // The caller's material side, turned over for a negative offset, comes
    // back on every exit.
    merrow1::ChainFieldsGuard source_side(merrow1::kChainFieldMaterialSide);
    source_side.save(chain);
    if (negative) main_of(chain)->material_side = other_side(main_of(chain)->material_side);
    const bool offset_cleaner = CHAIN_ask_use_new_boolean() && is_closed(chain);
    const bool remove_embedded_loops = !offset_cleaner && !CHAIN_is_closed_back_along_itself(chain);
    RING_header_s* trace = CHAIN__trace(chain, std::fabs(offset), corner_control, 0, cb.trace_source,
                                        cb.trace_vertex, pool, remove_embedded_loops, output);
    report("CHAIN__offset: traced chain", trace, kReportIntermediate);
    if (!trace) return nullptr;  // the guard undoes the flip
    if (offset_cleaner && corner_control == BREAK_CORNER) unmark_end_caps(trace, chain);
    RING_header_s* result = nullptr;
    try {
        if (!cancel_trace_backtracks(chain, trace)) {
            // Nothing of the trace bounds a region: nothing results.
        } else if (offset_cleaner) {
            if (negative) {
                source_side.restore();
                main_of(trace)->material_side = other_side(main_of(trace)->material_side);
            }
            result = clean_traced(chain, trace, side, negative, cb.vertex_source, pool, true);
        } else {
            result = clean_traced(chain, trace, negative ? other_side(side) : side, negative, cb.vertex_source,
                                  pool, false);
            if (negative) {
                source_side.restore();
                flip_sides(result);
            }
        }
        result = null_if_empty(result);
        // The trace's sources go on to the result; the trace is deleted once,
        // here, when the disposal says so.
        if (delete_trace && CHAIN__delete_traced_chain(result, trace)) RING_delete(trace);
    } catch (...) {
        if (result) RING_delete(result);
        RING_delete(trace);
        throw;
    }
    report("CHAIN__offset: offset chains -- output", result, kReportOutput);
    return result;
}

// Split points of a chain traced from a there-and-back chain: a forward part
// starts at an unmarked vertex followed by a marked one and ends at a marked
// vertex followed by an unmarked one (or by none).
bool marked(const RING_node_s* node) { return node && (vertex_record(node)->flags & kMarkThereAndBack); }

int forward_part_junction(const RING_header_s* chain, const RING_node_s* vertex) {
    if (!vertex) return 2;
    const RING_node_s* next = vertex->next;
    if (next == chain->first && !is_closed(chain)) next = nullptr;
    if (!marked(vertex) && marked(next)) return 1;
    if (marked(vertex) && !marked(next)) return 2;
    return 0;
}

// Keeps the forward side of the chains traced from a there-and-back chain:
// chains wholly marked stay, unmarked ones go, mixed ones are cut into their
// marked parts.
RING_header_s* keep_forward_side(RING_header_s* offsets, CHAIN_vertex_source_callback_t merge, CMEM_pool_s* pool) {
    merrow1::OwnedChain whole(offsets);
    merrow1::OwnedChain kept(new_list(pool));
    for (RING_node_s* node : merrow1::ring_nodes(offsets)) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain) continue;
        int with = 0;
        const std::vector<RING_node_s*> vertices = merrow1::ring_nodes(chain);
        // The first vertex of an open chain ends no segment.
        for (size_t i = is_closed(chain) ? 0 : 1; i < vertices.size(); ++i) with += marked(vertices[i]);
        const int segments = static_cast<int>(vertices.size()) - (is_closed(chain) ? 0 : 1);
        if (segments > 0 && with == segments) {
            RING_move_node(offsets, node, kept.get(), kept.get()->last);
            continue;
        }
        if (with > 0) CHAIN_split_at_junction(chain, kept.get(), forward_part_junction, merge);
    }
    return kept.release();
}

// Restarts a closed chain at the point when the point lies on it (within the
// host length tolerance); other chains stay as they are.
void start_closed_at(RING_header_s* chain, const Korvo::Math::Point2& point) {
    if (!is_closed(chain) || chain->count < 2) return;
    POINT_ON_CHAIN_s place{};
    const double at[2] = {point.x, point.y};
    if (ChainPointMinDistance(chain, at, &place) <= EQ_ask_length_tolerance()) ChainSetStart(chain, &place);
}

// The caller's open chain closed back along itself for the open road, and
// reopened, without its there-and-back marks and with its side and direction,
// on every exit.
class ThereAndBack {
public:
    explicit ThereAndBack(RING_header_s* chain)
        : m_chain(chain),
          m_side(main_of(chain)->material_side),
          m_direction(main_of(chain)->direction),
          m_first(chain->first),
          m_first_flags(chain->first ? vertex_record(chain->first)->flags : 0) {
        CHAIN_create_closed_from_open_with_key(chain);
    }
    ~ThereAndBack() {
        CHAIN_recreate_open_chain(m_chain);
        // Reopening clears the back-side mark of the first vertex, which the
        // caller may have set: its flag word goes back as it was.
        if (m_first && m_chain->first == m_first) vertex_record(m_first)->flags = m_first_flags;
        drop_mark(m_chain->app_data, [&] { RING_delete_app_data(m_chain, CHAIN_APP_DATA_THERE_AND_BACK); });
        for (RING_node_s* node : merrow1::ring_nodes(m_chain))
            drop_mark(node->app_data,
                      [&] { RING_delete_app_data_of_node(m_chain, node, CHAIN_APP_DATA_THERE_AND_BACK); });
        main_of(m_chain)->material_side = m_side;
        main_of(m_chain)->direction = m_direction;
    }
    ThereAndBack(const ThereAndBack&) = delete;
    ThereAndBack& operator=(const ThereAndBack&) = delete;

private:
    // The mark's record belongs to its holder: unhooked, then freed.
    template <class Unhook>
    static void drop_mark(const APP_DATA_s* list, Unhook unhook) {
        void* record = APP_DATA__ask_app_data(list, CHAIN_APP_DATA_THERE_AND_BACK);
        if (!record) return;
        unhook();
        CMEM_private_delete_object(record);
    }
    RING_header_s* m_chain;
    SIDE m_side;
    DIRECTION m_direction;
    RING_node_s* m_first;
    unsigned int m_first_flags;
};

// The open road: the chain closed back along itself is offset as a closed
// chain and the forward side of the result kept.
RING_header_s* offset_open(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, const Callbacks& cb,
                           CMEM_pool_s* pool, bool delete_trace, const CHAIN_traceOutputParams_s* output) {
    report("CHAIN__offset_open_chain: input chain", chain, kReportInput);
    // Both engines keep the side of the closed chain that its forward half
    // traces: the older engine (and the newer one with BREAK_CORNER, whose
    // stocked walk marks its pieces as the tracer does) by the there-and-back
    // marks of the pieces, the special tracing of the newer engine by itself.
    // A negative offset traces the chain with its side flipped and flips the
    // results back.
    const bool newer = CHAIN_ask_use_new_boolean();
    const bool flipped = offset < 0.0;
    RING_header_s* result = nullptr;
    {
        ThereAndBack closed(chain);
        if (flipped) {
            CHAIN_main_data_s* md = main_of(chain);
            md->material_side = other_side(md->material_side);
            md->direction = md->direction == CW ? CCW : CW;
        }
        if (newer && corner_control != BREAK_CORNER) {
            // The special tracing offsets by the magnitude.
            result = CHAIN__offset_special_tracing(chain, std::fabs(offset), corner_control, SIDE(0), cb.trace_source,
                                                   cb.trace_vertex, cb.vertex_source, pool, delete_trace ? 1 : 0,
                                                   const_cast<CHAIN_traceOutputParams_s*>(output));
        } else {
            RING_header_s* offsets =
                offset_closed(chain, std::fabs(offset), corner_control, 0, cb, pool, delete_trace, output);
            report("CHAIN__offset_open_chain: offset chains", offsets, kReportIntermediate);
            result = offsets ? keep_forward_side(offsets, cb.vertex_source, pool) : nullptr;
        }
        merrow1::OwnedChain owned(result);
        // Ends that meet give a closed offset (kept whole, or closed where its
        // ends meet); it starts where the open chain's offset starts, at the
        // offset of the chain's first vertex.
        Korvo::Math::Point2 ends[2];
        const bool have_ends = CHAIN__open_offset_ends(chain, std::fabs(offset), ends);
        for_each_result_chain(result, [&](RING_header_s* piece) {
            CHAIN_main_data_s* md = main_of(piece);
            if (!md) return;
            if (have_ends) start_closed_at(piece, ends[0]);
            if (flipped) md->material_side = other_side(md->material_side);
            md->direction = CHAIN_direction_of_chain(piece);
        });
        result = null_if_empty(owned.release());
        report("CHAIN__offset_open_chain: list of chains", result, kReportIntermediate);
    }
    report("CHAIN__offset_open_chain: output chains", chain, kReportOutput);
    return result;
}

// Whether the offset of a closed chain can be made in steps: always outwards;
// inwards only when the chain is wide enough and a point well inside it
// (the centroid, else the longest line's mid-point moved inwards) stays
// clear of it by more than the offset.
bool stepping_feasible(RING_header_s* chain, double offset) {
    const bool inwards = runs_inwards(chain);
    if ((runs_outwards(chain) && offset > 0.0) || (inwards && offset < 0.0)) return true;
    if (!inwards || offset <= 0.0) return false;
    if (CHAIN__tracing_necessarily_collapses(chain, offset, 0.0)) return false;
    auto clear_inside = [&](const double p[2]) {
        return ChainPointLocation(chain, p, nullptr) == 1 &&
               ChainPointMinDistance(chain, p, nullptr) > offset + kStepClearance;
    };
    double centroid[2] = {0.0, 0.0};
    CHAIN_chainArea_chainCentroid(chain, centroid);
    if (clear_inside(centroid)) return true;
    Korvo::Math::Vector2 tangent{};
    double length = 0.0;
    RING_node_s* end = CHAIN_vertex_of_longest_linear_segment(chain, &tangent, &length);
    if (!end) return false;
    const double* b = vertex_record(end)->geometry;
    // The offset side of a chain running inwards: left of its way for
    // material on the right, right of it for material on the left.
    const double sense = main_of(chain)->material_side == RIGHT ? 1.0 : -1.0;
    const double reach = offset + kStepProbe;
    const double probe[2] = {b[0] - tangent.x * length / 2.0 - sense * tangent.y * reach,
                             b[1] - tangent.y * length / 2.0 + sense * tangent.x * reach};
    return clear_inside(probe);
}

// The offset in `steps` equal steps, each offsetting the one chain the step
// before gave.  The chains of intermediate steps stay in the pool (the
// result's sources lead through them); an attempt that fails deletes them.
RING_header_s* offset_in_steps(RING_header_s* chain, double offset, int steps, SIDE side, const Callbacks& cb,
                               CMEM_pool_s* pool, bool delete_trace, const CHAIN_traceOutputParams_s* output) {
    std::vector<RING_header_s*> made;
    RING_header_s* from = chain;
    auto fail = [&] {
        for (RING_header_s* step : made) RING_delete(step);
        return nullptr;
    };
    try {
        for (int k = 1; k <= steps; ++k) {
            RING_header_s* result =
                offset_closed(from, offset / steps, ADD_ARC, side, cb, pool, delete_trace, output);
            if (!result) return fail();
            if (k == steps) return result;
            if (result->count != 1) {
                RING_delete(result);
                return fail();
            }
            // The step's one chain leaves its list and becomes the source of
            // the next step.
            from = RING_ask_node_subring(result->first);
            RING_set_sub_ring_delfunc(result, nullptr);
            RING_delete(result);
            made.push_back(from);
        }
    } catch (...) {
        fail();
        throw;
    }
    return fail();
}

RING_header_s* dispatch(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                        const Callbacks& cb, CMEM_pool_s* pool, bool delete_trace,
                        const CHAIN_traceOutputParams_s* output) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    MERROW1_REQUIRE(std::isfinite(offset), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_offset", CHAIN_INPUT_FINITE) ||
        !CHAIN__offset_in_range(chain, offset, "CHAIN_offset"))
        return nullptr;
    if (!is_valid_corner_control(corner_control)) {
        MERROW1_NOTE_FAILURE("DUE_TO_INVALID_CORNER_CONTROL_VALUE");
        corner_control = ADD_ARC;
    }
    if (!has_side(chain)) {
        if (offset != 0.0) MERROW1_NOTE_FAILURE("DUE_TO_MATERIAL_SIDE_NOT_BEING_EITHER_RIGHT_OR_LEFT");
        return offset_zero(chain, side, cb.vertex_source, pool);
    }
    if (offset == 0.0) return offset_zero(chain, side, cb.vertex_source, pool);
    if (!is_closed(chain))
        return offset_open(chain, offset, corner_control, cb, pool, delete_trace, output);
    RING_header_s* result = offset_closed(chain, offset, corner_control, side, cb, pool, delete_trace, output);
    if (result || !is_closed(chain) || corner_control != ADD_ARC || !stepping_feasible(chain, offset)) return result;
    for (int steps = 2; steps <= 4 && !result; ++steps)
        result = offset_in_steps(chain, offset, steps, side, cb, pool, delete_trace, output);
    return result;
}

// ---------------------------------------------------------------------------
// Per-segment offsets

// The geometry-type record hung on a caller's chain for the length of a call:
// one made here from five offsets (freed on exit), or the caller's own
// record, referred to.  The record the chain carried before (if any) is put
// back on every exit.
class GeometryTypeRecord {
public:
    GeometryTypeRecord(RING_header_s* chain, const double values[5]) : m_chain(chain) {
        m_owned = CMEM_NEW(chain->pool, CHAIN_geometry_type_offsets_s);
        *m_owned = CHAIN_geometry_type_offsets_s{};
        for (int k = 0; k < 5; ++k) m_owned->offsets[k] = values[k];
        hang(m_owned);
    }
    GeometryTypeRecord(RING_header_s* chain, const CHAIN_geometry_type_offsets_s* record) : m_chain(chain) {
        // Hung for reading only: the per-segment callback never writes it.
        hang(const_cast<CHAIN_geometry_type_offsets_s*>(record));
    }
    ~GeometryTypeRecord() {
        RING_delete_app_data(m_chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
        if (m_owned) CMEM_private_delete_object(m_owned);
        if (m_before) RING_put_header_app_data(m_chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS, m_before);
    }
    GeometryTypeRecord(const GeometryTypeRecord&) = delete;
    GeometryTypeRecord& operator=(const GeometryTypeRecord&) = delete;

private:
    void hang(CHAIN_geometry_type_offsets_s* record) {
        m_before = APP_DATA__ask_app_data(m_chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
        if (m_before) RING_delete_app_data(m_chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS);
        RING_put_header_app_data(m_chain, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS, record);
    }
    RING_header_s* m_chain;
    void* m_before = nullptr;
    CHAIN_geometry_type_offsets_s* m_owned = nullptr;
};

// The stocked chain of a per-segment offset, made in the pool; null when the
// stock walk fails.
RING_header_s* stocked_chain(RING_header_s* chain, double tool_radius, double stock, CORNER_CONTROL corner_control,
                             CHAIN_stock_data_cb_t stock_cb, const Callbacks& cb, int options, CMEM_pool_s* pool) {
    RING_header_s* stocked = CHAIN_create_from_csys(nullptr, pool);
    if (!stocked) return nullptr;
    int ok = 0;
    try {
        ok = CHAIN__stock_general(chain, tool_radius, stock, stock_cb, cb.trace_vertex, corner_control,
                                  cb.trace_source, options, stocked);
    } catch (...) {
        RING_delete(stocked);
        throw;
    }
    if (!ok) {
        RING_delete(stocked);
        return nullptr;
    }
    return stocked;
}

// Whether most of the chain's per-segment offsets are negative: the
// negatives outnumber the positives more than ten times.
bool mostly_negative(const RING_header_s* chain, double tool_radius, double stock, CHAIN_stock_data_cb_t stock_cb) {
    const double tolerance = EQ_ask_length_tolerance();
    int negatives = 0, positives = 0;
    for (RING_node_s* node : merrow1::ring_nodes(chain)) {
        if (node == chain->first && !is_closed(chain)) continue;
        double first = stock, second = stock;
        CHAIN_tool_position_t position = 1;
        if (!stock_cb(chain, node, &first, &second, &position)) continue;
        const double value = first + (position == 1 ? tool_radius : 0.0);
        negatives += value < -tolerance;
        positives += value > tolerance;
    }
    return negatives > 10 * positives;
}

}  // namespace

// ===========================================================================
// The entries

RING_header_s* CHAIN_offset(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                            CHAIN_trace_vertex_source_cb_t trace_source_cb, CHAIN_trace_vertex_cb_t trace_vertex_cb,
                            CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                            const CHAIN_traceOutputParams_s* output) {
    return dispatch(chain, offset, corner_control, side, {trace_source_cb, trace_vertex_cb, vertex_source_cb}, pool,
                    false, output);
}

RING_header_s* CHAIN_offset_pattern(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool) {
    if (!CHAIN__input_usable(chain, "CHAIN_offset_pattern", CHAIN_INPUT_FINITE)) return nullptr;
    return dispatch(chain, offset, corner_control, side, {trace_source_cb, trace_vertex_cb, vertex_source_cb}, pool,
                    false, nullptr);
}

RING_header_s* CHAIN_offset_a_shape(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                                    int delete_trace) {
    if (!CHAIN__input_usable(chain, "CHAIN_offset_a_shape", CHAIN_INPUT_FINITE)) return nullptr;
    return dispatch(chain, offset, corner_control, side, {trace_source_cb, trace_vertex_cb, vertex_source_cb}, pool,
                    delete_trace != 0, nullptr);
}

RING_header_s* CHAIN_offset_general(RING_header_s* chain, double tool_radius, double stock,
                                    CORNER_CONTROL corner_control, SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                    CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                    CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                    CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    MERROW1_REQUIRE(std::isfinite(tool_radius) && std::isfinite(stock), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_offset_general", CHAIN_INPUT_FINITE)) return nullptr;
    const Callbacks cb{trace_source_cb, trace_vertex_cb, vertex_source_cb};
    // 1. Broken corners: the stock walk with loop removal, then the clean.
    if (corner_control == BREAK_CORNER) {
        RING_header_s* stocked =
            stocked_chain(chain, tool_radius, stock, BREAK_CORNER, stock_cb, cb, CHAIN__STOCK_REMOVE_LOOPS, pool);
        if (!stocked) return nullptr;
        return null_if_empty(CHAIN__clean(stocked, side, vertex_source_cb, pool));
    }
    // 2. One offset for the whole chain.
    if (!stock_cb)
        return CHAIN_offset(chain, tool_radius + stock, corner_control, side, trace_source_cb, trace_vertex_cb,
                            vertex_source_cb, pool, nullptr);
    // 3. A callback that gives one stock for the whole chain.
    double common = stock;
    CHAIN_tool_position_t position = 1;
    if (CHAIN__stock_data_function_is_effectively_NULL(chain, stock_cb, &common, &position))
        return CHAIN_offset(chain, common + (position == 1 ? tool_radius : 0.0), corner_control, side,
                            trace_source_cb, trace_vertex_cb, vertex_source_cb, pool, nullptr);
    // 4. Per-segment stocks through the stock walk; the stocked chain stays in
    // the pool.
    const bool offset_cleaner = CHAIN_ask_use_new_boolean() && is_closed(chain);
    RING_header_s* stocked = stocked_chain(chain, tool_radius, stock, corner_control, stock_cb, cb,
                                           offset_cleaner ? 0 : CHAIN__STOCK_REMOVE_LOOPS, pool);
    if (!stocked) return nullptr;
    const bool negative = offset_cleaner && mostly_negative(chain, tool_radius, stock, stock_cb);
    return null_if_empty(clean_traced(chain, stocked, side, negative, vertex_source_cb, pool, offset_cleaner));
}

RING_header_s* CHAIN_offset_segments_by_geometry_type(RING_header_s* chain, double type1_offset,
                                                      double type4_offset, double type2_offset,
                                                      double type3_offset, double other_offset,
                                                      CORNER_CONTROL corner_control, SIDE side,
                                                      CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                                      CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                                      CHAIN_vertex_source_callback_t vertex_source_cb,
                                                      CMEM_pool_s* pool) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    // The offsets in the order of the host's counts: types 1, 4, 2, 3, other.
    const double values[5] = {type1_offset, type4_offset, type2_offset, type3_offset, other_offset};
    for (double value : values) MERROW1_REQUIRE(std::isfinite(value), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_offset_segments_by_geometry_type", CHAIN_INPUT_FINITE)) return nullptr;
    int counts[5] = {0, 0, 0, 0, 0};
    MCHN_count_segments_by_geom_type(chain, counts);
    bool have_reference = false, equal = true;
    double reference = other_offset;
    for (int k = 0; k < 5; ++k) {
        if (counts[k] == 0) continue;
        if (!have_reference) {
            have_reference = true;
            reference = values[k];
        } else if (std::fabs(values[k] - reference) > kEqualOffsets) {
            equal = false;
        }
    }
    if (equal)
        return CHAIN_offset(chain, reference, corner_control, side, trace_source_cb, trace_vertex_cb,
                            vertex_source_cb, pool, nullptr);
    GeometryTypeRecord record(chain, values);
    return CHAIN_offset_general(chain, 0.0, other_offset, corner_control, side, CHAIN_determine_segment_offset,
                                trace_source_cb, trace_vertex_cb, vertex_source_cb, pool);
}

int CHAIN_determine_segment_offset(const RING_header_s* chain, const RING_node_s* vertex, double* first,
                                   double* second, CHAIN_tool_position_t* position) {
    if (!chain || !first || !second || !position) return 0;
    const auto* record = static_cast<const CHAIN_geometry_type_offsets_s*>(
        APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_GEOMETRY_TYPE_OFFSETS));
    if (!record) return 0;
    const bool closed = is_closed(chain);
    double value = 0.0;
    if (record->flags[0]) {
        value = record->offsets[4];
    } else if (record->flags[1] && closed && main_of(chain) && runs_inwards(chain)) {
        value = record->offsets[5];
    } else if (record->flags[2] && closed && main_of(chain) && runs_outwards(chain)) {
        value = record->offsets[6];
    } else if (record->flags[3] && !closed) {
        value = record->offsets[7];
    } else {
        switch (MCHN_ask_segment_geom_type(chain, vertex)) {
            case 1: value = record->offsets[0]; break;
            case 2: value = record->offsets[2]; break;
            case 3: value = record->offsets[3]; break;
            case 4: value = record->offsets[1]; break;
            default: value = record->offsets[4]; break;
        }
    }
    *first = *second = value;
    *position = 1;
    return 1;
}

namespace {

// The largest offset up to the request at which the chain still gives a
// result, to within the tolerance, by halving the interval between the
// largest try that worked and the least that failed.
double collapse_limit(RING_header_s* chain, double request, double tolerance, const Callbacks& cb) {
    if (request < kCollapseLeast || !chain->first) return request;
    double low = 0.0, high = request, attempt = request;
    for (int k = 0; k < kCollapseTries; ++k) {
        RING_header_s* result = CHAIN_offset_a_shape(chain, attempt, ADD_ARC, 0, cb.trace_source, cb.trace_vertex,
                                                     nullptr, chain->pool, 0);
        if (!result) {
            high = attempt;
            attempt = (attempt + low) / 2.0;
        } else {
            RING_delete(result);
            low = attempt;
            attempt = (attempt + high) / 2.0;
        }
        if (high - low <= tolerance) break;
    }
    return attempt;
}

}  // namespace

RING_header_s* CHAIN_OffsetOpenBothSides(RING_header_s* chain, double first_radius, double second_radius,
                                         double first_stock, double second_stock, CORNER_CONTROL corner_control,
                                         SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                         CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                         CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                         CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool,
                                         ENDCAP_TYPE cap_type, const CHAIN_test_stock_collapse_data_t* collapse) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    MERROW1_REQUIRE(std::isfinite(first_radius) && std::isfinite(second_radius) && std::isfinite(first_stock) &&
                        std::isfinite(second_stock),
                    "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_OffsetOpenBothSides", CHAIN_INPUT_FINITE)) return nullptr;
    const Callbacks cb{trace_source_cb, trace_vertex_cb, vertex_source_cb};
    if (collapse && collapse->test) {
        const double request = first_radius + first_stock;
        const double limit = collapse_limit(chain, request, collapse->tolerance, cb);
        if (limit < request) first_stock = std::fmax(limit - first_radius, 0.0);
    }
    RING_header_s* stocked = CHAIN_create_from_csys(nullptr, pool);
    if (!stocked) return nullptr;
    try {
        CHAIN_StockOpenBothSides(chain, first_radius, second_radius, first_stock, second_stock, stock_cb,
                                 trace_vertex_cb, corner_control, trace_source_cb, stocked, cap_type);
    } catch (...) {
        RING_delete(stocked);
        throw;
    }
    if (!stocked->first) {
        RING_delete(stocked);
        return nullptr;
    }
    return null_if_empty(clean_traced(nullptr, stocked, side, false, vertex_source_cb, pool, true));
}

RING_header_s* CHAIN_standard_offset(RING_header_s* chain, double offset, CORNER_CONTROL corner_control, SIDE side,
                                     CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                     CHAIN_trace_vertex_cb_t trace_vertex_cb, CMEM_pool_s* pool,
                                     const CHAIN_traceOutputParams_s* output) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_standard_offset", CHAIN_INPUT_FINITE)) return nullptr;
    MERROW1_REQUIRE(std::isfinite(offset), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    report("CHAIN_standard_offset: source chain -- input", chain, kReportInput);
    const bool negative = offset < 0.0;
    merrow1::ChainFieldsGuard source_side(merrow1::kChainFieldMaterialSide);
    source_side.save(chain);
    if (negative) main_of(chain)->material_side = other_side(main_of(chain)->material_side);
    RING_header_s* trace = CHAIN__trace(chain, std::fabs(offset), corner_control, 1, trace_source_cb,
                                        trace_vertex_cb, pool, true, output);
    report("CHAIN_standard_offset: traced chain", trace, kReportIntermediate);
    if (!trace) return nullptr;
    // The standard clean takes the trace itself into its result.
    RING_header_s* result = CHAIN__standard_clean(trace, side, pool);
    if (negative) {
        flip_sides(result);
        source_side.restore();
    }
    result = null_if_empty(result);
    report("CHAIN_standard_offset: offset chains -- output", result, kReportOutput);
    return result;
}

RING_header_s* CHAIN_negatively_offset_the_trace_of_a_chain(RING_header_s* chain, double offset,
                                                            CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                                            CMEM_pool_s* pool) {
    MERROW1_REQUIRE(chain && chain->type == RING_TYPE_CHAIN && main_of(chain) && pool, "DUE_TO_INVALID_INPUT",
                    nullptr);
    MERROW1_REQUIRE(std::isfinite(offset), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chain, "CHAIN_negatively_offset_the_trace_of_a_chain", CHAIN_INPUT_FINITE)) return nullptr;
    if (!(offset > 0.0)) return nullptr;
    auto trace = [&](RING_header_s* from) {
        RING_header_s* out = CHAIN__offset_trace(from, offset, ADD_ARC, 0, trace_source_cb, nullptr, pool, true);
        return out && !CHAIN_trace_holds_dummy_pieces(out) ? out : nullptr;
    };
    RING_header_s* out = trace(chain);
    if (!out) return nullptr;
    main_of(out)->material_side = other_side(main_of(out)->material_side);
    RING_header_s* back = trace(out);
    if (!back || CHAIN_number_of_intersection_points_in_common(out, back) != 0) return nullptr;
    // The traces from the last back to the first, through their sources
    // (header key 10): the two calls made at most kTracesPerOffsetTrace each.
    std::vector<RING_header_s*> traces;
    for (RING_header_s* at = back;; at = static_cast<RING_header_s*>(
                                         APP_DATA__ask_app_data(at->app_data, APP_DATA_STOCKED_FROM))) {
        if (!at || static_cast<int>(traces.size()) >= 2 * kTracesPerOffsetTrace) MERROW1_INFINITE_LOOP();
        traces.push_back(at);
        if (at == out) break;
    }
    for (RING_header_s* at : traces) main_of(at)->material_side = other_side(main_of(at)->material_side);
    main_of(back)->kind = OFFSET_CHAIN;
    RING_header_s* result = new_list(pool);
    RING_insert_after(result, nullptr, back);
    report("CHAIN_negatively_offset_the_trace_of_a_chain", result, kReportOutput);
    return result;
}

namespace {
int g_new_filleting_status = 1;
}  // namespace

int CHAIN_ask_new_filleting_status() { return g_new_filleting_status; }
void CHAIN_set_new_filleting_status(int status) { g_new_filleting_status = status; }

// ===========================================================================
// Offsets of region sets

namespace {

// The chains of a set that carry main data, in order.
using merrow1::shapes_of;

// The offset chains of a region set, in one list in the pool.  They go with
// the list unless the result is handed out: then they stay in the pool, as
// the result's sources lead through them, and only the list goes.
class OffsetChains {
public:
    explicit OffsetChains(CMEM_pool_s* pool) : m_list(new_list(pool)) {}
    ~OffsetChains() {
        if (!m_list) return;
        if (m_handed_out) RING_set_sub_ring_delfunc(m_list, nullptr);
        RING_delete(m_list);
    }
    OffsetChains(const OffsetChains&) = delete;
    OffsetChains& operator=(const OffsetChains&) = delete;

    // Takes over the chains of an offset result (null: nothing).
    void append(RING_header_s* result) {
        if (!result) return;
        RING_append_ring(m_list, result);
        RING_delete(result);
    }
    RING_header_s* list() const { return m_list; }
    void handed_out() { m_handed_out = true; }

private:
    RING_header_s* m_list;
    bool m_handed_out = false;
};

// Whether the set holds both a closed outer boundary (material outside, not
// a trace) and an island.
bool mixes_outer_boundaries_and_islands(const RING_header_s* chains) {
    bool outer = false, island = false;
    for (RING_header_s* chain : shapes_of(chains)) {
        outer = outer || merrow1::is_closed_pocket(chain);
        island = island || merrow1::is_island(chain);
    }
    return outer && island;
}

// Material sides mirrored for a boolean on the other side: the offset chains
// now, and on every exit the offset chains and the output's chains mirrored
// (back) once each, a chain held by both counted once.
class MirroredForBoolean {
public:
    MirroredForBoolean(RING_header_s* offsets, RING_header_s* out, bool active)
        : m_offsets(offsets), m_out(out), m_active(active) {
        if (m_active) flip_sides(offsets);
    }
    ~MirroredForBoolean() {
        if (!m_active) return;
        std::unordered_set<RING_header_s*> done;
        for (RING_header_s* list : {m_offsets, m_out})
            for_each_result_chain(list, [&](RING_header_s* chain) {
                CHAIN_main_data_s* md = main_of(chain);
                if (md && done.insert(chain).second) md->material_side = other_side(md->material_side);
            });
    }
    MirroredForBoolean(const MirroredForBoolean&) = delete;
    MirroredForBoolean& operator=(const MirroredForBoolean&) = delete;

private:
    RING_header_s* m_offsets;
    RING_header_s* m_out;
    bool m_active;
};

}  // namespace

RING_header_s* CHAIN_offset_region_general(RING_header_s* chains, double offset, CORNER_CONTROL corner_control,
                                           SIDE side, CHAIN_stock_data_cb_t stock_cb,
                                           const CHAIN_geometry_type_offsets_s* client_data,
                                           const bool* use_callback, CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                           CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                           CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(chains && pool, "DUE_TO_INVALID_INPUT", nullptr);
    MERROW1_REQUIRE(std::isfinite(offset), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chains, "CHAIN_offset_region_general", CHAIN_INPUT_LIST)) return nullptr;
    report("CHAIN_offset_region_general: input", chains, kReportInput);
    // 1. Whether the set runs both ways: then flipped groups are looked for.
    const std::vector<RING_header_s*> members = shapes_of(chains);
    bool inwards = false, outwards = false;
    for (RING_header_s* chain : members) {
        if (!is_closed(chain) || !has_side(chain)) continue;
        inwards = inwards || runs_inwards(chain);
        outwards = outwards || runs_outwards(chain);
    }
    // 2. The regions in containment order, on a list of references.
    merrow1::OwnedChain ordered(new_list(pool));
    RING_set_sub_ring_delfunc(ordered.get(), nullptr);
    for (RING_header_s* chain : members) RING_insert_after(ordered.get(), ordered.get()->last, chain);
    const int count = ordered.get()->count;
    CHAIN_order_regions(ordered.get());
    if (ordered.get()->count != count) MERROW1_NOTE_FAILURE("DUE_TO_UNEXPECTED_CHANGE_IN_REGION_COUNT");
    // 3. Each region offset, per segment unless its entry of the array says no.
    OffsetChains offsets(pool);
    int index = 0;
    for (RING_node_s* node : merrow1::ring_nodes(ordered.get())) {
        RING_header_s* chain = RING_ask_node_subring(node);
        if (!chain) continue;
        ++index;
        if (use_callback && !use_callback[index - 1]) {
            offsets.append(CHAIN_offset_general(chain, 0.0, offset, corner_control, side, nullptr, trace_source_cb,
                                                trace_vertex_cb, vertex_source_cb, pool));
            continue;
        }
        std::optional<GeometryTypeRecord> record;
        if (client_data) record.emplace(chain, client_data);
        offsets.append(CHAIN_offset_general(chain, 0.0, offset, corner_control, side, stock_cb, trace_source_cb,
                                            trace_vertex_cb, vertex_source_cb, pool));
    }
    report("CHAIN_offset_region_general: before boolean", offsets.list(), kReportIntermediate);
    // 4. The regions between the offsets.
    merrow1::OwnedChain out(new_list(pool));
    if (!CHAIN_boolean_between(offsets.list(), side, out.get(), vertex_source_cb)) return nullptr;
    report("CHAIN_offset_region_general: after boolean", out.get(), kReportIntermediate);
    // 5. Groups whose inside and outside flipped go.
    if (inwards && outwards) CHAIN_check_flipping_cut_shapes(ordered.get(), out.get());
    report("CHAIN_offset_region_general: output", out.get(), kReportOutput);
    offsets.handed_out();
    return null_if_empty(out.release());
}

RING_header_s* CHAIN_offset_and_boolean(RING_header_s* chains, double offset, CORNER_CONTROL corner_control,
                                        SIDE side, CHAIN_trace_vertex_source_cb_t trace_source_cb,
                                        CHAIN_trace_vertex_cb_t trace_vertex_cb,
                                        CHAIN_vertex_source_callback_t vertex_source_cb, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(chains && pool, "DUE_TO_INVALID_INPUT", nullptr);
    MERROW1_REQUIRE(std::isfinite(offset), "DUE_TO_OFFSET_NOT_FINITE", nullptr);
    if (!CHAIN__input_usable(chains, "CHAIN_offset_and_boolean", CHAIN_INPUT_LIST)) return nullptr;
    report("CHAIN_offset_all: input", chains, kReportInput);
    OffsetChains offsets(pool);
    for (RING_header_s* chain : shapes_of(chains))
        offsets.append(CHAIN_offset(chain, offset, corner_control, side, trace_source_cb, trace_vertex_cb,
                                    vertex_source_cb, pool, nullptr));
    report("CHAIN_offset_all: before boolean", offsets.list(), kReportIntermediate);
    merrow1::OwnedChain out(new_list(pool));
    int made = 0;
    {
        // A negative offset's chains lie on the other side of their sources:
        // the boolean resolves them with mirrored sides.
        const bool negative = offset < 0.0;
        MirroredForBoolean mirrored(offsets.list(), out.get(), negative);
        made = CHAIN_boolean_between(offsets.list(), negative ? other_side(side) : side, out.get(),
                                     vertex_source_cb);
    }
    if (!made) return nullptr;
    // An offset away from the material of a set that mixes outer boundaries
    // and islands: groups whose inside and outside flipped go, as in the
    // other region offsets (an island grown over a vanished or covered
    // outer boundary is no air).
    if (offset > 0.0 && mixes_outer_boundaries_and_islands(chains)) {
        CHAIN_check_flip_mach_regions(chains, out.get());
        if (!out.get()->first) return nullptr;
    }
    report("CHAIN_offset_all: output", out.get(), kReportOutput);
    offsets.handed_out();
    return null_if_empty(out.release());
}
