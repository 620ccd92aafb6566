// Line and arc piece predicate of the earlier build.
#include <merrow1/legacy/legacy_routines.h>

double LINE_ARC_SEG_prd_compare_parallel(PNT2_s* start1, LINE_ARC_SEG_s* piece1, int reversed1, PNT2_s* start2,
                                         LINE_ARC_SEG_s* piece2, int reversed2) {
    // An arc parameter below 1e100 marks an arc.
    if (piece1->h < 1e100 || piece2->h < 1e100) return 0.0;
    const double dot = (piece1->x - start1->x) * (piece2->x - start2->x) +
                       (piece1->y - start1->y) * (piece2->y - start2->y);
    return (reversed1 != 0) != (reversed2 != 0) ? -dot : dot;
}
