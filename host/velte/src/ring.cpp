// Ring lists and keyed application data.
#include <velte/ring.h>

#include <cstdio>

namespace {

bool is_closed(const RING_header_s* h) { return h->last && h->last->next == h->first; }

// Links node after `after` (null: first), keeping the ring open or closed.
void link_after(RING_header_s* h, RING_node_s* after, RING_node_s* node) {
    bool closed = h->first ? is_closed(h) : false;
    if (!h->first) {
        node->next = node->previous = nullptr;
        h->first = h->last = node;
    } else if (!after) {
        node->next = h->first;
        h->first->previous = node;
        node->previous = closed ? h->last : nullptr;
        h->first = node;
        if (closed) h->last->next = node;
    } else {
        node->previous = after;
        node->next = after->next;
        if (after == h->last) {
            h->last = node;
            node->next = closed ? h->first : nullptr;
            if (closed) h->first->previous = node;
        } else {
            after->next->previous = node;
        }
        after->next = node;
    }
    ++h->count;
}

void unlink(RING_header_s* h, RING_node_s* node) {
    if (h->first == node && h->last == node) {
        h->first = h->last = nullptr;
    } else {
        bool closed = is_closed(h);
        if (node->previous) node->previous->next = node->next;
        if (node->next) node->next->previous = node->previous;
        if (h->first == node) h->first = node->next;
        if (h->last == node) h->last = node->previous;
        if (!closed) {
            if (h->first) h->first->previous = nullptr;
            if (h->last) h->last->next = nullptr;
        }
    }
    node->next = node->previous = nullptr;
    --h->count;
}

void free_app_entries(APP_DATA_s** list) {
    APP_DATA_s* e = *list;
    while (e) {
        APP_DATA_s* next = e->next;
        CMEM_private_delete_object(e);
        e = next;
    }
    *list = nullptr;
}

int delete_sub_ring(RING_header_s* sub) {
    RING_delete(sub);
    return 1;
}

void add_registry(RING_header_s* h, APP_DATA_key_t key, RING_app_data_delfunc_t fn) {
    for (RING_key_delete_s* e = h->delete_registry; e; e = e->next)
        if (e->key == key) {
            e->delete_fn = fn;
            return;
        }
    RING_key_delete_s* e = CMEM_NEW(h->pool, RING_key_delete_s);
    e->key = key;
    e->delete_fn = fn;
    e->next = h->delete_registry;
    h->delete_registry = e;
}

int put_app(APP_DATA_s** list, APP_DATA_key_t key, void* data, CMEM_pool_s* pool) {
    for (APP_DATA_s* e = *list; e; e = e->next)
        if (e->key == key) {
            e->data = data;
            return 1;
        }
    return APP_DATA__add_data(list, data, key, pool);
}

}  // namespace

RING_header_s* RING_create_in_pool_private(void* main_data, RING_type_t type, CMEM_pool_s* pool, const char*, int) {
    RING_header_s* h = CMEM_NEW(pool, RING_header_s);
    if (!h) return nullptr;
    h->main_data = main_data;
    h->pool = pool;
    h->type = type;
    h->references = 1;
    if (type == RING_TYPE_LIST) h->sub_ring_delfunc = delete_sub_ring;
    return h;
}

RING_header_s* RING_create_private(void* main_data, RING_type_t type, const char* file, int line) {
    // The ring lives in a pool of its own, which its owner deletes with it.
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "RING private", line, file);
    RING_header_s* h = RING_create_in_pool_private(main_data, type, pool, file, line);
    if (h) h->owns_pool = 1;
    return h;
}

RING_node_s* RING_insert_after(RING_header_s* h, RING_node_s* node, void* main_data) {
    if (!h) return nullptr;
    RING_node_s* n = CMEM_NEW(h->pool, RING_node_s);
    if (!n) return nullptr;
    n->main_data = main_data;
    link_after(h, node, n);
    return n;
}

void RING_delete_node(RING_header_s* h, RING_node_s* node) {
    if (!h || !node) return;
    unlink(h, node);
    if (h->node_main_data_delfunc) h->node_main_data_delfunc(h, node);
    if (h->type == RING_TYPE_LIST && h->sub_ring_delfunc && node->main_data) {
        RING_header_s* sub = static_cast<RING_header_s*>(node->main_data);
        node->main_data = nullptr;
        h->sub_ring_delfunc(sub);
    }
    free_app_entries(&node->app_data);
    CMEM_private_delete_object(node);
}

void RING_recycle_node(RING_header_s* h, RING_node_s* node) { RING_delete_node(h, node); }

void RING_disconnect_node(RING_header_s* h, RING_node_s* node) {
    if (h && node) unlink(h, node);
}

void RING_connect_node(RING_header_s* h, RING_node_s* after, RING_node_s* node) {
    if (h && node) link_after(h, after, node);
}

void RING_move_node(RING_header_s* from, RING_node_s* node, RING_header_s* to, RING_node_s* after) {
    // Moving a node after itself leaves it where it is (unlinking first would
    // leave `after` dangling).
    if (!from || !to || !node || node == after) return;
    unlink(from, node);
    link_after(to, after, node);
}

void RING_append_ring(RING_header_s* to, RING_header_s* from) {
    if (!to || !from || to == from) return;
    while (from->first) {
        RING_node_s* n = from->first;
        unlink(from, n);
        link_after(to, to->last, n);
    }
}

void RING_delete_all_nodes(RING_header_s* h) {
    if (!h) return;
    while (h->first) RING_delete_node(h, h->first);
}

void RING_delete(RING_header_s* h) {
    if (!h) return;
    if (--h->references > 0) return;
    RING_delete_all_nodes(h);
    if (h->main_data_delfunc) h->main_data_delfunc(h);
    free_app_entries(&h->app_data);
    for (RING_key_delete_s* e = h->delete_registry; e;) {
        RING_key_delete_s* next = e->next;
        CMEM_private_delete_object(e);
        e = next;
    }
    CMEM_pool_s* own = h->owns_pool ? h->pool : nullptr;
    CMEM_private_delete_object(h);
    CMEM_private_delete_pool(own);
}

void RING_recycle(RING_header_s* h) { RING_delete(h); }

RING_header_s* RING_dup_reference(RING_header_s* h) {
    if (h) ++h->references;
    return h;
}

RING_header_s* RING_ask_node_subring(const RING_node_s* node) {
    return node ? static_cast<RING_header_s*>(node->main_data) : nullptr;
}

void RING_set_node_subring(RING_node_s* node, RING_header_s* sub) {
    if (node) node->main_data = sub;
}

void RING_set_main_data_delfunc(RING_header_s* h, RING_main_data_delfunc_t fn) {
    if (h) h->main_data_delfunc = fn;
}
void RING_set_node_main_data_delfunc(RING_header_s* h, RING_node_main_data_delfunc_t fn) {
    if (h) h->node_main_data_delfunc = fn;
}
void RING_set_sub_ring_delfunc(RING_header_s* h, RING_sub_ring_delfunc_t fn) {
    if (h) h->sub_ring_delfunc = fn;
}
void RING_set_app_data_key(RING_header_s* h, APP_DATA_key_t key, RING_app_data_delfunc_t fn) {
    if (h) add_registry(h, key, fn);
}
void RING_set_key_having_delete_func(RING_header_s* h, APP_DATA_key_t key, RING_app_data_delfunc_t fn) {
    if (h) add_registry(h, key, fn);
}

RING_app_data_delfunc_t RING_ask_key_delete_func(const RING_header_s* h, APP_DATA_key_t key, bool* found) {
    if (found) *found = false;
    if (!h) return nullptr;
    for (const RING_key_delete_s* e = h->delete_registry; e; e = e->next)
        if (e->key == key) {
            if (found) *found = true;
            return e->delete_fn;
        }
    return nullptr;
}

int RING_put_header_app_data(RING_header_s* h, APP_DATA_key_t key, void* data) {
    if (!h) return 0;
    return put_app(&h->app_data, key, data, h->pool);
}

int RING_put_node_app_data(RING_header_s* h, RING_node_s* node, APP_DATA_key_t key, void* data) {
    if (!h || !node) return 0;
    return put_app(&node->app_data, key, data, h->pool);
}

int RING_delete_app_data(RING_header_s* h, APP_DATA_key_t key) {
    return h ? APP_DATA__remove_app_data(&h->app_data, key) : 0;
}

int RING_delete_app_data_of_node(RING_header_s*, RING_node_s* node, APP_DATA_key_t key) {
    return node ? APP_DATA__remove_app_data(&node->app_data, key) : 0;
}

void* APP_DATA__ask_app_data(const APP_DATA_s* list, APP_DATA_key_t key) {
    for (const APP_DATA_s* e = list; e; e = e->next)
        if (e->key == key) return e->data;
    return nullptr;
}

int APP_DATA__add_data(APP_DATA_s** list, void* data, APP_DATA_key_t key, CMEM_pool_s* pool) {
    if (!list || !pool) return 0;
    for (APP_DATA_s* e = *list; e; e = e->next)
        if (e->key == key) return 0;
    APP_DATA_s* e = CMEM_NEW(pool, APP_DATA_s);
    if (!e) return 0;
    e->key = key;
    e->data = data;
    // Appended, so a list is walked in the order its data was added.
    APP_DATA_s** tail = list;
    while (*tail) tail = &(*tail)->next;
    *tail = e;
    return 1;
}

int APP_DATA__remove_app_data(APP_DATA_s** list, APP_DATA_key_t key) {
    if (!list) return 0;
    for (APP_DATA_s** p = list; *p; p = &(*p)->next)
        if ((*p)->key == key) {
            APP_DATA_s* e = *p;
            *p = e->next;
            CMEM_private_delete_object(e);
            return 1;
        }
    return 0;
}

const char* APP_DATA_convert_key_to_string(APP_DATA_key_t key) {
    static char text[64];
    std::snprintf(text, sizeof text, "APP_DATA_KEY_%d", key);
    return text;
}
