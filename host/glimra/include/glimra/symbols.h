// Host display: temporary symbols in a view (cone heads, coordinate-system
// symbols and screen text).  The stand-in records every call (see
// <glimra/testing.h>).
#pragma once

#include <glimra/display.h>

// `count` cone heads.  Head i stands on points[3i..3i+2] and points along
// directions[3i..3i+2] (taken as a unit vector): its base centre lies `lift`
// along the direction from the point, its tip `length` further on, and its
// base radius is `spread` times its length.
void DSS_TEMP_display_coneheads(tag_t view, int colour, int count, const double* points, const double* directions,
                                double length, double spread, double lift);

// A coordinate-system symbol: the three rows of `matrix` (x, y and z axis)
// drawn `size` long from `origin`, labelled with the character `label`
// (none for '\0').
void DSS_TEMP_display_csys(tag_t view, int colour, const double origin[3], const double matrix[9], double size,
                           char label);

// Screen text at `point`; a null or empty text draws nothing.
void DSS_TEMP_display_text(tag_t view, int colour, const double point[3], const char* text);
