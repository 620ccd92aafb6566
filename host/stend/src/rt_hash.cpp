// Stand-in for the host's hash tables: chained buckets over int or text keys.
#include <stend/rt_hash.h>
#include <stend/testing_om.h>

#include <cstring>
#include <string>
#include <vector>

struct RT_HASH_table_s {
    RT_HASH_key_type_e key_type;
    struct Entry {
        std::string key;  // the int's bytes, or the text
        void* data;
    };
    std::vector<std::vector<Entry>> buckets;
    int count = 0;
};

namespace {

long g_live_tables = 0;
bool g_fail_next_create = false;
int g_init_calls = 0;

std::string key_bytes(const RT_HASH_table_s* table, const void* key) {
    if (table->key_type == RT_HASH_INTEGER_KEYS) return std::string(static_cast<const char*>(key), sizeof(int));
    return std::string(static_cast<const char*>(key));
}

// FNV-1a over the key's bytes.
std::vector<RT_HASH_table_s::Entry>& bucket_of(const RT_HASH_table_s* table, const std::string& key) {
    unsigned long h = 2166136261ul;
    for (unsigned char c : key) h = (h ^ c) * 16777619ul;
    auto& buckets = const_cast<RT_HASH_table_s*>(table)->buckets;
    return buckets[h % buckets.size()];
}

}  // namespace

void RT_HASH_init_module(void) { ++g_init_calls; }

RT_HASH_table_s* RT_HASH_create_table(RT_HASH_key_type_e key_type, int buckets) {
    if (g_fail_next_create) {
        g_fail_next_create = false;
        return nullptr;
    }
    if (buckets < 1 || (key_type != RT_HASH_INTEGER_KEYS && key_type != RT_HASH_TEXT_KEYS)) return nullptr;
    RT_HASH_table_s* table = new RT_HASH_table_s;
    table->key_type = key_type;
    table->buckets.resize(static_cast<size_t>(buckets));
    ++g_live_tables;
    return table;
}

int RT_HASH_add_key(RT_HASH_table_s* table, const void* key, void* data) {
    if (!table || !key) return 0;
    std::string k = key_bytes(table, key);
    auto& b = bucket_of(table, k);
    for (const auto& e : b)
        if (e.key == k) return 0;
    b.push_back({k, data});
    ++table->count;
    return 1;
}

int RT_HASH_find_key(const RT_HASH_table_s* table, const void* key, void** data) {
    if (!table || !key) return 0;
    std::string k = key_bytes(table, key);
    for (const auto& e : bucket_of(table, k))
        if (e.key == k) {
            if (data) *data = e.data;
            return 1;
        }
    return 0;
}

int RT_HASH_remove_key(RT_HASH_table_s* table, const void* key) {
    if (!table || !key) return 0;
    std::string k = key_bytes(table, key);
    auto& b = bucket_of(table, k);
    for (auto it = b.begin(); it != b.end(); ++it)
        if (it->key == k) {
            b.erase(it);
            --table->count;
            return 1;
        }
    return 0;
}

void RT_HASH_iterate(const RT_HASH_table_s* table, RT_HASH_visit_fn fn, void* user) {
    if (!table || !fn) return;
    for (const auto& b : table->buckets)
        for (const auto& e : b) fn(e.key.data(), e.data, user);
}

int RT_HASH_ask_count(const RT_HASH_table_s* table) { return table ? table->count : 0; }

void RT_HASH_delete_table(RT_HASH_table_s* table) {
    if (!table) return;
    --g_live_tables;
    delete table;
}

namespace stend_test {
long rt_hash_live_tables() { return g_live_tables; }
void rt_hash_fail_next_create(bool fail) { g_fail_next_create = fail; }
int rt_hash_init_calls() { return g_init_calls; }
}  // namespace stend_test
