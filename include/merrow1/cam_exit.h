// CAM user exits: a site's own compiled function, in a shared library named by
// an environment variable, run by the host at fixed points of an operation.
#pragma once

#include <merrow1/export.h>
#include <harlow/exit.h>

MERROW1_API_BEGIN

// Numbers of the CAM-exit message table.
enum {
    CAM_EXIT_ERROR_BASE = 1350000,
    CAM_EXIT_ERROR_ENV_VAR_UNDEFINED = 1350001,
    CAM_EXIT_ERROR_DIRECT_CALL = 1350002,
    CAM_EXIT_ERROR_ENV_VAR_TOO_LONG = 1350003,
    CAM_EXIT_ERROR_ENTRY_POINT = 1350004,
    CAM_EXIT_ERROR_PREFIX_TOO_LONG = 1350005,
};

// How the variable name is formed: 0 the site prefix followed by the exit
// name; 1 the exit name itself.
enum CAM_EXIT_prefix_option_t {
    CAM_EXIT_USE_PREFIX = 0,
    CAM_EXIT_NO_PREFIX = 1,
};

// Registers the message table of the CAM exits.
void CAM_EXIT_init_module();
// result = site prefix + name; the caller's buffer holds both and a
// terminator.  A prefix over 20 characters raises 1350005.
void CAM_EXIT_create_prefix_env_var(const char* name, char* result);
// Stores the pointer in the record (length: the size of a pointer) and
// remembers it as the last pointer built.
void CAM_EXIT_build_line(LINE* line, void* pointer);
// The pointer `parameter` points to, or the last pointer built when it is null.
void* CAM_EXIT_ask_ptr_from_param(void** parameter);
// Checks the entry point and the variable, then has the host run the user
// function; `user_result` receives what the function reports and `status` the
// runner's result.  Every refusal stores its number in `status` first and
// then raises it.
void CAM_EXIT_do_exit(char* name, char* entry_point, LINE* line, CAM_EXIT_prefix_option_t option,
                      int* user_result, int* status);

MERROW1_API_END
