// The node list taken before a ring walk: every node in ring order whether the
// list holds them inside itself or in an array of its own, a walk bounded by
// the count and the last node when links are broken, and copies, moves and
// vectors that keep the nodes.
#include <gtest/gtest.h>

#include "internal/ring_nodes.h"

#include <utility>
#include <vector>

namespace {

using merrow1::RingNodes;
using merrow1::ring_nodes;

// A ring of n plain nodes linked first to last, closed or open; the header's
// count is the node count unless given.
struct PlainRing {
    PlainRing(int n, bool closed) : nodes(static_cast<size_t>(n)) {
        header.count = n;
        for (int i = 0; i < n; ++i) {
            RING_node_s& node = nodes[static_cast<size_t>(i)];
            node.next = i + 1 < n ? &nodes[static_cast<size_t>(i + 1)] : nullptr;
            node.previous = i > 0 ? &nodes[static_cast<size_t>(i - 1)] : nullptr;
        }
        if (n == 0) return;
        header.first = &nodes.front();
        header.last = &nodes.back();
        if (closed) {
            header.last->next = header.first;
            header.first->previous = header.last;
        }
    }
    // The first k nodes in ring order.
    std::vector<RING_node_s*> first(int k) {
        std::vector<RING_node_s*> out;
        for (int i = 0; i < k; ++i) out.push_back(&nodes[static_cast<size_t>(i)]);
        return out;
    }
    RING_header_s header{};
    std::vector<RING_node_s> nodes;
};

std::vector<RING_node_s*> as_vector(const RingNodes& list) { return std::vector<RING_node_s*>(list.begin(), list.end()); }

// Ring lengths around the number of nodes the list holds inside itself.
const int kInline = static_cast<int>(RingNodes::kInline);
const int kLengths[] = {0, 1, 5, kInline - 1, kInline, kInline + 1, 3 * kInline + 7};

TEST(RingNodes, EveryNodeInRingOrderForShortAndLongRings) {
    for (int n : kLengths) {
        for (bool closed : {false, true}) {
            SCOPED_TRACE(::testing::Message() << n << " nodes, closed " << closed);
            PlainRing ring(n, closed);
            const RingNodes list = ring_nodes(&ring.header);
            EXPECT_EQ(list.size(), static_cast<size_t>(n));
            EXPECT_EQ(list.empty(), n == 0);
            EXPECT_EQ(as_vector(list), ring.first(n));
            // The conversion to a vector gives the same nodes.
            const std::vector<RING_node_s*> converted = list;
            EXPECT_EQ(converted, ring.first(n));
            if (n > 0) {
                EXPECT_EQ(list.front(), ring.header.first);
                EXPECT_EQ(list.back(), ring.header.last);
                EXPECT_EQ(list[static_cast<size_t>(n - 1)], ring.header.last);
            }
        }
    }
    EXPECT_TRUE(ring_nodes(nullptr).empty());
}

TEST(RingNodes, BrokenLinksNeverMakeTheWalkRunOn) {
    struct Case {
        const char* what;
        int nodes;
        int count;      // the header's count
        int last;       // index of the header's last node
        int expected;   // nodes walked
    };
    const Case cases[] = {
        {"count below the nodes linked", kInline + 4, kInline - 2, kInline + 3, kInline - 2},
        {"count above the nodes linked (the chain ends)", 6, kInline + 10, 5, 6},
        {"last node before the end of the links", kInline + 9, kInline + 9, kInline + 1, kInline + 2},
        {"negative count", 4, -3, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlainRing ring(c.nodes, true);
        ring.header.count = c.count;
        ring.header.last = &ring.nodes[static_cast<size_t>(c.last)];
        EXPECT_EQ(as_vector(ring_nodes(&ring.header)), ring.first(c.expected));
    }
}

TEST(RingNodes, CopiesAndMovesKeepTheNodes) {
    for (int n : kLengths) {
        SCOPED_TRACE(::testing::Message() << n << " nodes");
        PlainRing ring(n, false);
        RingNodes original = ring_nodes(&ring.header);
        const RingNodes copy(original);
        EXPECT_EQ(as_vector(copy), ring.first(n));
        EXPECT_EQ(as_vector(original), ring.first(n));
        const RingNodes moved(std::move(original));
        EXPECT_EQ(as_vector(moved), ring.first(n));
        // The copy holds its own nodes: writing one leaves the moved list alone.
        if (n > 0) {
            RingNodes writable(copy);
            writable[0] = nullptr;
            EXPECT_EQ(moved[0], ring.header.first);
            EXPECT_EQ(copy[0], ring.header.first);
        }
    }
}

}  // namespace
