// Segment test of the earlier build.
#include <merrow1/legacy/legacy_routines.h>

#include <cmath>

bool SEGMENT_is_linear(SEGMENT* segment, double* tolerance) {
    if (segment->type == SEG_LINE) return true;
    if (segment->type != SEG_ARC || !tolerance) return false;
    // The arc is as good as its chord when the circle bulges no more than the
    // tolerance beyond the chord's midpoint.
    const end_segment* e = segment->end;
    const double mx = 0.5 * (segment->start[0] + e->x), my = 0.5 * (segment->start[1] + e->y);
    const double d = std::hypot(mx - e->cx, my - e->cy);
    return std::fabs(e->radius - d) <= *tolerance;
}
