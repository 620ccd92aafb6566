// Test controls of the libvelte stand-in.  Not part of the host's interface.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velte_test {

// Pools created and not yet deleted, over the whole process.
long live_pool_count();
// Objects currently allocated in pools.
long live_object_count();
// Blocks the pools have taken from the system allocator so far, over the
// whole process (never reset), and those not yet given back (in pools or
// kept for later pools).
long pool_blocks_taken();
long pool_blocks_held();
// Blocks of deleted pools that the calling thread keeps for its next pools,
// their bytes, and the bound on those bytes.
long kept_pool_blocks();
size_t kept_pool_block_bytes();
size_t kept_pool_block_bound();
// Gives the calling thread's kept blocks back to the system.
void release_kept_pool_blocks();
// Pools created with this name so far, over the whole process (never reset:
// tests compare counts before and after).
long pools_created(const std::string& name);

// Abort request read by CERR_raise_on_abort: after `after_checks` further
// checks have passed, the next one raises (0: the next check raises).
void request_abort(int after_checks = 0);
void cancel_abort();
long abort_checks();  // checks made since the last request or cancel

// Lines written to the listing window.
const std::vector<std::string>& listing_lines();
void clear_listing();

void reset_all();

}  // namespace velte_test
