// Line and arc pieces of poly-segments.
//
// A piece stores only its end point; its start is the previous piece's end.
// An arc is given by its chord d = end - start and the arc parameter h: the
// centre is start + (d.x/2 - h d.y, d.y/2 + h d.x).  h >= 1e100 is a line
// (1e101 written), h <= -1e100 a clockwise half circle (-1e101 written, the
// geometry of h = 0), otherwise h >= 0 counter-clockwise and h < 0 clockwise.
#pragma once

#include <velte/cmem.h>

#include <cstddef>
#include <cstdint>

struct PNT2_s {
    double x, y;
};

struct LINE_ARC_SEG_s {
    double x, y;       // end point (grid coordinates once on a grid)
    double h;          // arc parameter
    uint32_t flags;    // marks of the poly-segment layer; 0x200: multiplicity in app data
    double cx, cy;     // arcs only: centre as a vector from the start point
};

// A line record ends after the flag word; only arcs carry the centre.
const size_t LINE_ARC_SEG_LINE_RECORD_SIZE = offsetof(LINE_ARC_SEG_s, cx);
const size_t LINE_ARC_SEG_ARC_RECORD_SIZE = sizeof(LINE_ARC_SEG_s);

const double LINE_ARC_SEG_LINE_H = 1e101;
const double LINE_ARC_SEG_CW_HALF_CIRCLE_H = -1e101;

inline bool LINE_ARC_SEG_is_line(const LINE_ARC_SEG_s* piece) { return piece->h >= 1e100; }
inline bool LINE_ARC_SEG_is_arc(const LINE_ARC_SEG_s* piece) { return piece->h < 1e100; }
