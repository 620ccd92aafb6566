// Shared types of the chain model: sides, directions, segment types, the chain
// main data, the vertex record and the segment view.
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The side of a chain, walking along it, where the material lies; 0 unset.
// A closed chain with its material outside bounds a pocket (CCW with RIGHT,
// CW with LEFT), one with its material inside an island (CCW with LEFT, CW
// with RIGHT).
typedef int SIDE;
enum { RIGHT = 1, LEFT = 3 };

// The turn of a closed chain and the sense of an arc; 0 undefined.
typedef int DIRECTION;
enum { CW = -1, CCW = 1 };

typedef int SEGMENT_TYPE;
enum { SEG_POINT = 0, SEG_LINE = 1, SEG_ARC = 2 };

typedef int CORNER_CONTROL;
enum { ADD_ARC = 1, EXTEND_TANGENT = 2, BREAK_CORNER = 4, ALWAYS_EXTEND_TANGENT = 5 };

typedef int CHAIN_kind_t;
enum { SAMPLE_CHAIN = 0, TRACE_CHAIN = 1, OFFSET_CHAIN = 2, APPROX_CHAIN = 3, INTERMEDIATE_CHAIN = 4 };

// Coordinate system of a chain's plane: origin, then the orientation row by
// row (row 3 is the plane's Z axis).
struct CSYS {
    double origin[3];
    double matrix[9];
};

// One per chain, on the ring header.
struct CHAIN_main_data_s {
    CSYS csys;
    SIDE material_side;
    DIRECTION direction;
    CHAIN_kind_t kind;
    int use_implied_offset;
    double implied_offset;
    int region_set_id;
    unsigned char ethereal;
    unsigned char approximation_tolerance_set;
    double approximation_tolerance;
    double length_tolerance;
};

// End data of a segment: end point, centre, radius, direction.  Only the end
// point counts for points and lines.
struct end_segment {
    double x, y;
    double cx, cy;
    double radius;
    DIRECTION direction;
};

// One per vertex.  The geometry is a point (2 doubles) for SEG_POINT and
// SEG_LINE, an end_segment for SEG_ARC; the end point is always first.
struct CHAIN_vertex_data_s {
    double* geometry;
    unsigned int reserved;
    int source_surface;
    unsigned int flags;
};

// The one-piece view of a point, line or arc.
struct SEGMENT {
    double* start;
    end_segment* end;
    APP_DATA_s* app_data;
    SEGMENT_TYPE type;
};

MERROW1_API_END
