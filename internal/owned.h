// Module-internal: the one owner of an object that goes with a destroy
// function (an intersection object, a grid, a ring, a zone map): it destroys
// the object on every exit, normal or exceptional, unless it was released.
#pragma once

#include <utility>

namespace merrow1 {

// Owns a T destroyed by Destroy(T*); null owns nothing and destroys nothing.
// Move-only: an object has one owner.
template <class T, auto Destroy>
class Owned {
public:
    Owned() = default;
    explicit Owned(T* object) : m_object(object) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : m_object(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T* get() const { return m_object; }
    // Hands the object over: the holder owns nothing after.
    T* release() { return std::exchange(m_object, nullptr); }
    // Destroys the object now (nothing when there is none) and owns `object`.
    void reset(T* object = nullptr) {
        if (T* old = std::exchange(m_object, object)) Destroy(old);
    }

private:
    T* m_object = nullptr;
};

}  // namespace merrow1
