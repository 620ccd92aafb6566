// Host utilities: trees whose nodes each hold one datum (a chain, say).
//
// A node has a parent, a first daughter and a next sister; the nodes at the
// top level are the root's sisters.  The tree record and its nodes are made in
// the caller's pool, which the tree records; they go with the pool or with
// TREE_delete.
#pragma once

#include <velte/cmem.h>

struct TREE_node_s {
    void* data;
    TREE_node_s* parent;    // null at the top level
    TREE_node_s* daughter;  // first daughter
    TREE_node_s* sister;    // next sister
    TREE_node_s* previous;  // previous sister (null for a first daughter or the root)
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

// Frees the nodes and the tree record (null: nothing).
void TREE_delete(TREE_s* tree);
