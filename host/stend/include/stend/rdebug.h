// Host debug tokens and environment expansion.
#pragma once

// Registers a debug token name (RDEBUG_ask_flag answers for it).
void RDEBUG_register_token(const char* token);
// Whether debugging is enabled at all (true unless a test switches it off).
bool RDEBUG__enabled(void);

// Expands every "${NAME}" in `name` with the variable's value.  0 and the
// expanded text in host string memory (SM_alloc; the caller frees it with
// SM_free); non-zero and a null text when a variable is unset, a reference is
// not closed, or an argument is null.
int ENV_expand_name(const char* name, char** expanded);
