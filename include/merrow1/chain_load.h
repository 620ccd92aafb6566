// Chain files: the binary chain dump, its loader, and the reader of chain
// text listings.
//
// The dump is the image of the chain records as they lie in memory (all
// numbers little-endian):
//   chain record   open flag (int32: 0 closed, 1 otherwise), vertex count
//                  (int32), the 144-byte CHAIN_main_data_s, then per vertex:
//   vertex record  kind (int32: -1 untyped, 0 point, 1 line, 2 arc), the
//                  geometry (16 bytes for kinds 0 and 1, the 48-byte
//                  end_segment for kind 2, nothing for -1), then tagged
//                  application-data records: 74 (24 bytes, plus the 120-byte
//                  block its third word points to when that word is not
//                  zero), 19 (80 bytes), 1 (32 bytes), 131 (no payload), and
//                  -99 ending the vertex.
//   list file      magic CHAIN_DUMP_LIST_MAGIC (int32), chain count (int32,
//                  -1 for no list), the chain records.
// A single-chain file holds one chain record and nothing else.
//
// File names given by name are looked up with
// CAM_FILE_make_filename("$HVEX_CAM_FILE_SEARCH_PATH", name).  A file the
// caller passes open stays open; a file a function opens itself is closed
// before it returns.
#pragma once

#include <merrow1/export.h>
#include <merrow1/app_data_keys.h>
#include <velte/cmem.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

struct CAM_FILE_s;

enum { CHAIN_DUMP_LIST_MAGIC = 100000 };

// Vertex application-data keys carried by the dump (app_data_keys.h):
// CHAIN_DUMP_KEY_TRACE (32-byte record), CHAIN_DUMP_KEY_19 (80-byte record),
// CHAIN_DUMP_KEY_GEOM_SOURCE (24-byte geometry-source record + 120-byte
// block), CHAIN_DUMP_KEY_MARK (a mark whose datum is the vertex node itself).
enum {
    CHAIN_DUMP_TAG_END = -99,         // ends a vertex's records
};

// Writes one chain record.  1 when every byte was written; 0 for a null
// chain or file, a ring that is not a chain, a chain without main data, a
// typed vertex without geometry, or a failed write (the file then holds a
// partial record).
int CHAIN_dump_to_file(const RING_header_s* chain, CAM_FILE_s* file);
// Writes a list file: the magic, the number of chains of the list (-1 for a
// null list) and their records in list order (nodes without a chain are not
// counted).  1 when every byte was written; 0 for a null file, a failed write
// or a ring that is not a list (with the ring-type note).
int CHAIN_dump_list_of_chains(const RING_header_s* list, CAM_FILE_s* file);
// Writes one chain record to a new binary file of that name; 1 written, 0
// when the file cannot be opened or the chain cannot be written.
int ChainDump(const RING_header_s* chain, const char* name);

// Appends the chains of a list file to the chain list (chains made in the
// list's pool).  True when the file was read whole (a count of 0 included);
// false for a null list or file, a ring that is not a list (with the note
// "Assertion failed: DUE_TO_INVALID_RING_TYPE"), a wrong magic or a negative
// count (each with a note), with nothing appended.  A chain record that fails to read answers
// false too: the chains before it are appended, it and the rest are dropped
// with a note naming its position.
bool CHAIN_load_list_of_chains(RING_header_s* list, CAM_FILE_s* file);
// Reads one chain record from the open file, or (file null) from the binary
// file of that name, into a new chain in the pool; null on failure.  A file
// opened by name must end with the record.
RING_header_s* ChainLoad(const char* name, CAM_FILE_s* file, CMEM_pool_s* pool);
// Reads one chain from a text listing, from the open file or (file null) the
// text file of that name, into a new chain in the pool; null on failure.
//
// The listing: lines of up to six words between blanks (spaces, tabs); the
// first word is the keyword, matched whole and case-sensitively, words after
// the sixth are ignored; blank lines are skipped.  Numbers are written as C
// reads them (strtod, strtol), one number per word, blanks between them.
//   The chain is a[n] <open|closed> chain        starts the chain
//   Chain type is <SAMPLE_CHAIN|TRACE_CHAIN|OFFSET_CHAIN|APPROX_CHAIN|
//       INTERMEDIATE_CHAIN> with <n> vertices  kind; n: the last vertex number
//   Chain material side is <LEFT|RIGHT>         (anything else: unset)
//   Chain Clock direction is <CW|CCW>           (anything else: unset)
//   use_implied_offset = <integer>              1 sets the flag
//   implied_offset = <number>
//   region_set_id = <integer>
//   Origin                                      the next line: x y z
//   Matrix                                      the next three lines: X, Y, Z
//                                               axis, three numbers each
//   Vertex number <k>                           opens vertex k (1 .. n)
//   The vertex type is <SEG_POINT|SEG_LINE|SEG_ARC>
//   point: <x> <y>                              the vertex's end point
//   center: <x> <y>                             an arc's centre
//   radius: <r>                                 an arc's radius
//   vertex Clock direction is <CW|CCW>          an arc's sense
//   Corner [...]                                appends the vertex; at vertex
//                                               n the chain ends
// A vertex inherits the type, centre, radius and direction of the vertex
// before unless its lines set them.  Lines before the chain line are
// ignored, except a vertex line.  Example, a closed 4 x 2 rectangle:
//   The chain is a closed chain
//   Chain type is OFFSET_CHAIN with 4 vertices
//   Chain material side is LEFT
//   Chain Clock direction is CCW
//   Vertex number 1
//   The vertex type is SEG_LINE
//   point: 0 0
//   Corner
//   Vertex number 2
//   point: 4 0
//   Corner
//   Vertex number 3
//   point: 4 2
//   Corner
//   Vertex number 4
//   point: 0 2
//   Corner
//
// The reader is strict: a line it cannot read whole (a separator other than
// blanks, a number missing, extra or unreadable, a vertex count that
// disagrees with the vertices given: a new chain line or the end of the input
// before vertex n, vertex n reached after fewer vertices, or a vertex line
// after the chain's end and before the next chain line) refuses the chain
// with the note "Chain listing: line <l>: ..." naming what was expected; a
// number that is not finite is refused with the precondition note
// "DUE_TO_COORDINATE_NOT_FINITE" under checking.  Lines are counted from the
// first line this call read.  A caller reading chain after chain from one
// open file keeps the chains read before a refused one.  (The lines after
// the chain are checked only in a file the reader opens itself: in the
// caller's file they are the next read's.)
//
// Vertices go through the appenders; a closed chain's closing arc (its first
// vertex) is fitted to the last vertex's point as the appenders fit an arc,
// and a first vertex the listing leaves a point becomes the closing line from
// the last point (so does the first vertex of a closed chain record read by
// the dump loaders).  An arc whose sense its lines leave open (a half circle
// without a direction) refuses the listing with a note naming its vertex
// number.
RING_header_s* CHAIN_load_text(const char* name, CAM_FILE_s* file, CMEM_pool_s* pool);

MERROW1_API_END
