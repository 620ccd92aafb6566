// Chains to poly-segments and poly-segments back to chains.
#include <merrow1/poly_seg_chain.h>

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_corner.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_source.h>
#include <merrow1/segment.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_record.h"
#include "chain/chain_readings.h"
#include "internal/check.h"
#include "internal/ring_check.h"
#include "internal/scratch_pool.h"
#include "polyset/poly_seg_chain_internal.h"
#include "polyset/poly_seg_internal.h"

#include <quorn/quorn.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/cerr.h>
#include <velte/cmem.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace merrow1::poly_seg;

namespace {

// The trace record that tracing hangs on a vertex under key 1 (32 bytes):
// the stock value first, then the marks read here.
struct StockRecord {
    double stock;
    int side;
    unsigned char dummy;  // the piece ending here only connects
    unsigned char large;  // a dummy spanning a large stock
    unsigned char blank;  // the piece ending here is to be left out of the result
    unsigned char rest[17];
};
static_assert(sizeof(StockRecord) == 32, "the trace record is 32 bytes");

enum { KEY_TRACE_RECORD = CHAIN_APP_DATA_TRACE_VERTEX, KEY_SPLIT_RECORD_SIZE = 48 };

// Segment flags written here beyond the named ones of poly_seg.h.
const uint32_t FLIPPED_DUMMY_FLAGS = 0x81;
// A part of a closed chain that runs once round (its end parameter within
// kOnceRoundSlack of the start's plus the segment count) and whose ends meet
// (squared distance at most kSameEndsSquared) makes a closed poly.
const double kOnceRoundSlack = 1e-10;
const double kSameEndsSquared = 1e-16;
// A blank run is bridged by its chord without the arc test when the chord's
// squared length is at most kShortBridgeSquared; else it stays when the chord
// comes nearer an arc's centre than the radius (squared, by more than
// kBridgeArcSlack).
const double kShortBridgeSquared = 1e-10;
const double kBridgeArcSlack = 1e-10;

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::main_of;
using merrow1::point_of;
using merrow1::vertex_record;

PNT2_s pnt2_of(const RING_node_s* vertex) {
    const double* g = point_of(vertex);
    return PNT2_s{g[0], g[1]};
}

// Every vertex point is read: a vertex without geometry (an untyped vertex
// from a dump) is refused with the precondition note and the host's error,
// so that no boolean answers without a chain it was given.
void require_vertex_points(const merrow1::RingNodes& vertices) {
    for (size_t i = 0; i < vertices.size(); ++i) {
        const CHAIN_vertex_data_s* record = vertex_record(vertices[i]);
        if (record && record->geometry) continue;
        MERROW1_NOTE_FAILURE("DUE_TO_VERTEX_WITHOUT_GEOMETRY");
        ERROR_exception(__FILE__, __LINE__, ERROR_ASSERTION_CODE,
                        "Chain to poly-segments: vertex %d has no geometry", static_cast<int>(i + 1));
    }
}

// Why an arc segment cannot be read, for the error text.
const char* arc_failure(const SEGMENT& segment) {
    return segment.end && segment.end->direction != CCW && segment.end->direction != CW
               ? "a half circle without a direction"
               : "bad arc data";
}

const StockRecord* stock_of(const RING_node_s* vertex) {
    return vertex ? static_cast<const StockRecord*>(APP_DATA__ask_app_data(vertex->app_data, KEY_TRACE_RECORD))
                  : nullptr;
}

bool is_blank(const RING_node_s* vertex) {
    const StockRecord* stock = stock_of(vertex);
    return stock && stock->blank;
}

CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* node) {
    return node ? static_cast<CHAIN_app_poly_seg_chain_source_s*>(
                      APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                : nullptr;
}

// Material inside a closed chain: CW with RIGHT, or CCW with LEFT.
bool material_inside(SIDE side, DIRECTION direction) {
    return (direction == CW && side == RIGHT) || (direction == CCW && side == LEFT);
}

// Deletes the partly built ring and passes the error on as the host's severe error.
template <class Body>
RING_header_s* build_or_delete(RING_header_s*& built, Body&& body) {
    try {
        return body();
    } catch (const Korvo::Error::Exception&) {
        RING_delete(built);
        throw;
    } catch (const std::exception& e) {
        RING_delete(built);
        Korvo::Error::Severe severe;
        severe.Convert(e);
        severe.Rethrow();
    }
}

// ---------------------------------------------------------------------------
// Chain to poly: one piece at a time
// ---------------------------------------------------------------------------

class ChainToPoly {
public:
    ChainToPoly(RING_header_s* chain, POLY_SEG_segment_bits_cb_t cb, void* data, bool lines_for_dummies,
                POLY_SEG_dummy_stock_info_s* info)
        : m_chain(chain), m_cb(cb), m_data(data), m_lines_for_dummies(lines_for_dummies), m_info(info) {
        const CHAIN_main_data_s* md = main_of(chain);
        const SIDE side = md->material_side;
        m_right = side == RIGHT;
        m_no_side = (side != RIGHT && side != LEFT) || md->ethereal;
        m_trace = md->kind == TRACE_CHAIN;
    }

    bool right() const { return m_right; }

    // Steps 1-2: the poly and its header from the chain's main data.
    RING_header_s* create(CMEM_pool_s* pool, bool open) {
        m_poly = POLY_SEG_create(pool);
        const CHAIN_main_data_s* md = main_of(m_chain);
        POLY_SEG_header_s* h = POLY_SEG_ask_header(m_poly);
        if (md->use_implied_offset & 1) h->offset = md->implied_offset;
        h->skip_max_offset = (md->use_implied_offset & 2) != 0;
        h->no_circle = (md->use_implied_offset & 4) != 0;
        h->do_tan_corner_ext = (md->use_implied_offset & 8) != 0;
        h->there_and_back = CHAIN_is_closed_back_along_itself(m_chain);
        h->is_open = open || h->there_and_back;
        return m_poly;
    }

    void start_point(const PNT2_s& p) { POLY_SEG_append_line(m_poly, &p); }

    // Steps 4-6: the piece of the vertex's segment from `from` to `to`
    // (walked backward for a RIGHT chain), its flags and the callback.
    void piece(RING_node_s* vertex, int index, const PNT2_s& from, const PNT2_s& to, bool backward) {
        const StockRecord* stock = m_trace ? stock_of(vertex) : nullptr;
        const bool dummy = stock && stock->dummy;
        if (stock && m_info) note_stock(stock->stock, dummy);

        RING_node_s* node;
        if (CHAIN_seg_ask_type(vertex) == SEG_ARC && !(dummy && m_lines_for_dummies)) {
            // The arc as every consumer reads it: radius and sense of the
            // whole segment, also for a piece of it.
            SEGMENT segment;
            SEGMENT_arc_s arc;
            if (!ChainSegment(m_chain, vertex, &segment) || !SEGMENT_read_arc(&segment, &arc))
                ERROR_exception(__FILE__, __LINE__, ERROR_ASSERTION_CODE,
                                "Chain to poly-segments: the arc of vertex %d cannot be read (%s)", index + 1,
                                arc_failure(segment));
            // Counter-clockwise on the poly: a CCW arc walked forward or a CW arc walked backward.
            const int turn = ((arc.direction == CCW) != backward) ? 1 : 0;
            node = POLY_SEG_append_arc(m_poly, &from, &to, arc.radius, turn);
        } else {
            node = POLY_SEG_append_line(m_poly, &to);
        }
        LINE_ARC_SEG_s* s = seg_of(node);
        if (m_no_side) s->flags |= POLY_SEG_FLAG_NO_SIDE;
        if (dummy) s->flags |= POLY_SEG_FLAG_DUMMY;
        if (m_cb) m_cb(m_poly, nullptr, node, m_chain, vertex, index, &m_handled, m_data);
        if (vertex == m_mark_vertex) m_marked_node = node;
    }

    // The poly node that will be made from this vertex is remembered.
    void mark(RING_node_s* vertex) { m_mark_vertex = vertex; }
    RING_node_s* marked_node() const { return m_marked_node; }

private:
    void note_stock(double value, bool dummy) {
        if (!m_have_stock) {
            m_min_stock = m_max_stock = value;
            m_have_stock = true;
        }
        m_min_stock = std::min(m_min_stock, value);
        m_max_stock = std::max(m_max_stock, value);
        if (m_max_stock - m_min_stock > EQ_ask_length_tolerance()) m_info->differ = true;
        if (dummy) m_info->max_stock = std::max(m_info->max_stock, std::fabs(value));
    }

    RING_header_s* m_chain;
    POLY_SEG_segment_bits_cb_t m_cb;
    void* m_data;
    bool m_lines_for_dummies;
    POLY_SEG_dummy_stock_info_s* m_info;
    RING_header_s* m_poly = nullptr;
    bool m_right = false;
    bool m_no_side = false;
    bool m_trace = false;
    bool m_handled = true;
    bool m_have_stock = false;
    double m_min_stock = 0.0;
    double m_max_stock = 0.0;
    RING_node_s* m_mark_vertex = nullptr;
    RING_node_s* m_marked_node = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------
// Chains to polys
// ---------------------------------------------------------------------------

RING_header_s* POLY_SEG_create_from_chain(RING_header_s* chain, CMEM_pool_s* pool, POLY_SEG_segment_bits_cb_t cb,
                                          void* data, bool lines_for_dummies, POLY_SEG_dummy_stock_info_s* info) {
    if (!chain || !chain->first || !main_of(chain)) return nullptr;
    RING_header_s* poly = nullptr;
    return build_or_delete(poly, [&]() -> RING_header_s* {
        ChainToPoly conv(chain, cb, data, lines_for_dummies, info);
        const auto v = nodes_of(chain);
        require_vertex_points(v);
        const int n = static_cast<int>(v.size());
        const bool closed = is_closed(chain);
        poly = conv.create(pool, !closed);
        // Segment index of the segment ending at vertex i: i - 1, and n - 1
        // for the closing segment of a closed chain.
        auto index = [n](int i) { return i == 0 ? n - 1 : i - 1; };
        if (!conv.right()) {
            // Step 3, LEFT: forward from the first vertex.
            if (!closed) conv.start_point(pnt2_of(v[0]));
            for (int i = closed ? 0 : 1; i < n; ++i)
                conv.piece(v[i], index(i), pnt2_of(v[(i + n - 1) % n]), pnt2_of(v[i]), false);
        } else {
            // Step 3, RIGHT: backward from the last vertex; each piece ends at
            // its chain segment's start point.
            if (!closed) conv.start_point(pnt2_of(v[n - 1]));
            if (closed && n >= 2) conv.mark(v[1]);
            for (int i = n - 1; i >= (closed ? 0 : 1); --i)
                conv.piece(v[i], index(i), pnt2_of(v[i]), pnt2_of(v[(i + n - 1) % n]), true);
        }
        // Step 7: closed stays closed; a RIGHT ring starts at the piece made
        // from the second vertex, which ends at the chain's start point.
        if (closed) {
            close_ring(poly);
            if (RING_node_s* first = conv.marked_node()) {
                poly->first = first;
                poly->last = first->previous;
            }
        }
        return poly;
    });
}

RING_header_s* POLY_SEG_create_from_poc(const PART_OF_CHAIN_s* part, CMEM_pool_s* pool,
                                        POLY_SEG_segment_bits_cb_t cb, void* data, bool lines_for_dummies,
                                        bool closed) {
    if (!part || !part->start || !part->end) return nullptr;
    RING_header_s* chain = part->start->chain;
    const CHAIN_main_data_s* md = main_of(chain);
    if (!md || chain->count < 2 || part->end->chain != chain) return nullptr;
    if (md->material_side != RIGHT && md->material_side != LEFT) return nullptr;

    RING_header_s* poly = nullptr;
    return build_or_delete(poly, [&]() -> RING_header_s* {
        ChainToPoly conv(chain, cb, data, lines_for_dummies, nullptr);
        const auto v = nodes_of(chain);
        require_vertex_points(v);
        const int n = static_cast<int>(v.size());
        const bool chain_closed = is_closed(chain);
        const PNT2_s start{part->start->point[0], part->start->point[1]};
        const PNT2_s end{part->end->point[0], part->end->point[1]};
        const double ps = part->start->parameter;
        const double pe = part->end->parameter;

        // Segments in unwrapped parameter space: segment j covers [j, j + 1]
        // and is the chain segment of index j mod n.  The first is the one
        // the start lies in (or begins at, for a start at a vertex); the last
        // the one the end lies in (or ends at).
        long first = part->start->inside ? static_cast<long>(std::floor(ps)) : std::lround(ps);
        long last = part->end->inside ? static_cast<long>(std::ceil(pe)) - 1 : std::lround(pe) - 1;
        if (!chain_closed) {
            first = std::max(first, 0L);
            last = std::min(last, static_cast<long>(n - 2));
        } else {
            // At most once round and one more cut piece.
            last = std::min(last, first + n);
        }
        const double dx = end.x - start.x, dy = end.y - start.y;
        const bool make_closed = closed && chain_closed && std::fabs(pe - (ps + n)) <= kOnceRoundSlack &&
                                 dx * dx + dy * dy <= kSameEndsSquared;
        poly = conv.create(pool, !make_closed);

        auto vertex_at = [&](long j) { return static_cast<int>(((j % n) + n) % n); };
        auto end_vertex = [&](long j) { return chain_closed ? vertex_at(j + 1) : static_cast<int>(j + 1); };
        if (!conv.right()) {
            if (!make_closed) conv.start_point(start);
            for (long j = first; j <= last; ++j) {
                const int a = vertex_at(j), b = end_vertex(j);
                const PNT2_s from = j == first ? start : pnt2_of(v[a]);
                const PNT2_s to = j == last ? end : pnt2_of(v[b]);
                conv.piece(v[b], a, from, to, false);
            }
        } else {
            if (!make_closed) conv.start_point(end);
            for (long j = last; j >= first; --j) {
                const int a = vertex_at(j), b = end_vertex(j);
                const PNT2_s from = j == last ? end : pnt2_of(v[b]);
                const PNT2_s to = j == first ? start : pnt2_of(v[a]);
                conv.piece(v[b], a, from, to, true);
            }
        }
        if (make_closed) close_ring(poly);
        return poly;
    });
}

RING_header_s* POLY_SEG_create_from_chain_set(RING_header_s* chain_set, CMEM_pool_s* pool, bool with_sources,
                                              bool keep_empty, POLY_SEG_dummy_stock_info_s* info) {
    MERROW1_REQUIRE_LIST(chain_set, nullptr);
    if (!chain_set) return nullptr;
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    return build_or_delete(out, [&]() -> RING_header_s* {
        for (RING_node_s* node : nodes_of(chain_set)) {
            CERR_raise_on_abort();
            RING_header_s* poly = POLY_SEG_create_from_chain(
                RING_ask_node_subring(node), pool, with_sources ? POLY_SEG_chain_create_source : nullptr, nullptr,
                false, info);
            if (poly || keep_empty) RING_insert_after(out, out->last, poly);
        }
        return out;
    });
}

RING_header_s* POLY_SEG_create_set_from_chain_set(RING_header_s* chain_set, CMEM_pool_s* pool, bool with_sources,
                                                  POLY_SEG_dummy_stock_info_s* info) {
    MERROW1_REQUIRE_LIST(chain_set, nullptr);
    if (!chain_set) return nullptr;
    RING_header_s* out = POLY_SEG_create_set_of_sets(pool);
    return build_or_delete(out, [&]() -> RING_header_s* {
        // The group of each region-set id, in the order the ids first appear.
        std::unordered_map<int, RING_header_s*> groups;
        for (RING_node_s* node : nodes_of(chain_set)) {
            CERR_raise_on_abort();
            RING_header_s* chain = RING_ask_node_subring(node);
            RING_header_s* poly = POLY_SEG_create_from_chain(
                chain, pool, with_sources ? POLY_SEG_chain_create_source : nullptr, nullptr, false, info);
            if (!poly) continue;
            const int id = main_of(chain)->region_set_id;
            RING_header_s*& group = groups[id];
            if (!group) {
                group = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
                POLY_SEG_append_to_set_of_sets(out, group);
            }
            POLY_SEG_append_to_set(group, poly);
        }
        return out;
    });
}

// ---------------------------------------------------------------------------
// Segment-bits callbacks and source queries
// ---------------------------------------------------------------------------

void POLY_SEG_chain_create_source(RING_header_s* poly, RING_node_s*, RING_node_s* node, RING_header_s* chain,
                                  RING_node_s* vertex, int segment_index, bool* handled, void* data) {
    void* made = POLY_SEG_copy_chain_source(poly, nullptr, node, handled, data);
    if (CHAIN_app_poly_seg_chain_source_s* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(made)) {
        record->chain = chain;
        record->vertex = vertex;
        record->segment_index = segment_index;
    }
}

void POLY_SEG_set_user_bits_from_chain(RING_header_s*, RING_node_s*, RING_node_s* node, RING_header_s* chain,
                                       RING_node_s* vertex, int, bool*, void*) {
    if (!node) return;
    LINE_ARC_SEG_s* s = seg_of(node);
    if (vertex && CHAIN_seg_is_on_bnd(vertex)) s->flags |= POLY_SEG_FLAG_ON_WALL;
    if (chain && CHAIN_is_closed_back_along_itself(chain)) s->flags |= POLY_SEG_FLAG_THERE_AND_BACK;
}

void POLY_SEG_set_zval_and_user_bits_from_chain(RING_header_s* poly, RING_node_s* from, RING_node_s* node,
                                                RING_header_s* chain, RING_node_s* vertex, int segment_index,
                                                bool* handled, void* data) {
    POLY_SEG_set_user_bits_from_chain(poly, from, node, chain, vertex, segment_index, handled, data);
    if (!poly || !node || !vertex) return;
    if (!handled || *handled) {
        RING_set_app_data_key(poly, POLY_SEG_KEY_Z_VALUE, POLY_SEG_destroy_app_data_cb);
        if (handled) *handled = false;
    }
    // A RIGHT chain is walked backward: the piece ends at the vertex before.
    const RING_node_s* at = main_of(chain) && main_of(chain)->material_side == RIGHT ? vertex->previous : vertex;
    const double* z = at ? static_cast<const double*>(APP_DATA__ask_app_data(at->app_data, POLY_SEG_KEY_Z_VALUE))
                         : nullptr;
    if (!z) return;
    double* copy = CMEM_NEW(poly->pool, double);
    *copy = *z;
    void* old = APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_Z_VALUE);
    RING_put_node_app_data(poly, node, POLY_SEG_KEY_Z_VALUE, copy);
    CMEM_private_delete_object(old);
}

bool POLY_SEG_is_a_trace(const RING_header_s* poly) {
    if (!poly || !poly->first) return false;
    const RING_node_s* node = POLY_SEG_is_closed(poly) ? poly->first : poly->first->next;
    const CHAIN_app_poly_seg_chain_source_s* record = source_of(node);
    return record && main_of(record->chain) && main_of(record->chain)->kind == TRACE_CHAIN;
}

bool POLY_SEG_cant_ignore_segment(const RING_node_s* node, const POLY_SEG_source_filter_s* filter) {
    if (!filter || !filter->accept) return true;
    if (!node) return false;
    auto accepts = [filter](const CHAIN_app_poly_seg_chain_source_s* r) {
        return filter->accept(r->chain, r->vertex, filter->data);
    };
    if (const CHAIN_app_poly_seg_chain_source_s* own = source_of(node)) return !accepts(own);
    // A piece without a source goes with its neighbours.
    const CHAIN_app_poly_seg_chain_source_s* before = source_of(node->previous);
    if (!before || accepts(before)) return false;
    const CHAIN_app_poly_seg_chain_source_s* after = source_of(node->next);
    return after ? !accepts(after) : false;
}

// ---------------------------------------------------------------------------
// Large dummies
// ---------------------------------------------------------------------------

namespace {

// A run of large dummy pieces that stand for one source vertex.
struct DummyRun {
    RING_node_s* first;
    RING_node_s* last;
    double stock;
};

// Replaces the run by two arcs round the far side of its chord when the chord
// spans nearly a full diameter of the stock circle.
void flip_run(RING_header_s* poly, const DummyRun& run, POLY_SEG_copy_cb_t copy_cb, void* data) {
    if (!copy_cb) ERROR_internal(__FILE__, __LINE__, "No app data creator");
    RING_node_s* start = run.first->previous;
    const PNT2_s p0 = end_of(start);
    const PNT2_s p1 = end_of(run.last);
    const double r = run.stock;
    const double dx = p1.x - p0.x, dy = p1.y - p0.y;
    const double c2 = dx * dx + dy * dy;
    // 3.99238939618349 is about 4 cos^2(2.5 degrees).
    if (!(c2 > 3.99238939618349 * r * r)) return;

    // The meeting point: from the chord's midpoint along its right-hand
    // normal by d + r, d the distance from the midpoint to the centre.
    const double c = std::sqrt(c2);
    const double nx = dy / c, ny = -dx / c;
    const double d = std::copysign(std::sqrt(std::max(0.0, r * r - c2 / 4.0)), r);
    const PNT2_s m{(p0.x + p1.x) / 2.0 + (d + r) * nx, (p0.y + p1.y) / 2.0 + (d + r) * ny};
    const int turn = r >= 0 ? 1 : 0;

    // The sources are read before the run's nodes (and their records) go.
    const CHAIN_app_poly_seg_chain_source_s none{};
    const CHAIN_app_poly_seg_chain_source_s* fs = source_of(run.first);
    const CHAIN_app_poly_seg_chain_source_s* ls = source_of(run.last);
    const CHAIN_app_poly_seg_chain_source_s first_source = fs ? *fs : none;
    const CHAIN_app_poly_seg_chain_source_s last_source = ls ? *ls : none;

    std::vector<RING_node_s*> doomed;
    for (RING_node_s* n = run.first; n && static_cast<int>(doomed.size()) < poly->count; n = n->next) {
        doomed.push_back(n);
        if (n == run.last) break;
    }

    RING_node_s* a1 = RING_insert_after(poly, start, LINE_ARC_SEG_create_arc(poly->pool, &p0, &m, std::fabs(r), turn));
    RING_node_s* a2 = RING_insert_after(poly, a1, LINE_ARC_SEG_create_arc(poly->pool, &m, &p1, std::fabs(r), turn));
    bool handled = true;
    // The arc leaving the start stands for the run's first piece, the arc
    // reaching the end for its last.  The copy callback is handed that piece
    // as the node to copy from: a callback that shares the record of its
    // source node (rather than making one) has nothing to share otherwise,
    // and the arc would be left without a source.
    struct Arc {
        RING_node_s* node;
        RING_node_s* stands_for;
        const CHAIN_app_poly_seg_chain_source_s* source;
    };
    const Arc arcs[2] = {{a1, run.first, &first_source}, {a2, run.last, &last_source}};
    for (const Arc& a : arcs) {
        seg_of(a.node)->flags = FLIPPED_DUMMY_FLAGS;
        void* made = copy_cb(poly, a.stands_for, a.node, &handled, data);
        if (CHAIN_app_poly_seg_chain_source_s* record = static_cast<CHAIN_app_poly_seg_chain_source_s*>(made)) {
            record->chain = a.source->chain;
            record->vertex = a.source->vertex;
            record->segment_index = a.source->segment_index;
        }
    }
    const bool was_first = run.first == poly->first;
    for (RING_node_s* n : doomed) RING_delete_node(poly, n);
    // A run that began the ring of a closed poly leaves its first arc there.
    if (was_first && POLY_SEG_is_closed(poly)) {
        poly->first = a1;
        poly->last = a1->previous;
    }
}

}  // namespace

void POLY_SEG_flip_large_dummies(RING_header_s* poly, POLY_SEG_copy_cb_t copy_cb, void* data) {
    if (!poly || !poly->first) return;
    // 1. The walk: a closed poly once round from its first piece that is not
    //    a dummy; an open one from its second node.
    const auto nodes = nodes_of(poly);
    const size_t n = nodes.size();
    std::vector<RING_node_s*> walk;
    if (POLY_SEG_is_closed(poly)) {
        size_t f = 0;
        while (f < n && (seg_of(nodes[f])->flags & POLY_SEG_FLAG_DUMMY)) ++f;
        if (f == n) return;
        for (size_t k = 0; k < n; ++k) walk.push_back(nodes[(f + k) % n]);
    } else {
        walk.assign(nodes.begin() + 1, nodes.end());
    }

    // 2-3. Runs of large dummies naming one source vertex; each is handled
    //      when it ends.  Handling only touches the run and the nodes it
    //      inserts after the node before it, all behind the walk.
    bool in_run = false;
    DummyRun run{nullptr, nullptr, 0.0};
    const RING_node_s* run_vertex = nullptr;
    for (RING_node_s* node : walk) {
        bool large = false;
        const RING_node_s* named = nullptr;
        const StockRecord* stock = nullptr;
        if (seg_of(node)->flags & POLY_SEG_FLAG_DUMMY) {
            const CHAIN_app_poly_seg_chain_source_s* source = source_of(node);
            if (!source) ERROR_internal(__FILE__, __LINE__, "No source app data for poly_seg.");
            stock = stock_of(source->vertex);
            if (stock && stock->large) {
                const CHAIN_source_chain_source_vertex_s* link = static_cast<const CHAIN_source_chain_source_vertex_s*>(
                    APP_DATA__ask_app_data(source->vertex->app_data, APP_DATA_SOURCE_VERTEX));
                if (!link) ERROR_internal(__FILE__, __LINE__, "No source app data for trace chain.");
                large = true;
                named = link->source_vertex;
            }
        }
        if (in_run && (!large || named != run_vertex)) {
            in_run = false;
            flip_run(poly, run, copy_cb, data);
        }
        if (large) {
            if (!in_run) {
                run = DummyRun{node, node, stock->stock};
                run_vertex = named;
                in_run = true;
            } else {
                run.last = node;
            }
        }
    }
    if (in_run) flip_run(poly, run, copy_cb, data);
}

// ---------------------------------------------------------------------------
// Polys back to chains: the per-vertex steps
// ---------------------------------------------------------------------------

void POLY_SEG_handle_source_data_and_merge(const CHAIN_app_poly_seg_chain_source_s* reference, RING_node_s* vertex,
                                           RING_header_s* chain, CHAIN_vertex_source_callback_t vertex_cb) {
    if (!reference || !vertex || !chain) return;
    RING_header_s* source_chain = reference->chain;
    RING_node_s* source_vertex = reference->vertex;

    CHAIN_source_segment_s* segment =
        static_cast<CHAIN_source_segment_s*>(APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_SEGMENT));
    if (!segment) {
        segment = CMEM_NEW(chain->pool, CHAIN_source_segment_s);
        RING_put_node_app_data(chain, vertex, APP_DATA_SOURCE_SEGMENT, segment);
    }
    segment->source_chain = source_chain;
    segment->source_vertex = source_vertex;

    CHAIN_source_chain_source_vertex_s* link = static_cast<CHAIN_source_chain_source_vertex_s*>(
        APP_DATA__ask_app_data(vertex->app_data, APP_DATA_SOURCE_VERTEX));
    if (!link) {
        link = CMEM_NEW(chain->pool, CHAIN_source_chain_source_vertex_s);
        RING_put_node_app_data(chain, vertex, APP_DATA_SOURCE_VERTEX, link);
    }
    link->source_chain = source_chain;
    link->source_vertex = source_vertex;
    link->mark = (reference->flags & 1) != 0;

    const CHAIN_vertex_data_s* from = vertex_record(source_vertex);
    if (from && (from->flags & CHAIN_VERTEX_TRACED_SOURCE)) vertex_record(vertex)->flags |= CHAIN_VERTEX_TRACED_SOURCE;

    if (!vertex_cb) return;
    // Whether the result is made of dummy pieces alone is the builder's to
    // note, not the callback's: whatever callback merges the vertex data, it
    // only decides what the vertex inherits.  (Without a callback nothing is
    // noted, and a trace result counts as made of dummies.)
    CHAIN_note_loop_source_piece(chain, source_vertex);
    // The vertex the new vertex stands on: the source vertex itself for an
    // offset piece ending there, or for a chain walked forward; else the one
    // before it (a RIGHT chain's piece ends at its segment's start).
    const uint32_t f = reference->flags;
    const CHAIN_main_data_s* smd = main_of(source_chain);
    const bool forward = smd && smd->material_side != RIGHT;
    const bool at_source = ((f & 1) && !(f & 8)) || (!(f & 1) && forward);
    RING_node_s* n = at_source ? source_vertex : (source_vertex ? source_vertex->previous : nullptr);
    vertex_cb(n, source_vertex, source_chain, vertex, chain);
}

bool POLY_SEG_check_and_handle_split_vertex(const CHAIN_app_poly_seg_chain_source_s* p,
                                            const CHAIN_app_poly_seg_chain_source_s* r, RING_header_s* chain,
                                            RING_node_s* vertex, CMEM_pool_s* pool, double tolerance,
                                            bool split_records) {
    if (!p || !r) return false;
    const CHAIN_main_data_s* smd = main_of(p->chain);
    if (p->chain == r->chain && smd) {
        if (p->vertex == r->vertex) return false;
        const bool right = smd->material_side == RIGHT;
        const RING_node_s* rv = r->vertex;
        const bool neighbours = rv && (right ? rv->next == p->vertex : rv->previous == p->vertex);
        if (neighbours && vertex_record(vertex)) {
            const PNT2_s pt = pnt2_of(vertex);
            const PNT2_s q = pnt2_of(right ? r->vertex : p->vertex);
            const bool implied = (smd->use_implied_offset & 1) && smd->implied_offset != 0.0;
            if (implied) {
                // An offset source: the junction may have moved off the
                // source vertex by the offset.
                if (smd->use_implied_offset & 8) {
                    double in[2], out[2];
                    if (ChainVertexTangent(chain, vertex, in, out, nullptr, nullptr) == CHAIN_TANGENT_BOTH &&
                        (smd->implied_offset > 0) == (in[0] * out[1] - in[1] * out[0] > 0))
                        return false;
                }
                const double dx = pt.x - q.x, dy = pt.y - q.y;
                const double limit = 10.0 * tolerance + smd->implied_offset;
                return dx * dx + dy * dy > limit * limit;
            }
            if (std::fabs(pt.x - q.x) <= tolerance && std::fabs(pt.y - q.y) <= tolerance) return false;
        }
    }
    if (split_records && vertex && pool) {
        void* record = CMEM_ALLOC(pool, 1, KEY_SPLIT_RECORD_SIZE);
        RING_put_node_app_data(chain, vertex, APP_DATA_SPLIT_VERTEX_SOURCE, record);
    }
    return true;
}

bool POLY_SEG_check_candidate_start_pt(const CHAIN_app_poly_seg_chain_source_s* a,
                                       const CHAIN_app_poly_seg_chain_source_s* b,
                                       POLY_SEG_output_order_data_s* order, SIDE side, bool split,
                                       const RING_node_s* vertex) {
    if (!a || !b || !order || !vertex) return false;
    RING_header_s* t = b->chain;
    const CHAIN_main_data_s* tmd = main_of(t);
    if (!tmd) return false;
    const int g = tmd->region_set_id;
    const bool same_side = side == tmd->material_side;
    const double k = same_side ? b->segment_index : t->count - b->segment_index;
    double x = k;
    if (split || a->vertex == b->vertex) {
        // The junction lies inside B's source segment: add its fraction.
        SEGMENT segment;
        if (b->vertex && vertex->previous && vertex_record(vertex->previous) && ChainSegment(t, b->vertex, &segment)) {
            const PNT2_s j = pnt2_of(vertex->previous);
            const double at[2] = {j.x, j.y};
            double nearest[2];
            SegmentPointMinDist(&segment, at, nearest);
            const double u = SegmentPointParameter(&segment, nearest);
            x = k + (same_side ? u : 1.0 - u);
        }
    }
    if (g < order->region || (g == order->region && x < order->position)) {
        order->region = g;
        order->position = x;
        return true;
    }
    return false;
}

namespace {

// Deletes the vertex's trace record and its entry.
void drop_trace_record(RING_header_s* chain, RING_node_s* vertex) {
    void* record = APP_DATA__ask_app_data(vertex->app_data, KEY_TRACE_RECORD);
    if (!record) return;
    RING_delete_app_data_of_node(chain, vertex, KEY_TRACE_RECORD);
    CMEM_private_delete_object(record);
}

// Squared distance from c to the segment a-b.
double squared_distance_to_chord(const PNT2_s& c, const PNT2_s& a, const PNT2_s& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((c.x - a.x) * dx + (c.y - a.y) * dy) / len2 : 0.0;
    t = std::min(1.0, std::max(0.0, t));
    const double ex = a.x + t * dx - c.x, ey = a.y + t * dy - c.y;
    return ex * ex + ey * ey;
}

}  // namespace

void POLY_SEG_remove_blank_segs(RING_header_s* chain) {
    if (!chain || chain->count < 2) return;
    bool changed = false;
    // A closed chain that is blank at its start is opened there first.
    if (is_closed(chain)) {
        if (is_blank(chain->first)) {
            CHAIN_open(chain, chain->first);
            changed = true;
        } else if (is_blank(chain->first->next)) {
            CHAIN_open(chain, chain->first->next);
            changed = true;
        }
    }
    if (!is_closed(chain)) {
        // Leading blanks: the blank vertex becomes the start.
        while (chain->count >= 2 && is_blank(chain->first->next)) {
            RING_delete_node(chain, chain->first);
            CHAIN_seg_set_type(chain->first, SEG_POINT);
            drop_trace_record(chain, chain->first);
            changed = true;
        }
        // Trailing blanks go.
        while (chain->count >= 2 && is_blank(chain->last)) {
            RING_delete_node(chain, chain->last);
            changed = true;
        }
    }
    // Runs inside the chain are bridged by one line unless the line would cut
    // into an arc of the run.
    const auto v = nodes_of(chain);
    const size_t n = v.size();
    size_t i = 1;
    while (i < n) {
        if (!is_blank(v[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < n && is_blank(v[j + 1])) ++j;
        const PNT2_s a = pnt2_of(v[i - 1]);
        const PNT2_s b = pnt2_of(v[j]);
        const double c2 = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
        bool keep = false;
        if (c2 > kShortBridgeSquared) {
            for (size_t k = i; k <= j && !keep; ++k) {
                if (CHAIN_seg_ask_type(v[k]) != SEG_ARC) continue;
                const end_segment* e = arc_of(v[k]);
                const PNT2_s centre{e->cx, e->cy};
                if (squared_distance_to_chord(centre, a, b) < e->radius * e->radius - kBridgeArcSlack) keep = true;
            }
        }
        if (!keep) {
            for (size_t k = i; k < j; ++k) RING_delete_node(chain, v[k]);
            CHAIN_seg_set_type(v[j], SEG_LINE);
            drop_trace_record(chain, v[j]);
            changed = true;
        }
        i = j + 1;
    }
    if (changed) CHAIN_drop_cached_box(chain);
}

void POLY_SEG_chain_reverse_incorrectly(RING_header_s* chain, CMEM_pool_s* pool) {
    if (!chain) return;
    CHAIN_reverse(chain);
    const auto v = nodes_of(chain);
    if (v.empty()) return;
    auto has_mark = [](const RING_node_s* n) {
        return APP_DATA__ask_app_data(n->app_data, CHAIN_APP_DATA_SELF_NODE) != nullptr;
    };
    auto set_mark = [pool](RING_node_s* n, bool on) {
        APP_DATA__remove_app_data(&n->app_data, CHAIN_APP_DATA_SELF_NODE);
        if (on) APP_DATA__add_data(&n->app_data, n, CHAIN_APP_DATA_SELF_NODE, pool);
    };
    // Each mark moves from a vertex to its successor; the walk runs backward
    // so every predecessor is read before it is changed.
    const bool last_had_mark = has_mark(v.back());
    for (size_t i = v.size() - 1; i >= 1; --i) set_mark(v[i], has_mark(v[i - 1]));
    set_mark(v[0], is_closed(chain) && last_had_mark);
}

// ---------------------------------------------------------------------------
// Polys back to chains
// ---------------------------------------------------------------------------

void POLY_SEG_create_chain_cb(RING_header_s*, RING_node_s* vertex, RING_header_s*, RING_node_s* node, void*) {
    if (!vertex || !node) return;
    if (seg_of(node)->flags & POLY_SEG_FLAG_ON_WALL) CHAIN_seg_set_on_bnd(vertex, true);
}

void POLY_SEG_create_3d_chain_cb(RING_header_s* chain, RING_node_s* vertex, RING_header_s* poly, RING_node_s* node,
                                 void* data) {
    POLY_SEG_create_chain_cb(chain, vertex, poly, node, data);
    if (!chain || !vertex || !node) return;
    const double* z = static_cast<const double*>(APP_DATA__ask_app_data(node->app_data, POLY_SEG_KEY_Z_VALUE));
    if (!z) return;
    double* copy = static_cast<double*>(APP_DATA__ask_app_data(vertex->app_data, POLY_SEG_KEY_Z_VALUE));
    if (!copy) {
        copy = CMEM_NEW(chain->pool, double);
        RING_put_node_app_data(chain, vertex, POLY_SEG_KEY_Z_VALUE, copy);
    }
    *copy = *z;
}

// ---------------------------------------------------------------------------
// The source walk of the way back to chains
// ---------------------------------------------------------------------------

namespace {

// The loop class from the chain a source was stocked from (key 10): 1 when
// that chain has its material inside, 0 when it is a closed loop (not a
// trace) with its material outside.  A later trace source keeps a class of 0.
int class_from_stocked_from(int material_class, const RING_header_s* source, bool later) {
    const RING_header_s* k = static_cast<const RING_header_s*>(
        APP_DATA__ask_app_data(source->app_data, APP_DATA_STOCKED_FROM));
    const CHAIN_main_data_s* kmd = main_of(k);
    if (!kmd) return material_class;
    // The turn of the chain a trace was stocked from, as the tracer read it.
    const DIRECTION turn = merrow1::stored_or_computed_direction(k, merrow1::StoredDirection::CwOrCcw);
    if (material_inside(kmd->material_side, turn)) return later && material_class == 0 ? 0 : 1;
    if (is_closed(k) && kmd->kind != TRACE_CHAIN) return 0;
    return material_class;
}

// The junction between the pieces of references p and r: a split is marked
// and reported against r's source, and on a closed result with an order
// record the junction is offered as the start.  `after` ends r's piece.
void walk_junction(POLY_SEG_source_walk_s& w, const CHAIN_app_poly_seg_chain_source_s* p,
                   const CHAIN_app_poly_seg_chain_source_s* r, RING_node_s* junction, RING_node_s* after) {
    const bool split = POLY_SEG_check_and_handle_split_vertex(p, r, w.chain, junction, w.pool, w.tolerance,
                                                              w.split_records);
    if (split) {
        w.no_split = false;
        if (w.vertex_cb) {
            if (w.sources) CHAIN_note_loop_source_piece(w.chain, r->vertex);
            w.vertex_cb(r->vertex, nullptr, r->chain, junction, w.chain);
        }
    }
    if (w.order && w.closed) {
        // The candidate is read in the source's direction of material.
        const bool right = w.side == RIGHT;
        if (POLY_SEG_check_candidate_start_pt(right ? r : p, right ? p : r, w.order, w.side, split, after))
            w.candidate = junction;
    }
}

}  // namespace

RING_header_s* POLY_SEG_create_result_chain(const CSYS* csys, CMEM_pool_s* pool, double tolerance, bool sources,
                                            CHAIN_loop_class_s** loop_class) {
    *loop_class = nullptr;
    RING_header_s* chain = CHAIN_create_empty_chain(csys, pool);
    if (!chain) return nullptr;
    CHAIN_main_data_s* md = main_of(chain);
    md->material_side = LEFT;
    md->use_implied_offset = 0;
    md->approximation_tolerance = tolerance;
    md->approximation_tolerance_set = 1;
    if (!sources) return chain;
    // The caller does not hold the chain yet: an error here deletes it.
    try {
        CHAIN_loop_class_s* record = CMEM_NEW(pool, CHAIN_loop_class_s);
        record->material_class = 2;
        record->all_dummy = 1;
        RING_put_header_app_data(chain, CHAIN_APP_DATA_LOOP_CLASS, record);
        *loop_class = record;
    } catch (...) {
        RING_delete(chain);
        throw;
    }
    return chain;
}

void POLY_SEG_order_open_chain(const RING_header_s* chain, POLY_SEG_output_order_data_s* order) {
    const CHAIN_source_segment_s* link = static_cast<const CHAIN_source_segment_s*>(
        APP_DATA__ask_app_data(chain->first->next->app_data, APP_DATA_SOURCE_SEGMENT));
    const CHAIN_main_data_s* lmd = link ? main_of(link->source_chain) : nullptr;
    order->region = lmd ? lmd->region_set_id : 1000000000;
    order->position = 0.0;
}

CHAIN_app_poly_seg_chain_source_s* POLY_SEG_usable_source(const RING_node_s* node) {
    CHAIN_app_poly_seg_chain_source_s* r = source_of(node);
    return r && main_of(r->chain) ? r : nullptr;
}

bool POLY_SEG_piece_joins_last_arc(const RING_header_s* chain, const end_segment& geometry) {
    if (chain->count < 2 || CHAIN_seg_ask_type(chain->last) != SEG_ARC) return false;
    const PNT2_s last = pnt2_of(chain->last);
    const double dx = geometry.x - last.x, dy = geometry.y - last.y;
    return dx * dx + dy * dy <= CHAIN_COINCIDENT_SQUARED_DISTANCE;
}

RING_node_s* POLY_SEG_append_middle_of_long_arc(RING_header_s* chain, const end_segment& arc) {
    if (!chain->last) return nullptr;
    const PNT2_s last = pnt2_of(chain->last);
    double start[2] = {last.x, last.y};
    const int sense = CHAIN__arc_sense_from_ends(chain, start, arc);
    if (sense == 0 || sense == arc.direction) return nullptr;
    end_segment middle = arc;
    const SEGMENT whole{start, &middle, nullptr, SEG_ARC};
    double point[2];
    if (!SegmentMidPoint(&whole, point)) return nullptr;
    middle.x = point[0];
    middle.y = point[1];
    return ChainAppendVertex(chain, &middle, SEG_ARC);
}

bool POLY_SEG_vertex_geometry(const LINE_ARC_SEG_s* piece, const PNT2_s& from,
                              const CHAIN_app_poly_seg_chain_source_s* ref, end_segment* geometry,
                              SEGMENT_TYPE* type, int* escaped) {
    const PNT2_s to{piece->x, piece->y};
    *geometry = end_segment{};
    geometry->x = to.x;
    geometry->y = to.y;
    *type = SEG_LINE;
    if (LINE_ARC_SEG_is_arc(piece)) {
        // An arc; the negative half circle comes back CW.
        PNT2_s centre{0.0, 0.0};
        double radius = 0.0;
        LINE_ARC_SEG_calc_arc_data(piece, &from, &centre, &radius, nullptr);
        geometry->cx = centre.x;
        geometry->cy = centre.y;
        geometry->radius = radius;
        geometry->direction = piece->h >= 0 ? CCW : CW;
        *type = SEG_ARC;
    } else if (ref && (piece->flags & POLY_SEG_FLAG_DUMMY) &&
               !(piece->flags & (POLY_SEG_FLAG_INSERT_END | POLY_SEG_FLAG_INSERT_KEEP)) &&
               CHAIN_seg_ask_type(ref->vertex) == SEG_ARC) {
        // The escaped dummy: the source arc is rebuilt through the piece's
        // ends, its sense as the poly walks it (a RIGHT source is walked
        // backward).
        SEGMENT source;
        SEGMENT_arc_s arc;
        if (ChainSegment(ref->chain, ref->vertex, &source) && SEGMENT_read_arc(&source, &arc)) {
            const double r = arc.radius;
            DIRECTION direction = arc.direction;
            if (main_of(ref->chain)->material_side == RIGHT) direction = -direction;
            const double dx = to.x - from.x, dy = to.y - from.y;
            const double c2 = dx * dx + dy * dy;
            if (c2 == 0.0) return false;
            const double arg = r * r / c2 - 0.25;
            double t = arg > 0 ? std::sqrt(arg) : 0.0;
            if (direction == CW) t = -t;
            geometry->cx = (from.x + to.x) / 2.0 - t * dy;
            geometry->cy = (from.y + to.y) / 2.0 + t * dx;
            geometry->radius = r;
            geometry->direction = direction;
            *type = SEG_ARC;
            ++*escaped;
        }
    }
    return true;
}

void POLY_SEG_source_walk_start(const POLY_SEG_source_walk_s& w, const CHAIN_app_poly_seg_chain_source_s* ref,
                                RING_node_s* start_vertex) {
    if (w.closed || !w.sources || !w.vertex_cb || !start_vertex || !ref) return;
    // A chain walked forward: the first piece starts at the source vertex's
    // predecessor.
    const bool forward = main_of(ref->chain)->material_side != RIGHT;
    RING_node_s* at = forward && ref->vertex ? ref->vertex->previous : ref->vertex;
    CHAIN_note_loop_source_piece(w.chain, at);
    w.vertex_cb(at, nullptr, ref->chain, start_vertex, w.chain);
}

void POLY_SEG_source_walk_vertex(POLY_SEG_source_walk_s& w, const CHAIN_app_poly_seg_chain_source_s* ref,
                                 RING_node_s* vertex) {
    if (!w.sources) return;
    if (!ref) {
        w.single_source = false;
        return;
    }
    RING_header_s* src = ref->chain;
    const CHAIN_main_data_s* smd = main_of(src);
    if (!w.first_ref) w.first_ref = ref;
    if ((smd->use_implied_offset & 1) && smd->implied_offset != 0.0) w.offset = true;
    if (w.single_source) {
        if (!w.first_source) {
            w.first_source = src;
            w.material_class = class_from_stocked_from(w.material_class, src, false);
            w.kind = smd->kind;
            if (w.kind == TRACE_CHAIN) {
                w.kind = OFFSET_CHAIN;
                w.trace = true;
            }
            w.no_split = true;
        } else if (src != w.first_source) {
            w.single_source = false;
        }
    }
    if (!w.single_source) {
        if (smd->kind == TRACE_CHAIN) {
            w.trace = true;
            w.kind = OFFSET_CHAIN;
        } else if (smd->kind == OFFSET_CHAIN) {
            w.kind = OFFSET_CHAIN;
        } else if (!w.closed && !w.seen_mixed) {
            w.kind = smd->kind;
        }
        w.seen_mixed = true;
    }
    POLY_SEG_handle_source_data_and_merge(ref, vertex, w.chain, w.vertex_cb);
    if (!w.single_source && smd->kind == TRACE_CHAIN)
        w.material_class = class_from_stocked_from(w.material_class, src, true);
    // A blank trace record of the source vertex goes with the new vertex.
    if (const StockRecord* stock = stock_of(ref->vertex)) {
        if (stock->blank) {
            void* copy = CMEM_ALLOC(w.pool, 1, sizeof(StockRecord));
            std::memcpy(copy, stock, sizeof(StockRecord));
            void* old = APP_DATA__ask_app_data(vertex->app_data, KEY_TRACE_RECORD);
            RING_put_node_app_data(w.chain, vertex, KEY_TRACE_RECORD, copy);
            CMEM_private_delete_object(old);
        }
    }
    if (w.previous_ref && vertex->previous) walk_junction(w, w.previous_ref, ref, vertex->previous, vertex);
    w.previous_ref = ref;
}

void POLY_SEG_source_walk_close(POLY_SEG_source_walk_s& w, RING_node_s* junction, RING_node_s* after) {
    if (!w.closed || !w.previous_ref || !w.first_ref) return;
    walk_junction(w, w.previous_ref, w.first_ref, junction, after);
}

RING_header_s* POLY_SEG_source_walk_finish(POLY_SEG_source_walk_s& w, CHAIN_proc_app_data_spec_e spec,
                                           CHAIN_loop_class_s* loop_class,
                                           const std::function<void(bool reused)>& discard) {
    RING_header_s* chain = w.chain;
    CHAIN_main_data_s* md = main_of(chain);
    if (w.offset) w.kind = OFFSET_CHAIN;
    POLY_SEG_remove_blank_segs(chain);

    // Reuse of the single source chain.
    RING_header_s* s = w.first_source;
    CHAIN_main_data_s* smd = main_of(s);
    const bool reuse_allowed =
        (spec & CHAIN_PROC_APP_DATA_SOURCES) &&
        ((spec & CHAIN_PROC_APP_DATA_REUSE) || ((spec & CHAIN_PROC_APP_DATA_REUSE_NO_OFFSET) && !w.offset));
    if (w.single_source && reuse_allowed && w.closed && w.no_split && w.side == smd->material_side) {
        // Everything is worked out before S is touched, so that a result
        // discarded below leaves S exactly as it was.
        RING_header_s* k = ChainStockedFrom(s);
        const DIRECTION direction = CHAIN_direction_of_chain(s);
        const bool s_trace = smd->kind == TRACE_CHAIN;
        const unsigned char all_dummy = CHAIN_is_chain_all_dummy(s) ? 1 : 0;
        const CHAIN_kind_t kind = s_trace ? OFFSET_CHAIN : smd->kind;
        int material_class = w.material_class;
        const CHAIN_main_data_s* cmd = k ? main_of(k) : nullptr;
        const SIDE c_side = cmd ? cmd->material_side : smd->material_side;
        const DIRECTION c_direction =
            cmd ? merrow1::stored_or_computed_direction(k, merrow1::StoredDirection::CwOrCcw) : direction;
        const CHAIN_kind_t c_kind = cmd ? cmd->kind : kind;
        const bool c_closed = k ? is_closed(k) : is_closed(s);
        if (material_inside(c_side, c_direction))
            material_class = 1;
        else if (c_closed && c_kind != TRACE_CHAIN)
            material_class = 0;
        discard(true);
        // The trace discard for the reused chain.
        if (w.trace && (all_dummy || (material_class == 0 && material_inside(smd->material_side, direction))))
            return nullptr;
        smd->direction = direction;
        // A loop-class record already on S is rewritten, not doubled.
        CHAIN_loop_class_s* record =
            static_cast<CHAIN_loop_class_s*>(APP_DATA__ask_app_data(s->app_data, CHAIN_APP_DATA_LOOP_CLASS));
        if (!record) {
            record = CMEM_NEW(s->pool, CHAIN_loop_class_s);
            RING_put_header_app_data(s, CHAIN_APP_DATA_LOOP_CLASS, record);
        }
        record->material_class = material_class;
        record->all_dummy = all_dummy;
        if (s_trace) {
            if (k) RING_put_header_app_data(s, APP_DATA_COPIED_FROM, k);
            smd->kind = OFFSET_CHAIN;
        }
        return s;
    }

    // Class, kind and the stocked-from link of the new chain.
    if (w.single_source) RING_put_header_app_data(chain, APP_DATA_STOCKED_FROM, s);
    loop_class->material_class = w.material_class;
    md->kind = w.kind;
    // The trace discard.
    if (w.trace && (loop_class->all_dummy ||
                    (w.material_class == 0 && material_inside(md->material_side, md->direction)))) {
        discard(false);
        return nullptr;
    }
    return chain;
}

RING_header_s* POLY_SEG_create_chain(RING_header_s* poly, const CSYS* csys, CMEM_pool_s* pool,
                                     CHAIN_proc_app_data_spec_e spec, CHAIN_vertex_source_callback_t vertex_cb,
                                     POLY_SEG_create_chain_cb_t create_cb, void* cb_data, double tolerance,
                                     SIDE side, bool offset, POLY_SEG_offset_value_cb_t, void*,
                                     POLY_SEG_output_order_data_s* order) {
    // 1.
    if (!is_poly_ring(poly) || poly->count < 2) return nullptr;
    const bool sources = spec != 0;
    const bool closed = POLY_SEG_is_closed(poly);
    const POLY_SEG_header_s* header = POLY_SEG_ask_header(poly);
    int escaped = 0;

    RING_header_s* chain = nullptr;
    RING_header_s* result = build_or_delete(chain, [&]() -> RING_header_s* {
        // 2-3. The empty chain with its loop-class record, and the order record.
        CHAIN_loop_class_s* loop_class = nullptr;
        chain = POLY_SEG_create_result_chain(csys, pool, tolerance, sources, &loop_class);
        if (!chain) return nullptr;
        CHAIN_main_data_s* md = main_of(chain);
        if (order) {
            order->loop_number = header ? header->loop_number : 0;
            if (closed) {
                order->region = INT_MAX;
                order->position = 1e19;
            }
        }
        // Deleting the chain frees its loop-class record.
        auto discard_new_chain = [&]() {
            RING_delete(chain);
            chain = nullptr;
        };

        // 4. The start vertex.
        const auto nodes = nodes_of(poly);
        PNT2_s from = end_of(closed ? nodes.back() : nodes.front());
        end_segment start_end{};
        start_end.x = from.x;
        start_end.y = from.y;
        RING_node_s* start_vertex = ChainAppendVertex(chain, &start_end, SEG_POINT);

        // 5. The walk.
        POLY_SEG_source_walk_s w(chain, pool, spec, vertex_cb, tolerance, side, closed, offset, order);
        POLY_SEG_source_walk_start(w, sources ? POLY_SEG_usable_source(nodes.front()) : nullptr, start_vertex);
        for (size_t i = closed ? 0 : 1; i < nodes.size(); ++i) {
            RING_node_s* node = nodes[i];
            const LINE_ARC_SEG_s* s = seg_of(node);
            // a-c. The source reference and the vertex geometry.  A piece
            //      after one that made no vertex starts on the chain's last
            //      point instead of its own start: an arc keeps its bulge and
            //      its centre follows the chord from that point, so that both
            //      ends of the chain's arc lie on its circle.
            const CHAIN_app_poly_seg_chain_source_s* ref = sources ? POLY_SEG_usable_source(node) : nullptr;
            const PNT2_s own_start = end_of(i == 0 ? nodes.back() : nodes[i - 1]);
            LINE_ARC_SEG_s moved;
            if (LINE_ARC_SEG_is_arc(s) && (own_start.x != from.x || own_start.y != from.y)) {
                moved = *s;
                LINE_ARC_SEG_set_centre(&moved, &from);
                s = &moved;
            }
            end_segment e;
            SEGMENT_TYPE type;
            if (!POLY_SEG_vertex_geometry(s, from, ref, &e, &type, &escaped)) continue;
            // d. A piece ending on the chain's last point after an arc makes
            //    no vertex, and an arc over a half circle from the chain's
            //    last point goes in as two (a vertex at its middle first).
            if (POLY_SEG_piece_joins_last_arc(chain, e)) continue;
            if (RING_node_s* middle = type == SEG_ARC ? POLY_SEG_append_middle_of_long_arc(chain, e) : nullptr) {
                if (create_cb) create_cb(chain, middle, poly, node, cb_data);
                POLY_SEG_source_walk_vertex(w, ref, middle);
            }
            RING_node_s* vertex = ChainAppendVertex(chain, &e, type);
            from = PNT2_s{s->x, s->y};
            if (!vertex) continue;
            // e.
            if (create_cb) create_cb(chain, vertex, poly, node, cb_data);
            // f.
            POLY_SEG_source_walk_vertex(w, ref, vertex);
        }

        // 9a. A closed poly: the start vertex goes and the ring closes.
        if (closed && start_vertex && chain->count > 1) {
            RING_delete_node(chain, start_vertex);
            close_ring(chain);
            CHAIN_drop_cached_box(chain);
        }
        // 9b. The direction: the sign of the poly's area on its grid, which
        //     is exact, when it came from one; else the chain's own area.
        md->direction = closed && header && header->grid_area_sign != 0 ? (header->grid_area_sign > 0 ? CCW : CW)
                                                                        : CHAIN_direction_of_chain(chain);
        // 9c.
        if (!sources || !w.first_source) return chain;
        if (chain->count < 2) return chain;

        // 9d. The closing junction, and the chosen start.
        POLY_SEG_source_walk_close(w, chain->last, chain->first);
        if (closed && w.candidate && is_closed(chain)) {
            chain->first = w.candidate;
            chain->last = w.candidate->previous;
        }
        // 9e-h.
        return POLY_SEG_source_walk_finish(w, spec, loop_class, [&](bool) { discard_new_chain(); });
    });

    // 10.
    if (result && result->count >= 2) {
        const CHAIN_main_data_s* rmd = main_of(result);
        if (side != 0 && side != rmd->material_side) POLY_SEG_chain_reverse_incorrectly(result, pool);
        if (order && sources && !is_closed(result)) POLY_SEG_order_open_chain(result, order);
    }
    // 13.
    if (escaped != 0 && RDEBUG_ask_flag("cam_poly_seg"))
        ERROR_lprintf("Number of escaped dummies in POLY_SEG_create_chain = %d\n", escaped);
    return result;
}

POLY_SEG_output_list_s::POLY_SEG_output_list_s(RING_header_s* chain_list, CMEM_pool_s* pool, int count,
                                               bool ordered, bool by_loop_number)
    : m_list(chain_list), m_by_loop_number(by_loop_number) {
    if (ordered && count > 0)
        m_records = CMEM_NEW_ARRAY(pool, POLY_SEG_output_order_data_s, static_cast<size_t>(count));
}

POLY_SEG_output_list_s::~POLY_SEG_output_list_s() { CMEM_private_delete_object(m_records); }

bool POLY_SEG_output_list_s::goes_before(const Added& a, const Added& e) const {
    if (m_by_loop_number && a.order.loop_number > e.order.loop_number) return false;
    if (a.open != e.open) return a.open;
    return a.order.region < e.order.region ||
           (a.order.region == e.order.region && a.order.position < e.order.position);
}

void POLY_SEG_output_list_s::add(RING_header_s* chain, const POLY_SEG_output_order_data_s* order) {
    if (!order) {
        RING_insert_after(m_list, m_list->last, chain);
        return;
    }
    // One backward pass over the chains this object added.
    Added entry{nullptr, *order, !is_closed(chain)};
    size_t at = m_added.size();
    while (at > 0 && goes_before(entry, m_added[at - 1])) --at;
    RING_node_s* after = at == m_added.size()               ? m_list->last
                         : m_added[at].node == m_list->first ? nullptr
                                                             : m_added[at].node->previous;
    entry.node = RING_insert_after(m_list, after, chain);
    m_added.insert(m_added.begin() + static_cast<std::ptrdiff_t>(at), entry);
}

void POLY_SEG_create_chain_set(RING_header_s* set, const CSYS* csys, CHAIN_proc_app_data_spec_e spec,
                               CHAIN_vertex_source_callback_t vertex_cb, POLY_SEG_create_chain_cb_t create_cb,
                               void* cb_data, double tolerance, SIDE side, bool offset,
                               POLY_SEG_offset_value_cb_t offset_cb, void* offset_data, RING_header_s* chain_list) {
    if (!set || !chain_list) return;
    // The order records live in the set's pool for the length of the call.
    POLY_SEG_output_list_s out(chain_list, set->pool, set->count, spec != 0, true);
    merrow1::run_converting([&]() {
        RING_node_s* node = set->first;
        for (int i = 0; node && i < set->count; ++i, node = node->next) {
            CERR_raise_on_abort();
            RING_header_s* poly = RING_ask_node_subring(node);
            if (!poly) continue;
            POLY_SEG_output_order_data_s* order = out.order(i);
            RING_header_s* chain = POLY_SEG_create_chain(poly, csys, chain_list->pool, spec, vertex_cb, create_cb,
                                                         cb_data, tolerance, side, offset, offset_cb, offset_data,
                                                         order);
            if (!chain) continue;
            if (chain->count < 2) {
                RING_delete(chain);
                continue;
            }
            out.add(chain, order);
        }
    });
}
