// The poly-segment XML reader: documents written by POLY_SEG_render_xml read
// back as the same rings and write again byte for byte; only finished polys
// come back from broken, truncated or wrongly nested documents, each equal
// to its original; bad numbers stop the reading with a note.
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <merrow1/legacy/poly_seg_xml.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/poly_seg.h>

#include <stend/system.h>
#include <stend/testing.h>
#include <velte/cmem.h>
#include <velte/ring.h>
#include <velte/testing.h>

#include <random>
#include <string>
#include <vector>

namespace {

using legacy_test::ScratchDir;
using legacy_test::read_file;
using legacy_test::write_file;

// A poly as the test describes it: its piece ends and arc parameters in
// ring order.  An open poly's first end is its start point (a line).
struct PolyDesc {
    bool closed;
    std::vector<PNT2_s> ends;
    std::vector<double> hs;
};

std::vector<RING_node_s*> nodes(const RING_header_s* ring) {
    std::vector<RING_node_s*> out;
    RING_node_s* n = ring ? ring->first : nullptr;
    for (int i = 0; n && i < ring->count; ++i, n = n->next) out.push_back(n);
    return out;
}

const LINE_ARC_SEG_s* seg(const RING_node_s* n) { return static_cast<const LINE_ARC_SEG_s*>(n->main_data); }

// Every poly of a set of sets, set by set.
std::vector<RING_header_s*> polys_of(const RING_header_s* set_of_sets) {
    std::vector<RING_header_s*> out;
    for (RING_node_s* s : nodes(set_of_sets))
        for (RING_node_s* p : nodes(RING_ask_node_subring(s))) out.push_back(RING_ask_node_subring(p));
    return out;
}

// Piece by piece: count, closedness, end points, arc parameters and arc
// centre vectors, all exact.
void expect_equal_polys(const RING_header_s* got, const RING_header_s* want) {
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->count, want->count);
    EXPECT_EQ(POLY_SEG_is_closed(got), POLY_SEG_is_closed(want));
    const auto g = nodes(got), w = nodes(want);
    for (size_t i = 0; i < g.size(); ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        EXPECT_EQ(seg(g[i])->x, seg(w[i])->x);
        EXPECT_EQ(seg(g[i])->y, seg(w[i])->y);
        EXPECT_EQ(seg(g[i])->h, seg(w[i])->h);
        if (LINE_ARC_SEG_is_arc(seg(w[i]))) {
            EXPECT_EQ(seg(g[i])->cx, seg(w[i])->cx);
            EXPECT_EQ(seg(g[i])->cy, seg(w[i])->cy);
        }
    }
    if (POLY_SEG_is_closed(got) && got->first) {
        EXPECT_EQ(got->first->previous, got->last);
    }
}

class PolySegXml : public ::testing::Test {
protected:
    void SetUp() override { pool = CMEM_private_create_pool(0, "xml test", __LINE__, __FILE__); }
    void TearDown() override { CMEM_private_delete_pool(pool); }

    // The poly of a description, each piece made from the previous end (a
    // closed poly's first from its last end).
    RING_header_s* make(const PolyDesc& d) {
        RING_header_s* p = POLY_SEG_create(pool);
        const size_t n = d.ends.size();
        for (size_t i = 0; i < n; ++i) {
            const PNT2_s* start = i > 0 ? &d.ends[i - 1] : d.closed ? &d.ends[n - 1] : nullptr;
            RING_insert_after(p, p->last, LINE_ARC_SEG_create(pool, start, &d.ends[i], d.hs[i]));
        }
        if (d.closed && p->first) {
            p->last->next = p->first;
            p->first->previous = p->last;
        }
        return p;
    }
    RING_header_s* make_set(const std::vector<PolyDesc>& descs) {
        RING_header_s* s = POLY_SEG_create_set(pool, Korvo::Cam::MaterialAtInfinityUndetermined);
        for (const PolyDesc& d : descs) POLY_SEG_append_to_set(s, make(d));
        return s;
    }
    // The document POLY_SEG_render_xml writes for the set.
    std::string render(const RING_header_s* set) {
        const std::string path = dir.file("render.xml");
        POLY_SEG_render_xml(set, path.c_str());
        return read_file(path);
    }
    // The text read into a fresh set of sets.
    RING_header_s* read_text(const std::string& text) {
        const std::string path = dir.file("in.xml");
        write_file(path, text);
        RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
        POLY_SEG_read_xml(sets, path.c_str());
        return sets;
    }

    CMEM_pool_s* pool = nullptr;
    ScratchDir dir;
};

// Random closed polys (some starting with an arc, some with the clockwise
// half circle), open polys and empty polys.
PolyDesc random_poly(std::mt19937& rng) {
    std::uniform_real_distribution<double> coord(-1000.0, 1000.0);
    std::uniform_real_distribution<double> bulge(-3.0, 3.0);
    std::uniform_int_distribution<int> kind(0, 9), count(1, 9), piece(0, 5);
    PolyDesc d{kind(rng) < 6, {}, {}};
    if (kind(rng) == 0) return PolyDesc{false, {}, {}};  // empty
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
        d.ends.push_back(PNT2_s{coord(rng), coord(rng)});
        const int p = piece(rng);
        double h = p < 3 ? LINE_ARC_SEG_LINE_H : p == 3 ? LINE_ARC_SEG_CW_HALF_CIRCLE_H : bulge(rng);
        if (!d.closed && i == 0) h = LINE_ARC_SEG_LINE_H;  // an open poly's start point
        d.hs.push_back(h);
    }
    return d;
}

TEST_F(PolySegXml, RenderedSetsReadBackAsTheSameRingsAndRenderAgainByteForByte) {
    std::mt19937 rng(45);
    std::uniform_int_distribution<int> set_count(1, 4), poly_count(0, 6);
    int closed_arc_first = 0, open = 0, empty = 0;
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        std::vector<RING_header_s*> sets;
        std::string document;
        std::vector<std::string> documents;
        const int n = set_count(rng);
        for (int s = 0; s < n; ++s) {
            std::vector<PolyDesc> descs;
            for (int p = poly_count(rng); p > 0; --p) {
                descs.push_back(random_poly(rng));
                const PolyDesc& d = descs.back();
                closed_arc_first += d.closed && !d.hs.empty() && d.hs[0] < 1e100;
                open += !d.closed && !d.ends.empty();
                empty += d.ends.empty();
            }
            sets.push_back(make_set(descs));
            documents.push_back(render(sets.back()));
            document += documents.back();  // several sets: one document after another
        }
        RING_header_s* read = read_text(document);
        ASSERT_EQ(read->count, n);
        const auto read_sets = nodes(read);
        for (int s = 0; s < n; ++s) {
            RING_header_s* got = RING_ask_node_subring(read_sets[s]);
            EXPECT_EQ(render(got), documents[s]);
            const auto g = nodes(got), w = nodes(sets[s]);
            ASSERT_EQ(g.size(), w.size());
            for (size_t p = 0; p < g.size(); ++p)
                expect_equal_polys(RING_ask_node_subring(g[p]), RING_ask_node_subring(w[p]));
        }
    }
    EXPECT_GT(closed_arc_first, 10);
    EXPECT_GT(open, 10);
    EXPECT_GT(empty, 3);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
}

// A small document of two sets: its polys and the offsets where each one's
// "</PolySeg>" ends.
struct TwoSets {
    std::vector<PolyDesc> first{
        {true, {{0, 0}, {4, 0}, {4, 3}}, {0.25, 1e101, 1e101}},
        {false, {{1, 1}, {2, 2}}, {1e101, -0.5}},
    };
    std::vector<PolyDesc> second{
        {true, {{5, 5}, {6, 5}, {6, 6}, {5, 6}}, {1e101, 1e101, 1e101, 1e101}},
    };
};

TEST_F(PolySegXml, EveryPrefixOfADocumentGivesBackItsFinishedPolysOnly) {
    TwoSets t;
    RING_header_s* a = make_set(t.first);
    RING_header_s* b = make_set(t.second);
    const std::string document = render(a) + render(b);
    std::vector<RING_header_s*> originals;
    for (RING_header_s* s : {a, b})
        for (RING_node_s* n : nodes(s)) originals.push_back(RING_ask_node_subring(n));
    std::vector<size_t> finished_at;
    for (size_t at = document.find("</PolySeg>"); at != std::string::npos; at = document.find("</PolySeg>", at + 1))
        finished_at.push_back(at + std::string("</PolySeg>").size());
    ASSERT_EQ(finished_at.size(), originals.size());

    for (size_t length = 0; length <= document.size(); ++length) {
        SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
        const long objects = velte_test::live_object_count();
        RING_header_s* sets = read_text(document.substr(0, length));
        const auto got = polys_of(sets);
        size_t want = 0;
        while (want < finished_at.size() && finished_at[want] <= length) ++want;
        ASSERT_EQ(got.size(), want);
        for (size_t i = 0; i < want; ++i) expect_equal_polys(got[i], originals[i]);
        // A dropped poly was freed, not only unlinked: nothing stays behind.
        RING_delete(sets);
        EXPECT_EQ(velte_test::live_object_count(), objects);
    }
}

TEST_F(PolySegXml, WrongNestingIsIgnoredAndUnfinishedPolysAreDroppedWithANote) {
    const std::string square = " <LineArcSeg> 1 0 1e101 </LineArcSeg> <LineArcSeg> 1 1 1e101 </LineArcSeg>"
                               " <LineArcSeg> 0 1 1e101 </LineArcSeg> <LineArcSeg> 0 0 1e101 </LineArcSeg> ";
    const std::string closed = " <PolySeg closed=true>" + square + "</PolySeg> ";
    struct Row {
        const char* name;
        std::string text;
        std::vector<int> polys_per_set;  // finished polys of each set read
        int notes;
    };
    const Row rows[] = {
        {"a missing </PolySeg> before the next <PolySeg",
         "<RegionSet> <PolySeg closed=true>" + square + closed + " </RegionSet>", {1}, 1},
        {"</RegionSet> inside a poly", "<RegionSet> <PolySeg closed=true>" + square + "</RegionSet>" + closed, {0}, 1},
        {"<RegionSet> inside a poly", "<RegionSet> <PolySeg closed=true>" + square + "<RegionSet>" + closed,
         {0, 1}, 1},
        {"the end of the file inside a poly", "<RegionSet>" + closed + "<PolySeg closed=false>" + square, {1}, 1},
        {"<LineArcSeg> outside a poly", "<RegionSet> <LineArcSeg> 7 7 1e101 </LineArcSeg>" + closed, {1}, 0},
        {"<PolySeg outside a set", closed + "<RegionSet>" + closed + "</RegionSet>" + closed, {1}, 0},
        {"stray elements and attributes",
         "<?xml version=\"1.0\"?> <Foo> closed=true> <RegionSet> <Bar/> "
         "<PolySeg closed=true> <Baz>" + square + "</Baz> </PolySeg> </RegionSet> </Foo>",
         {1}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        stend_test::clear();
        RING_header_s* sets = read_text(row.text);
        const auto set_nodes = nodes(sets);
        ASSERT_EQ(set_nodes.size(), row.polys_per_set.size());
        RING_header_s* want = make(PolyDesc{true, {{1, 0}, {1, 1}, {0, 1}, {0, 0}}, {1e101, 1e101, 1e101, 1e101}});
        for (size_t s = 0; s < set_nodes.size(); ++s) {
            const auto polys = nodes(RING_ask_node_subring(set_nodes[s]));
            ASSERT_EQ(static_cast<int>(polys.size()), row.polys_per_set[s]);
            for (RING_node_s* p : polys) expect_equal_polys(RING_ask_node_subring(p), want);
        }
        const auto notes = stend_test::texts(stend_test::Kind::Note);
        ASSERT_EQ(static_cast<int>(notes.size()), row.notes);
        for (const std::string& note : notes) {
            EXPECT_NE(note.find(dir.file("in.xml")), std::string::npos) << note;
            EXPECT_NE(note.find("unfinished <PolySeg> dropped"), std::string::npos) << note;
        }
    }
}

TEST_F(PolySegXml, ANumberThatIsNotAFiniteNumberStopsTheReading) {
    const std::string kept = "<RegionSet> <PolySeg closed=false> <LineArcSeg> 0 0 1e101 </LineArcSeg>"
                             " <LineArcSeg> 1 0 1e101 </LineArcSeg> </PolySeg>";
    const std::string after = " </LineArcSeg> </PolySeg> <PolySeg closed=false> <LineArcSeg> 5 5 1e101 </LineArcSeg>"
                              " </PolySeg> </RegionSet>";
    const std::string longest(64 * 1024, '7');
    for (const std::string bad : {"abc", "1e", "nan", "inf", "-inf", "1e999", "", "</LineArcSeg>", longest.c_str()}) {
        for (int place = 0; place < 3; ++place) {
            SCOPED_TRACE("'" + bad.substr(0, 16) + "' as number " + std::to_string(place));
            std::string numbers[3] = {"2", "3", "1e101"};
            numbers[place] = bad;
            stend_test::clear();
            RING_header_s* sets = read_text(kept + " <PolySeg closed=true> <LineArcSeg> 9 9 1e101 </LineArcSeg>"
                                                   " <LineArcSeg> " +
                                            numbers[0] + " " + numbers[1] + " " + numbers[2] + after);
            const auto polys = polys_of(sets);
            ASSERT_EQ(polys.size(), 1u);
            expect_equal_polys(polys[0], make(PolyDesc{false, {{0, 0}, {1, 0}}, {1e101, 1e101}}));
            const auto notes = stend_test::texts(stend_test::Kind::Note);
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_NE(notes[0].find(dir.file("in.xml")), std::string::npos);
            EXPECT_NE(notes[0].find("reading stopped"), std::string::npos);
        }
    }
    // The end of the file among the numbers stops the reading too.
    stend_test::clear();
    EXPECT_EQ(polys_of(read_text(kept + " <PolySeg closed=false> <LineArcSeg> 1 2")).size(), 1u);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 1u);
}

TEST_F(PolySegXml, ATokenTooLongForTheBufferIsIgnoredLikeAnyUnknownToken) {
    const std::string huge = "<" + std::string(64 * 1024, 'x') + ">";
    RING_header_s* sets = read_text("<RegionSet> " + huge + " <PolySeg closed=false> " + huge +
                                    " <LineArcSeg> 0 0 1e101 </LineArcSeg> " + huge +
                                    " <LineArcSeg> 1 0 1e101 </LineArcSeg> </PolySeg> </RegionSet>" + huge);
    const auto polys = polys_of(sets);
    ASSERT_EQ(polys.size(), 1u);
    expect_equal_polys(polys[0], make(PolyDesc{false, {{0, 0}, {1, 0}}, {1e101, 1e101}}));
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
}

TEST_F(PolySegXml, FirstPiecesAndEmptyPolys) {
    // An open poly whose first piece carries an arc parameter starts with a
    // line start at that point.
    auto polys = polys_of(read_text("<RegionSet> <PolySeg closed=false> <LineArcSeg> 1 2 0.5 </LineArcSeg>"
                                    " <LineArcSeg> 3 4 0.25 </LineArcSeg> </PolySeg> </RegionSet>"));
    ASSERT_EQ(polys.size(), 1u);
    expect_equal_polys(polys[0], make(PolyDesc{false, {{1, 2}, {3, 4}}, {1e101, 0.25}}));

    // A closed poly without pieces is kept empty and unlinked; one whose only
    // piece is an arc gets it from its own end point.
    polys = polys_of(read_text("<RegionSet> <PolySeg closed=true> </PolySeg> <PolySeg closed=true>"
                               " <LineArcSeg> 1 2 0.5 </LineArcSeg> </PolySeg> </RegionSet>"));
    ASSERT_EQ(polys.size(), 2u);
    EXPECT_EQ(polys[0]->count, 0);
    EXPECT_EQ(polys[0]->first, nullptr);
    expect_equal_polys(polys[1], make(PolyDesc{true, {{1, 2}}, {0.5}}));

    // A missing file and an empty file give nothing and no note.
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_read_xml(sets, dir.file("missing.xml").c_str());
    EXPECT_EQ(sets->count, 0);
    EXPECT_EQ(read_text("")->count, 0);
    EXPECT_TRUE(stend_test::texts(stend_test::Kind::Note).empty());
}

TEST_F(PolySegXml, NullArgumentsAndAChainAsTheSetOfSetsAreFailedPreconditions) {
    MACH__checking_level = 1;
    write_file(dir.file("in.xml"), "<RegionSet> </RegionSet>");
    RING_header_s* sets = POLY_SEG_create_set_of_sets(pool);
    POLY_SEG_read_xml(nullptr, dir.file("in.xml").c_str());
    POLY_SEG_read_xml(sets, nullptr);
    RING_header_s* chain = RING_create_in_pool(nullptr, RING_TYPE_CHAIN, pool);
    POLY_SEG_read_xml(chain, dir.file("in.xml").c_str());
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note).size(), 3u);
    EXPECT_EQ(sets->count, 0);
    EXPECT_EQ(chain->count, 0);
}

TEST_F(PolySegXml, ADocumentOfTwoHundredThousandPiecesReadsCompletely) {
    const int n = 200000;
    std::string text = "<RegionSet>\n   <PolySeg closed=true>\n";
    char line[96];
    for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "      <LineArcSeg> %d %d %s </LineArcSeg>\n", i, i % 2,
                      i % 3 == 0 ? "0.125" : "1e101");
        text += line;
    }
    text += "   </PolySeg>\n</RegionSet>\n";
    const auto polys = polys_of(read_text(text));
    ASSERT_EQ(polys.size(), 1u);
    EXPECT_EQ(polys[0]->count, n);
    EXPECT_TRUE(POLY_SEG_is_closed(polys[0]));
    EXPECT_EQ(seg(polys[0]->last)->x, n - 1);
}

}  // namespace
