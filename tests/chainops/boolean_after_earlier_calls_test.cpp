// A region boolean answers the same whatever the thread did before it: the
// working lists the polygon-set intersection keeps from one operation to the
// next (emptied, their memory kept) carry nothing over.  The oracle is the
// same boolean run first thing on a thread of its own; each result chain is
// written out vertex by vertex (types, points and arc data, exactly) and the
// texts compared.
#include "chain/chain_query_fixture.h"
#include "chainops/random_star.h"
#include <merrow1/chain_poly_seg.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace chain_query_test;

// Every chain of the result, vertex by vertex, to the last bit.
std::string text_of(const RING_header_s* out) {
    std::string s;
    char line[256];
    const RING_node_s* n = out->first;
    for (int i = 0; i < out->count; ++i, n = n->next) {
        const auto* c = static_cast<const RING_header_s*>(n->main_data);
        std::snprintf(line, sizeof line, "chain %d side %d\n", c->count, data_of(c)->material_side);
        s += line;
        const RING_node_s* v = c->first;
        for (int k = 0; k < c->count; ++k, v = v->next) {
            const int type = CHAIN_seg_ask_type(v);
            const end_segment* e = reinterpret_cast<const end_segment*>(record_of(v)->geometry);
            if (type == SEG_ARC)
                std::snprintf(line, sizeof line, " %d %a %a %a %a %a %d\n", type, e->x, e->y, e->cx, e->cy, e->radius,
                              e->direction);
            else
                std::snprintf(line, sizeof line, " %d %a %a\n", type, e->x, e->y);
            s += line;
        }
    }
    return s;
}

// `stars` random stars (arcs among their edges) of region sets 1 to `sets`
// in turn; the boolean of them as text.
std::string boolean_of_stars(unsigned seed, int stars, int sets, bool intersect) {
    CMEM_pool_s* pool = CMEM_private_create_pool(0, "boolean after earlier calls", __LINE__, __FILE__);
    std::mt19937 rng(seed);
    RING_header_s* list = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    RING_set_sub_ring_delfunc(list, nullptr);
    for (int k = 0; k < stars; ++k) {
        RING_header_s* c = random_star::outline(rng, pool).chain;
        data_of(c)->material_side = LEFT;
        data_of(c)->direction = CCW;
        data_of(c)->region_set_id = 1 + k % sets;
        RING_insert_after(list, list->last, c);
    }
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool);
    CHAIN_boolean_regions(list, 0, intersect ? CHAIN_BOOLEAN_INTERSECT : 0u, nullptr, nullptr, nullptr, nullptr,
                          nullptr, out);
    std::string s = text_of(out);
    CMEM_private_delete_pool(pool);
    return s;
}

TEST(BooleanAfterEarlierCalls, AnswersAsOnAFreshThread) {
    struct Case {
        unsigned seed;
        int stars, sets;
        bool intersect;
    };
    // Small booleans (two or three stars), each after large ones of many
    // stars whose lists outgrow what is kept, and after itself.
    const Case small[] = {{11, 2, 2, false}, {12, 2, 2, true}, {13, 3, 3, false}, {14, 3, 2, true}};
    const Case large[] = {{101, 60, 3, false}, {102, 40, 2, true}};
    std::vector<std::string> large_fresh;
    for (const Case& l : large) {
        large_fresh.emplace_back();
        std::thread([&] { large_fresh.back() = boolean_of_stars(l.seed, l.stars, l.sets, l.intersect); }).join();
        EXPECT_FALSE(large_fresh.back().empty()) << "seed " << l.seed;
    }
    for (const Case& c : small) {
        SCOPED_TRACE(testing::Message() << "seed " << c.seed << (c.intersect ? " intersection" : " union"));
        std::string fresh;
        std::thread([&] { fresh = boolean_of_stars(c.seed, c.stars, c.sets, c.intersect); }).join();
        EXPECT_EQ(boolean_of_stars(c.seed, c.stars, c.sets, c.intersect), fresh) << "first on this thread";
        EXPECT_EQ(boolean_of_stars(c.seed, c.stars, c.sets, c.intersect), fresh) << "after itself";
        for (size_t i = 0; i < std::size(large); ++i) {
            const Case& l = large[i];
            EXPECT_EQ(boolean_of_stars(l.seed, l.stars, l.sets, l.intersect), large_fresh[i])
                << "seed " << l.seed << " after smaller ones";
            EXPECT_EQ(boolean_of_stars(c.seed, c.stars, c.sets, c.intersect), fresh) << "after seed " << l.seed;
        }
    }
}

}  // namespace
