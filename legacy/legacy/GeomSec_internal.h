// What the two sources of the section engine share: host string memory
// owned for one call, and the raise of a caught error with the place that
// caught it.
#pragma once

#include "legacy/legacy/vorsa_table.h"

#include <stend/error.h>
#include <stend/system.h>

#include <exception>

namespace merrow1 {
namespace legacy {

// An array in host string memory (a kernel or host answer), freed on every
// way out.
template <class T>
struct SmArray {
    T* data = nullptr;
    int count = 0;
    SmArray() = default;
    SmArray(const SmArray&) = delete;
    SmArray& operator=(const SmArray&) = delete;
    ~SmArray() { SM_free(data); }
};

// Raises the error being handled again as the host's severe error stamped
// with this place, after the kernel's last error is cleared.  Call from a
// catch block.
[[noreturn]] inline void raise_again(const char* file, int line) {
    vq().VQ_ERROR_clear_last();
    try {
        throw;
    } catch (const Korvo::Error::Exception& e) {
        ERROR_raise(file, line, e.askCode(), "%s", e.askText().c_str());
    } catch (const std::exception& e) {
        Korvo::Error::Severe severe;
        severe.Convert(e);
        ERROR_raise(file, line, severe.askCode(), "%s", severe.askText().c_str());
    }
}

}  // namespace legacy
}  // namespace merrow1

#define MERROW1_RAISE_AGAIN() ::merrow1::legacy::raise_again(__FILE__, __LINE__)
