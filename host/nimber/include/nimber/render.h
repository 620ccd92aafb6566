// Host annotations: rendering an annotation's text as strokes through a table
// of callbacks that the caller supplies.
//
// Stand-in for the host's libnimber; test controls in <nimber/testing.h>.
// Points and centres are 2-D in the annotation's space; angles are radians,
// counter-clockwise from the x axis.  Every callback gets the client data the
// table was made with and answers a status, 0 for success.
#pragma once

#include <stend/om.h>

typedef unsigned int tag_t;
typedef int TC_render_status_t;

enum {
    TC_RENDER_OK = 0,
    TC_RENDER_FAILED = 1,
    TC_RENDER_DECLINED = 2,  // the request is not handled by this table
};

// The slots of a render table.  A null slot is never called.
struct ANN_render_callbacks_s {
    // A new stroke starting at the point.
    TC_render_status_t (*start_stroke)(void* client, const double point[2]);
    // The current stroke goes on by a straight line to the point.
    TC_render_status_t (*draw_to)(void* client, const double point[2]);
    // Counter-clockwise arcs from the start angle to the end angle, in three
    // line styles: plain, thick and dashed.
    TC_render_status_t (*draw_arc)(void* client, const double centre[2], double radius, double start_angle,
                                   double end_angle);
    TC_render_status_t (*draw_thick_arc)(void* client, const double centre[2], double radius, double start_angle,
                                         double end_angle);
    TC_render_status_t (*draw_dashed_arc)(void* client, const double centre[2], double radius, double start_angle,
                                          double end_angle);
    // A text string in a font; the table may hand it back to
    // Korvo::Annot::Display::StrokeTextString to get its strokes.
    TC_render_status_t (*stroke_text)(void* client, const char* text, const void* font);
    // The transform of what follows: a 3x3 matrix row by row acting on
    // (x, y, 1); pop returns to the one before.
    TC_render_status_t (*push_matrix)(void* client, const double matrix[9]);
    TC_render_status_t (*pop_matrix)(void* client);
    // What follows belongs to a new group (a character, say).
    TC_render_status_t (*new_group)(void* client);
    // A filled area bounded by the polygon of `count` points.
    TC_render_status_t (*fill_area)(void* client, int count, const double* points);
    // Display attributes and polylines.
    TC_render_status_t (*set_colour)(void* client, int colour);
    TC_render_status_t (*set_line_width)(void* client, double width);
    TC_render_status_t (*draw_polyline)(void* client, int count, const double* points);
    TC_render_status_t (*draw_marker)(void* client, const double point[2], int marker);
};

namespace Korvo {

// A render table: a persistent object of the object manager (deleted with
// OM_delete_object) holding the callbacks, the client data and the entity.
class ANN_render_table : public OM::MethodicObject {
public:
    tag_t entity = 0;
    ANN_render_callbacks_s callbacks = {};
    void* client_data = nullptr;

    static OM::Object* create(void* memory, int i, void* data);
    static std::size_t size();
};

class ANN_render_tableFactory {
public:
    // A new render table for the entity with a copy of the callbacks.
    static ANN_render_table* object(tag_t entity, const ANN_render_callbacks_s& callbacks, void* client_data);
};

namespace Annot {
namespace Display {
// Strokes a text string of a font through the table being rendered; the
// status of the first callback that fails, else 0.  Raises when no rendering
// is in progress.
TC_render_status_t StrokeTextString(const char* text, const void* font);
}  // namespace Display
}  // namespace Annot

}  // namespace Korvo

// Renders the text of the table's entity through its callbacks in drawing
// order.  The two further arguments are reserved and must be 0.  Answers the
// first status other than 0 and TC_RENDER_DECLINED (rendering then stops),
// else 0.  Raises on a table that is not a live render table.
TC_render_status_t ANN_DISP_render_text_for_object(Korvo::ANN_render_table* table, int reserved1, int reserved2);
