// Snap rounding of straight segments between integer grid points, an object
// of class 261 driven through its descriptor.
//
// All geometric decisions are exact: coordinates are 32-bit grid integers,
// their differences are taken in 64 bits and every product in 128 bits, so no
// crossing, rounding or hot-pixel test depends on floating point.  Doubles
// carry only the per-point values.
#include <merrow1/snap_round.h>

#include "exact/wide_int.h"
#include "internal/check.h"

#include <stend/error.h>

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

namespace {

const char kFile[] = "snap_round";

// Exact products of differences: a difference of two int32 needs 33 bits, a
// cross product of two such differences 67, and the crossing rounding
// multiplies a cross product by one more difference (about 100 bits), so they
// are taken in 128-bit integers.
typedef WIDE_INT_s wide_t;

wide_t wide(int64_t v) { return WIDE_INT_from_int64(v); }
wide_t operator+(wide_t a, wide_t b) { return WIDE_INT_add(a, b); }
wide_t operator-(wide_t a, wide_t b) { return WIDE_INT_sub(a, b); }
wide_t operator-(wide_t a) { return WIDE_INT_neg(a); }
bool operator<(wide_t a, wide_t b) { return WIDE_INT_compare(a, b) < 0; }
bool operator<=(wide_t a, wide_t b) { return WIDE_INT_compare(a, b) <= 0; }

typedef SNAP_ROUND_point_s Point;
typedef SNAP_ROUND_segment_s Segment;

bool g_class_ready = false;
OBJECT_entry_t g_descriptor[OBJECT_BASE_ENTRIES + SNAP_ROUND_OWN_SLOTS];

// Host arrays: the data pointer counts only when the allocated size is >= 1.
int record_count(const CARR_record_array_s* array) { return array->allocated >= 1 ? array->count : 0; }
Point* point_data(const CARR_record_array_s* array) {
    return array->allocated >= 1 ? static_cast<Point*>(array->data) : nullptr;
}
Segment* segment_data(const CARR_record_array_s* array) {
    return array->allocated >= 1 ? static_cast<Segment*>(array->data) : nullptr;
}
void set_count(CARR_record_array_s* array, int count) {
    if (array->allocated >= 1) array->count = count;
}

[[noreturn]] void raise_out_of_memory() {
    Korvo::Error::Severe severe;
    severe.Convert(std::bad_alloc());
    severe.Rethrow();
}

template <class Record>
int append_record(CARR_record_array_s* array, const Record& record) {
    const int index = CARR_append_to_array(array, &record, static_cast<int>(sizeof(Record)));
    if (index < 0) raise_out_of_memory();
    return index;
}


bool valid_index(int index, int count) { return index >= 0 && index < count; }

// The point that stands for point k once merging has run: k itself when it is
// kept, else the end of the chain of replacements named by the y of removed
// points (a point deleted on entry names point 0, a merged point its
// representative).  -1 when the chain leaves the array or loops (it can be at
// most `count` long), as it does when point 0 is itself deleted.
int resolve_point(const Point* points, int count, int k) {
    for (int steps = 0; steps <= count; ++steps) {
        if (!valid_index(k, count)) return -1;
        if (points[k].x >= 0) return k;
        k = points[k].y;
    }
    return -1;
}

// The point that stands for point k before merging: a point deleted on entry
// (negative x) goes where point 0 goes; -1 when point 0 is deleted too.
int entry_point(const Point* points, int count, int k) {
    if (!valid_index(k, count)) return -1;
    if (points[k].x >= 0) return k;
    return count > 0 && points[0].x >= 0 ? 0 : -1;
}

enum SortKey { BY_X, BY_Y };

inline int32_t key_of(const Point* point, SortKey key) { return key == BY_X ? point->x : point->y; }

// In-place quicksort of point pointers by the x or y of the points.
// Ranges of at most 7 entries go by insertion sort; otherwise the median of
// the first, middle and last entries is the pivot, with the first and last as
// sentinels of the partition.  The larger part is pushed and the smaller one
// sorted next, so the stack holds at most log2(count) ranges.
void SNAP_ROUND__sort_points(Point** table, int count, SortKey key) {
    const int kInsertionMax = 7;
    const int kStackRanges = 50;
    int stack[2 * kStackRanges];
    int top = 0;
    int l = 0;
    int r = count - 1;
    for (;;) {
        if (r - l < kInsertionMax) {
            for (int j = l + 1; j <= r; ++j) {
                Point* moving = table[j];
                const int32_t k = key_of(moving, key);
                int i = j - 1;
                for (; i >= l && key_of(table[i], key) > k; --i) table[i + 1] = table[i];
                table[i + 1] = moving;
            }
            if (top == 0) return;
            r = stack[--top];
            l = stack[--top];
            continue;
        }
        std::swap(table[l + (r - l) / 2], table[l + 1]);
        if (key_of(table[l], key) > key_of(table[r], key)) std::swap(table[l], table[r]);
        if (key_of(table[l + 1], key) > key_of(table[r], key)) std::swap(table[l + 1], table[r]);
        if (key_of(table[l], key) > key_of(table[l + 1], key)) std::swap(table[l], table[l + 1]);
        Point* pivot = table[l + 1];
        const int32_t k = key_of(pivot, key);
        int i = l + 1;
        int j = r;
        for (;;) {
            do ++i;
            while (key_of(table[i], key) < k);
            do --j;
            while (key_of(table[j], key) > k);
            if (j < i) break;
            std::swap(table[i], table[j]);
        }
        table[l + 1] = table[j];
        table[j] = pivot;
        if (top + 2 > 2 * kStackRanges) ERROR_internal(kFile, __LINE__, "Blown private stack!");
        if (r - i + 1 >= j - l) {
            stack[top++] = i;
            stack[top++] = r;
            r = j - 1;
        } else {
            stack[top++] = l;
            stack[top++] = j - 1;
            l = i;
        }
    }
}

// Makes room for one box per segment: the capacity grows by n.
void ensure_boxes(SNAP_ROUND_s* object, int n) {
    if (n <= object->box_capacity) return;
    const int capacity = object->box_capacity + n;
    CMEM_private_delete_object(object->boxes);
    object->boxes = nullptr;
    object->box_capacity = 0;
    object->box_count = 0;
    object->boxes = CMEM_NEW_ARRAY(object->pool, SNAP_ROUND_box_s, static_cast<size_t>(capacity));
    if (!object->boxes) raise_out_of_memory();
    object->box_capacity = capacity;
}

// Makes room for a pointer to every point: the capacity grows by the count.
void ensure_table(SNAP_ROUND_s* object, int count) {
    if (count <= object->table_capacity) return;
    const int capacity = object->table_capacity + count;
    CMEM_private_delete_object(object->table);
    object->table = nullptr;
    object->table_capacity = 0;
    object->table = CMEM_NEW_ARRAY(object->pool, Point*, static_cast<size_t>(capacity));
    if (!object->table) raise_out_of_memory();
    object->table_capacity = capacity;
}

void reverse(Point** first, Point** last) { std::reverse(first, last); }

// Calls `f(begin, end)` for each run of equal x in table[0, count).
template <class F>
void for_each_x_run(Point** table, int count, F f) {
    for (int a = 0; a < count;) {
        int b = a + 1;
        while (b < count && table[b]->x == table[a]->x) ++b;
        f(table + a, table + b);
        a = b;
    }
}

}  // namespace

void SNAP_ROUND_init_class() {
    if (g_class_ready) return;
    OBJECT_init_class();
    const OBJECT_entry_t* base = OBJECT_ask_descriptor();
    for (int i = 0; i < OBJECT_BASE_ENTRIES; ++i) g_descriptor[i] = base[i];
    g_descriptor[0] = OBJECT_class_number_entry(SNAP_ROUND_CLASS_NUMBER);
    OBJECT_entry_t* own = g_descriptor + OBJECT_BASE_ENTRIES;
    own[SNAP_ROUND_SLOT_SET_CELL_PERIPHERY] = OBJECT_method_entry(&SNAP_ROUND__set_cell_periphery);
    own[SNAP_ROUND_SLOT_INTERSECT_AND_SNAP] = OBJECT_method_entry(&SNAP_ROUND__intersect_and_snap);
    own[SNAP_ROUND_SLOT_BUILD_BOXES] = OBJECT_method_entry(&SNAP_ROUND__build_boxes);
    own[SNAP_ROUND_SLOT_INTERSECT_SEGMENTS] = OBJECT_method_entry(&SNAP_ROUND__intersect_segments);
    own[SNAP_ROUND_SLOT_MERGE_POINTS] = OBJECT_method_entry(&SNAP_ROUND__merge_points);
    own[SNAP_ROUND_SLOT_SNAP_ROUND_SEGMENTS] = OBJECT_method_entry(&SNAP_ROUND__snap_round_segments);
    g_class_ready = true;
}

const OBJECT_entry_t* SNAP_ROUND_ask_descriptor() {
    SNAP_ROUND_init_class();
    return g_descriptor;
}

SNAP_ROUND_s* SNAP_ROUND__create(int box_capacity, int table_capacity) {
    CMEM_pool_s* pool = CMEM_private_create_pool(64, "pool for SNAP_ROUND", __LINE__, kFile);
    if (!pool) return nullptr;
    try {
        SNAP_ROUND_s* object = CMEM_NEW(pool, SNAP_ROUND_s);
        if (!object) raise_out_of_memory();
        SNAP_ROUND_init_class();
        object->descriptor = g_descriptor;
        object->pool = pool;
        if (box_capacity > 0) {
            object->boxes = CMEM_NEW_ARRAY(pool, SNAP_ROUND_box_s, static_cast<size_t>(box_capacity));
            if (!object->boxes) raise_out_of_memory();
            object->box_capacity = box_capacity;
        }
        if (table_capacity > 0) {
            object->table = CMEM_NEW_ARRAY(pool, Point*, static_cast<size_t>(table_capacity));
            if (!object->table) raise_out_of_memory();
            object->table_capacity = table_capacity;
        }
        return object;
    } catch (const Korvo::Error::Exception&) {
        CMEM_private_delete_pool(pool);
        throw;
    } catch (const std::exception& e) {
        Korvo::Error::Severe severe;
        severe.Convert(e);
        CMEM_private_delete_pool(pool);
        severe.Rethrow();
    }
}

void SNAP_ROUND__destroy(SNAP_ROUND_s* object) {
    if (object) CMEM_private_delete_pool(object->pool);
}

void SNAP_ROUND__set_cell_periphery(SNAP_ROUND_s*, int*) {}

void SNAP_ROUND__intersect_and_snap(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                    CARR_record_array_s* segments) {
    MERROW1_REQUIRE(object && points && segments, "DUE_TO_INVALID_INPUT", );
    // The segment count is read again before each test: building the boxes
    // drops segments, merging may drop more.
    if (record_count(segments) > 0) {
        SNAP_ROUND_step(object, SNAP_ROUND_SLOT_BUILD_BOXES)(object, points, segments);
        if (record_count(segments) > 1)
            SNAP_ROUND_step(object, SNAP_ROUND_SLOT_INTERSECT_SEGMENTS)(object, points, segments);
    }
    SNAP_ROUND_step(object, SNAP_ROUND_SLOT_MERGE_POINTS)(object, points, segments);
    if (record_count(segments) > 0)
        SNAP_ROUND_step(object, SNAP_ROUND_SLOT_SNAP_ROUND_SEGMENTS)(object, points, segments);
}

void SNAP_ROUND__build_boxes(SNAP_ROUND_s* object, CARR_record_array_s* points, CARR_record_array_s* segments) {
    MERROW1_REQUIRE(object && points && segments, "DUE_TO_INVALID_INPUT", );
    const int n = record_count(segments);
    ensure_boxes(object, n);
    const Point* pts = point_data(points);
    const int point_count = record_count(points);
    Segment* segs = segment_data(segments);
    // Segments are kept in order and moved down so that box i belongs to
    // segment i.  An end at a point deleted on entry moves to point 0, where
    // merging sends it, so that boxes and crossings see real coordinates.
    int kept = 0;
    bool invalid = false;
    for (int i = 0; i < n; ++i) {
        Segment s = segs[i];
        s.start = entry_point(pts, point_count, s.start);
        s.end = entry_point(pts, point_count, s.end);
        if (s.start < 0 || s.end < 0) {
            invalid = true;
            continue;
        }
        const Point& a = pts[s.start];
        const Point& b = pts[s.end];
        if (a.x == b.x && a.y == b.y) continue;
        object->boxes[kept] = {std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y), std::max(a.y, b.y)};
        segs[kept++] = s;
    }
    if (invalid) MERROW1_NOTE_FAILURE("DUE_TO_INVALID_INPUT");
    object->box_count = kept;
    set_count(segments, kept);
}

void SNAP_ROUND__intersect_segments(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                    CARR_record_array_s* segments) {
    MERROW1_REQUIRE(object && points && segments, "DUE_TO_INVALID_INPUT", );
    const int n = std::min(object->box_count, record_count(segments));
    const int point_count = record_count(points);  // crossings appended below are not segment ends
    const SNAP_ROUND_box_s* boxes = object->boxes;
    const Segment* segs = segment_data(segments);
    for (int i = 0; i < n; ++i) {
        const SNAP_ROUND_box_s& bi = boxes[i];
        const Segment& si = segs[i];
        if (!valid_index(si.start, point_count) || !valid_index(si.end, point_count)) continue;
        for (int j = i + 1; j < n; ++j) {
            // 1. The boxes must overlap with positive area in each direction.
            const SNAP_ROUND_box_s& bj = boxes[j];
            if (!(bi.max_x > bj.min_x && bi.min_x < bj.max_x && bi.max_y > bj.min_y && bi.min_y < bj.max_y))
                continue;
            // 2. Segments with a common end do not cross properly.
            const Segment& sj = segs[j];
            if (!valid_index(sj.start, point_count) || !valid_index(sj.end, point_count)) continue;
            if (si.start == sj.start || si.start == sj.end || si.end == sj.start || si.end == sj.end) continue;
            // 3. A + t (B - A) = E + u (F - E) with t = num_t / den, u = num_u / den;
            //    only 0 < t < 1 and 0 < u < 1 (ends excluded) is a crossing.
            const Point* pts = point_data(points);  // appends below may move the points
            const Point a = pts[si.start], b = pts[si.end], e = pts[sj.start], f = pts[sj.end];
            const int64_t rx = int64_t(b.x) - a.x, ry = int64_t(b.y) - a.y;
            const int64_t sx = int64_t(f.x) - e.x, sy = int64_t(f.y) - e.y;
            const int64_t qx = int64_t(e.x) - a.x, qy = int64_t(e.y) - a.y;
            wide_t den = WIDE_INT_mul64(sy, rx) - WIDE_INT_mul64(sx, ry);
            if (WIDE_INT_sign(den) == 0) continue;
            wide_t num_t = WIDE_INT_mul64(qx, sy) - WIDE_INT_mul64(qy, sx);
            wide_t num_u = WIDE_INT_mul64(qx, ry) - WIDE_INT_mul64(qy, rx);
            if (WIDE_INT_sign(den) < 0) {
                den = -den;
                num_t = -num_t;
                num_u = -num_u;
            }
            const wide_t zero = wide(0);
            if (!(zero < num_t && num_t < den && zero < num_u && num_u < den)) continue;
            // 4. Round A + t (B - A) to the nearest grid point, halves upward on
            //    both signs: floor(t r + 1/2) = floor((2 num_t r + den) / (2 den)).
            //    The crossing lies inside both boxes, so the result fits in 32 bits.
            const wide_t twice_den = den + den;
            Point crossing;
            crossing.x = static_cast<int32_t>(
                a.x + WIDE_INT_to_int64(WIDE_INT_floor_div(WIDE_INT_mul(num_t, 2 * rx) + den, twice_den)));
            crossing.y = static_cast<int32_t>(
                a.y + WIDE_INT_to_int64(WIDE_INT_floor_div(WIDE_INT_mul(num_t, 2 * ry) + den, twice_den)));
            // 5. The larger of the values interpolated along the two segments.
            const double t = WIDE_INT_to_double(num_t) / WIDE_INT_to_double(den);
            const double u = WIDE_INT_to_double(num_u) / WIDE_INT_to_double(den);
            crossing.value = std::max(a.value + (b.value - a.value) * t, e.value + (f.value - e.value) * u);
            crossing.id = -1;
            append_record(points, crossing);
        }
    }
}

void SNAP_ROUND__merge_points(SNAP_ROUND_s* object, CARR_record_array_s* points, CARR_record_array_s* segments) {
    MERROW1_REQUIRE(object && points && segments, "DUE_TO_INVALID_INPUT", );
    const int count = record_count(points);
    if (count == 0) return;
    ensure_table(object, count);
    Point* pts = point_data(points);
    Point** table = object->table;

    // 1. Pointers to all points, sorted by x.
    for (int k = 0; k < count; ++k) table[k] = pts + k;
    SNAP_ROUND__sort_points(table, count, BY_X);

    // 2. Walk the runs of equal x.  Points deleted on entry (negative x) sort
    //    first; each gets y = 0, so that it is dropped and references to it
    //    go where point 0 goes.  In a run, points of
    //    equal y merge into one representative: the last with a non-negative
    //    id, else the first.  A merged point gets x = -1 and y = the index of
    //    its representative, the same form as a deleted one.
    bool changed = false;
    for (int i = 0; i < count;) {
        if (table[i]->x < 0) {
            table[i]->y = 0;
            changed = true;
            ++i;
            continue;
        }
        int j = i + 1;
        while (j < count && table[j]->x == table[i]->x) ++j;
        if (j - i >= 3) SNAP_ROUND__sort_points(table + i, j - i, BY_Y);
        for (int a = i; j - i >= 2 && a < j;) {
            int b = a + 1;
            while (b < j && table[b]->y == table[a]->y) ++b;
            if (b - a >= 2) {
                int representative = a;
                for (int m = a; m < b; ++m)
                    if (table[m]->id >= 0) representative = m;
                const int32_t target = static_cast<int32_t>(table[representative] - pts);
                for (int m = a; m < b; ++m) {
                    if (m == representative) continue;
                    table[m]->x = -1;
                    table[m]->y = target;
                    changed = true;
                }
            }
            a = b;
        }
        i = j;
    }
    if (!changed) return;

    // 3. Entry k of the table becomes the new place of point k: kept points
    //    are numbered in order, a removed point takes the entry of the point
    //    that replaces it (null when that cannot be found).  Then the kept
    //    points move down.
    int kept = 0;
    for (int k = 0; k < count; ++k) table[k] = pts[k].x >= 0 ? pts + kept++ : nullptr;
    for (int k = 0; k < count; ++k) {
        if (pts[k].x >= 0) continue;
        const int r = resolve_point(pts, count, k);
        table[k] = r >= 0 ? table[r] : nullptr;
    }
    for (int k = 0, w = 0; k < count; ++k)
        if (pts[k].x >= 0) pts[w++] = pts[k];
    set_count(points, kept);

    // 4. Rewrite the segment ends; a segment whose ends became one point, or
    //    whose end has no valid replacement, is dropped (with its box, while
    //    the boxes belong to the segments).
    const int n = record_count(segments);
    Segment* segs = segment_data(segments);
    const bool with_boxes = object->box_count == n;
    int kept_segments = 0;
    bool invalid = false;
    for (int i = 0; i < n; ++i) {
        Segment s = segs[i];
        if (!valid_index(s.start, count) || !valid_index(s.end, count) || !table[s.start] || !table[s.end]) {
            invalid = true;
            continue;
        }
        s.start = static_cast<int32_t>(table[s.start] - pts);
        s.end = static_cast<int32_t>(table[s.end] - pts);
        if (s.start == s.end) continue;
        if (with_boxes) object->boxes[kept_segments] = object->boxes[i];
        segs[kept_segments++] = s;
    }
    if (invalid) MERROW1_NOTE_FAILURE("DUE_TO_INVALID_INPUT");
    set_count(segments, kept_segments);
    if (with_boxes) object->box_count = kept_segments;
}

void SNAP_ROUND__snap_round_segments(SNAP_ROUND_s* object, CARR_record_array_s* points,
                                     CARR_record_array_s* segments) {
    MERROW1_REQUIRE(object && points && segments, "DUE_TO_INVALID_INPUT", );
    const int n = record_count(segments);  // pieces appended below are not revisited
    const int count = record_count(points);
    ensure_table(object, count);
    Point* pts = point_data(points);  // no points are added in this step
    Point** table = object->table;
    for (int i = 0; i < n; ++i) {
        const Segment s = segment_data(segments)[i];
        if (!valid_index(s.start, count) || !valid_index(s.end, count)) continue;
        const Point a = pts[s.start], b = pts[s.end];
        if (a.x < 0 || b.x < 0) continue;

        // 1. Direction with dx > 0 from the left end O.
        const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
        const bool sloped = dx != 0 && dy != 0;
        const Point& o = dx > 0 ? a : b;
        const int64_t ux = dx > 0 ? dx : -dx, uy = dx > 0 ? dy : -dy;
        const int32_t min_x = std::min(a.x, b.x), max_x = std::max(a.x, b.x);
        const int32_t min_y = std::min(a.y, b.y), max_y = std::max(a.y, b.y);

        // 2. Hot pixels: points in the box (other than the ends) whose unit
        //    square the segment passes through.  With f(q) = (q - O) x (ux, uy)
        //    doubled to stay in integers, w is f at the square's upper-left
        //    corner (rising) or upper-right corner (falling), the corner where
        //    f is largest; the line passes through the square when f is above
        //    0 there and below 0 at the opposite corner, which for a falling
        //    segment may also be 0 (its lower-left corner counts).
        int m = 0;
        for (int k = 0; k < count; ++k) {
            if (k == s.start || k == s.end) continue;
            Point& p = pts[k];
            if (p.x < 0 || p.x < min_x || p.x > max_x || p.y < min_y || p.y > max_y) continue;
            if (sloped) {
                const int64_t qx = int64_t(p.x) - o.x, qy = int64_t(p.y) - o.y;
                bool through;
                if (uy > 0) {
                    const wide_t w = WIDE_INT_mul64(2 * qy + 1, ux) - WIDE_INT_mul64(2 * qx - 1, uy);
                    through = wide(0) < w && w < wide(2 * (ux + uy));
                } else {
                    const wide_t w = WIDE_INT_mul64(2 * qy + 1, ux) - WIDE_INT_mul64(2 * qx + 1, uy);
                    through = wide(0) < w && w <= wide(2 * (ux - uy));
                }
                if (!through) continue;
            }
            table[m++] = &p;
        }
        if (m == 0) continue;

        // 3. Order along the segment: by x (unless vertical), runs of equal x
        //    by y; then x descending when B is left of A, and y descending
        //    within the runs when B is below A.
        if (dx != 0 && m > 1) SNAP_ROUND__sort_points(table, m, BY_X);
        for_each_x_run(table, m, [](Point** first, Point** last) {
            if (last - first > 1) SNAP_ROUND__sort_points(first, static_cast<int>(last - first), BY_Y);
        });
        const bool x_descending = b.x < a.x;
        const bool y_descending = b.y < a.y;
        if (x_descending) reverse(table, table + m);
        if (x_descending != y_descending) for_each_x_run(table, m, reverse);

        // 4. Raise each hot pixel's value to the value along the segment there,
        //    and cut the segment at it: A..Q1 stays in the segment's record,
        //    Q1..Q2, ..., Qm..B are appended.
        const double ddx = static_cast<double>(dx), ddy = static_cast<double>(dy);
        const double length2 = ddx * ddx + ddy * ddy;
        int current = i;
        for (int q = 0; q < m; ++q) {
            Point* p = table[q];
            const double t = ((double(p->y) - a.y) * ddy + (double(p->x) - a.x) * ddx) / length2;
            const double value = t * (b.value - a.value) + a.value;
            if (p->value < value) p->value = value;
            const int32_t index = static_cast<int32_t>(p - pts);
            segment_data(segments)[current].end = index;
            const Segment piece = {index, q == m - 1 ? s.end : -1, s.id};
            current = append_record(segments, piece);
        }
    }
}
