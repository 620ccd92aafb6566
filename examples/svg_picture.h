// svg_picture: the example host's drawing of chains as an SVG file.
//
// Every chain becomes one <path> element: its lines as SVG lines, its arcs as
// SVG arcs of the chain's own radius and sense (true arcs, not polylines).
// Inputs go in the group id="inputs", results in the group id="results", so a
// reader can count what each holds.  The material side is shaded in the
// colour of the chain's region set:
// - a closed chain with its material inside is filled inside;
// - a closed chain with its material outside is filled outside: its path also
//   holds a frame beyond the picture's edge, filled even-odd;
// - an open chain with a material side carries short ticks on that side;
// - a chain without a material side is drawn without shading.
// Each region set gets its own colour, in the order the sets are first added
// (ten colours, taken in turn).
#pragma once

#include <velte/ring.h>

#include <string>
#include <vector>

// Joins the box of the chain's segments (arcs by their true extent) to the
// box lo, hi; *empty is true while the box holds nothing yet.
void join_chain_box(const RING_header_s* chain, double lo[2], double hi[2], bool* empty);

class SvgPicture {
public:
    // Adds a chain to the inputs or the results as a member of the region set
    // `set` (any number: chains with equal layer and set share a colour).
    void add_input(const RING_header_s* chain, int set) { add(chain, false, set); }
    void add_result(const RING_header_s* chain, int set) { add(chain, true, set); }
    // Adds every chain of a chain list.
    void add_inputs(const RING_header_s* list, int set);
    void add_results(const RING_header_s* list, int set);

    // Writes the picture; false when the file cannot be written.
    bool write(const std::string& name) const;

private:
    enum Shade { NONE, INSIDE, OUTSIDE, TICKS };
    struct Path {
        bool result;
        int colour;        // index into the palette
        Shade shade;
        std::string data;  // the chain's path data, frame and ticks not yet added
        std::vector<double> ticks;  // open chains: x, y, unit normal x, y towards the material
    };
    void add(const RING_header_s* chain, bool result, int set);
    int colour_of(bool result, int set);

    std::vector<Path> m_paths;
    std::vector<std::pair<bool, int>> m_sets;  // (result, set) in order of first use
    bool m_empty = true;
    double m_min[2] = {0.0, 0.0};
    double m_max[2] = {0.0, 0.0};
};
