// Host utilities: abort checks and fatal errors.
#pragma once

// Raises the host's abort error (a Korvo::Error::Severe with
// ERROR_USER_ABORT_CODE) when the user has asked to abort.  Long loops call it
// once per pass.
void CERR_raise_on_abort();
// Ends the operation: raises a Korvo::Error::Severe with the code.
[[noreturn]] void CERR_processor_abort(int code);
// Records the host's current error code.
void CERR__set_error_code(int code);
int CERR__ask_error_code();
