// Stand-in of the host's trees: nodes in the tree's pool, linked by parent,
// first daughter and next and previous sister.
#include <velte/testing_tree.h>
#include <velte/tree.h>

#include <vector>

namespace {

std::vector<std::string> g_calls;

TREE_node_s* last_sister(TREE_node_s* node) {
    while (node->sister) node = node->sister;
    return node;
}

TREE_node_s* new_node(TREE_s* tree, TREE_node_s* parent, void* data) {
    TREE_node_s* node = CMEM_NEW(tree->pool, TREE_node_s);
    if (!node) return nullptr;
    node->data = data;
    node->parent = parent;
    ++tree->count;
    return node;
}

// Appends a node to the level whose first node is *first.
TREE_node_s* append(TREE_s* tree, TREE_node_s** first, TREE_node_s* parent, void* data) {
    TREE_node_s* node = new_node(tree, parent, data);
    if (!node) return nullptr;
    if (!*first) {
        *first = node;
    } else {
        TREE_node_s* last = last_sister(*first);
        last->sister = node;
        node->previous = last;
    }
    return node;
}

TREE_node_s** first_of_level(TREE_s* tree, TREE_node_s* parent) { return parent ? &parent->daughter : &tree->root; }

}  // namespace

TREE_s* TREE_create(CMEM_pool_s* pool) {
    g_calls.push_back("create");
    if (!pool) return nullptr;
    TREE_s* tree = CMEM_NEW(pool, TREE_s);
    if (tree) tree->pool = pool;
    return tree;
}

TREE_node_s* TREE_add_sister(TREE_s* tree, TREE_node_s* node, void* data) {
    g_calls.push_back("add_sister");
    if (!tree) return nullptr;
    TREE_node_s* parent = node ? node->parent : nullptr;
    return append(tree, first_of_level(tree, parent), parent, data);
}

TREE_node_s* TREE_add_daughter(TREE_s* tree, TREE_node_s* node, void* data) {
    g_calls.push_back("add_daughter");
    if (!tree) return nullptr;
    return append(tree, first_of_level(tree, node), node, data);
}

void TREE_scan_down_left_right(TREE_s* tree, TREE_scan_fn_t fn, void* data) {
    g_calls.push_back("scan");
    if (!tree || !fn) return;
    // Pre-order with an explicit stack; each node is visited once, so the
    // walk ends after tree->count visits.
    std::vector<TREE_node_s*> pending;
    if (tree->root) pending.push_back(tree->root);
    while (!pending.empty()) {
        TREE_node_s* node = pending.back();
        pending.pop_back();
        fn(tree, node, data);
        if (node->sister) pending.push_back(node->sister);
        if (node->daughter) pending.push_back(node->daughter);
    }
}

void TREE_delete(TREE_s* tree) {
    g_calls.push_back("delete");
    if (!tree) return;
    std::vector<TREE_node_s*> pending;
    if (tree->root) pending.push_back(tree->root);
    while (!pending.empty()) {
        TREE_node_s* node = pending.back();
        pending.pop_back();
        if (node->sister) pending.push_back(node->sister);
        if (node->daughter) pending.push_back(node->daughter);
        CMEM_private_delete_object(node);
    }
    CMEM_private_delete_object(tree);
}

namespace velte_test {
const std::vector<std::string>& tree_calls() { return g_calls; }
void reset_tree_calls() { g_calls.clear(); }
}  // namespace velte_test
