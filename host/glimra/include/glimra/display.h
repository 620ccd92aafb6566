// Host display: temporary display of markers, polylines and arcs in a view.
// The stand-in records every call (see <glimra/testing.h>).
#pragma once

typedef unsigned int tag_t;

// The view of the active view sequence.
tag_t DISPLAY_ask_tag_of_active_vseq();
// Flushes what was drawn to the screen.
void DISPLAY_flush();

// count points of dims coordinates each; a marker call with count 0 draws nothing.
void DSS_TEMP_display_markers(tag_t view, int marker, int colour, int dims, int count, const double* points);
// A polyline through count points of dims coordinates each.
void DSS_TEMP_display_polyline(tag_t view, int colour, int font, int width, int dims, int count,
                               const double* points);
// An arc about `centre` in the plane of `matrix` (rows: x axis, y axis, z axis),
// from start_angle to end_angle (radians, counter-clockwise about the z row).
void DSS_TEMP_display_arc(tag_t view, int colour, int font, int width, const double matrix[9],
                          const double centre[3], double radius, double start_angle, double end_angle);
// A square plane of side `size` about `point` in the plane of `matrix` (rows
// x axis, y axis, normal), in the views chosen by `view_option` (-1: the
// views of the work part), drawn as geometry of kind `kind`.
void DSS_TEMP_display_plane(int view_option, int kind, const double point[3], const double matrix[9], double size,
                            int colour);
void DSS_TEMP_begin_in_view(tag_t view);
void DSS_TEMP_end_in_view(tag_t view);
void DSS_PRIM_set_color(int colour);
