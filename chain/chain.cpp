// The chain record: debug status and the chain debug interface.
#include <merrow1/chain_debug.h>

#include <stend/system.h>

namespace {
// -100: the environment has not been read yet.
const int kDebugStatusUnread = -100;
int g_chain_debug_status = kDebugStatusUnread;
}  // namespace

// Stored status, reading the environment on the first query at checking level 1.
static int chain_debug_stored_status() {
    if (g_chain_debug_status == kDebugStatusUnread)
        g_chain_debug_status = ENV_translate_variable("HVEX_CHAIN_DEBUG_CHAIN_CONSISTENCY_CHECKING") ? 1 : 0;
    return g_chain_debug_status;
}

int CHAIN_ask_chain_debug_status() {
    if (MACH__checking_level < 1) return 0;
    return chain_debug_stored_status() != 0 ? 1 : 0;
}

int CHAIN_ask_chain_debug_integer_status() {
    if (MACH__checking_level < 1) return 0;
    return chain_debug_stored_status();
}

void CHAIN_set_chain_debug_status(int status) {
    if (MACH__checking_level >= 1) g_chain_debug_status = status;
}

void CHAIN_debug_function_interface(const CHAIN_debug_function_data_t* data) {
    if (MACH__checking_level < 1) return;
    int reason = CALLBACK_ask_reason_number("CHAIN_debug_function");
    if (reason > 0) CALLBACK_call_list(reason, data);
}

void CHAIN_debug_function_set_int_value(int* target, int value) {
    if (target) *target = value;
}

void CHAIN_debug_report(int code, const char* label, RING_header_s* chain, RING_node_s* vertex) {
    if (MACH__checking_level < 1 || !CHAIN_ask_chain_debug_status()) return;
    CHAIN_debug_function_data_t data = {};
    data.request = 1;
    data.code = code;
    data.label = label;
    data.chain = chain;
    data.vertex = vertex;
    CHAIN_debug_function_interface(&data);
}
