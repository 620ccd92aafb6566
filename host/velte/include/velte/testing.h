// Test controls of the libvelte stand-in.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace velte_test {

// Pools created and not yet deleted, over the whole process.
long live_pool_count();
// Objects currently allocated in pools.
long live_object_count();
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
