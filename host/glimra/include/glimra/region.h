// Host display: filled polygon regions.  The stand-in records every call (see
// <glimra/testing.h>).
#pragma once

// A filled region in the view opened by DSS_TEMP_begin_in_view, in the
// colour of the last DSS_PRIM_set_color.  It has `loops` closed polygons: the
// first is the outer boundary, the others are its holes.  Loop i has
// counts[i] points; `points` holds the points of all loops in turn, three
// coordinates each.
void DSS_PRIM_draw_polygon_region(int loops, const int* counts, const double* points);
