// Calls into the solid-modelling kernel: a failed call becomes the host's
// severe error, carrying the kernel's code and the call's text.
#pragma once

#include <stend/error.h>
#include <vorsa/vorsa.h>

#include <string>

namespace merrow1 {

inline void vorsa_check(VQ_ERROR_code_t code, const char* call) {
    if (code != VQ_ERROR_none) throw Korvo::Error::Severe(code, std::string("kernel call failed: ") + call);
}

}  // namespace merrow1

// Runs one kernel call and raises its failure.
#define MERROW1_VQ(call) ::merrow1::vorsa_check((call), #call)
