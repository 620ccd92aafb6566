// Merging chains: appending parts of chains with the source links of the
// merged vertices.
#include <merrow1/chain_merge.h>

#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_debug.h>
#include <merrow1/chain_source.h>
#include <quorn/quorn.h>

#include "chain/chain_record.h"

#include <cmath>
#include <cstddef>

void CHAIN_attach_source_data(RING_header_s* chain, RING_node_s* vertex, RING_header_s* source_chain,
                              RING_node_s* source_vertex) {
    if (!chain || !vertex) return;
    // Key 20: the vertex's own record, made in the chain's pool when it has none.
    auto* segment = static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data,
                                                                                APP_DATA_SOURCE_SEGMENT));
    if (!segment) {
        segment = CMEM_NEW(chain->pool, CHAIN_source_segment_s);
        if (segment && !APP_DATA__add_data(&vertex->app_data, segment, APP_DATA_SOURCE_SEGMENT, chain->pool)) {
            CMEM_private_delete_object(segment);
            segment = nullptr;
        }
    }
    if (segment) *segment = {source_chain, source_vertex};
    // Key 17, without mark.
    CHAIN_assign_source_chain_source_vertex_pc_data(source_chain, source_vertex, false, chain->pool, vertex);
    const CHAIN_vertex_data_s* source = merrow1::vertex_record(source_vertex);
    CHAIN_vertex_data_s* target = merrow1::vertex_record(vertex);
    if (source && target && (source->flags & CHAIN_VERTEX_TRACED_SOURCE)) target->flags |= CHAIN_VERTEX_TRACED_SOURCE;
}

// ---------------------------------------------------------------------------
// Appending parts of chains

namespace {

// Two ends of a part closer than this (squared) are one point.
const double kSamePointSquared = 1e-16;

// The head of the trace record that tracing hangs on a vertex under key 1
// (32 bytes in all); only the blank byte is read here.
struct TraceVertexHead {
    double offset;
    int material_side;
    unsigned char dummy;
    unsigned char vertex_piece;
    unsigned char blank;  // the segment ending here is taken whole or not at all
};
static_assert(offsetof(TraceVertexHead, blank) == 14, "the blank byte follows the dummy and vertex-piece bytes");

using merrow1::arc_of;
using merrow1::point_of;

bool is_blank(const RING_node_s* vertex) {
    const auto* record = static_cast<const TraceVertexHead*>(
        APP_DATA__ask_app_data(vertex->app_data, CHAIN_APP_DATA_TRACE_VERTEX));
    return record && record->blank;
}

// One end of a part as the merge walks it.  Segment k is the one that ends at
// the k-th vertex after the first; on a closed chain the numbers of a part may
// run past the vertex count through the start.
struct PartEnd {
    double point[2];
    double parameter;
    int segment;        // the segment the part begins on (start) or ends on (end)
    RING_node_s* node;  // the vertex that holds that segment
    bool at_vertex;     // start: at the segment's start vertex; end: at its end vertex
};

struct Walk {
    RING_header_s* source;
    PartEnd start;
    PartEnd end;
};

// Reads the part into walking form.  The start place of a part at a vertex
// names the node after that vertex (the segment the part begins on); the end
// place names the node whose segment holds the end.  The segment numbers come
// from the parameters, and the end's node is found by walking from the
// start's, so a part once around a closed chain is told from an empty one.
// False when the part does not fit its chain: then nothing is appended.
bool read_part(const PART_OF_CHAIN_s& part, Walk* walk) {
    const POINT_ON_CHAIN_s* s = part.start;
    const POINT_ON_CHAIN_s* e = part.end;
    if (!s || !e || !s->chain || s->chain != e->chain || !s->node) return false;
    walk->source = s->chain;
    const int n = walk->source->count;
    if (n < 2) return false;

    walk->start = {{s->point[0], s->point[1]}, s->parameter, 0, s->node, s->inside == 0};
    walk->start.segment = static_cast<int>(s->inside ? std::floor(s->parameter) : std::lround(s->parameter)) + 1;
    walk->end = {{e->point[0], e->point[1]}, e->parameter, 0, nullptr, e->inside == 0};
    walk->end.segment = e->inside ? static_cast<int>(std::floor(e->parameter)) + 1
                                  : static_cast<int>(std::lround(e->parameter));
    if (walk->start.at_vertex && !walk->start.node->previous) return false;

    // At most once around a closed chain (the start's segment again at the
    // end); an open chain ends the walk earlier with a null successor.
    const int span = walk->end.segment - walk->start.segment;
    if (span < 0 || span > n) return false;
    RING_node_s* node = walk->start.node;
    for (int k = 0; k < span && node; ++k) {
        if (!point_of(node)) return false;
        node = node->next;
    }
    if (!node || !point_of(node)) return false;
    walk->end.node = node;
    return true;
}

// Moves ends that lie on blank segments off them: the start forward to the
// segment's end vertex, the end back to its start vertex; when both ends lie
// on the one blank segment, the moving end goes onto the other.
void snap_to_blank_segments(Walk* walk) {
    PartEnd& start = walk->start;
    PartEnd& end = walk->end;
    if (is_blank(start.node)) {
        if (start.segment == end.segment) {
            start.point[0] = end.point[0];
            start.point[1] = end.point[1];
            start.parameter = end.parameter;
        } else {
            const double* p = point_of(start.node);
            start = {{p[0], p[1]}, static_cast<double>(start.segment), start.segment + 1, start.node->next, true};
        }
    }
    if (is_blank(end.node)) {
        if (start.segment == end.segment) {
            end.point[0] = start.point[0];
            end.point[1] = start.point[1];
            end.parameter = start.parameter;
        } else {
            RING_node_s* previous = end.node->previous;
            const double* p = point_of(previous);
            end = {{p[0], p[1]}, static_cast<double>(end.segment - 1), end.segment - 1, previous, true};
        }
    }
}

bool is_degenerate(const Walk& walk) {
    const double dx = walk.end.point[0] - walk.start.point[0];
    const double dy = walk.end.point[1] - walk.start.point[1];
    return std::fabs(walk.end.parameter - walk.start.parameter) <= EQ_ask_number_tolerance() &&
           dx * dx + dy * dy <= kSamePointSquared;
}

// The segment held by the node, ending at the point; backward, an arc turns
// the other way.  Anything but an arc becomes a line.
end_segment segment_to(const RING_node_s* node, const double point[2], bool reversed, SEGMENT_TYPE* type) {
    end_segment geometry{};
    *type = CHAIN_seg_ask_type(node);
    if (*type == SEG_ARC) {
        geometry = *arc_of(node);
        if (reversed) geometry.direction = geometry.direction == CCW ? CW : CCW;
    } else {
        *type = SEG_LINE;
    }
    geometry.x = point[0];
    geometry.y = point[1];
    return geometry;
}

class Merger {
public:
    Merger(RING_header_s* target, RING_header_s* source, CHAIN_vertex_source_callback_t callback, bool links)
        : target_(target), source_(source), callback_(callback), links_(links), was_empty_(!target->first) {}

    // The first point of the run.  The callback's second argument is the
    // node holding the part's first segment when the chain had vertices; the
    // SEG_POINT of an empty chain names the source vertex only when it
    // stands at one; a point merged into the chain's end names none.
    void first_point(const double point[2], RING_node_s* from, RING_node_s* segment_node, bool at_vertex) {
        end_segment geometry{};
        geometry.x = point[0];
        geometry.y = point[1];
        RING_node_s* added = ChainAddVertex(target_, &geometry, SEG_LINE);
        RING_node_s* named = was_empty_ ? (at_vertex ? from : nullptr) : segment_node;
        notify(from, added ? named : nullptr, added);
    }

    // A vertex copied from the source segment held by the node.
    void segment(const RING_node_s* node, const double point[2], bool reversed) {
        SEGMENT_TYPE type;
        const end_segment geometry = segment_to(node, point, reversed, &type);
        RING_node_s* added = ChainAddVertex(target_, &geometry, type);
        RING_node_s* from = const_cast<RING_node_s*>(node);
        if (added && links_) CHAIN_attach_source_data(target_, added, source_, from);
        notify(from, from, added);
    }

    // The chain after a step, under the chain debug status.
    void report() const { CHAIN_debug_report(3, "CHAIN_merge", target_, target_->last); }

private:
    void notify(RING_node_s* from, RING_node_s* from_segment, RING_node_s* added) {
        RING_node_s* vertex = added ? added : target_->last;
        if (callback_ && vertex) callback_(from, from_segment, source_, vertex, target_);
    }

    RING_header_s* target_;
    RING_header_s* source_;
    CHAIN_vertex_source_callback_t callback_;
    bool links_;
    bool was_empty_;
};

// 1. Start point; 2. the whole segments from the start's up to the end's;
// 3. the end's segment cut at the end point.
void merge_forward(Merger& merger, const Walk& walk) {
    const PartEnd& start = walk.start;
    const PartEnd& end = walk.end;
    RING_node_s* start_vertex = start.at_vertex ? start.node->previous : start.node;
    merger.first_point(start.point, start_vertex, start.node, start.at_vertex);
    merger.report();

    RING_node_s* node = start.node;
    for (int k = start.segment; k < end.segment; ++k, node = node->next)
        merger.segment(node, point_of(node), false);
    merger.report();

    merger.segment(end.node, end.point, false);
    merger.report();
}

// The mirror: the end point, then each segment walked from its end to its
// start (the new vertex stands at the source vertex before the segment), the
// start's segment cut at the start point.
void merge_backward(Merger& merger, const Walk& walk) {
    const PartEnd& start = walk.start;
    const PartEnd& end = walk.end;
    merger.first_point(end.point, end.node, end.node, end.at_vertex);
    merger.report();

    RING_node_s* node = end.node;
    for (int k = end.segment; k > start.segment; --k, node = node->previous)
        merger.segment(node, point_of(node->previous), true);
    merger.report();

    merger.segment(start.node, start.point, true);
    merger.report();
}

void merge(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction, CHAIN_vertex_source_callback_t callback,
           bool snap, bool links) {
    if (!chain || !part) return;
    CHAIN_debug_report(16, "CHAIN_merge -- Start", chain, nullptr);
    Walk walk{};
    if ((direction == 0 || direction == 1) && read_part(*part, &walk)) {
        if (snap) snap_to_blank_segments(&walk);
        if (!is_degenerate(walk)) {
            Merger merger(chain, walk.source, callback, links);
            if (direction == 0)
                merge_forward(merger, walk);
            else
                merge_backward(merger, walk);
        }
    }
    CHAIN_debug_report(19, "CHAIN_merge -- End", chain, nullptr);
}

}  // namespace

void CHAIN__merge(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
                  CHAIN_vertex_source_callback_t callback, bool snap) {
    merge(chain, part, direction, callback, snap, true);
}

int ChainMerge(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
               CHAIN_vertex_source_callback_t callback) {
    merge(chain, part, direction, callback, true, true);
    return 1;
}

int ChainMergeNoSource(RING_header_s* chain, const PART_OF_CHAIN_s* part, int direction,
                       CHAIN_vertex_source_callback_t callback) {
    merge(chain, part, direction, callback, true, false);
    return 1;
}
