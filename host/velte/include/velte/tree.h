// Host utilities: trees whose nodes each hold one datum (a chain, say).
//
// A node has a parent, a first daughter and a next sister; the nodes at the
// top level are the root's sisters.  The tree record and its nodes are made in
// the caller's pool, which the tree records; they go with the pool or with
// TREE_delete.
#pragma once

#include <velte/cmem.h>

struct TREE_s;

struct TREE_node_s {
    void* data;
    TREE_node_s* parent;    // null at the top level
    TREE_node_s* daughter;  // first daughter
    TREE_node_s* sister;    // next sister
    TREE_node_s* previous;  // previous sister (null for a first daughter or the root)
    TREE_s* tree;           // the tree the node was made in
    bool removed;           // taken out by TREE_remove_sister or TREE_remove_branch
};

struct TREE_s {
    TREE_node_s* root;  // first node of the top level
    CMEM_pool_s* pool;
    int count;          // nodes in the tree
};

// An empty tree in the pool; null for a null pool.
TREE_s* TREE_create(CMEM_pool_s* pool);
// A new node holding the datum as the last sister of `node` (null: at the top
// level, the root itself in an empty tree); null for a null tree.
TREE_node_s* TREE_add_sister(TREE_s* tree, TREE_node_s* node, void* data);
// A new node holding the datum as the last daughter of `node` (null: at the
// top level); null for a null tree.
TREE_node_s* TREE_add_daughter(TREE_s* tree, TREE_node_s* node, void* data);

// Called on each node visited; `data` is the caller's.
typedef void (*TREE_scan_fn_t)(TREE_s* tree, TREE_node_s* node, void* data);
// Visits every node from the root: a node, then its daughters (down, each
// with its own daughters first), then its next sister (right).  The tree must
// not change during the scan.
void TREE_scan_down_left_right(TREE_s* tree, TREE_scan_fn_t fn, void* data);

// A new node holding the datum as the only daughter of `node` (null: the
// only node of the top level); the daughters `node` had (the top level) become
// the new node's daughters, in their order.
TREE_node_s* TREE_insert_daughter(TREE_s* tree, TREE_node_s* node, void* data);
// Moves `node` with its branch to the level of `parent` (null: the top
// level), right after `after` (null: as the first node of that level; `after`
// must be a daughter of `parent`).
void TREE_move_sister_node(TREE_s* tree, TREE_node_s* node, TREE_node_s* parent, TREE_node_s* after);
// Takes the node out of the tree; its daughters take its place in its level,
// in their order.
void TREE_remove_sister(TREE_s* tree, TREE_node_s* node);
// Takes the node out of the tree with all the nodes below it.
void TREE_remove_branch(TREE_s* tree, TREE_node_s* node);

// Calls with a node of another tree, a node already taken out, a move of a
// node into its own branch, or an `after` that is not on the target level,
// are refused (counted by the test controls); nothing changes.

// Frees the nodes and the tree record (null: nothing).
void TREE_delete(TREE_s* tree);
