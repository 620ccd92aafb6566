// Cancellation of the stretches where a closed run of pieces goes back
// along itself on a line: the offset of a region at exactly its collapse
// runs out along the midline and back, and a trace reaching into a corner
// runs down a piece and back up it.  Such a stretch bounds nothing: taking it
// away changes the winding number of no point off it, so it is a face of no
// width of the run's arrangement and never part of a region.  Whether a
// piece runs back along the one before is decided exactly on the doubles
// (exact/ orientation and order), before anything is rounded onto a grid,
// where the two directions of one stretch would be moved apart.
//
// A trace places its corners and trims its pieces only within its tracing
// tolerance, so where it runs out and back the way back may leave the way
// out by up to that tolerance.  With a tolerance the cancellation takes such
// a pair as running back too: what goes is the triangle the two lines bound,
// no wider than the tolerance anywhere, a strip that no tool follows.  The
// offset uses it on a trace before the clean; every clean decides its faces
// exactly (no tolerance).
#pragma once

#include <limits>
#include <vector>

struct RING_header_s;
struct RING_node_s;

struct ChainBacktrackPiece {
    double end[2];  // piece k runs from the end of piece k - 1 (cyclically) to this point
    bool line;      // only lines cancel; arcs are kept as they are
    int id;         // the caller's number of the piece
    // How far the piece strays from its start at most (a line's length, an
    // arc's diameter); read only with a tolerance.
    double reach = std::numeric_limits<double>::infinity();
};

// Cancels in place every line that runs exactly back along the line before it
// in the closed run: where lines P -> V -> Q meet at V with Q on the line
// through P and V on P's side of V, both go when Q is P; the first ends at Q
// and the second goes when Q lies between P and V; the first goes (the
// second then starts at P) when Q lies beyond P.  Repeats until no such pair
// is left; the run may come out empty.  Pieces of zero length are left alone.
// With a tolerance t > 0, Q also runs back along P V when, of P and Q, the
// one nearer V lies within t of the line through V and the other (Q still
// on P's side of V, decided exactly); and a piece V -> W that reaches less
// than t from V (a line or an arc) is a point: when the line W -> Q after it
// runs back along P V so, the cases go as above with V -> W going too.
void CHAIN__cancel_backtracks(std::vector<ChainBacktrackPiece>& pieces, double tolerance = 0.0);

// Cancels the lines of a closed chain that run back along the line before
// them (CHAIN__cancel_backtracks), deleting their vertices; false when
// nothing is left, and the chain then is as it came.  An open chain is left
// alone (true).  The tolerance as in CHAIN__cancel_backtracks.
bool CHAIN__cancel_loop_backtracks(RING_header_s* loop, double tolerance = 0.0);
// CHAIN__cancel_loop_backtracks on the chains of a list after `after` (all of
// them for null); the chains of which nothing is left are deleted.  The
// caller's chain `input` (may be null), which a clean hands on whole when
// nothing crosses it, is never edited nor deleted.
void CHAIN__cancel_backtracks_of_loops(RING_header_s* list, RING_node_s* after, const RING_header_s* input);
