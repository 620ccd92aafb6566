// Test controls of the host string memory (SM_alloc, SM_realloc, SM_free) of
// the libstend stand-in.  Not part of the host's interface.
#pragma once

namespace stend_test {

// Blocks allocated and not yet freed, over the whole process.
long sm_live_blocks();
// SM_realloc and SM_free calls (of a block) so far, over the whole process:
// tests compare counts before and after.
long sm_realloc_calls();
long sm_free_calls();
// The allocation or resize `countdown` calls from now (1 = the next) fails,
// 0 turns that off.
void sm_fail_at(int countdown);

}  // namespace stend_test
