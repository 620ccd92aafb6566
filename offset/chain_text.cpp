// Text annotations to chains: the render state, the callbacks of the render
// table, and the cleaning of each group of strokes.
#include <merrow1/app_data_keys.h>
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_create.h>
#include <merrow1/chain_distance.h>
#include <merrow1/chain_edit.h>
#include <merrow1/chain_fit.h>
#include <merrow1/chain_part.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_text.h>

#include <harlow/rm.h>
#include <pemmet/occ.h>
#include <quorn/quorn.h>
#include <stend/om.h>
#include <stend/system.h>

#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/record_size.h"
#include "internal/scratch_pool.h"
#include "internal/vec2.h"

#include <cmath>
#include <cstring>

namespace {

const int kTextAnnotationType = 25;
using merrow1::kPi;
const double kTwoPi = 2 * kPi;
using merrow1::main_of;
using merrow1::point_of;

static_assert(sizeof(POINT_ON_CHAIN_s) == merrow1::round_up(3 * sizeof(double) + 2 * sizeof(void*) + sizeof(int),
                                                        merrow1::kRecordDoubleAlign),
              "touch records are place copies");

// What the callbacks build into, for the length of one call.
struct RenderState {
    CMEM_pool_s* pool;
    CSYS csys;                // the chains' system
    int placement;            // 0: absolute system, 2: rotated by the caller's CSYS
    double* stack;            // SM_realloc block of `depth` 3x3 matrices
    int depth;
    bool new_group;           // the next stroke opens a group
    RING_header_s* result;    // list of groups
    RING_header_s* group;     // current group (a chain list), or null
    double tolerance;         // host length tolerance
};

// Frees the matrix stack (once: the pointer is cleared).
void free_stack(RenderState& s) {
    SM_free(s.stack);
    s.stack = nullptr;
    s.depth = 0;
}

// Renderer space to chain coordinates: the top matrix on (x, y, 1), then in
// placement mode 2 the rotation by the CSYS orientation (rows are the axes).
void place(const RenderState& s, const double in[2], double out[2]) {
    double x = in[0], y = in[1];
    if (s.depth > 0) {
        const double* m = s.stack + 9 * (s.depth - 1);
        const double tx = m[0] * x + m[1] * y + m[2];
        const double ty = m[3] * x + m[4] * y + m[5];
        x = tx;
        y = ty;
    }
    if (s.placement == 2) {
        const double* r = s.csys.matrix;
        const double rx = r[0] * x + r[1] * y;
        const double ry = r[3] * x + r[4] * y;
        x = rx;
        y = ry;
    }
    out[0] = x;
    out[1] = y;
}

// Whether the mapping of `place` reverses the turning sense.
bool mirrors(const RenderState& s) {
    double det = 1.0;
    if (s.depth > 0) {
        const double* m = s.stack + 9 * (s.depth - 1);
        det *= m[0] * m[4] - m[1] * m[3];
    }
    if (s.placement == 2) det *= s.csys.matrix[0] * s.csys.matrix[4] - s.csys.matrix[1] * s.csys.matrix[3];
    return det < 0.0;
}

RING_header_s* new_chain(RenderState& s) {
    RING_header_s* chain = CHAIN_create_from_csys(&s.csys, s.pool);
    if (!chain) throw std::bad_alloc();
    main_of(chain)->material_side = LEFT;
    main_of(chain)->kind = OFFSET_CHAIN;
    return chain;
}

void append_to_list(RING_header_s* list, RING_header_s* ring) {
    if (!RING_insert_after(list, list->last, ring)) {
        RING_delete(ring);
        throw std::bad_alloc();
    }
}

RING_header_s* new_group(RenderState& s) {
    RING_header_s* group = RING_create_in_pool(nullptr, RING_TYPE_LIST, s.pool);
    if (!group) throw std::bad_alloc();
    append_to_list(s.result, group);
    return group;
}

// The current group, opening one first when asked for or when there is none.
RING_header_s* current_group(RenderState& s) {
    if (s.new_group || !s.group) {
        s.group = new_group(s);
        s.new_group = false;
    }
    return s.group;
}

RING_header_s* start_chain(RenderState& s) {
    RING_header_s* chain = new_chain(s);
    append_to_list(current_group(s), chain);
    return chain;
}

void add_point(RING_header_s* chain, const double point[2]) {
    end_segment end = {};
    end.x = point[0];
    end.y = point[1];
    ChainAddVertex(chain, &end, SEG_LINE);
}

RenderState& state_of(void* client) { return *static_cast<RenderState*>(client); }

TC_render_status_t on_start_stroke(void* client, const double point[2]) {
    RenderState& s = state_of(client);
    double p[2];
    place(s, point, p);
    add_point(start_chain(s), p);
    return TC_RENDER_OK;
}

TC_render_status_t on_draw_to(void* client, const double point[2]) {
    RenderState& s = state_of(client);
    double p[2];
    place(s, point, p);
    RING_header_s* chain = s.group && s.group->last ? RING_ask_node_subring(s.group->last) : nullptr;
    add_point(chain ? chain : start_chain(s), p);
    return TC_RENDER_OK;
}

// All three arc slots: a counter-clockwise arc in renderer space.
TC_render_status_t on_arc(void* client, const double centre[2], double radius, double start_angle,
                          double end_angle) {
    RenderState& s = state_of(client);
    const double start_local[2] = {centre[0] + radius * std::cos(start_angle),
                                   centre[1] + radius * std::sin(start_angle)};
    const double end_local[2] = {centre[0] + radius * std::cos(end_angle), centre[1] + radius * std::sin(end_angle)};
    double c[2], a[2], b[2];
    place(s, centre, c);
    place(s, start_local, a);
    place(s, end_local, b);
    const double r = std::hypot(a[0] - c[0], a[1] - c[1]);
    const DIRECTION sense = mirrors(s) ? CW : CCW;
    if (std::hypot(b[0] - a[0], b[1] - a[1]) <= s.tolerance) {
        // A full circle, in a group of its own; the current group stays.
        const Korvo::Math::Point2 circle_centre = {c[0], c[1]};
        const Korvo::Math::Vector2 direction = {r > 0.0 ? (a[0] - c[0]) / r : 1.0, r > 0.0 ? (a[1] - c[1]) / r : 0.0};
        RING_header_s* circle = CHAIN_create_circle_chain(&s.csys, r, &circle_centre, &direction, CCW, s.pool);
        if (!circle) return TC_RENDER_OK;  // too small to be a circle: nothing to cut
        main_of(circle)->material_side = LEFT;
        main_of(circle)->kind = OFFSET_CHAIN;
        RING_header_s* group = RING_create_in_pool(nullptr, RING_TYPE_LIST, s.pool);
        if (!group) {
            RING_delete(circle);
            throw std::bad_alloc();
        }
        append_to_list(group, circle);
        append_to_list(s.result, group);
        return TC_RENDER_OK;
    }
    RING_header_s* chain = start_chain(s);
    add_point(chain, a);
    end_segment end = {};
    end.cx = c[0];
    end.cy = c[1];
    end.radius = r;
    end.direction = sense;
    // The appender reads an arc's sense from its chord, so an arc of more than
    // a half circle goes in as two halves; the split below keeps every arc
    // short of a half circle.
    double sweep = std::fmod(end_angle - start_angle, kTwoPi);
    if (!(sweep > 0.0)) sweep += kTwoPi;
    if (sweep > kPi) {
        const double mid_angle = start_angle + sweep / 2.0;
        const double mid_local[2] = {centre[0] + radius * std::cos(mid_angle),
                                     centre[1] + radius * std::sin(mid_angle)};
        double m[2];
        place(s, mid_local, m);
        end.x = m[0];
        end.y = m[1];
        ChainAddVertex(chain, &end, SEG_ARC);
    }
    end.x = b[0];
    end.y = b[1];
    ChainAddVertex(chain, &end, SEG_ARC);
    CHAIN_keep_arcs_less_than_pi(chain);
    return TC_RENDER_OK;
}

TC_render_status_t on_stroke_text(void*, const char* text, const void* font) {
    return Korvo::Annot::Display::StrokeTextString(text, font);
}

TC_render_status_t on_push_matrix(void* client, const double matrix[9]) {
    RenderState& s = state_of(client);
    void* grown = SM_realloc(s.stack, sizeof(double) * 9 * static_cast<std::size_t>(s.depth + 1));
    if (!grown) return TC_RENDER_FAILED;
    s.stack = static_cast<double*>(grown);
    std::memcpy(s.stack + 9 * s.depth, matrix, 9 * sizeof(double));
    ++s.depth;
    return TC_RENDER_OK;
}

TC_render_status_t on_pop_matrix(void* client) {
    RenderState& s = state_of(client);
    if (s.depth <= 0) {
        MERROW1_NOTE_FAILURE("pop of an empty matrix stack");
        return TC_RENDER_OK;
    }
    if (--s.depth == 0) free_stack(s);
    return TC_RENDER_OK;
}

TC_render_status_t on_new_group(void* client) {
    state_of(client).new_group = true;
    return TC_RENDER_OK;
}

// Filled areas are declined: only strokes are cut.
TC_render_status_t on_fill_area(void*, int, const double*) { return TC_RENDER_DECLINED; }

// ---------------------------------------------------------------------------
// Cleaning

RING_header_s* chain_of(const RING_node_s* node) { return RING_ask_node_subring(node); }

// A chain with vertices that does not close on itself.
bool is_open(const RING_header_s* chain) { return chain->first && !merrow1::is_closed(chain); }

bool within(const double* a, const double* b, double tolerance) {
    return std::hypot(a[0] - b[0], a[1] - b[1]) <= tolerance;
}

// Reverses a text chain; its material side stays LEFT.
void reverse(RING_header_s* chain) {
    CHAIN_reverse(chain);
    main_of(chain)->material_side = LEFT;
}

// Appends the segments of `from` (after its first vertex) to `to`.
void append_chain(RING_header_s* to, const RING_header_s* from) {
    const RING_node_s* node = from->first->next;
    for (int k = 1; k < from->count && node; ++k, node = node->next) {
        SEGMENT segment;
        if (ChainSegment(from, node, &segment) != 1) continue;
        end_segment end = {};
        if (segment.type == SEG_ARC) {
            end = *segment.end;
        } else {
            end.x = segment.end->x;
            end.y = segment.end->y;
        }
        ChainAddVertex(to, &end, segment.type == SEG_ARC ? SEG_ARC : SEG_LINE);
    }
}

// Joins one pair of open chains of the group whose ends meet; false when no
// pair meets.
bool join_one_pair(RING_header_s* group, double tolerance) {
    RING_node_s* a_node = group->first;
    for (int i = 0; i < group->count && a_node; ++i, a_node = a_node->next) {
        RING_header_s* a = chain_of(a_node);
        if (!is_open(a)) continue;
        RING_node_s* b_node = group->first;
        for (int j = 0; j < group->count && b_node; ++j, b_node = b_node->next) {
            RING_header_s* b = chain_of(b_node);
            if (b == a || !is_open(b)) continue;
            const double *a_start = point_of(a->first), *a_end = point_of(a->last);
            const double *b_start = point_of(b->first), *b_end = point_of(b->last);
            if (within(a_end, b_start, tolerance)) {
            } else if (within(a_start, b_start, tolerance)) {
                reverse(a);
            } else if (within(a_end, b_end, tolerance)) {
                reverse(b);
            } else {
                continue;
            }
            append_chain(a, b);
            RING_delete_node(group, b_node);
            return true;
        }
    }
    return false;
}

int free_touch_record(void* record) {
    CMEM_private_delete_object(record);
    return 1;
}

// Touch records of the group's open chains.  The chains to reverse are turned
// first, so that every record names a place on its chain as it is left.
void record_touches(RING_header_s* group, double tolerance) {
    const int count = group->count;
    RING_header_s** partner = CMEM_NEW_ARRAY(group->pool, RING_header_s*, count);
    if (!partner) throw std::bad_alloc();
    RING_node_s* node = group->first;
    for (int i = 0; i < count && node; ++i, node = node->next) {
        partner[i] = nullptr;
        RING_header_s* chain = chain_of(node);
        if (!is_open(chain) || APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_TEXT_TOUCH)) continue;
        const double* start = point_of(chain->first);
        const double* end = point_of(chain->last);
        RING_node_s* other_node = group->first;
        for (int j = 0; j < count && other_node; ++j, other_node = other_node->next) {
            RING_header_s* other = chain_of(other_node);
            if (other == chain) continue;
            if (ChainPointMinDistance(other, start, nullptr) <= tolerance) {
                partner[i] = other;
                break;
            }
            if (ChainPointMinDistance(other, end, nullptr) <= tolerance) {
                partner[i] = other;
                reverse(chain);
                break;
            }
        }
    }
    node = group->first;
    for (int i = 0; i < count && node; ++i, node = node->next) {
        if (!partner[i]) continue;
        RING_header_s* chain = chain_of(node);
        auto* record = CMEM_NEW(chain->pool, POINT_ON_CHAIN_s);
        if (!record) {
            CMEM_private_delete_object(partner);
            throw std::bad_alloc();
        }
        ChainPointMinDistance(partner[i], point_of(chain->first), record);
        RING_set_key_having_delete_func(chain, CHAIN_APP_DATA_TEXT_TOUCH, free_touch_record);
        RING_put_header_app_data(chain, CHAIN_APP_DATA_TEXT_TOUCH, record);
    }
    CMEM_private_delete_object(partner);
}

void clean_group(RING_header_s* group, double tolerance, bool touch_records) {
    // 1. Chains of at most one vertex.
    RING_node_s* node = group->first;
    for (int i = 0, n = group->count; i < n && node; ++i) {
        RING_node_s* next = node->next;
        const RING_header_s* chain = chain_of(node);
        if (!chain || chain->count <= 1) RING_delete_node(group, node);
        node = next;
    }
    // 2. Joins; each one takes a chain out of the group.
    for (int bound = group->count; bound > 0 && group->count > 1; --bound)
        if (!join_one_pair(group, tolerance)) break;
    // 3. Chains whose ends now meet are closed.
    node = group->first;
    for (int i = 0; i < group->count && node; ++i, node = node->next) {
        RING_header_s* chain = chain_of(node);
        if (is_open(chain) && chain->count >= 3 && within(point_of(chain->first), point_of(chain->last), tolerance))
            CHAIN_close(chain, tolerance);
    }
    if (touch_records) record_touches(group, tolerance);
}

void clean_groups(RING_header_s* result, double tolerance, bool touch_records) {
    RING_node_s* node = result->first;
    for (int i = 0, n = result->count; i < n && node; ++i) {
        RING_node_s* next = node->next;
        RING_header_s* group = RING_ask_node_subring(node);
        if (group) clean_group(group, tolerance, touch_records);
        if (!group || group->count == 0) RING_delete_node(result, node);
        node = next;
    }
}

// Deletes the render table and frees the matrix stack once, on every exit;
// the result list goes too unless it was handed out.
class RenderGuard {
public:
    explicit RenderGuard(RenderState& state) : m_state(state) {}
    ~RenderGuard() {
        finish();
        if (m_state.result) RING_delete(m_state.result);
    }
    RenderGuard(const RenderGuard&) = delete;
    RenderGuard& operator=(const RenderGuard&) = delete;

    void set_table(Korvo::ANN_render_table* table) { m_table = table; }
    void finish() {
        if (Korvo::ANN_render_table* table = m_table) {
            m_table = nullptr;
            OM_delete_object(table);
        }
        free_stack(m_state);
    }
    RING_header_s* hand_out() {
        RING_header_s* result = m_state.result;
        m_state.result = nullptr;
        return result;
    }

private:
    RenderState& m_state;
    Korvo::ANN_render_table* m_table = nullptr;
};

}  // namespace

RING_header_s* CHAIN_convert_text_to_chains(CMEM_pool_s* pool, tag_t entity, const CSYS* csys, bool touch_records) {
    // 1. The annotation, or the prototype of an occurrence of one.
    if (entity == 0 || !pool) return nullptr;
    tag_t object = entity;
    if (OCC_is_occurrence(object)) object = OCC_ask_prototype_of_occ(object);
    int type = 0, subtype = 0;
    if (object == 0 || RM_ask_entity_type_and_subtype(object, &type, &subtype) != 0) return nullptr;
    if (type != kTextAnnotationType || subtype < 1 || subtype > 4) return nullptr;

    return merrow1::run_converting([&]() -> RING_header_s* {
        // 2. The result list and the system of the chains.
        RenderState state = {};
        state.pool = pool;
        state.placement = csys ? 2 : 0;
        state.new_group = true;
        state.tolerance = EQ_ask_length_tolerance();
        if (csys) {
            state.csys = *csys;
        } else {
            static const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
            std::memcpy(state.csys.matrix, identity, sizeof identity);
        }
        RenderGuard guard(state);
        state.result = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        if (!state.result) throw std::bad_alloc();

        // 3-5. Render through the table.
        ANN_render_callbacks_s callbacks = {};
        callbacks.start_stroke = on_start_stroke;
        callbacks.draw_to = on_draw_to;
        callbacks.draw_arc = on_arc;
        callbacks.draw_thick_arc = on_arc;
        callbacks.draw_dashed_arc = on_arc;
        callbacks.stroke_text = on_stroke_text;
        callbacks.push_matrix = on_push_matrix;
        callbacks.pop_matrix = on_pop_matrix;
        callbacks.new_group = on_new_group;
        callbacks.fill_area = on_fill_area;
        Korvo::ANN_render_table* table = Korvo::ANN_render_tableFactory::object(object, callbacks, &state);
        guard.set_table(table);
        const TC_render_status_t status = ANN_DISP_render_text_for_object(table, 0, 0);
        // 6. The table and the stack go before the cleaning.
        guard.finish();
        if (status != TC_RENDER_OK && status != TC_RENDER_DECLINED) {
            MERROW1_NOTE_FAILURE("the text could not be rendered");
            return nullptr;
        }
        // 7-8. Cleaning and touch records, group by group.
        clean_groups(state.result, state.tolerance, touch_records);
        return guard.hand_out();
    });
}
