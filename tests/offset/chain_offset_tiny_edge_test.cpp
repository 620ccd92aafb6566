// Offsets of polygons with an edge about 1e-7 long: every result point lies
// at |d| from the input within the host length tolerance round the corners,
// and no nearer than |d| less that tolerance with every corner control, on
// both engines; measured by brute force in long double.
#include "chainops/region_oracle.h"
#include "offset/trace_fixture.h"

#include <gtest/gtest.h>
#include <merrow1/chain_offset.h>
#include <stend/system.h>

#include <cmath>
#include <string>
#include <vector>

using namespace trace_test;

namespace {


class OffsetTinyEdge : public trace_test::EnginePoolTest {};

struct Polygon {
    const char* what;  // the oracle's case
    std::vector<Vertex> vertices;
    SIDE side;
    double offset;  // signed, as passed to the offset
};

// Random polygons of the oracle's tiny-segment family, each with one edge
// about 1.2e-7 long, offset at the signed distance given.  The offsets about
// the short edge's two ends are circles of one radius about nearly one
// centre, crossing at an angle of about length / d: the trace joined them by
// an arc about each end with the short edge's offset between, and the cleans
// placed their crossings wrongly.  The newer engine kept slivers of those
// joins (a point 0.2 nearer than d), the older one cut a loop at the wrong
// crossing (a notch 0.12 deep) and, with broken corners, the stocked walk
// left notches 0.01 to 0.1 deep on both engines.
const Polygon kPolygons[] = {
    {"case 0", {{-0.2084123451609525, 0.80695993032614555}, {-1.1360858776915239, 0.78181026544757481}, {-0.65824773889354204, 0.33577605992397086}, {-0.8021780277769871, -0.49643949297113504}, {-0.80217812103201269, -0.49643956849265647}, {0.71807842096948549, -0.071747293507592805}}, RIGHT, -0.48735112722707169},
    {"case 2", {{-1.0721633764243761, 0.87974309313582177}, {-1.0767258991584774, 0.19063832614108486}, {-0.41341819983193689, -0.84072621786738622}, {-0.4134181266970246, -0.84072612272914682}, {0.88663207440541014, -0.30041863844091848}, {0.8506964754340578, -0.19371033160290621}}, RIGHT, -0.15310268338840458},
    {"case 3", {{0.5927339496258005, 0.85522665329738223}, {0.59273403151578075, 0.85522674101300877}, {-0.69948645277516119, 1.083642032244557}, {-0.83377113732048724, 0.65409685498389625}, {-0.02222513393237081, -0.67650195579035932}, {0.62536279021122454, -0.65873310305067734}}, LEFT, -0.14438236254058387},
    {"case 8", {{-0.88432335332411649, -0.25350025653393704}, {-0.68313492545283472, -0.36899201255096364}, {-0.95540609854243663, -0.92868670285994337}, {0.1963194750989895, -1.0435707927659175}, {0.44251654664280315, -0.87064086927328965}, {0.30459519411646968, -0.55369940812574203}, {0.30459514843099306, -0.55369951908896664}}, LEFT, -0.10719954224386848},
    {"case 10", {{0.86421583822661152, 0.15973869245969119}, {0.6237923264248536, 0.56243070656534611}, {-0.47834612257094822, 0.81851492811248383}, {-0.57124291403652072, 0.483480900208202}, {-0.98772077653615964, 0.39685781589487718}, {-0.98772089650587769, 0.39685781859057079}, {0.16651728698217333, -1.2737089958985659}, {1.3373342185557275, -0.35419854121055389}}, LEFT, -0.35257656091535394},
    {"case 18", {{1.0679001078177048, 0.2421488404961957}, {1.0248319638736181, 0.91291410627545455}, {-1.1547282724791506, -0.54231665513484728}, {-0.88343689176608742, -0.96592119741251659}, {-0.30630223760940117, -0.5256103326944741}, {-0.30630216895565776, -0.52561043111532313}, {0.47497493966963711, -1.1065975308272209}}, LEFT, -0.16287907312905514},
    {"case 20", {{0.84666548732108859, 0.21519163230724095}, {0.84666560727742712, 0.21519162907044589}, {0.34694110189636662, 1.3230844006948246}, {-1.3014066472760801, 0.36902923217217665}, {-0.9380458942983233, -0.35366934604667954}}, LEFT, -0.04121398692171907},
    {"case 46", {{0.61664114690685456, 0.010557786681371398}, {0.10502165869494884, 1.0288920661402112}, {-0.49312011017677376, 0.40985899703411188}, {-1.1241010872085728, -0.042936774983158454}, {-1.1241011859536871, -0.042936843169685143}, {-0.69507411806858943, -0.65847588205112517}, {0.57712747670163667, -0.72775342229179119}, {0.591693327652283, -0.13257663723592439}}, LEFT, -0.10439035559083831},
    {"case 50", {{1.2835242440675718, 0.41441376895189119}, {0.012021698761727425, 0.96696053025234685}, {-0.37217763294429557, -0.84762691239723897}, {-0.37217760146620105, -0.84762679659944296}, {-0.11996929526202099, -0.66039468746158303}, {0.65800158148950383, -0.24093472685227321}}, LEFT, 0.058486947125042273},
    {"case 103", {{1.2814843559850499, 0.10048925282857443}, {0.8020232625975513, 0.24064166733917494}, {0.1992760064490646, 1.2408822152667718}, {0.31988487395981552, -0.7304582093726627}, {0.31988487498013951, -0.73045808937700052}}, RIGHT, -0.028394393026071503},
};

// Every control on both engines gives an offset (the offset exists at these
// distances: the inscribed radius is larger), no point of it nearer than d
// less the tolerance, and round the corners no point farther than d plus it.
TEST_F(OffsetTinyEdge, OffsetsStayAtTheDistance) {
    const long double tolerance = EQ_ask_length_tolerance();
    for (const Polygon& p : kPolygons) {
        RING_header_s* chain = appended_chain(pool, p.vertices, true, p.side);
        const std::vector<Seg> source = segments_of(chain);
        const double d = std::fabs(p.offset);
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls) {
                SCOPED_TRACE(std::string(p.what) + (newer ? ", newer" : ", older") + " engine, control " +
                             std::to_string(control));
                RING_header_s* list =
                    CHAIN_offset(chain, p.offset, control, p.side, nullptr, nullptr, nullptr, pool, nullptr);
                ASSERT_NE(list, nullptr);
                EXPECT_EQ(list->count, 1);
                const Reach r = reach_of(list, source);
                EXPECT_GE(r.nearest, d - tolerance);
                if (control == ADD_ARC) {
                    EXPECT_LE(r.farthest, d + tolerance);
                }
            }
        }
    }
}

// Open chains with a short segment between two corners, and at each end,
// offset to both sides: the corner across a short segment is joined as one,
// at an end the cap turns about the end.  A short first segment made the
// older engine return nothing at +d and the newer one a result 0.0004 from
// the chain: its there-and-back closing meets itself across the two copies
// of that segment.
TEST_F(OffsetTinyEdge, OpenChainsWithShortSegments) {
    struct Open {
        const char* what;
        std::vector<Vertex> vertices;
    };
    const Open table[] = {
        {"inner, slight turns", {{0, 0}, {1, 0}, {1.0000001, 0.00000005}, {2, 0.7}}},
        {"inner, sharp turns", {{0, 0}, {1, 0}, {1.00000008, 0.00000008}, {0.2, 0.9}}},
        {"at the start", {{0, 0}, {0.0000001, 0.00000003}, {1, 0.4}, {1.5, -0.2}}},
        {"at the end", {{0, 0}, {1, 0.4}, {1.5, -0.2}, {1.50000009, -0.20000004}}},
    };
    const long double tolerance = EQ_ask_length_tolerance();
    const double d = 0.125;
    for (const Open& o : table) {
        RING_header_s* chain = appended_chain(pool, o.vertices, false, LEFT);
        const std::vector<Seg> source = segments_of(chain);
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            for (CORNER_CONTROL control : kControls)
                for (double sign : {1.0, -1.0}) {
                    SCOPED_TRACE(std::string(o.what) + (newer ? ", newer" : ", older") + " engine, control " +
                                 std::to_string(control) + (sign < 0 ? ", -d" : ", +d"));
                    RING_header_s* list =
                        CHAIN_offset(chain, sign * d, control, LEFT, nullptr, nullptr, nullptr, pool, nullptr);
                    ASSERT_NE(list, nullptr);
                    const Reach r = reach_of(list, source);
                    EXPECT_GE(r.nearest, d - tolerance);
                    if (control == ADD_ARC) {
                        EXPECT_LE(r.farthest, d + tolerance);
                    }
                }
        }
    }
}

}  // namespace

namespace {

// Corners extended without limit across a short edge: the extensions stop
// at that edge's offset, as when each of its two corners is extended, so
// the corner's material stays within what each of the two corners adds.  The
// oracle found the points below (farther from the source than either
// corner's tip reaches) inside the offset when the corner was extended to
// the meeting point of its neighbours' offsets.
TEST_F(OffsetTinyEdge, UnlimitedExtensionStopsAtTheShortEdgesOffset) {
    struct Case {
        Polygon polygon;
        double free_x, free_y;  // a point the offset leaves free
    };
    const Case table[] = {
        {{"case 45",
          {{0.9016764373811037, 0.073418462345852614}, {-0.87823376580468027, 0.50962269336944477},
           {0.22388323823104944, -1.349121335194807}, {1.0150191150690087, -0.54984465364696855},
           {1.1969766354616107, -0.64605311368567597}, {1.1969766439374425, -0.64605299398538241},
           {0.71684017521301713, -0.023104230988883187}},
          RIGHT, -0.031833819871204247},
         1.263841629100743, -0.71452871928860617},
        {{"case 55",
          {{1.0477322449588007, 0.66425059875008574}, {-0.38800767056100022, 0.5196000035815469},
           {-1.0199482415669692, 0.609717295362742}, {-1.1348670118939137, 0.36420749600449714},
           {-1.0342808613944812, -0.61351279763950151}, {0.79907867523328113, -1.0346676072185244},
           {0.79907872995277307, -1.0346675004206911}},
          RIGHT, -0.39523726322129543},
         1.1022648160557482, -1.4551995167617309},
    };
    const long double tolerance = EQ_ask_length_tolerance();
    for (const Case& c : table) {
        const Polygon& p = c.polygon;
        RING_header_s* chain = appended_chain(pool, p.vertices, true, p.side);
        const std::vector<Seg> source = segments_of(chain);
        for (bool newer : {false, true}) {
            CHAIN_set_new_boolean_flag(newer);
            SCOPED_TRACE(std::string(p.what) + (newer ? ", newer engine" : ", older engine"));
            RING_header_s* list =
                CHAIN_offset(chain, p.offset, ALWAYS_EXTEND_TANGENT, p.side, nullptr, nullptr, nullptr, pool, nullptr);
            ASSERT_NE(list, nullptr);
            const std::vector<RING_header_s*> chains = region_oracle::chains_in(list);
            ASSERT_EQ(chains.size(), 1u);
            const std::vector<Seg> result = segments_of(chains[0]);
            // The source lies inside its outward offset; the point does not.
            EXPECT_NE(winding(result, p.vertices[0].x, p.vertices[0].y), 0);
            EXPECT_EQ(winding(result, c.free_x, c.free_y), 0);
            EXPECT_GE(reach_of(list, source).nearest, std::fabs(p.offset) - tolerance);
        }
    }
}

}  // namespace
