// Test controls of the file services, debug tokens and environment expansion
// of the libstend stand-in.  Not part of the host's interface.
#pragma once

#include <string>
#include <vector>

namespace stend_test {

// Files opened and not yet closed.
long cfi_open_files();
// The next CFI_open_file (or CFI_close_file) fails with the code; 0 turns it off.
void cfi_fail_next_open(int code);
void cfi_fail_next_close(int code);

// Tokens registered with RDEBUG_register_token, in order.
std::vector<std::string> rdebug_registered_tokens();
void set_rdebug_enabled(bool on);

// Puts the controls above back (registered tokens are kept: they belong to
// the modules that registered them).
void reset_cfi();

}  // namespace stend_test
