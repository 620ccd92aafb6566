// Owns a polygon-set intersection object for the length of an operation and
// destroys it on every exit, normal or exceptional.
#pragma once

#include <merrow1/psi.h>

namespace merrow1 {

class PsiGuard {
public:
    explicit PsiGuard(PSI_s* psi) : psi_(psi) {}
    ~PsiGuard() { release(); }
    PsiGuard(const PsiGuard&) = delete;
    PsiGuard& operator=(const PsiGuard&) = delete;
    PSI_s* get() const { return psi_; }
    // Destroys the object now (idempotent).
    void release() {
        if (psi_) PSI_destroy(psi_);
        psi_ = nullptr;
    }

private:
    PSI_s* psi_;
};

}  // namespace merrow1
