// Ring lists and keyed application data of the libvelte stand-in: the hooks run
// when rings and nodes die, the linking operations keep a ring's open or closed
// state and its back links, and a list holds one datum per key.
#include <gtest/gtest.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <string>
#include <vector>

namespace {

// Payload of the test nodes: an int per node, allocated in the ring's pool.
int* value(CMEM_pool_s* pool, int v) {
    int* p = CMEM_NEW(pool, int);
    *p = v;
    return p;
}

// The node values from the first node on, after checking every link: count
// nodes, previous links mirror next links, and the ends are closed or open
// as the ring says.
std::vector<int> values(const RING_header_s* h) {
    std::vector<int> out;
    if (!h->first) {
        EXPECT_EQ(h->last, nullptr);
        EXPECT_EQ(h->count, 0);
        return out;
    }
    bool closed = h->last->next == h->first;
    if (closed) EXPECT_EQ(h->first->previous, h->last);
    else {
        EXPECT_EQ(h->first->previous, nullptr);
        EXPECT_EQ(h->last->next, nullptr);
    }
    const RING_node_s* n = h->first;
    for (int i = 0; i < h->count; ++i) {
        out.push_back(*static_cast<int*>(n->main_data));
        if (n == h->last) {
            EXPECT_EQ(i, h->count - 1) << "last node reached early";
            break;
        }
        EXPECT_NE(n->next, nullptr);
        EXPECT_EQ(n->next->previous, n);
        n = n->next;
    }
    EXPECT_EQ(static_cast<int>(out.size()), h->count);
    return out;
}

bool is_closed(const RING_header_s* h) { return h->last && h->last->next == h->first; }

void close_ring(RING_header_s* h) {
    h->last->next = h->first;
    h->first->previous = h->last;
}

RING_header_s* ring_of(CMEM_pool_s* pool, std::vector<int> vs, bool closed) {
    RING_header_s* h = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    for (int v : vs) RING_insert_after(h, h->last, value(pool, v));
    if (closed && h->first) close_ring(h);
    return h;
}

class Rings : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "ring test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }
    CMEM_pool_s* pool = nullptr;
};

// ---- hooks ----------------------------------------------------------------

std::vector<std::string> g_events;
int main_hook(RING_header_s* h) {
    g_events.push_back("main:" + std::to_string(h->type));
    return 1;
}
int node_hook(RING_header_s*, RING_node_s* node) {
    g_events.push_back("node:" + std::to_string(node->main_data ? 1 : 0));
    return 1;
}

struct HookCase {
    const char* name;
    bool sub_rings_deleted;  // list keeps the default sub-ring deletion
    int sub_ring_references; // extra references held on each sub-ring
    int main_hooks;          // main-data hook calls at RING_delete of the list
    int node_hooks;          // node hook calls (list nodes and, when deleted, chain nodes)
    bool sub_rings_alive;
};

TEST_F(Rings, HooksRunAtDeletionAndSubRingDeletionCanBeTurnedOff) {
    const HookCase cases[] = {
        // List of 2 chains of 3 nodes each.  Default: every sub-ring dies with
        // its list, so each chain's main hook and its node hooks run too.
        {"default list", true, 0, 3, 2 + 6, false},
        // A boolean-style set refers to chains owned elsewhere.
        {"sub-ring deletion off", false, 0, 1, 2, true},
        // A sub-ring with an extra reference loses one reference only.
        {"shared sub-rings", true, 1, 1, 2, true},
    };
    for (const HookCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_events.clear();
        long objects = velte_test::live_object_count();
        RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        RING_set_main_data_delfunc(list, main_hook);
        RING_set_node_main_data_delfunc(list, node_hook);
        if (!c.sub_rings_deleted) RING_set_sub_ring_delfunc(list, nullptr);
        std::vector<RING_header_s*> chains;
        for (int k = 0; k < 2; ++k) {
            RING_header_s* chain = ring_of(pool, {1, 2, 3}, k == 1);
            RING_set_main_data_delfunc(chain, main_hook);
            RING_set_node_main_data_delfunc(chain, node_hook);
            for (int r = 0; r < c.sub_ring_references; ++r) RING_dup_reference(chain);
            RING_insert_after(list, list->last, chain);
            chains.push_back(chain);
        }
        RING_delete(list);
        int mains = 0, nodes = 0;
        for (const std::string& e : g_events) (e.rfind("main", 0) == 0 ? mains : nodes)++;
        EXPECT_EQ(mains, c.main_hooks);
        EXPECT_EQ(nodes, c.node_hooks);
        if (c.sub_rings_alive) {
            for (RING_header_s* chain : chains) {
                EXPECT_EQ(values(chain), (std::vector<int>{1, 2, 3}));
                RING_set_main_data_delfunc(chain, nullptr);
                RING_set_node_main_data_delfunc(chain, nullptr);
                while (chain->references > 1) RING_delete(chain);
                RING_delete(chain);
            }
        }
        // Ring and node memory is returned (node payloads stay: the hooks here don't free them).
        EXPECT_EQ(velte_test::live_object_count(), objects + 6);
    }
}

TEST_F(Rings, DeletingANodeRunsTheNodeHookOnlyForIt) {
    g_events.clear();
    RING_header_s* h = ring_of(pool, {1, 2, 3}, true);
    RING_set_main_data_delfunc(h, main_hook);
    RING_set_node_main_data_delfunc(h, node_hook);
    RING_delete_node(h, h->first);
    EXPECT_EQ(g_events, std::vector<std::string>{"node:1"});
    EXPECT_EQ(values(h), (std::vector<int>{2, 3}));
    EXPECT_TRUE(is_closed(h));
    RING_delete_all_nodes(h);
    EXPECT_EQ(g_events.size(), 3u);
    EXPECT_EQ(values(h), std::vector<int>{});
    RING_delete(h);
    EXPECT_EQ(g_events.back(), "main:1");
}

// ---- linking --------------------------------------------------------------

struct InsertCase {
    const char* name;
    std::vector<int> start;
    bool closed;
    int after_index;  // -1: null node (new first node)
    std::vector<int> expected;
};

TEST_F(Rings, InsertAfterKeepsOrderAndClosure) {
    const InsertCase cases[] = {
        {"empty ring, null node", {}, false, -1, {9}},
        {"open, null node makes first", {1, 2}, false, -1, {9, 1, 2}},
        {"closed, null node makes first", {1, 2}, true, -1, {9, 1, 2}},
        {"open, after last appends", {1, 2}, false, 1, {1, 2, 9}},
        {"closed, after last appends", {1, 2}, true, 1, {1, 2, 9}},
        {"open, middle", {1, 2, 3}, false, 0, {1, 9, 2, 3}},
        {"closed single node", {1}, true, 0, {1, 9}},
    };
    for (const InsertCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* h = ring_of(pool, c.start, c.closed);
        RING_node_s* after = nullptr;
        if (c.after_index >= 0) {
            after = h->first;
            for (int i = 0; i < c.after_index; ++i) after = after->next;
        }
        RING_node_s* n = RING_insert_after(h, after, value(pool, 9));
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(values(h), c.expected);
        EXPECT_EQ(is_closed(h), c.closed && !c.start.empty());
        RING_delete(h);
    }
}

struct AppendCase {
    const char* name;
    std::vector<int> to, from;
    bool to_closed, from_closed;
    std::vector<int> expected;
};

TEST_F(Rings, AppendRingMovesEveryNodeAndKeepsTheTargetsState) {
    const AppendCase cases[] = {
        {"open to open", {1, 2}, {3, 4}, false, false, {1, 2, 3, 4}},
        {"closed source to open", {1}, {2, 3}, false, true, {1, 2, 3}},
        {"open source to closed", {1, 2}, {3}, true, false, {1, 2, 3}},
        {"into empty", {}, {5, 6}, false, true, {5, 6}},
        {"from empty", {1}, {}, true, false, {1}},
    };
    for (const AppendCase& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* to = ring_of(pool, c.to, c.to_closed);
        RING_header_s* from = ring_of(pool, c.from, c.from_closed);
        RING_append_ring(to, from);
        EXPECT_EQ(values(to), c.expected);
        EXPECT_EQ(values(from), std::vector<int>{});
        EXPECT_EQ(is_closed(to), c.to_closed && !c.to.empty());
        RING_delete(to);
        RING_delete(from);
    }
}

TEST_F(Rings, MoveDisconnectAndConnect) {
    RING_header_s* a = ring_of(pool, {1, 2, 3}, true);
    RING_header_s* b = ring_of(pool, {7, 8}, false);

    RING_move_node(a, a->first->next, b, nullptr);  // 2 becomes b's first
    EXPECT_EQ(values(a), (std::vector<int>{1, 3}));
    EXPECT_TRUE(is_closed(a));
    EXPECT_EQ(values(b), (std::vector<int>{2, 7, 8}));
    EXPECT_FALSE(is_closed(b));

    RING_move_node(b, b->first, b, b->last);  // within a ring: to the end
    EXPECT_EQ(values(b), (std::vector<int>{7, 8, 2}));
    RING_move_node(b, b->first, b, b->first);  // after itself: stays
    EXPECT_EQ(values(b), (std::vector<int>{7, 8, 2}));

    RING_node_s* n = a->last;
    RING_disconnect_node(a, n);
    EXPECT_EQ(values(a), std::vector<int>{1});
    EXPECT_TRUE(is_closed(a));  // a closed ring of one node links to itself
    EXPECT_EQ(a->first->next, a->first);
    RING_connect_node(a, nullptr, n);
    EXPECT_EQ(values(a), (std::vector<int>{3, 1}));
    EXPECT_TRUE(is_closed(a));

    RING_delete(a);
    RING_delete(b);
}

TEST_F(Rings, NodeSubRingAndReferences) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_header_s* chain = ring_of(pool, {1}, false);
    RING_node_s* n = RING_insert_after(list, nullptr, nullptr);
    RING_set_node_subring(n, chain);
    EXPECT_EQ(RING_ask_node_subring(n), chain);
    EXPECT_EQ(RING_ask_node_subring(nullptr), nullptr);
    EXPECT_EQ(RING_dup_reference(chain), chain);
    RING_delete(list);           // one reference of the chain goes
    EXPECT_EQ(values(chain), std::vector<int>{1});
    RING_delete(chain);
}

TEST(RingPools, PrivateRingTakesItsPoolAlong) {
    long pools = velte_test::live_pool_count();
    RING_header_s* h = RING_create_private(nullptr, RING_TYPE_CHAIN, __FILE__, __LINE__);
    EXPECT_EQ(velte_test::live_pool_count(), pools + 1);
    RING_insert_after(h, nullptr, nullptr);
    RING_delete(h);
    EXPECT_EQ(velte_test::live_pool_count(), pools);
}

// ---- application data -----------------------------------------------------

TEST_F(Rings, OneDatumPerKey) {
    int a = 1, b = 2;
    APP_DATA_s* list = nullptr;
    EXPECT_EQ(APP_DATA__add_data(&list, &a, 5, pool), 1);
    EXPECT_EQ(APP_DATA__add_data(&list, &b, 5, pool), 0);  // key taken: nothing changes
    EXPECT_EQ(APP_DATA__add_data(&list, &b, 6, pool), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(list, 5), &a);
    EXPECT_EQ(APP_DATA__ask_app_data(list, 6), &b);
    EXPECT_EQ(APP_DATA__ask_app_data(list, 7), nullptr);
    EXPECT_EQ(APP_DATA__add_data(nullptr, &a, 1, pool), 0);
    EXPECT_EQ(APP_DATA__remove_app_data(&list, 5), 1);
    EXPECT_EQ(APP_DATA__remove_app_data(&list, 5), 0);
    EXPECT_EQ(APP_DATA__ask_app_data(list, 5), nullptr);
    EXPECT_EQ(APP_DATA__ask_app_data(list, 6), &b);

    // Put on headers and nodes replaces the datum of a key in place.
    RING_header_s* h = ring_of(pool, {1}, false);
    EXPECT_EQ(RING_put_header_app_data(h, 3, &a), 1);
    EXPECT_EQ(RING_put_header_app_data(h, 3, &b), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(h->app_data, 3), &b);
    EXPECT_EQ(h->app_data->next, nullptr);
    EXPECT_EQ(RING_put_node_app_data(h, h->first, 4, &a), 1);
    EXPECT_EQ(RING_put_node_app_data(h, h->first, 4, &b), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(h->first->app_data, 4), &b);
    EXPECT_EQ(h->first->app_data->next, nullptr);
    EXPECT_EQ(RING_delete_app_data_of_node(h, h->first, 4), 1);
    EXPECT_EQ(h->first->app_data, nullptr);
    EXPECT_EQ(RING_delete_app_data(h, 3), 1);
    EXPECT_EQ(h->app_data, nullptr);
    RING_delete(h);
}

int deleter_a(void*) { return 1; }
int deleter_b(void*) { return 1; }

TEST_F(Rings, KeyDeleteRegistry) {
    RING_header_s* h = ring_of(pool, {}, false);
    bool found = true;
    EXPECT_EQ(RING_ask_key_delete_func(h, 7, &found), nullptr);
    EXPECT_FALSE(found);
    RING_set_app_data_key(h, 7, deleter_a);
    RING_set_key_having_delete_func(h, 7, deleter_b);  // one entry per key: replaced
    RING_set_app_data_key(h, 8, nullptr);              // registered without a function
    EXPECT_EQ(RING_ask_key_delete_func(h, 7, &found), deleter_b);
    EXPECT_TRUE(found);
    EXPECT_EQ(RING_ask_key_delete_func(h, 8, &found), nullptr);
    EXPECT_TRUE(found);
    int entries = 0;
    for (RING_key_delete_s* e = h->delete_registry; e; e = e->next) ++entries;
    EXPECT_EQ(entries, 2);
    RING_delete(h);
}

TEST(AppDataKeys, KeyNames) { EXPECT_STREQ(APP_DATA_convert_key_to_string(42), "APP_DATA_KEY_42"); }

}  // namespace
