// quick_start: a pocket with one island offset pass by pass until nothing is
// left, then the union of two overlapping rectangles.
#include <merrow1/merrow1.h>

#include <cstdio>
#include <initializer_list>

// A closed chain through the points; the builders leave the material side unset.
static RING_header_s* shape(const Korvo::Math::Point2* points, int n, SIDE side, int region_set, CMEM_pool_s* pool) {
    RING_header_s* chain = CHAIN_create_polygon(nullptr, points, n, /*closed=*/1, pool);
    auto* main = static_cast<CHAIN_main_data_s*>(chain->main_data);
    main->material_side = side;
    main->region_set_id = region_set;
    return chain;
}

// A chain list whose nodes carry the chains; deleting the list deletes them.
static RING_header_s* list_of(std::initializer_list<RING_header_s*> chains, CMEM_pool_s* pool) {
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    for (RING_header_s* chain : chains) RING_set_node_subring(RING_insert_after(list, list->last, nullptr), chain);
    return list;
}

int main() {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "quick_start", __LINE__, __FILE__);
    // Both run counter-clockwise: the pocket has its material outside (on its
    // right), the island inside (on its left).
    const Korvo::Math::Point2 pocket[] = {{0, 0}, {100, 0}, {100, 60}, {0, 60}};
    const Korvo::Math::Point2 island[] = {{60, 20}, {80, 20}, {80, 40}, {60, 40}};
    RING_header_s* region = list_of({shape(pocket, 4, RIGHT, 0, pool), shape(island, 4, LEFT, 0, pool)}, pool);
    std::printf("region: area %.3f\n", CHAIN_area_centroid(region, nullptr));  // material outside counts negative
    for (int pass = 1;; ++pass) {  // away from the material by 4, 8, 12, ... until nothing is left
        RING_header_s* path = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
        const int made = CHAIN_offset_region(region, path, 4.0 * pass, /*order=*/false);
        if (made) std::printf("pass %d: %d chains, area %.3f\n", pass, path->count, CHAIN_area_centroid(path, nullptr));
        RING_delete(path);
        if (!made) break;
    }
    // The union of two region sets (each its own region_set_id) with their material inside.
    const Korvo::Math::Point2 other[] = {{50, 30}, {150, 30}, {150, 90}, {50, 90}};
    RING_header_s* sets = list_of({shape(pocket, 4, LEFT, 1, pool), shape(other, 4, LEFT, 2, pool)}, pool);
    RING_header_s* united = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_boolean_regions(sets, 0, /*union=*/0, nullptr, nullptr, nullptr, nullptr, nullptr, united);
    std::printf("union: %d chains, area %.3f\n", united->count, CHAIN_area_centroid(united, nullptr));
    RING_delete(united);
    RING_delete(sets);
    RING_delete(region);
    CMEM_private_delete_pool(pool);  // with whatever else the calls left in it
    return 0;
}
