// Cut-parameter defaults: the entry table, what each entry may write, the
// frame that turns a default row into a field value, and the wire-EDM events.
#include <gtest/gtest.h>

#include <merrow1/cpe.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <glimra/testing_color.h>
#include <pellam/global_records.h>
#include <pellam/testing_global_records.h>
#include <stend/system.h>
#include <stend/testing.h>
#include <string>
#include <vector>

#include "services/cpe_internal.h"

namespace {

struct EntryCase {
    void (*call)(void);
    const char* entry;
    const char* initialiser;
    std::vector<std::string> records;
};

// The host's table of entries, initialisers and the records each is handed.
const std::vector<EntryCase> kHostTable = {
    {pe1101, "pe1101", "CPE_init_global_machining", {"globap", "globat", "mchpnt"}},
    {pe1102, "pe1102", "CPE_init_global_mill", {"globap", "millgp"}},
    {pe1103, "pe1103", "CPE_init_global_lathe", {"globap", "lathep"}},
    {pe1210, "pe1210", "CPE_init_surface_contouring", {"globap", "globat", "millgp", "contup", "garea", "mdcmt"}},
    {pe1110, "pe1110", "CPE_init_planar_milling", {"globap", "millgp", "pockep", "mdcmt"}},
    {pe1260, "pe1260", "CPE_init_cavity_milling", {"globap", "globat", "millgp", "cavitp", "mdcmt"}},
    {pe1230, "pe1230", "CPE_init_paramline_milling", {"globap", "globat", "millgp", "plmp", "mdcmt", "garea"}},
    {pe1240, "pe1240", "CPE_init_zigzag_surface", {"zzsurp", "zzsurt", "globap", "globat", "millgp", "garea"}},
    {pe1220, "pe1220", "CPE_init_seq_surf_milling", {"globat", "millgp", "gssmp", "gssmt", "ssmeid", "mdcmt"}},
    {pe1310, "pe1310", "CPE_init_lathe_rough", {"globap", "globat", "lathep", "roughp", "rought"}},
    {pe1320, "pe1320", "CPE_init_lathe_finish", {"globap", "globat", "lathep", "finisp"}},
    {pe1340, "pe1340", "CPE_init_lathe_thread", {"globap", "globat", "lathep", "threap"}},
    {pe1350, "pe1350", "CPE_init_lathe_drill", {"globap", "globat", "lathep", "drillp"}},
    {pe1330, "pe1330", "CPE_init_lathe_groove", {"globap", "globat", "mchpnt", "lathep", "groovp"}},
    {pe1450, "pe1450", "CPE_init_pt2pt", {"globap", "globat", "millgp", "pt2ptp", "pt2ptt"}},
    {pe1700, "pe1700", "CPE_init_wire_edm", {"globap", "globat", "millgp", "wedmp"}},
};

TEST(CpeEntries, TableMatchesTheHostTable) {
    int count = 0;
    const CPE_entry_s* table = CPE__entry_table(&count);
    ASSERT_EQ(count, static_cast<int>(kHostTable.size()));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(kHostTable[i].entry);
        EXPECT_STREQ(table[i].entry, kHostTable[i].entry);
        EXPECT_STREQ(table[i].initialiser_name, kHostTable[i].initialiser);
        std::vector<std::string> names;
        for (int r = 0; r < table[i].record_count; ++r) names.push_back(CPE__record_name(table[i].records[r]));
        EXPECT_EQ(names, kHostTable[i].records);
    }
}

// A work coordinate system turned 40 degrees about (1, 1, 1) and moved to
// (12.5, -3, 7): rows are the images of the absolute axes.
void set_turned_wcs() {
    const double a = 40.0 * M_PI / 180.0, c = std::cos(a), s = std::sin(a), u = 1.0 / std::sqrt(3.0);
    const double k[3] = {u, u, u};
    for (int row = 0; row < 3; ++row) {
        double e[3] = {0, 0, 0};
        e[row] = 1;
        const double kxe[3] = {k[1] * e[2] - k[2] * e[1], k[2] * e[0] - k[0] * e[2], k[0] * e[1] - k[1] * e[0]};
        const double kde = k[0] * e[0] + k[1] * e[1] + k[2] * e[2];
        for (int j = 0; j < 3; ++j) globat.wcs_matrix[3 * row + j] = e[j] * c + kxe[j] * s + k[j] * kde * (1 - c);
    }
    globat.wcs_origin[0] = 12.5;
    globat.wcs_origin[1] = -3;
    globat.wcs_origin[2] = 7;
}

// Every entry on records full of a byte pattern: only the records it is
// known to write change, every other byte and every guard stays.  Only the
// global machining defaults have fields the library knows (the machine
// point); the others must write nothing rather than guess a layout.
TEST(CpeEntries, EachEntryWritesOnlyWhatItKnows) {
    for (int units : {1, 0}) {
        for (const EntryCase& c : kHostTable) {
            SCOPED_TRACE(std::string(c.entry) + " units " + std::to_string(units));
            pellam_test::fill_global_records(0xa5);
            acom.units = units;
            set_turned_wcs();
            pellam_test::snapshot_global_records();
            c.call();
            const std::vector<std::string> touched = pellam_test::touched_global_records();
            for (const std::string& name : touched)
                EXPECT_NE(std::find(c.records.begin(), c.records.end(), name), c.records.end()) << name;
            EXPECT_EQ(touched, std::string(c.entry) == "pe1101" ? std::vector<std::string>{"mchpnt"}
                                                                 : std::vector<std::string>{});
            EXPECT_TRUE(pellam_test::broken_global_record_guards().empty());
        }
    }
}

// The machine point gets 100.0 and the work coordinate system's origin in
// absolute coordinates, the same under both units; the rest of the record
// keeps its bytes.
TEST(CpeEntries, GlobalMachiningPlacesTheMachinePointAtTheWcsOrigin) {
    for (int units : {1, 0}) {
        SCOPED_TRACE(units);
        pellam_test::fill_global_records(0x3c);
        acom.units = units;
        set_turned_wcs();
        // The origin in absolute coordinates: the homogeneous transform of the
        // system (axes as columns, translation last) applied to (0, 0, 0, 1).
        double h[3][4];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) h[i][j] = globat.wcs_matrix[3 * j + i];
            h[i][3] = globat.wcs_origin[i];
        }
        const double p[4] = {0, 0, 0, 1};
        pe1101();
        EXPECT_EQ(mchpnt.value, 100.0);
        for (int i = 0; i < 3; ++i) {
            const double expected = h[i][0] * p[0] + h[i][1] * p[1] + h[i][2] * p[2] + h[i][3] * p[3];
            EXPECT_DOUBLE_EQ(mchpnt.reference_point[i], expected);
        }
        EXPECT_NE(mchpnt.reference_point[0], 0.0);
        for (unsigned char byte : mchpnt.body) ASSERT_EQ(byte, 0x3c);
    }
}

// A record with a field of every kind.
struct FrameRecord {
    double metric_only;  // length pair 2.5 / 0.1
    double unset;
    int colour;
    double origin[3];
    double degrees;
    double radians;
    int counts[3];
    double plain;
    int code;
};

// Builds a frame of `units` on the turned work coordinate system.
CPE_frame_s turned_frame(int units) {
    set_turned_wcs();
    CPE_frame_s frame = CPE__frame_from_host();
    frame.units = units;
    return frame;
}

TEST(CpeFrame, RowsOfEveryKindUnderEachUnitsWord) {
    const CPE_default_row_s rows[] = {
        {CPE_GLOBAP, offsetof(FrameRecord, metric_only), CPE_LENGTH_PAIR, 2.5, 0.1, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, unset), CPE_UNSET_DISTANCE, 0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, colour), CPE_COLOUR, 148, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, origin), CPE_ORIGIN_POINT, 0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, degrees), CPE_ANGLE, 30, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, radians), CPE_ANGLE, 0.1, 0, true, false},
        {CPE_GLOBAP, offsetof(FrameRecord, counts), CPE_COUNT_FLOOR, 0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, counts) + sizeof(int), CPE_COUNT_FLOOR, 0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, counts) + 2 * sizeof(int), CPE_COUNT_FLOOR, 0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, plain), CPE_PLAIN_VALUE, 6.0, 0, false, false},
        {CPE_GLOBAP, offsetof(FrameRecord, code), CPE_PLAIN_VALUE, 254, 0, false, true},
    };
    const int row_count = sizeof rows / sizeof rows[0];
    struct Case {
        int units;
        double length;
    };
    for (const Case& c : {Case{1, 2.5}, Case{0, 0.1}, Case{2, 0.1}, Case{-1, 0.1}, Case{25, 0.1}}) {
        SCOPED_TRACE(c.units);
        glimra_test::reset_colors();
        glimra_test::set_closest_color(148, 7);
        FrameRecord record = {};
        record.counts[0] = 0;
        record.counts[1] = -4;
        record.counts[2] = 5;
        const CPE_record_t id = CPE_GLOBAP;
        void* address = &record;
        const CPE_frame_s frame = turned_frame(c.units);
        ASSERT_TRUE(CPE__apply_defaults(frame, rows, row_count, {1, &id, &address}));
        EXPECT_EQ(record.metric_only, c.length);
        EXPECT_EQ(record.unset, -939.0);
        EXPECT_EQ(record.colour, 7);
        EXPECT_EQ(glimra_test::closest_color_queries(), std::vector<int>{148});
        for (int i = 0; i < 3; ++i) EXPECT_EQ(record.origin[i], globat.wcs_origin[i]);
        EXPECT_EQ(record.degrees, 30.0);
        EXPECT_DOUBLE_EQ(record.radians, 0.1 * M_PI / 180.0);
        EXPECT_EQ(record.counts[0], 1);
        EXPECT_EQ(record.counts[1], 1);
        EXPECT_EQ(record.counts[2], 5);
        EXPECT_EQ(record.plain, 6.0);
        EXPECT_EQ(record.code, 254);
    }
}

// The frame reads the units word of acom and the transform of globat.
TEST(CpeFrame, ReadsUnitsAndWcsFromTheHost) {
    acom.units = 2;
    set_turned_wcs();
    const CPE_frame_s frame = CPE__frame_from_host();
    EXPECT_EQ(frame.units, 2);
    EXPECT_EQ(std::memcmp(frame.wcs_matrix, globat.wcs_matrix, sizeof frame.wcs_matrix), 0);
    EXPECT_EQ(std::memcmp(frame.wcs_origin, globat.wcs_origin, sizeof frame.wcs_origin), 0);
}

// A row naming a record the initialiser was not handed is a fault of the row
// table: a note, and not even the good rows are written.
TEST(CpeFrame, RowOfARecordNotHandedWritesNothing) {
    MACH__checking_level = 1;
    const CPE_default_row_s rows[] = {
        {CPE_GLOBAP, 0, CPE_PLAIN_VALUE, 6.0, 0, false, false},
        {CPE_MILLGP, 0, CPE_PLAIN_VALUE, 7.0, 0, false, false},
    };
    double value = 1.0;
    const CPE_record_t id = CPE_GLOBAP;
    void* address = &value;
    EXPECT_FALSE(CPE__apply_defaults(turned_frame(1), rows, 2, {1, &id, &address}));
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: DUE_TO_DEFAULT_ROW_OF_A_RECORD_NOT_HANDED"});
}

TEST(CpeWireEdmEvents, EventKHoldsKAndIsOtherwiseCleared) {
    WE_TECHNOLOGY_DEFAULT_s defaults;
    std::memset(&defaults, 0x5c, sizeof defaults);
    defaults.front_guard = WE_TECHNOLOGY_FRONT_GUARD;
    defaults.back_guard = WE_TECHNOLOGY_BACK_GUARD;
    CPE_init_we_machine_cntl_events(&defaults);
    for (int k = 1; k <= WE_MACHINE_CNTL_EVENT_COUNT; ++k) {
        SCOPED_TRACE(k);
        WE_MACHINE_CNTL_EVENT_s expected;
        std::memset(&expected, 0, sizeof expected);
        expected.values[0] = expected.values[1] = expected.values[2] = k;
        expected.codes[0] = expected.codes[1] = k;
        EXPECT_EQ(std::memcmp(&defaults.events[k - 1], &expected, sizeof expected), 0);
    }
    for (unsigned char byte : defaults.before_events) ASSERT_EQ(byte, 0x5c);
    for (unsigned char byte : defaults.after_events) ASSERT_EQ(byte, 0x5c);
    EXPECT_EQ(defaults.front_guard, WE_TECHNOLOGY_FRONT_GUARD);
    EXPECT_EQ(defaults.back_guard, WE_TECHNOLOGY_BACK_GUARD);
}

TEST(CpeWireEdmEvents, NullRecordIsAFailedPrecondition) {
    MACH__checking_level = 1;
    CPE_init_we_machine_cntl_events(nullptr);
    EXPECT_EQ(stend_test::texts(stend_test::Kind::Note),
              std::vector<std::string>{"Assertion failed: DUE_TO_POINTER_TO_TECHNOLOGY_DEFAULTS_BEING_NULL"});
}

}  // namespace
