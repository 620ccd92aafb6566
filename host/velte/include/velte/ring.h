// Host utilities: ring lists and keyed application data.
//
// A ring is a header with a doubly linked list of nodes.  It is closed when the
// last node's next is the first node, open when the last node's next is null.
// Ring type 1 holds chains (nodes are vertices), type 2 lists (nodes carry a
// sub-ring as their main data).
#pragma once

#include <velte/cmem.h>

typedef int APP_DATA_key_t;

// One entry of an application-data list.  At most one datum per key.
struct APP_DATA_s {
    APP_DATA_key_t key;
    void* data;
    APP_DATA_s* next;
};

typedef int RING_type_t;
enum { RING_TYPE_CHAIN = 1, RING_TYPE_LIST = 2 };

struct RING_header_s;
struct RING_node_s;

typedef int (*RING_main_data_delfunc_t)(RING_header_s* header);
typedef int (*RING_node_main_data_delfunc_t)(RING_header_s* header, RING_node_s* node);
typedef int (*RING_sub_ring_delfunc_t)(RING_header_s* sub_ring);
typedef int (*RING_app_data_delfunc_t)(void* data);

// Entry of a header's per-key delete registry.
struct RING_key_delete_s {
    APP_DATA_key_t key;
    RING_app_data_delfunc_t delete_fn;
    RING_key_delete_s* next;
};

struct RING_node_s {
    void* main_data;        // vertex record, or the sub-ring of a list node
    APP_DATA_s* app_data;
    RING_node_s* next;
    RING_node_s* previous;
};

struct RING_header_s {
    void* main_data;
    APP_DATA_s* app_data;
    RING_node_s* first;
    RING_node_s* last;
    CMEM_pool_s* pool;
    int type;
    int count;
    RING_key_delete_s* delete_registry;
    void* registry_next;    // the word after the registry; creators set it null
    RING_main_data_delfunc_t main_data_delfunc;
    RING_node_main_data_delfunc_t node_main_data_delfunc;
    RING_sub_ring_delfunc_t sub_ring_delfunc;  // list rings: default deletes sub-rings
    int references;         // RING_dup_reference count
    int owns_pool;          // made by RING_create_private: the pool goes with the ring
};

RING_header_s* RING_create_in_pool_private(void* main_data, RING_type_t type, CMEM_pool_s* pool,
                                           const char* file, int line);
// Ring in a pool of its own (deleted with the ring).
RING_header_s* RING_create_private(void* main_data, RING_type_t type, const char* file, int line);
#define RING_create_in_pool(main_data, type, pool) \
    RING_create_in_pool_private((main_data), (type), (pool), __FILE__, __LINE__)

// New node after the node (after the last: appended; null node: new first node).
RING_node_s* RING_insert_after(RING_header_s* header, RING_node_s* node, void* main_data);
// Runs the node hook, frees the node's app-data entries and the node.
void RING_delete_node(RING_header_s* header, RING_node_s* node);
void RING_recycle_node(RING_header_s* header, RING_node_s* node);
// Unlinks the node from the ring and keeps it.
void RING_disconnect_node(RING_header_s* header, RING_node_s* node);
// Links a disconnected node after `after` (null: as the new first node).
void RING_connect_node(RING_header_s* header, RING_node_s* after, RING_node_s* node);
// Moves a node from one ring to another after `after` (null: first).
void RING_move_node(RING_header_s* from, RING_node_s* node, RING_header_s* to, RING_node_s* after);
// Moves every node of `from` to the end of `to`; `to` keeps its open or closed state.
void RING_append_ring(RING_header_s* to, RING_header_s* from);
void RING_delete_all_nodes(RING_header_s* header);
// Deletes the ring: node hooks, sub-rings (lists), the main-data hook, then the
// memory.  A ring with extra references only loses one reference.
void RING_delete(RING_header_s* header);
void RING_recycle(RING_header_s* header);
RING_header_s* RING_dup_reference(RING_header_s* header);

RING_header_s* RING_ask_node_subring(const RING_node_s* node);
void RING_set_node_subring(RING_node_s* node, RING_header_s* sub_ring);

void RING_set_main_data_delfunc(RING_header_s* header, RING_main_data_delfunc_t fn);
void RING_set_node_main_data_delfunc(RING_header_s* header, RING_node_main_data_delfunc_t fn);
void RING_set_sub_ring_delfunc(RING_header_s* header, RING_sub_ring_delfunc_t fn);
// Registers a delete function for application data under a key (header registry).
void RING_set_app_data_key(RING_header_s* header, APP_DATA_key_t key, RING_app_data_delfunc_t fn);
void RING_set_key_having_delete_func(RING_header_s* header, APP_DATA_key_t key, RING_app_data_delfunc_t fn);
// Registered delete function of a key, or null.  *found tells whether the key is registered.
RING_app_data_delfunc_t RING_ask_key_delete_func(const RING_header_s* header, APP_DATA_key_t key, bool* found);

// Put: adds the datum under the key, replacing the datum already there.  Returns 1.
int RING_put_header_app_data(RING_header_s* header, APP_DATA_key_t key, void* data);
int RING_put_node_app_data(RING_header_s* header, RING_node_s* node, APP_DATA_key_t key, void* data);
// Removes the entry of the key (the datum itself is not freed); 1 when found.
int RING_delete_app_data(RING_header_s* header, APP_DATA_key_t key);
int RING_delete_app_data_of_node(RING_header_s* header, RING_node_s* node, APP_DATA_key_t key);

// Datum under the key, or null.
void* APP_DATA__ask_app_data(const APP_DATA_s* list, APP_DATA_key_t key);
// Adds a datum; 0 (and nothing changes) when the key is already there or the
// list pointer is null.  The entry is made in the pool.
int APP_DATA__add_data(APP_DATA_s** list, void* data, APP_DATA_key_t key, CMEM_pool_s* pool);
// Unlinks and frees the entry of the key (not the datum); 1 when found.
int APP_DATA__remove_app_data(APP_DATA_s** list, APP_DATA_key_t key);
// Name of a key, for messages (static buffer).
const char* APP_DATA_convert_key_to_string(APP_DATA_key_t key);
