// Test controls of the libdunmore stand-in.  Not part of the host's interface.
//
// The stand-in's section engine is a recording fake.  Its solids are
// registered per geometry item (the main data of a geometry-list node):
// axis-aligned boxes and cylinders.  Its sections are analytic: a box cut by
// a plane gives the polygon of the cut (a rectangle for an axis-aligned
// plane), a cylinder cut across its axis a circle of three arcs; a cylinder
// cut at any other angle gives nothing.  Each chain is closed and CCW in its
// own CSYS, whose origin is the plane's origin and whose rows are the
// plane's X axis, Y axis and normal; material LEFT (inside), kind
// SAMPLE_CHAIN, the host's length tolerance.  A plane that misses gives no
// chain.
//
// Every call is recorded.  Misuse of the calling order is recorded as a
// violation and the call goes on: any operation before PreSection, a second
// PreSection, anything after PostSection but the deletion, Output into a ring
// that is not an empty chain list, PostSection without the address of the
// mark PreSection returned, and a deletion after PreSection without
// PostSection.
#pragma once

#include <string>
#include <vector>

struct RING_header_s;

namespace dunmore_test {

void add_box(const void* item, const double min[3], const double max[3]);
// A cylinder from the base point along the axis (made unit) for the height.
void add_cylinder(const void* item, const double base[3], const double axis[3], double radius, double height);

struct LoaderCall {
    const RING_header_s* geometry;
    double accuracy;
    double factor;
    void* context;
};
const std::vector<LoaderCall>& loader_calls();

// One call of an engine operation.  `op` is the operation's name, the two
// Simplify forms as "Simplify(box)" and "Simplify(plane)", the deletion as
// "delete".  `numbers`: the box's 12 doubles; a plane's origin, normal and X
// axis followed by the double argument; SetAccuracy's and Isocline's doubles.
// `ints`: the int arguments (the mark a PostSection address held).  `pointer`:
// the ring of Output, the mark's address of PostSection, the argument of
// CompleteSimplify and the first pointer of the box form.
struct Call {
    int engine;  // 1 for the first engine made, and so on
    std::string op;
    std::vector<double> numbers;
    std::vector<long> ints;
    const void* pointer;
};
const std::vector<Call>& calls();
// The operation names of the calls in order.
std::vector<std::string> ops();
const std::vector<std::string>& violations();

// The loader answers null while set.
void set_loader_returns_null(bool on);
// The next call of the operation (any engine, the deletion excepted) is
// recorded and then raises Korvo::Error::Severe with the code.
void fail_at(const std::string& op, int code = 930000);

// Engines made and not yet deleted.
long live_engines();

// PreSection answers the marks 100, 101, ... in call order.

// Forgets solids, calls and violations, clears the switches and numbers
// engines and marks from the start again.
void reset();

}  // namespace dunmore_test
