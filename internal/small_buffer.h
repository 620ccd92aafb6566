// Scratch arrays of a count known up front, for short-lived work on polys of
// a few pieces.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace merrow1 {

// An array of `size` records of a plain type.  Up to N records live inside
// the object itself, so the common short case allocates nothing; a longer
// array takes one heap array of exactly its size.  The records start
// uninitialised: the caller writes each before reading it.
template <class T, size_t N>
class SmallBuffer {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "SmallBuffer holds plain records");

public:
    explicit SmallBuffer(size_t size) : size_(size) {
        if (size > N) {
            heap_.reset(new T[size]);
            data_ = heap_.get();
        }
    }
    SmallBuffer(const SmallBuffer&) = delete;
    SmallBuffer& operator=(const SmallBuffer&) = delete;

    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    size_t size() const { return size_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    // Whether the records live inside the object.
    bool is_inline() const { return data_ == inline_; }

private:
    T inline_[N];
    std::unique_ptr<T[]> heap_;
    T* data_ = inline_;
    size_t size_;
};

}  // namespace merrow1
