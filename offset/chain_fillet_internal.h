// Module-internal pieces of the region fillets, declared for their tests.
#pragma once

#include <merrow1/chain_edit.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_types.h>
#include <velte/ring.h>

#include <vector>

// Vertex flag of a segment that is a fillet arc made by the region fillets,
// carried through booleans by their merge callback.
constexpr unsigned CHAIN_VERTEX_FILLET_ARC = 0x10000000u;

// Whether the segment ending at the vertex may be filleted: its geometry
// type (the host's, else the flag field, else, for a vertex with neither and
// no machining-segment record, its key-20 source segment's) is not 0, not 3
// unless allow3, not 2 unless allow2, and the back-side bit 29 is clear.
bool CHAIN__vertex_is_filletable(const RING_header_s* chain, const RING_node_s* vertex, bool allow3, bool allow2);

// The shapes of one closed union chain that the fillet offsets.  Every vertex
// filletable: the chain itself goes to `shapes` (answer 1) and, when the chain
// is a hole (CCW with RIGHT or CW with LEFT), *no_hole_taken_whole becomes
// false.  No vertex filletable (or an open or too short chain): nothing
// (answer 0).  Otherwise each maximal run of filletable vertices, with the
// vertex before the run as its start, becomes a new open chain in the pool of
// `shapes` closed there and back with the back-side mark and given the
// chain's material side (answer 2).
int CHAIN__select_fillet_shapes(RING_header_s* chain, bool allow3, bool allow2, RING_header_s* shapes,
                                bool* no_hole_taken_whole);

struct POINT_ON_CHAIN_s;

// Puts a fillet arc into a chain between two places on it, around the centre.
// Both places become vertices (a new vertex takes the key-131 datum of the
// vertex whose segment it splits).  When they differ, every vertex strictly
// between them goes (a closed chain whose first vertex goes starts at the first
// place's vertex), the segment ending at the second vertex becomes the arc
// from the first vertex about the centre, turning the short way, and the
// second vertex gets the fillet-arc flag, copies of the first vertex's key-20
// and key-17 links (the key-17 copy marked; links removed where the first has
// none), loses key 131 unless the first has it, and takes the better geometry
// type of the two vertices (type 2 first, then 3, 4 and 1, any other last; a
// key-74 record is cloned).  Both vertices get a zeroed key-14 record.  The
// second vertex, or null when a place is not on the chain or cannot be
// inserted, or the second place does not follow the first on an open chain.
RING_node_s* CHAIN__insert_fillet_arc(const POINT_ON_CHAIN_s* first, const POINT_ON_CHAIN_s* second,
                                      const double centre[2]);

// Merge callback of the corner pass's union: the new vertex takes the
// fillet-arc flag of the source segment's vertex, then the host's implied-
// offset merge runs.  The host's answer.
int CHAIN__fillet_merge(RING_node_s* source, RING_node_s* source_segment, RING_header_s* source_chain,
                        RING_node_s* vertex, RING_header_s* chain);

// Gives the pieces of a filleted result their sources among the input
// chains (region-set id 1).  A chain of the list with id 1 stays as it is.
// Any other chain needs a vertex whose key-17 source chain has id 1, else it
// is removed from the list (and deleted with its node when the list owns
// its chains).  Walking round from that vertex, each vertex
// whose key-17 source is not such a chain takes copies of the key-17 and
// key-20 links of the last vertex that had one, receives the fillet-arc flag
// when the vertex its key-20 link named had it, and takes that vertex's
// key-74 record (a shared reference) or, without one, its flag bits 2-9 and
// source surface with the inherited-source bit 0x400 set.  The number of
// chains removed.
int CHAIN__relink_fillet_sources(RING_header_s* list);

// Chains of the region list that the fillet result F draws on nothing from:
// an input chain yields when it is the key-10 source of a chain of F that has
// a segment of geometry type 2, or the key-20 source of a vertex of a chain
// of F.  Without a sliver width the others are removed from the list (and
// deleted with their nodes when the list owns its chains); with one, nothing
// is removed and *retry is set when there is any.  The number of chains that
// yield nothing.
int CHAIN__drop_unfilleted_chains(RING_header_s* list, RING_header_s* fillet, bool have_width, bool* retry);

struct BZONE_boundary_s;
struct INT_GRID_MAP_s;
struct CSYS;
struct CMEM_pool_s;

// What the boundary functor of the region fillets works with.
struct CHAIN_fillet_boundary_context_s {
    CMEM_pool_s* pool;            // where the fillet shapes are made
    double tolerance;             // closing tolerance of a rebuilt shape
    const CSYS* csys;             // of the first input chain
    const INT_GRID_MAP_s* grid;   // maps loop points back to reals
    RING_header_s* shapes;        // receives the fillet shapes
    double radius;                // the offset of the shapes
};

// Boundary functor of the region fillets.  The boundary's intersection loop
// (the edge of the region set grown by the radius) is walked backward, so
// that the material lies on its right, and rebuilt from the source segments
// its pieces were offset from: a run on one source segment gives the part of
// that segment between its cuts (the feet of the loop's corner points), and a
// corner of the loop between two source segments gives a counter-clockwise
// fillet arc about that corner (vertex flag bit 28) from one foot to the
// other.  No arc where two neighbouring segments meet at their shared vertex;
// the source chain is followed instead of an arc where both segments are
// untyped or both back side and every segment between them is untyped.  A
// loop with fewer than two entries, a small one, or one that holds at least
// twice as many dummy, connector and corner pieces as offset pieces gives
// nothing.  A rebuilt shape is closed, has side RIGHT, its computed
// direction and header key 10 naming its first source chain; it is appended
// to the context's shape list.  The boundary keeps the shape as its result
// and stays active, so the walk goes on behind it.
void CHAIN__fillet_boundary_functor(void* context, BZONE_boundary_s* boundary);

// One pass of the corner fillet at radius r.  The retry and delete requests
// are cleared at the start and set as the pass finds; `width` null means no
// sliver width.  The status of CHAIN_fillet_region (1 for an empty list).
int CHAIN__fillet_corners_region_pass(RING_header_s* list, double radius, const double* width, bool allow3,
                                      bool allow2, bool* retry, bool* remove_all);

// The radii of the corner fillet's passes from r by the step: r, r - step,
// ... while a pass may follow (the next radius stays at or above
// 0.2 r - 0.001 r), at most 1000.  Each entry tells whether another pass may
// follow it.
struct CHAIN_fillet_pass_radius_s {
    double radius;
    bool another;
};
std::vector<CHAIN_fillet_pass_radius_s> CHAIN__fillet_corner_radii(double radius, double step);


// The chain offset by d with ADD_ARC and the single offset chain offset back
// by -d (side 0, no trace-vertex callback), in the pool: the chain of the
// second offset, or null when the chain has fewer than two vertices or either
// offset gives anything but one chain of two vertices or more.  The first
// offset chain stays in the pool as an INTERMEDIATE_CHAIN when a result is
// made; everything made is deleted otherwise.
RING_header_s* CHAIN__offset_there_and_back(RING_header_s* chain, double distance,
                                            CHAIN_trace_vertex_source_cb_t vertex_source_cb,
                                            CHAIN_vertex_source_callback_t node_cb, CMEM_pool_s* pool);

// The working tolerance of a region list: its set tolerance, else its
// approximation tolerance, else the host length tolerance, whichever first
// lies above the host length tolerance.
double CHAIN__fillet_tolerance(RING_header_s* list);

// Every vertex of the chain that names a former source segment (key 20)
// takes over from the vertex that segment ends at: the fillet-arc mark, and
// the geometry-source record (key 74) or else the source description bits
// and data word of the vertex that describes that segment's source (one link
// deeper for a vertex of a chain an open input was closed into).  So a
// result of booleans over closed open chains keeps the marks that reopening
// it reads.
void CHAIN__take_former_sources(RING_header_s* chain);

