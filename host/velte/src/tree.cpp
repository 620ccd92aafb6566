// Stand-in of the host's trees: nodes in the tree's pool, linked by parent,
// first daughter and next and previous sister.
#include <velte/testing_tree.h>
#include <velte/tree.h>

#include <vector>

namespace {

std::vector<std::string> g_calls;
long g_invalid = 0;

TREE_node_s* last_sister(TREE_node_s* node) {
    while (node->sister) node = node->sister;
    return node;
}

TREE_node_s* new_node(TREE_s* tree, TREE_node_s* parent, void* data) {
    TREE_node_s* node = CMEM_NEW(tree->pool, TREE_node_s);
    if (!node) return nullptr;
    node->data = data;
    node->parent = parent;
    node->tree = tree;
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

// A node usable in the tree: null, or made in it and not taken out.
bool usable(const TREE_s* tree, const TREE_node_s* node) { return !node || (node->tree == tree && !node->removed); }

bool refuse() {
    ++g_invalid;
    return false;
}

// Unlinks the node (with its branch) from its level.
void unlink(TREE_s* tree, TREE_node_s* node) {
    TREE_node_s** first = first_of_level(tree, node->parent);
    if (node->previous)
        node->previous->sister = node->sister;
    else
        *first = node->sister;
    if (node->sister) node->sister->previous = node->previous;
    node->previous = node->sister = nullptr;
}

// Links the unlinked node into the level of parent after `after` (null: first).
void link(TREE_s* tree, TREE_node_s* node, TREE_node_s* parent, TREE_node_s* after) {
    TREE_node_s** first = first_of_level(tree, parent);
    node->parent = parent;
    node->previous = after;
    node->sister = after ? after->sister : *first;
    if (node->sister) node->sister->previous = node;
    if (after)
        after->sister = node;
    else
        *first = node;
}

// Marks the branch below and including the node as taken out; the count is
// kept.  Bounded by the tree's node count.
void mark_branch(TREE_s* tree, TREE_node_s* node) {
    std::vector<TREE_node_s*> pending{node};
    for (int guard = 0; !pending.empty() && guard <= tree->count; ++guard) {
        TREE_node_s* n = pending.back();
        pending.pop_back();
        n->removed = true;
        --tree->count;
        for (TREE_node_s* d = n->daughter; d; d = d->sister) pending.push_back(d);
    }
}

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
    if (!usable(tree, node)) return refuse(), nullptr;
    TREE_node_s* parent = node ? node->parent : nullptr;
    return append(tree, first_of_level(tree, parent), parent, data);
}

TREE_node_s* TREE_add_daughter(TREE_s* tree, TREE_node_s* node, void* data) {
    g_calls.push_back("add_daughter");
    if (!tree) return nullptr;
    if (!usable(tree, node)) return refuse(), nullptr;
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

TREE_node_s* TREE_insert_daughter(TREE_s* tree, TREE_node_s* node, void* data) {
    g_calls.push_back("insert_daughter");
    if (!tree) return nullptr;
    if (!usable(tree, node)) return refuse(), nullptr;
    TREE_node_s** first = first_of_level(tree, node);
    TREE_node_s* taken = *first;
    *first = nullptr;
    TREE_node_s* inserted = append(tree, first, node, data);
    if (!inserted) {
        *first = taken;
        return nullptr;
    }
    inserted->daughter = taken;
    for (TREE_node_s* d = taken; d; d = d->sister) d->parent = inserted;
    return inserted;
}

void TREE_move_sister_node(TREE_s* tree, TREE_node_s* node, TREE_node_s* parent, TREE_node_s* after) {
    g_calls.push_back("move_sister_node");
    if (!tree || !node) return;
    if (!usable(tree, node) || !usable(tree, parent) || !usable(tree, after)) return (void)refuse();
    if (after && (after->parent != parent || after == node)) return (void)refuse();
    // The target level must not lie in the node's own branch.
    for (TREE_node_s* up = parent; up; up = up->parent)
        if (up == node) return (void)refuse();
    unlink(tree, node);
    link(tree, node, parent, after);
}

void TREE_remove_sister(TREE_s* tree, TREE_node_s* node) {
    g_calls.push_back("remove_sister");
    if (!tree || !node) return;
    if (!usable(tree, node)) return (void)refuse();
    TREE_node_s* after = node->previous;
    TREE_node_s* parent = node->parent;
    std::vector<TREE_node_s*> daughters;
    for (TREE_node_s* d = node->daughter; d; d = d->sister) daughters.push_back(d);
    unlink(tree, node);
    node->daughter = nullptr;
    for (TREE_node_s* d : daughters) {
        d->previous = d->sister = nullptr;
        link(tree, d, parent, after);
        after = d;
    }
    node->removed = true;
    --tree->count;
}

void TREE_remove_branch(TREE_s* tree, TREE_node_s* node) {
    g_calls.push_back("remove_branch");
    if (!tree || !node) return;
    if (!usable(tree, node)) return (void)refuse();
    unlink(tree, node);
    mark_branch(tree, node);
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
void reset_tree_calls() {
    g_calls.clear();
    g_invalid = 0;
}
long tree_invalid_calls() { return g_invalid; }
}  // namespace velte_test
