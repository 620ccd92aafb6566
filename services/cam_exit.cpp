// CAM user exits.  The variable name is built in a string and its length
// checked before it is copied anywhere, so no exit name can overrun a buffer.
#include <merrow1/cam_exit.h>

#include "internal/check.h"

#include <stend/error.h>
#include <stend/name_length.h>
#include <stend/system.h>
#include <velte/text.h>
#include <wendle/ccd.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

const ERROR_message_s kMessages[] = {
    {CAM_EXIT_ERROR_ENV_VAR_UNDEFINED, "CAM Exit environment variable not defined."},
    {CAM_EXIT_ERROR_DIRECT_CALL, "Direct Call to ZEMP not allowed from CAM Exit."},
    {CAM_EXIT_ERROR_ENV_VAR_TOO_LONG, "CAM Exit variable exceeds limit of 64 characters."},
    {CAM_EXIT_ERROR_ENTRY_POINT, "Incorrect entry point for this CAM Exit."},
    {CAM_EXIT_ERROR_PREFIX_TOO_LONG, "CAM Exit prefix exceeds limit of 20 characters."},
    {0, nullptr},
};
const int kMessageCount = 20;

const int kMaxPrefixLength = 20;
const int kMaxVariableLength = 64;
const int kMaxEntryPointLength = 13;

void* g_last_pointer = nullptr;

// The site prefix followed by the name; a prefix over 20 characters stores
// 1350005 in `status` (when given) and raises it.
std::string prefixed_variable(const char* name, int* status) {
    const char* prefix = CCD_ask_cam_env_var_prefix();
    if (!prefix) prefix = "";
    const int length = static_cast<int>(std::strlen(prefix));
    if (length > kMaxPrefixLength) {
        if (status) *status = CAM_EXIT_ERROR_PREFIX_TOO_LONG;
        ERROR_raise(__FILE__, __LINE__, CAM_EXIT_ERROR_PREFIX_TOO_LONG, "MEMORY CORRUPTED ! Prefix %s has length %d",
                    prefix, length);
    }
    return std::string(prefix) + (name ? name : "");
}

// Lower-case letters and '_' only, at most 13 characters, not "hv..." .
bool entry_point_valid(const char* entry) {
    if (!entry || !*entry) return false;
    if (!Korvo::TemporaryNameLength(entry, kMaxEntryPointLength)) return false;
    if (std::strncmp(entry, "hv", 2) == 0) return false;
    for (const char* p = entry; *p; ++p) {
        int c = static_cast<unsigned char>(*p);
        bool lower = TEXT_isalnum(c) && std::toupper(c) != c;
        if (!lower && c != '_') return false;
    }
    return true;
}

// The runner's callback: nothing to do.
void ignore_callback() {}

}  // namespace

void CAM_EXIT_init_module() {
    ERROR_register_decoder_fn(CAM_EXIT_ERROR_BASE, kMessageCount, ERROR_decode_in_table, kMessages);
}

void CAM_EXIT_create_prefix_env_var(const char* name, char* result) {
    MERROW1_REQUIRE(result, "DUE_TO_INVALID_INPUT", );
    std::string variable = prefixed_variable(name, nullptr);
    std::memcpy(result, variable.c_str(), variable.size() + 1);
}

void CAM_EXIT_build_line(LINE* line, void* pointer) {
    MERROW1_REQUIRE(line, "DUE_TO_INVALID_INPUT", );
    std::memcpy(line->data, &pointer, sizeof pointer);
    line->length = static_cast<std::int32_t>(sizeof pointer);
    g_last_pointer = pointer;
}

void* CAM_EXIT_ask_ptr_from_param(void** parameter) { return parameter ? *parameter : g_last_pointer; }

void CAM_EXIT_do_exit(char* name, char* entry_point, LINE* line, CAM_EXIT_prefix_option_t option, int* user_result,
                      int* status) {
    int local_status = 0, local_user_result = 0;
    if (!status) status = &local_status;
    if (!user_result) user_result = &local_user_result;
    *status = 1;
    *user_result = 0;

    if (!entry_point_valid(entry_point)) {
        const char* entry = entry_point ? entry_point : "";
        *status = CAM_EXIT_ERROR_ENTRY_POINT;
        ERROR_raise(__FILE__, __LINE__, CAM_EXIT_ERROR_ENTRY_POINT,
                    " Wrong Entry Point Name: %s Length = %d, Max length = %d\nAll letters should be lower case\n"
                    "First two letters should not be hv",
                    entry, static_cast<int>(std::strlen(entry)), kMaxEntryPointLength);
    }

    std::string variable;
    if (option == CAM_EXIT_USE_PREFIX) {
        variable = prefixed_variable(name, status);
    } else if (option == CAM_EXIT_NO_PREFIX) {
        variable = name ? name : "";
    } else {
        *status = ERROR_INTERNAL_CODE;
        ERROR_internal(__FILE__, __LINE__, "Invalid CAM_EXIT_prefix_option_t = %d", static_cast<int>(option));
    }

    const int length = static_cast<int>(variable.size());
    if (length > kMaxVariableLength) {
        *status = CAM_EXIT_ERROR_ENV_VAR_TOO_LONG;
        ERROR_raise(__FILE__, __LINE__, CAM_EXIT_ERROR_ENV_VAR_TOO_LONG,
                    "Env Var Name too long: %s Max = %d, Actual = %d", variable.c_str(), kMaxVariableLength, length);
    }

    const char* found = ENV_translate_variable(variable.c_str());
    if (!found) {
        *status = CAM_EXIT_ERROR_ENV_VAR_UNDEFINED;
        ERROR_raise(__FILE__, __LINE__, CAM_EXIT_ERROR_ENV_VAR_UNDEFINED, "Env Var Name not in Environment: %s",
                    variable.c_str());
    }
    const std::string value = found;
    if (!value.empty() && value[0] == '*') {
        *status = CAM_EXIT_ERROR_DIRECT_CALL;
        ERROR_raise(__FILE__, __LINE__, CAM_EXIT_ERROR_DIRECT_CALL,
                    "User Defined Op can't call ZEMP directly. Env Var: %s, Env Var Value: %s", variable.c_str(),
                    value.c_str());
    }

    FSPEC fspec;
    fspec.length = static_cast<int>(sizeof fspec.data);
    if (line)
        std::memcpy(fspec.data, line->data, sizeof fspec.data);
    else
        std::memset(fspec.data, 0, sizeof fspec.data);
    fspec.terminator = 0;
    *status = HVEXIT_run_user_function(value.c_str(), &fspec, user_result, entry_point, ignore_callback, 1);
}
