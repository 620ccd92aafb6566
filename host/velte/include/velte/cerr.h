// Host utilities: abort checks and fatal errors.
#pragma once

// Raises the host's abort error (a Korvo::Error::Severe with
// ERROR_USER_ABORT_CODE) when the user has asked to abort.  Long loops call it
// once per pass.
void CERR_raise_on_abort();
// Ends the operation: raises a Korvo::Error::Severe with the code.
[[noreturn]] void CERR_processor_abort(int code);
// Records the host's current error code (its text becomes empty).
void CERR__set_error_code(int code);
int CERR__ask_error_code();
// Records the error code with the text that explains it.
void CERR__set_error_code_and_text(int code, const char* text);
// The text of the current error code ("" when none was given).
const char* CERR__ask_error_text();
