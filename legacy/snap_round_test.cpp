// Developer driver of snap rounding.
#include <merrow1/legacy/snap_round_test.h>

#include <merrow1/snap_round.h>

#include <velte/carr_records.h>

#include "internal/owned.h"
#include "legacy/token_reader.h"

#include <cstdio>
#include <cstring>

namespace {

// The two record arrays, freed on every exit.
struct Arrays {
    CARR_record_array_s points{nullptr, 0, 0};
    CARR_record_array_s segments{nullptr, 0, 0};
    ~Arrays() {
        CARR_free_array(&points);
        CARR_free_array(&segments);
    }
};

const int kPointSize = static_cast<int>(sizeof(SNAP_ROUND_point_s));
const int kSegmentSize = static_cast<int>(sizeof(SNAP_ROUND_segment_s));

// The records of the input, up to the first one that comes up short.
void read_records(FILE* file, Arrays* arrays) {
    merrow1::TokenReader tokens(file);
    while (tokens.next()) {
        if (tokens.too_long()) continue;
        if (std::strcmp(tokens.text(), "pt") == 0) {
            int x = 0, y = 0, tag = 0;
            double value = 0.0;
            if (!tokens.next_int(&x) || !tokens.next_int(&y) || !tokens.next_double(&value) || !tokens.next_int(&tag))
                return;
            const SNAP_ROUND_point_s point{x, y, value, tag};
            CARR_append_to_array(&arrays->points, &point, kPointSize);
        } else if (std::strcmp(tokens.text(), "seg") == 0) {
            int start = 0, end = 0, id = 0;
            if (!tokens.next_int(&start) || !tokens.next_int(&end) || !tokens.next_int(&id)) return;
            const SNAP_ROUND_segment_s segment{start, end, id};
            CARR_append_to_array(&arrays->segments, &segment, kSegmentSize);
        }
    }
}

}  // namespace

void SNAP_ROUND__test() {
    Arrays arrays;
    {
        merrow1::FileCloser in{std::fopen("snap_in.txt", "r")};
        if (!in.file) return;
        CARR_create_array(&arrays.points, kPointSize, 3, 3);
        CARR_create_array(&arrays.segments, kSegmentSize, 3, 3);
        read_records(in.file, &arrays);
    }
    {
        merrow1::Owned<SNAP_ROUND_s, SNAP_ROUND__destroy> snap(SNAP_ROUND__create(2, 2));
        if (!snap.get()) return;
        SNAP_ROUND_step(snap.get(), SNAP_ROUND_SLOT_INTERSECT_AND_SNAP)(snap.get(), &arrays.points,
                                                                        &arrays.segments);
    }
    merrow1::FileCloser out{std::fopen("snap_out.txt", "w")};
    if (!out.file) return;
    const SNAP_ROUND_point_s* points = static_cast<const SNAP_ROUND_point_s*>(arrays.points.data);
    const SNAP_ROUND_segment_s* segments = static_cast<const SNAP_ROUND_segment_s*>(arrays.segments.data);
    for (int i = 0; arrays.points.allocated >= 1 && i < arrays.points.count; ++i)
        std::fprintf(out.file, "pt %d %d %f %d\n", points[i].x, points[i].y, points[i].value, points[i].id);
    for (int i = 0; arrays.segments.allocated >= 1 && i < arrays.segments.count; ++i)
        std::fprintf(out.file, "seg %d %d %d\n", segments[i].start, segments[i].end, segments[i].id);
}
