// Boolean trim: parents of nested raw squares found through a crossing trim
// rectangle, groups and their result chains, the cell query's compact
// builder indices, and the raw chains left solid on every path.
#include <gtest/gtest.h>
#include <merrow1/Cam_BoolTrim.h>
#include <merrow1/app_data_keys.h>
#include <merrow1/chain_from_chain.h>
#include <merrow1/chain_split.h>
#include <glimra/testing.h>
#include <pellam/mchn_merge.h>
#include <pellam/mchn_merge_split.h>
#include <pellam/testing_merge_split.h>
#include <pellam/testing_segment.h>
#include <pellam/tp_builders.h>
#include <velte/cmem.h>

#include "chain/chain_query_fixture.h"

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

using namespace chain_query_test;
using Korvo::Cam::BoolTrim;
using Korvo::Cam::BoolTrimLoc;
using Korvo::Cam::BoolTrimRawLevel_s;
using Korvo::Cam::CellRecord;
using Korvo::Cam::IBoolTrim;

static_assert(!std::is_copy_constructible<BoolTrim>::value, "the engine is not copied");

struct Deleter {
    void operator()(IBoolTrim* t) const { delete t; }
};

class BoolTrimTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = CMEM_private_create_pool(0, "bool trim test", __LINE__, __FILE__);
        for (int i = 0; i < 3; ++i) {
            const double a = 2.0 * i, b = 10.0 - 2.0 * i;
            squares[i] = ccw_rect(pool, a, a, b, b, LEFT);
            levels[i].level = i;
            RING_put_header_app_data(squares[i], CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[i]);
        }
        trim_rect = ccw_rect(pool, -1, 4.5, 11, 5.5, LEFT);
        raw = list_of_chains(pool, {squares[0], squares[1], squares[2]});
        trims = list_of_chains(pool, {trim_rect});
        engine.reset(IBoolTrim::BoolTrimFactory(pool));
        ASSERT_TRUE(engine);
    }
    void TearDown() override {
        engine.reset();
        CMEM_private_delete_pool(pool);
    }
    void Build() {
        ASSERT_TRUE(engine->SetChainSets(raw, trims));
        ASSERT_TRUE(engine->HasRegions());
        ASSERT_TRUE(engine->BuildNetwork());
    }
    static RING_header_s* SourceOf(const RING_node_s* end) {
        return static_cast<const SPLIT_CHAIN_s*>(end->main_data)->piece->start->chain;
    }

    CMEM_pool_s* pool = nullptr;
    RING_header_s* squares[3] = {};
    BoolTrimRawLevel_s levels[3] = {};
    RING_header_s* trim_rect = nullptr;
    RING_header_s* raw = nullptr;
    RING_header_s* trims = nullptr;
    std::unique_ptr<IBoolTrim, Deleter> engine;
};

// The junction whose sub-ring holds the end record.
const RING_node_s* JunctionOf(const RING_header_s* network, const RING_node_s* end) {
    const RING_node_s* j = network->first;
    for (int i = 0; i < network->count; ++i, j = j->next) {
        const RING_header_s* sub = RING_ask_node_subring(j);
        const RING_node_s* n = sub->first;
        for (int k = 0; k < sub->count; ++k, n = n->next)
            if (n == end) return j;
    }
    return nullptr;
}

TEST_F(BoolTrimTest, ParentsComeFromOneLevelUpAndGroupsCarryTheirPieces) {
    EXPECT_EQ(engine->GetNumResults(), 0);
    EXPECT_EQ(engine->GetResultParentNode(0), nullptr);
    EXPECT_EQ(engine->GetResultParentNode(1), nullptr);
    EXPECT_EQ(engine->CreateResultChains(1), nullptr);
    Build();
    // Each square is cut by the trim rectangle into four pieces.
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        engine->FindParents(squares[c]);
        const int groups = engine->GetNumResults();
        ASSERT_GE(groups, 1);
        EXPECT_EQ(engine->GetResultParentNode(0), nullptr);
        EXPECT_EQ(engine->GetResultParentNode(groups + 1), nullptr);
        EXPECT_EQ(engine->CreateResultChains(0), nullptr);
        EXPECT_EQ(engine->CreateResultChains(groups + 1), nullptr);
        int pieces = 0, with_parent = 0;
        for (int g = 1; g <= groups; ++g) {
            const RING_node_s* parent = engine->GetResultParentNode(g);
            if (parent) {
                ++with_parent;
                EXPECT_EQ(SourceOf(parent), squares[c - 1]);
            }
            RING_header_s* set = engine->CreateResultChains(g);
            ASSERT_NE(set, nullptr);
            const RING_node_s* n = set->first;
            for (int k = 0; k < set->count; ++k, n = n->next, ++pieces) {
                const RING_header_s* chain = RING_ask_node_subring(n);
                const auto* end = static_cast<const RING_node_s*>(
                    APP_DATA__ask_app_data(chain->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
                ASSERT_NE(end, nullptr);
                EXPECT_EQ(SourceOf(end), squares[c]);
                EXPECT_EQ(static_cast<const SPLIT_CHAIN_s*>(end->main_data)->reversed, 0);
            }
        }
        EXPECT_EQ(pieces, 4);
        EXPECT_GT(pellam_test::merge_split_calls(), 0);
        pellam_test::clear_merge_split_calls();
        // The outermost square has nothing one level up; the inner ones
        // reach the square around them.
        if (c == 0) EXPECT_EQ(with_parent, 0);
        else EXPECT_GE(with_parent, 1);
    }
}

TEST_F(BoolTrimTest, UncrossedClosedChainAndSearchesWithoutParentEndWithoutOne) {
    // A level-2 square far from the trim is one closed piece: no search, one
    // group without parent, its chain a copy of the whole square.  The level-1
    // square without a level-0 square around it only finds its way back to
    // where it started.
    RING_header_s* lone = ccw_rect(pool, 20, 20, 22, 22, LEFT);
    RING_put_header_app_data(lone, CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[2]);
    raw = list_of_chains(pool, {squares[1], lone});
    Build();
    engine->FindParents(lone);
    ASSERT_EQ(engine->GetNumResults(), 1);
    EXPECT_EQ(engine->GetResultParentNode(1), nullptr);
    RING_header_s* set = engine->CreateResultChains(1);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 1);
    EXPECT_EQ(RING_ask_node_subring(set->first)->count, 4);
    engine->FindParents(squares[1]);
    ASSERT_GE(engine->GetNumResults(), 1);
    for (int g = 1; g <= engine->GetNumResults(); ++g) EXPECT_EQ(engine->GetResultParentNode(g), nullptr);
    // A chain in neither set has no location.
    engine->FindParents(squares[0]);
    EXPECT_EQ(engine->GetNumResults(), 0);
}

TEST_F(BoolTrimTest, SiblingWalksWithoutParentEnd) {
    // Level-1 squares side by side in one trim band, nothing one level up:
    // the walk from sibling to sibling finds no parent and ends.
    std::vector<RING_header_s*> row;
    for (int k = 0; k < 3; ++k) {
        row.push_back(ccw_rect(pool, 3.0 * k, 0, 3.0 * k + 2, 2, LEFT));
        RING_put_header_app_data(row.back(), CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[1]);
    }
    raw = list_of_chains(pool, row);
    trims = list_of_chains(pool, {ccw_rect(pool, -1, 0.5, 10, 1.5, LEFT), ccw_rect(pool, -1, 0.8, 10, 1.2, RIGHT)});
    Build();
    for (RING_header_s* sq : row) {
        engine->FindParents(sq);
        ASSERT_GE(engine->GetNumResults(), 1);
        for (int g = 1; g <= engine->GetNumResults(); ++g) EXPECT_EQ(engine->GetResultParentNode(g), nullptr);
    }
}

TEST_F(BoolTrimTest, SiblingWalksReachTheParentAroundThem) {
    // Level-2 squares side by side in a trim band inside a level-1 square:
    // every parent found is the outer square, which the band's ends reach.
    std::vector<RING_header_s*> row;
    for (int k = 0; k < 3; ++k) {
        row.push_back(ccw_rect(pool, 3.0 * k, 0, 3.0 * k + 2, 2, LEFT));
        RING_put_header_app_data(row.back(), CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[2]);
    }
    RING_header_s* outer = ccw_rect(pool, -2, -2, 10, 4, LEFT);
    RING_put_header_app_data(outer, CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[1]);
    raw = list_of_chains(pool, {row[0], row[1], row[2], outer});
    trims = list_of_chains(pool, {ccw_rect(pool, -3, 0.5, 11, 1.5, LEFT)});
    Build();
    int with_parent = 0;
    for (RING_header_s* sq : row) {
        engine->FindParents(sq);
        for (int g = 1; g <= engine->GetNumResults(); ++g) {
            const RING_node_s* p = engine->GetResultParentNode(g);
            if (!p) continue;
            ++with_parent;
            EXPECT_EQ(SourceOf(p), outer);
        }
    }
    EXPECT_GE(with_parent, 2);
}

TEST_F(BoolTrimTest, NetworkErrorLeavesNoRawChainEthereal) {
    // The network builder rejects a one-segment open trim chain.
    RING_header_s* short_line = make_chain(pool, {P(-1, 3), L(12, 3)}, false);
    trims = list_of_chains(pool, {trim_rect, short_line});
    ASSERT_TRUE(engine->SetChainSets(raw, trims));
    EXPECT_ANY_THROW(engine->BuildNetwork());
    for (RING_header_s* sq : squares) EXPECT_EQ(data_of(sq)->ethereal, 0);
    // Clear, a new pair of sets and a rebuild work after the error.
    engine->Clear();
    EXPECT_FALSE(engine->HasRegions());
    EXPECT_FALSE(engine->BuildNetwork());
    trims = list_of_chains(pool, {trim_rect});
    Build();
    for (RING_header_s* sq : squares) EXPECT_EQ(data_of(sq)->ethereal, 0);
    engine->FindParents(squares[2]);
    EXPECT_GE(engine->GetNumResults(), 1);
    // A new SetChainSets drops the results with the network.
    ASSERT_TRUE(engine->SetChainSets(raw, trims));
    EXPECT_EQ(engine->GetNumResults(), 0);
    EXPECT_FALSE(engine->SetChainSets(raw, nullptr));
    EXPECT_FALSE(engine->HasRegions());
}

// Every location of the network (junction, end record).
std::vector<BoolTrimLoc> AllLocations(const RING_header_s* network) {
    std::vector<BoolTrimLoc> out;
    const RING_node_s* j = network->first;
    for (int i = 0; i < network->count; ++i, j = j->next) {
        const RING_header_s* sub = RING_ask_node_subring(j);
        RING_node_s* n = sub->first;
        for (int k = 0; k < sub->count; ++k, n = n->next) out.emplace_back(j, n);
    }
    return out;
}

TEST_F(BoolTrimTest, LocationsJudgeLevelsPiecesAndJunctions) {
    RING_header_s* lone = ccw_rect(pool, 20, 20, 22, 22, LEFT);
    RING_put_header_app_data(lone, CHAIN_APP_DATA_RAW_CHAIN_LEVEL, &levels[2]);
    raw = list_of_chains(pool, {squares[0], squares[1], squares[2], lone});
    Build();
    const std::vector<BoolTrimLoc> locs = AllLocations(static_cast<BoolTrim*>(engine.get())->GetNetwork());
    auto level = [&](const BoolTrimLoc& l) {
        for (int c = 0; c < 3; ++c)
            if (l.GetSourceChain() == squares[c]) return c;
        return l.GetSourceChain() == lone ? 2 : -1;
    };
    int closed_pieces = 0, parents = 0, siblings = 0;
    for (const BoolTrimLoc& a : locs) {
        EXPECT_NE(a.IsStartLoc(), a.IsEndLoc());
        EXPECT_EQ(a.HasRawSource(), level(a) >= 0);
        EXPECT_NE(a.HasRawSource(), a.HasTrimSource());
        EXPECT_EQ(a.GetNextPrimaryNode(), a.GetSplitChain()->far_junction);
        if (a.IsClosed()) {
            ++closed_pieces;
            EXPECT_EQ(a.GetSourceChain(), lone);
            RING_header_s* copy = a.CreateChain(pool, nullptr);
            ASSERT_NE(copy, nullptr);
            EXPECT_EQ(copy->count, 4);
            EXPECT_TRUE(chain_query_test::closed(copy));
            EXPECT_EQ(APP_DATA__ask_app_data(copy->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION), a.GetSecondaryNode());
        }
        for (const BoolTrimLoc& b : locs) {
            const bool same_piece = a.GetSplitChain()->piece == b.GetSplitChain()->piece;
            EXPECT_EQ(a.HasIdenticalPartOfChain(b), same_piece);
            EXPECT_EQ(a.IsEqual(b), &a == &b);
            const bool parent = level(a) >= 0 && level(b) == level(a) + 1;
            EXPECT_EQ(a.IsParentLoc(b), parent);
            const bool sibling = level(a) >= 0 && level(a) == level(b) && !same_piece;
            EXPECT_EQ(a.IsSiblingLoc(b), sibling);
            parents += parent;
            siblings += sibling;
        }
    }
    EXPECT_EQ(closed_pieces, 2);  // the two ends of the lone square's one piece
    EXPECT_GT(parents, 0);
    EXPECT_GT(siblings, 0);

    // Copies own a clone of the parent; a location with a parent is the
    // parent of its equal only.
    BoolTrimLoc a = locs[0];
    a.SetParentLoc(new BoolTrimLoc(locs[1]));
    BoolTrimLoc b(a);
    ASSERT_TRUE(b.HasParentLoc());
    EXPECT_NE(b.GetParentLoc(), a.GetParentLoc());
    EXPECT_TRUE(b.GetParentLoc()->IsEqual(locs[1]));
    BoolTrimLoc c = locs[2];
    c = a;
    c = *&c;
    EXPECT_TRUE(c.IsEqual(a));
    ASSERT_TRUE(c.HasParentLoc());
    EXPECT_NE(c.GetParentLoc(), a.GetParentLoc());
    EXPECT_TRUE(a.IsParentLoc(locs[0]));
    EXPECT_FALSE(a.IsParentLoc(locs[1]));
    a.SetParentLoc(nullptr);
    EXPECT_FALSE(a.HasParentLoc());
}

TEST_F(BoolTrimTest, SplitPointIsInAirWhenEveryTrimPieceThereIsOfTypeTwo) {
    Build();
    const std::vector<BoolTrimLoc> locs = AllLocations(static_cast<BoolTrim*>(engine.get())->GetNetwork());
    ASSERT_FALSE(locs.empty());
    const BoolTrimLoc& at = locs[0];  // every junction here has trim pieces
    struct Case {
        int type;
        bool allow3;
        bool in_air;
    };
    const Case cases[] = {{0, false, false}, {2, false, true}, {3, false, false}, {3, true, true}, {1, true, false}};
    for (const Case& c : cases) {
        pellam_test::reset_segment_geom_types();
        pellam_test::set_default_segment_geom_type(c.type);
        EXPECT_EQ(at.IsSplitPtInAir(c.allow3), c.in_air) << c.type << " " << c.allow3;
    }
    // One trim vertex of another type at the junction decides.
    pellam_test::set_default_segment_geom_type(2);
    const RING_header_s* sub = RING_ask_node_subring(at.GetPrimaryNode());
    const RING_node_s* n = sub->first;
    for (int k = 0; k < sub->count; ++k, n = n->next) {
        const BoolTrimLoc l(at.GetPrimaryNode(), const_cast<RING_node_s*>(n));
        if (!l.HasTrimSource()) continue;
        const SPLIT_CHAIN_s* s = l.GetSplitChain();
        pellam_test::set_segment_geom_type((s->reversed == 0 ? s->piece->start : s->piece->end)->node, 4);
        break;
    }
    EXPECT_FALSE(at.IsSplitPtInAir(true));
    pellam_test::reset_segment_geom_types();
    // An empty junction is in air.
    RING_header_s* empty = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    RING_node_s junction{empty, nullptr, nullptr, nullptr};
    EXPECT_TRUE(BoolTrimLoc(&junction, nullptr).IsSplitPtInAir(false));
}

TEST_F(BoolTrimTest, VertexMergeKeepsSegmentAndSplitVertexData) {
    RING_header_s* from = unit_square(pool);
    RING_header_s* to = unit_square(pool);
    int segment = 0, split = 0;
    RING_put_node_app_data(from, from->first, MCHN_SEGMENT_DATA_KEY, &segment);
    RING_put_node_app_data(from, from->first, APP_DATA_SPLIT_VERTEX_SOURCE, &split);
    EXPECT_EQ(MCHN_merge_segment_app_data_and_split_vertex_data(from->first, nullptr, from, to->first, to), 1);
    EXPECT_EQ(APP_DATA__ask_app_data(to->first->app_data, MCHN_SEGMENT_DATA_KEY), &segment);
    EXPECT_EQ(APP_DATA__ask_app_data(to->first->app_data, APP_DATA_SPLIT_VERTEX_SOURCE), &split);
    // A source without either leaves the vertex bare.
    EXPECT_EQ(MCHN_merge_segment_app_data_and_split_vertex_data(from->last, nullptr, from, to->last, to), 1);
    EXPECT_EQ(to->last->app_data, nullptr);
}

struct OtherContour : Korvo::Cam::TPContourBuilder {};
struct Builder : Korvo::Cam::ITPBuilder {
    explicit Builder(Korvo::Cam::TPContourBuilder* c) : contour(c) {}
    Korvo::Cam::TPContourBuilder* GetContourBuilder() override { return contour; }
    Korvo::Cam::TPContourBuilder* contour;
};

TEST_F(BoolTrimTest, CellsCountOnlyBuildersHoldingAChain) {
    Build();
    std::vector<Korvo::Cam::ITPBuilder*> none;
    std::vector<CellRecord> cells;
    std::vector<RING_header_s*> chains;
    engine->FindCells(none, squares[2], cells, chains);
    ASSERT_EQ(chains.size(), 4u);
    for (RING_header_s* c : chains) ASSERT_NE(c, nullptr);
    EXPECT_TRUE(cells.empty());  // no builder location: no cells

    // One builder per piece chain, and the same builders mixed with builders
    // of another contour type and without a chain.
    const RING_header_s* network = static_cast<BoolTrim*>(engine.get())->GetNetwork();
    std::vector<Korvo::Cam::TPPatternContourBuilder> patterns(chains.size() + 1);
    OtherContour other;
    std::vector<std::unique_ptr<Builder>> owned;
    std::vector<Korvo::Cam::ITPBuilder*> plain, mixed;
    owned.emplace_back(new Builder(&other));
    mixed.push_back(owned.back().get());
    owned.emplace_back(new Builder(&patterns.back()));
    mixed.push_back(owned.back().get());
    for (size_t i = 0; i < chains.size(); ++i) {
        const auto* end = static_cast<const RING_node_s*>(
            APP_DATA__ask_app_data(chains[i]->app_data, CHAIN_APP_DATA_SPLIT_JUNCTION));
        patterns[i].m_chain = chains[i];
        patterns[i].m_junction = JunctionOf(network, end);
        ASSERT_NE(patterns[i].m_junction, nullptr);
        owned.emplace_back(new Builder(&patterns[i]));
        plain.push_back(owned.back().get());
        mixed.push_back(owned.back().get());
        owned.emplace_back(new Builder(nullptr));
        mixed.push_back(owned.back().get());
    }
    std::vector<CellRecord> expected, got;
    std::vector<RING_header_s*> more;
    engine->FindCells(plain, squares[2], expected, more);
    engine->FindCells(mixed, squares[2], got, more);
    // Cells cover the pieces in order, once each.
    int next = 0, found = 0;
    for (const CellRecord& c : expected) {
        EXPECT_EQ(c.firstPiece, next);
        EXPECT_GE(c.lastPiece, c.firstPiece);
        next = c.lastPiece + 1;
        found += c.firstBuilder >= 0;
    }
    EXPECT_EQ(next, 4);
    EXPECT_GE(found, 1);  // a cell that names its builders
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].firstBuilder, expected[k].firstBuilder) << k;
        EXPECT_EQ(got[k].lastBuilder, expected[k].lastBuilder) << k;
        EXPECT_EQ(got[k].firstPiece, expected[k].firstPiece) << k;
        EXPECT_EQ(got[k].lastPiece, expected[k].lastPiece) << k;
    }
}

}  // namespace

// The pieces of a nested square group by their parent location: each piece
// inside the trim band finds the band piece of the square one level up on its
// own side, so the two band pieces stand in two groups with two parents; the
// pieces outside the band find none and share one group without parent.
TEST_F(BoolTrimTest, NestedSquaresGroupPiecesByTheirParentLocation) {
    Build();
    auto xs_of = [](const RING_header_s* chain) {
        std::vector<double> xs;
        const RING_node_s* v = chain->first;
        for (int k = 0; k < chain->count; ++k, v = v->next) xs.push_back(point_of(v)[0]);
        return xs;
    };
    auto in_band = [](const RING_header_s* chain) {
        const RING_node_s* v = chain->first;
        for (int k = 0; k < chain->count; ++k, v = v->next)
            if (point_of(v)[1] < 4.5 || point_of(v)[1] > 5.5) return false;
        return true;
    };
    for (int c = 1; c < 3; ++c) {
        SCOPED_TRACE(c);
        const double lo = 2.0 * c, hi = 10.0 - 2.0 * c;  // the square's sides
        engine->FindParents(squares[c]);
        ASSERT_EQ(engine->GetNumResults(), 3);
        int parentless = 0, band_groups = 0;
        std::vector<double> parent_sides;
        for (int g = 1; g <= 3; ++g) {
            RING_header_s* set = engine->CreateResultChains(g);
            ASSERT_NE(set, nullptr);
            const RING_node_s* parent = engine->GetResultParentNode(g);
            if (!parent) {
                ++parentless;
                ASSERT_EQ(set->count, 2);
                for (const RING_node_s* n = set->first; n; n = n == set->last ? nullptr : n->next)
                    EXPECT_FALSE(in_band(RING_ask_node_subring(n)));
                continue;
            }
            ++band_groups;
            ASSERT_EQ(set->count, 1);
            const RING_header_s* piece = RING_ask_node_subring(set->first);
            ASSERT_TRUE(in_band(piece));
            const std::vector<double> xs = xs_of(piece);
            ASSERT_FALSE(xs.empty());
            for (double x : xs) EXPECT_EQ(x, xs[0]);
            EXPECT_TRUE(xs[0] == lo || xs[0] == hi);
            // The parent is the band piece of the square around, on this side.
            EXPECT_EQ(SourceOf(parent), squares[c - 1]);
            RING_header_s* parent_chain = CHAIN_create_splitchain_chain(parent, pool, nullptr);
            ASSERT_NE(parent_chain, nullptr);
            EXPECT_TRUE(in_band(parent_chain));
            for (double x : xs_of(parent_chain)) EXPECT_EQ(x, xs[0] == lo ? lo - 2.0 : hi + 2.0);
            parent_sides.push_back(xs[0]);
        }
        EXPECT_EQ(parentless, 1);
        EXPECT_EQ(band_groups, 2);
        ASSERT_EQ(parent_sides.size(), 2u);
        EXPECT_NE(parent_sides[0], parent_sides[1]);
    }
}

// A location draws its split chain in its colour, and its parent's split
// chain in the parent colour only when that colour is given.
TEST_F(BoolTrimTest, DisplayDrawsTheSplitChainAndOnRequestItsParent) {
    Build();
    engine->FindParents(squares[2]);
    const std::vector<BoolTrimLoc> locs = AllLocations(static_cast<BoolTrim*>(engine.get())->GetNetwork());
    const RING_node_s* parent_node = nullptr;
    for (int g = 1; g <= engine->GetNumResults() && !parent_node; ++g) parent_node = engine->GetResultParentNode(g);
    ASSERT_NE(parent_node, nullptr);
    const BoolTrimLoc* child = nullptr;
    const BoolTrimLoc* parent = nullptr;
    for (const BoolTrimLoc& l : locs) {
        if (l.GetSecondaryNode() == parent_node) parent = &l;
        if (!child && l.GetSourceChain() == squares[2]) child = &l;
    }
    ASSERT_NE(parent, nullptr);
    ASSERT_NE(child, nullptr);
    BoolTrimLoc loc(*child);
    loc.SetParentLoc(new BoolTrimLoc(*parent));
    auto colours = [] {
        std::vector<int> seen;
        for (const auto& call : glimra_test::calls())
            if (call.op == "color" || call.op == "polyline" || call.op == "arc")
                if (!call.ints.empty()) seen.push_back(call.ints[0]);
        return seen;
    };
    const int parent_colour = 7;
    glimra_test::clear();
    loc.Display(5, nullptr);
    std::vector<int> drawn = colours();
    ASSERT_FALSE(drawn.empty());
    for (int c : drawn) EXPECT_EQ(c, 5);
    glimra_test::clear();
    loc.Display(5, &parent_colour);
    drawn = colours();
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), 5), drawn.end());
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), 7), drawn.end());
    glimra_test::clear();
}
