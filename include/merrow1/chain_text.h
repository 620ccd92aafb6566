// Text annotations to chains.
//
// CHAIN_convert_text_to_chains renders the text of an annotation through the
// host's annotation renderer and builds its strokes into chains that a
// machining operation can engrave: one chain list per group of strokes (a
// character, say), all in a list of groups.
//
// How the strokes become chains:
// - A start-stroke begins a new chain in the current group (a new group when
//   the renderer has asked for one, or when there is none yet); a draw-to adds
//   a line to the group's last chain, or begins one as a start-stroke would
//   when there is no group or no chain yet.
// - An arc whose ends lie farther apart than the host length tolerance becomes
//   a new chain of counter-clockwise arc vertices (clockwise under a mirroring
//   transform), none over a half circle.  Otherwise it is a full circle: a
//   closed circle chain of three arcs in a group of its own.
// - Points, centres and arc ends are mapped by the top matrix the renderer
//   pushed (a 3x3 matrix on (x, y, 1), the third row unread).  With a CSYS the
//   result is then rotated by the CSYS's orientation, not moved: the CSYS
//   origin plays no part in the coordinates.  Without one the chains are on the
//   absolute system.
// - A pop of an empty matrix stack is ignored with a checking note.
//
// Cleaning, per group: groups without chains and chains of at most one vertex
// are dropped; open chains whose ends meet within the host length tolerance
// are joined into one (end to start, or after reversing one of them), and a
// chain whose ends then meet is closed.  Chains keep material side LEFT
// through every reversal.
//
// Touch records: with `touch_records`, an open chain that starts within the
// tolerance of another chain of its group, or else ends there (it is then
// reversed so that it starts there), gets under header key
// CHAIN_APP_DATA_TEXT_TOUCH a copy of the POINT_ON_CHAIN_s of the nearest
// place on the first such chain.  The copy names the other chain and one of
// its vertices: it holds while the group is left unchanged.
//
// Resources: the render table is deleted and the matrix stack freed on every
// path.  A host error during rendering passes on (a standard exception as
// Korvo::Error::Severe) with nothing of the call left in the pool.
#pragma once

#include <merrow1/export.h>
#include <merrow1/chain_types.h>
#include <nimber/render.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The groups of the text's strokes as a chain list in the pool whose nodes
// hold the chain lists of the groups; every chain has the CSYS (null: the
// absolute system), kind OFFSET_CHAIN and material side LEFT.  Null for a zero
// tag, an object (or the prototype of an occurrence) that is not a text
// annotation (type 25, subtype 1 to 4), a null pool, and a rendering that
// answers a failure status.
RING_header_s* CHAIN_convert_text_to_chains(CMEM_pool_s* pool, tag_t entity, const CSYS* csys, bool touch_records);

MERROW1_API_END
