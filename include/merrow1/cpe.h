// Cut-parameter defaults of the host's classic operation types.
//
// When the host creates an operation of one of these types, or resets the
// global machining parameters, it calls the entry named after the type
// number.  The entry writes the type's defaults into the host's global
// parameter records (<pellam/global_records.h>): lengths by the part's units
// (metric when the units word of `acom` is 1, inch otherwise), -939.0 for an
// unset distance, colours of the displayed part, and reference points at the
// work coordinate system's origin in absolute coordinates.  An entry writes
// only the records of its own type.
#pragma once

#include <merrow1/export.h>
#include <pellam/wedm_technology.h>

MERROW1_API_BEGIN

extern "C" {

void pe1101(void);  // global machining
void pe1102(void);  // global milling
void pe1103(void);  // global lathe
void pe1210(void);  // surface contouring
void pe1110(void);  // planar milling
void pe1260(void);  // cavity milling
void pe1230(void);  // parameter-line milling
void pe1240(void);  // zig-zag surface
void pe1220(void);  // sequential surface milling
void pe1310(void);  // lathe roughing
void pe1320(void);  // lathe finishing
void pe1340(void);  // lathe threading
void pe1350(void);  // lathe drilling
void pe1330(void);  // lathe grooving
void pe1450(void);  // point to point
void pe1700(void);  // wire EDM

// Fills the eight machine-control events of a wire-EDM technology record:
// event k (1 to 8) holds k in its three numeric and its two integer fields,
// and every other byte of the event is cleared.  Nothing outside the events
// changes.  A null record is a failed precondition: a note, nothing written.
void CPE_init_we_machine_cntl_events(WE_TECHNOLOGY_DEFAULT_s* defaults);

}

MERROW1_API_END
