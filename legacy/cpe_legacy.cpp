// Cut-parameter defaults of the earlier build.  The initialisers run the
// frame of the built defaults (services/cpe.cpp); like the built members
// whose host fields are not known, their row tables are empty, so they write
// nothing rather than guess a layout.
#include <merrow1/legacy/cpe_legacy.h>

#include "internal/check.h"
#include "services/cpe_internal.h"

#include <pellam/global_records.h>

#include <cstring>

namespace {

const CPE_entry_s kSeqSurfMilling2 = {"pe1222", "CPE_init_seq_surf_milling2", CPE_init_seq_surf_milling2, 3,
                                      {CPE_GLOBAP, CPE_MILLGP, CPE_GSSMP}};

}  // namespace

void CPE_init_seq_surf_milling2(const CPE_records_s& records) { CPE__apply_no_defaults(records); }
void CPE_init_sc_boundary(const CPE_records_s& records) { CPE__apply_no_defaults(records); }
void CPE_init_sc_surf_area(const CPE_records_s& records) { CPE__apply_no_defaults(records); }
void CPE_init_sc_surf_ruling(const CPE_records_s& records) { CPE__apply_no_defaults(records); }

void CPE_init_global_temp(CMEM_pool_s* pool) {
    MERROW1_REQUIRE(pool != nullptr, "DUE_TO_POOL_BEING_NULL", );
    void* block = CMEM_ALLOC(pool, 1, sizeof globat);
    MERROW1_REQUIRE(block != nullptr, "DUE_TO_BLOCK_NOT_ALLOCATED", );
    std::memset(block, 0, sizeof globat);  // pool blocks are zero-filled; said here, not assumed
    std::memcpy(&globat, block, sizeof globat);
    CMEM_private_delete_object(block);
}

extern "C" void pe1222(void) { CPE__run_entry(kSeqSurfMilling2); }
