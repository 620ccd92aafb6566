// Cut-parameter defaults that only the earlier builds carry: the entry of
// the second sequential surface milling type, its initialiser and three
// surface-contouring initialisers (records as the built defaults take them,
// <services/cpe_internal.h>), and the reset of the global transforms.
#pragma once

#include <merrow1/export.h>
#include <velte/cmem.h>

MERROW1_API_BEGIN

struct CPE_records_s;

extern "C" {
void pe1222(void);  // sequential surface milling, second form
}

// Records, in order: globap, millgp, gssmp.
void CPE_init_seq_surf_milling2(const CPE_records_s& records);
// globap, contup, millgp.
void CPE_init_sc_boundary(const CPE_records_s& records);
// contup, contut.
void CPE_init_sc_surf_area(const CPE_records_s& records);
// contup, millgp.
void CPE_init_sc_surf_ruling(const CPE_records_s& records);

// Clears the whole global transform record `globat` by copying over it a
// zero-filled block of its size taken from the pool, which is then freed.  A
// null pool is a failed precondition: a note, nothing written.
void CPE_init_global_temp(CMEM_pool_s* pool);

MERROW1_API_END
