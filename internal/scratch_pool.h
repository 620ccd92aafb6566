// Scratch memory of an operation.
//
// ScratchPool owns a private named pool for the length of an operation and
// deletes it on every exit, normal or exceptional.  An operation that must
// convert errors wraps its body in run_converting(): the guard frees the pool
// while the error passes, and a standard exception comes out as the host's
// Korvo::Error::Severe.
#pragma once

#include <stend/error.h>
#include <velte/cmem.h>

#include <exception>
#include <utility>

namespace merrow1 {

class ScratchPool {
public:
    ScratchPool(const char* name, const char* file, int line, int block_size = 0)
        : m_pool(CMEM_private_create_pool(block_size, name, line, file)) {}
    ~ScratchPool() { release(); }
    ScratchPool(const ScratchPool&) = delete;
    ScratchPool& operator=(const ScratchPool&) = delete;

    CMEM_pool_s* get() const { return m_pool; }
    operator CMEM_pool_s*() const { return m_pool; }

    // Deletes the pool now (idempotent).
    void release() {
        if (m_pool) CMEM_private_delete_pool(m_pool);
        m_pool = nullptr;
    }

private:
    CMEM_pool_s* m_pool;
};

// Runs body(); host errors pass unchanged, standard exceptions are converted to
// Korvo::Error::Severe.  Guards inside body have freed their pools by the time
// the error leaves.
template <class Body>
auto run_converting(Body&& body) -> decltype(body()) {
    try {
        return std::forward<Body>(body)();
    } catch (const Korvo::Error::Exception&) {
        throw;
    } catch (const std::exception& e) {
        Korvo::Error::Severe severe;
        severe.Convert(e);
        severe.Rethrow();
    }
}

// run_converting() that also reports the error that leaves, with the module
// name and the line of the call, before raising it again as
// Korvo::Error::Severe.  The guards inside body have freed their pools and
// objects by then.
template <class Body>
auto run_converting_reported(const char* module, int line, Body&& body) -> decltype(body()) {
    try {
        return run_converting(std::forward<Body>(body));
    } catch (const Korvo::Error::Exception& e) {
        ERROR_note(module, line, "%s", e.askText().c_str());
        Korvo::Error::Severe severe(e.askCode(), e.askText());
        severe.Rethrow();
    }
}

}  // namespace merrow1

#define MERROW1_SCRATCH_POOL(var, name) ::merrow1::ScratchPool var((name), __FILE__, __LINE__)
#define MERROW1_SCRATCH_POOL_SIZED(var, name, block_size) \
    ::merrow1::ScratchPool var((name), __FILE__, __LINE__, (block_size))
