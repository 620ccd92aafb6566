// Chain debug status and the chain debug interface.
//
// One process-wide switch tells whether chain operations report their start
// and end to the host's debug callbacks registered under "CHAIN_debug_function".
#pragma once

#include <merrow1/export.h>
#include <velte/ring.h>

MERROW1_API_BEGIN

// The record handed to the host callbacks; callers build it zeroed on their stack.
struct CHAIN_debug_function_data_t {
    int reserved;              // 0 at every call site
    int request;               // 1 at the chain reports of the chain model
    int code;                  // 3 chain with a vertex, 16 start, 19 end, ...
    const char* label;         // "CHAIN_close: start", ...
    RING_header_s* chain;
    RING_node_s* vertex;
    void* pointer_value;
    void* pointer_value2;
    double double_value;
    double double_value2;
    int int_value;
    int int_value2;
};

int CHAIN_ask_chain_debug_status();
int CHAIN_ask_chain_debug_integer_status();
void CHAIN_set_chain_debug_status(int status);
void CHAIN_debug_function_interface(const CHAIN_debug_function_data_t* data);
void CHAIN_debug_function_set_int_value(int* target, int value);

// Reports `label` with the code, chain and vertex (request 1) when the checking
// level is 1 or more and the chain debug status is on; nothing otherwise.
void CHAIN_debug_report(int code, const char* label, RING_header_s* chain, RING_node_s* vertex);
// The host's int answer to a debug query with the code (request 2, answered
// through the record's pointer); 0 while the checking level is below 1 or the
// chain debug status is off.
int CHAIN_debug_query(int code);

MERROW1_API_END
