// Line and arc piece predicate of the earlier build.
#include <merrow1/legacy/legacy_routines.h>

#include <merrow1/line_arc_seg.h>

double LINE_ARC_SEG_prd_compare_parallel(PNT2_s* start1, LINE_ARC_SEG_s* piece1, int reversed1, PNT2_s* start2,
                                         LINE_ARC_SEG_s* piece2, int reversed2) {
    if (LINE_ARC_SEG_is_arc(piece1) || LINE_ARC_SEG_is_arc(piece2)) return 0.0;
    const double dot = (piece1->x - start1->x) * (piece2->x - start2->x) +
                       (piece1->y - start1->y) * (piece2->y - start2->y);
    return (reversed1 != 0) != (reversed2 != 0) ? -dot : dot;
}
