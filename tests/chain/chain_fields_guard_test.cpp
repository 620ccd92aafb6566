// The guard of the caller fields an operation stamps: the masked fields come
// back on every exit, the first save of a chain wins, a forgotten chain is
// never written again, and an explicit restore is final.
#include "chain/chain_query_fixture.h"

#include "chain/chain_fields_guard.h"

#include <stdexcept>
#include <vector>

using namespace chain_query_test;

namespace {

using merrow1::ChainFieldsGuard;

// The five stamped fields of a chain's main data.
struct Fields {
    SIDE side;
    DIRECTION direction;
    int use;
    double offset;
    int region;
};
const Fields kCaller{LEFT, CCW, 0, 0.0, 7};
const Fields kStamped{RIGHT, CW, 9, 2.5, 3};

void put(RING_header_s* chain, const Fields& f) {
    CHAIN_main_data_s* md = data_of(chain);
    md->material_side = f.side;
    md->direction = f.direction;
    md->use_implied_offset = f.use;
    md->implied_offset = f.offset;
    md->region_set_id = f.region;
}

void expect_fields(const RING_header_s* chain, const Fields& f) {
    const CHAIN_main_data_s* md = data_of(chain);
    EXPECT_EQ(md->material_side, f.side);
    EXPECT_EQ(md->direction, f.direction);
    EXPECT_EQ(md->use_implied_offset, f.use);
    EXPECT_EQ(md->implied_offset, f.offset);
    EXPECT_EQ(md->region_set_id, f.region);
}

class ChainFieldsGuardTest : public PoolTest {
protected:
    RING_header_s* chain() {
        RING_header_s* c = make_chain(pool, {P(0, 0), L(1, 0), L(1, 1)}, true);
        put(c, kCaller);
        return c;
    }
};

TEST_F(ChainFieldsGuardTest, OnlyTheMaskedFieldsComeBack) {
    using namespace merrow1;
    // Each row: the mask, and the fields as they are after the guard went.
    const struct {
        const char* name;
        unsigned mask;
        Fields after;
    } cases[] = {
        {"side", kChainFieldMaterialSide, {LEFT, CW, 9, 2.5, 3}},
        {"direction", kChainFieldDirection, {RIGHT, CCW, 9, 2.5, 3}},
        {"implied offset and its word", kChainFieldImpliedOffset, {RIGHT, CW, 0, 0.0, 3}},
        {"region-set id", kChainFieldRegionSetId, {RIGHT, CW, 9, 2.5, 7}},
        {"region fields", kChainRegionFields, {LEFT, CW, 0, 0.0, 7}},
        {"all", kChainAllFields, kCaller},
        {"none", 0u, kStamped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RING_header_s* guarded = chain();
        {
            ChainFieldsGuard guard(c.mask);
            guard.save(guarded);
            put(guarded, kStamped);
        }
        expect_fields(guarded, c.after);
    }
}

TEST_F(ChainFieldsGuardTest, FirstSaveWins) {
    // Each row saves one chain twice (through the list, the vector or a
    // stamp), with a stamp between the saves.
    RING_header_s* guarded = chain();
    RING_header_s* list = list_of_chains(pool, {guarded, guarded});
    const struct {
        const char* name;
        void (*second_save)(ChainFieldsGuard&, RING_header_s* chain, RING_header_s* list);
    } cases[] = {
        {"save", [](ChainFieldsGuard& g, RING_header_s* c, RING_header_s*) { g.save(c); }},
        {"list", [](ChainFieldsGuard& g, RING_header_s*, RING_header_s* l) { g.save_each(l); }},
        {"vector", [](ChainFieldsGuard& g, RING_header_s* c, RING_header_s*) { g.save_each({c, c}); }},
        {"id stamp", [](ChainFieldsGuard& g, RING_header_s* c, RING_header_s*) { g.stamp_region_set_id(c, 5); }},
        {"side stamp", [](ChainFieldsGuard& g, RING_header_s* c, RING_header_s*) { g.stamp_material_side(c, 0); }},
        {"chain type", [](ChainFieldsGuard& g, RING_header_s* c, RING_header_s*) { g.save_if_chain(c); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(guarded, kCaller);
        {
            ChainFieldsGuard guard(merrow1::kChainAllFields);
            guard.stamp_region_set_id(guarded, 1);
            EXPECT_EQ(data_of(guarded)->region_set_id, 1);
            put(guarded, kStamped);
            c.second_save(guard, guarded, list);
            put(guarded, {RIGHT, CW, 4, 8.0, 6});
        }
        expect_fields(guarded, kCaller);
    }
}

TEST_F(ChainFieldsGuardTest, ForgottenChainIsNotWrittenAfterItsDeletion) {
    RING_header_s* kept = chain();
    RING_header_s* deleted = chain();
    {
        ChainFieldsGuard guard(merrow1::kChainAllFields);
        guard.save(deleted);
        guard.save(kept);
        guard.stamp_region_set_id(deleted, 2);
        put(kept, kStamped);
        // The sanitizer build sees any write through the freed record.
        guard.forget(deleted);
        RING_delete(deleted);
    }
    expect_fields(kept, kCaller);
}

TEST_F(ChainFieldsGuardTest, FieldsComeBackWhenAnErrorPasses) {
    RING_header_s* guarded = chain();
    try {
        ChainFieldsGuard guard(merrow1::kChainAllFields);
        guard.save(guarded);
        put(guarded, kStamped);
        throw std::runtime_error("error in the operation");
    } catch (const std::runtime_error&) {
    }
    expect_fields(guarded, kCaller);
}

TEST_F(ChainFieldsGuardTest, ExplicitRestoreIsFinal) {
    RING_header_s* guarded = chain();
    {
        ChainFieldsGuard guard(merrow1::kChainAllFields);
        guard.save(guarded);
        put(guarded, kStamped);
        guard.restore();
        expect_fields(guarded, kCaller);
        // What the operation sets after the restore stays.
        put(guarded, kStamped);
    }
    expect_fields(guarded, kStamped);
}

TEST_F(ChainFieldsGuardTest, RingsWithoutChainDataAreLeftAlone) {
    RING_header_s* guarded = chain();
    RING_header_s* bare = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    // A list carrying header data of its own: only save() reads it as a chain.
    CHAIN_main_data_s header{};
    header.region_set_id = 7;
    RING_header_s* set = RING_create_in_pool(&header, RING_TYPE_LIST, pool);
    RING_set_main_data_delfunc(set, nullptr);
    {
        ChainFieldsGuard guard(merrow1::kChainAllFields);
        guard.save(nullptr);
        guard.save(bare);
        guard.save_if_chain(nullptr);
        guard.save_if_chain(set);
        guard.save_if_chain(guarded);
        guard.stamp_region_set_id(bare, 4);
        guard.stamp_material_side(nullptr, LEFT);
        put(guarded, kStamped);
        header.region_set_id = 99;
    }
    EXPECT_EQ(bare->main_data, nullptr);
    EXPECT_EQ(header.region_set_id, 99);
    expect_fields(guarded, kCaller);
}

}  // namespace
