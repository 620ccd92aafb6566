// The nodes of a ring in order, for walks that change the ring as they go.
#pragma once

#include <velte/ring.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace merrow1 {

// The nodes of a ring taken before a walk, in order.  Short rings (most rings
// a call walks: lists of sets, polys of a few pieces) keep their nodes inside
// the list itself, so their walk allocates nothing; a longer ring takes one
// array sized for its count.  Converts to a std::vector where one is wanted.
class RingNodes {
public:
    using value_type = RING_node_s*;
    using iterator = RING_node_s**;
    using const_iterator = RING_node_s* const*;

    // The nodes from the first, at most `count` of them and never past the
    // last node, so a broken link can never make the walk run on.  Empty for
    // null.
    explicit RingNodes(const RING_header_s* ring) : data_(inline_) {
        if (!ring || ring->count <= 0) return;
        reserve(static_cast<size_t>(ring->count));
        RING_node_s* n = ring->first;
        for (int i = 0; n && i < ring->count; ++i) {
            data_[size_++] = n;
            if (n == ring->last) break;
            n = n->next;
        }
    }
    RingNodes(const RingNodes& other) : data_(inline_) {
        reserve(other.size_);
        std::copy(other.begin(), other.end(), data_);
        size_ = other.size_;
    }
    RingNodes(RingNodes&& other) noexcept : data_(inline_) {
        if (other.heap_) {
            heap_ = std::move(other.heap_);
            data_ = heap_.get();
        } else {
            std::copy(other.begin(), other.end(), data_);
        }
        size_ = other.size_;
        other.data_ = other.inline_;
        other.size_ = 0;
    }
    RingNodes& operator=(const RingNodes&) = delete;
    RingNodes& operator=(RingNodes&&) = delete;

    operator std::vector<RING_node_s*>() const {
        std::vector<RING_node_s*> out(size_);
        std::copy(begin(), end(), out.begin());
        return out;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    iterator begin() { return data_; }
    iterator end() { return data_ + size_; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    RING_node_s*& operator[](size_t i) { return data_[i]; }
    RING_node_s* operator[](size_t i) const { return data_[i]; }
    RING_node_s* front() const { return data_[0]; }
    RING_node_s* back() const { return data_[size_ - 1]; }

    // Nodes held inside the list without a heap array.
    static constexpr size_t kInline = 16;

private:
    void reserve(size_t n) {
        if (n <= kInline) return;
        heap_.reset(new RING_node_s*[n]);
        data_ = heap_.get();
    }

    RING_node_s* inline_[kInline];
    std::unique_ptr<RING_node_s*[]> heap_;
    RING_node_s** data_;
    size_t size_ = 0;
};

inline RingNodes ring_nodes(const RING_header_s* ring) { return RingNodes(ring); }

}  // namespace merrow1
