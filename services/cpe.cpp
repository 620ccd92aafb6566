// Cut-parameter defaults: the sixteen entries of the classic operation types,
// the frame that writes each default, and the events of the wire-EDM
// technology record.
#include "services/cpe_internal.h"

#include <merrow1/cpe.h>

#include <cstring>
#include <glimra/color.h>
#include <pellam/global_records.h>

#include "internal/check.h"
#include "internal/vec2.h"

namespace {

using merrow1::kPi;
const double kUnsetDistance = -939.0;

struct RecordSlot {
    const char* name;
    void* address;
};

// The host's records by CPE_record_t, in the enumeration's order.
const RecordSlot kRecords[CPE_RECORD_COUNT] = {
    {"globap", &globap}, {"globat", &globat}, {"acom", &acom},     {"mchpnt", &mchpnt}, {"millgp", &millgp},
    {"lathep", &lathep}, {"contup", &contup}, {"garea", &garea},   {"mdcmt", &mdcmt},   {"pockep", &pockep},
    {"cavitp", &cavitp}, {"plmp", &plmp},     {"zzsurp", &zzsurp}, {"zzsurt", &zzsurt}, {"gssmp", &gssmp},
    {"gssmt", &gssmt},   {"ssmeid", &ssmeid}, {"roughp", &roughp}, {"rought", &rought}, {"finisp", &finisp},
    {"threap", &threap}, {"drillp", &drillp}, {"groovp", &groovp}, {"pt2ptp", &pt2ptp}, {"pt2ptt", &pt2ptt},
    {"wedmp", &wedmp},   {"contut", &contut},
};

const CPE_entry_s kEntries[] = {
    {"pe1101", "CPE_init_global_machining", CPE_init_global_machining, 3, {CPE_GLOBAP, CPE_GLOBAT, CPE_MCHPNT}},
    {"pe1102", "CPE_init_global_mill", CPE_init_global_mill, 2, {CPE_GLOBAP, CPE_MILLGP}},
    {"pe1103", "CPE_init_global_lathe", CPE_init_global_lathe, 2, {CPE_GLOBAP, CPE_LATHEP}},
    {"pe1210", "CPE_init_surface_contouring", CPE_init_surface_contouring, 6,
     {CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_CONTUP, CPE_GAREA, CPE_MDCMT}},
    {"pe1110", "CPE_init_planar_milling", CPE_init_planar_milling, 4, {CPE_GLOBAP, CPE_MILLGP, CPE_POCKEP, CPE_MDCMT}},
    {"pe1260", "CPE_init_cavity_milling", CPE_init_cavity_milling, 5,
     {CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_CAVITP, CPE_MDCMT}},
    {"pe1230", "CPE_init_paramline_milling", CPE_init_paramline_milling, 6,
     {CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_PLMP, CPE_MDCMT, CPE_GAREA}},
    {"pe1240", "CPE_init_zigzag_surface", CPE_init_zigzag_surface, 6,
     {CPE_ZZSURP, CPE_ZZSURT, CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_GAREA}},
    {"pe1220", "CPE_init_seq_surf_milling", CPE_init_seq_surf_milling, 6,
     {CPE_GLOBAT, CPE_MILLGP, CPE_GSSMP, CPE_GSSMT, CPE_SSMEID, CPE_MDCMT}},
    {"pe1310", "CPE_init_lathe_rough", CPE_init_lathe_rough, 5,
     {CPE_GLOBAP, CPE_GLOBAT, CPE_LATHEP, CPE_ROUGHP, CPE_ROUGHT}},
    {"pe1320", "CPE_init_lathe_finish", CPE_init_lathe_finish, 4, {CPE_GLOBAP, CPE_GLOBAT, CPE_LATHEP, CPE_FINISP}},
    {"pe1340", "CPE_init_lathe_thread", CPE_init_lathe_thread, 4, {CPE_GLOBAP, CPE_GLOBAT, CPE_LATHEP, CPE_THREAP}},
    {"pe1350", "CPE_init_lathe_drill", CPE_init_lathe_drill, 4, {CPE_GLOBAP, CPE_GLOBAT, CPE_LATHEP, CPE_DRILLP}},
    {"pe1330", "CPE_init_lathe_groove", CPE_init_lathe_groove, 5,
     {CPE_GLOBAP, CPE_GLOBAT, CPE_MCHPNT, CPE_LATHEP, CPE_GROOVP}},
    {"pe1450", "CPE_init_pt2pt", CPE_init_pt2pt, 5, {CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_PT2PTP, CPE_PT2PTT}},
    {"pe1700", "CPE_init_wire_edm", CPE_init_wire_edm, 4, {CPE_GLOBAP, CPE_GLOBAT, CPE_MILLGP, CPE_WEDMP}},
};
const int kEntryCount = sizeof kEntries / sizeof kEntries[0];

void run_entry(const char* name) {
    for (const CPE_entry_s& e : kEntries)
        if (std::strcmp(e.entry, name) == 0) return CPE__run_entry(e);
    MERROW1_NOTE_FAILURE("DUE_TO_ENTRY_MISSING_FROM_THE_ENTRY_TABLE");
}

// The handed address of `record`, null when the initialiser was not handed it.
unsigned char* handed(const CPE_records_s& records, CPE_record_t record) {
    for (int i = 0; i < records.count; ++i)
        if (records.ids[i] == record) return static_cast<unsigned char*>(records.addresses[i]);
    return nullptr;
}

void put_double(unsigned char* field, double value) { std::memcpy(field, &value, sizeof value); }
void put_int(unsigned char* field, int value) { std::memcpy(field, &value, sizeof value); }

// The work coordinate system's point p in absolute coordinates: the
// translation plus p's coordinates along the system's axes.
void wcs_to_absolute(const CPE_frame_s& frame, const double p[3], double out[3]) {
    for (int j = 0; j < 3; ++j)
        out[j] = frame.wcs_origin[j] + p[0] * frame.wcs_matrix[j] + p[1] * frame.wcs_matrix[3 + j] +
                 p[2] * frame.wcs_matrix[6 + j];
}

void write_row(const CPE_frame_s& frame, const CPE_default_row_s& row, unsigned char* field) {
    switch (row.kind) {
    case CPE_LENGTH_PAIR:
        put_double(field, frame.units == 1 ? row.value : row.inch);
        break;
    case CPE_UNSET_DISTANCE:
        put_double(field, kUnsetDistance);
        break;
    case CPE_COLOUR:
        put_int(field, COLOR_ask_closest_color_in_displayed_part(static_cast<int>(row.value)));
        break;
    case CPE_ORIGIN_POINT: {
        const double zero[3] = {0, 0, 0};
        double point[3];
        wcs_to_absolute(frame, zero, point);
        std::memcpy(field, point, sizeof point);
        break;
    }
    case CPE_ANGLE:
        put_double(field, row.radians ? row.value * kPi / 180.0 : row.value);
        break;
    case CPE_COUNT_FLOOR: {
        int count;
        std::memcpy(&count, field, sizeof count);
        if (count < 1) put_int(field, 1);
        break;
    }
    case CPE_PLAIN_VALUE:
        if (row.integer)
            put_int(field, static_cast<int>(row.value));
        else
            put_double(field, row.value);
        break;
    }
}

void apply_member(const CPE_default_row_s* rows, int row_count, const CPE_records_s& records) {
    CPE__apply_defaults(CPE__frame_from_host(), rows, row_count, records);
}

// Global machining: the machine point's value and its reference point.  The
// other values of this member (tolerances, unset distances, display colours,
// count floors) have no known field in the host's records and are not written.
const CPE_default_row_s kGlobalMachiningRows[] = {
    {CPE_MCHPNT, offsetof(mchpnt_s, value), CPE_PLAIN_VALUE, 100.0, 0, false, false},
    {CPE_MCHPNT, offsetof(mchpnt_s, reference_point), CPE_ORIGIN_POINT, 0, 0, false, false},
};

}  // namespace

const char* CPE__record_name(CPE_record_t record) {
    return record >= 0 && record < CPE_RECORD_COUNT ? kRecords[record].name : "";
}

CPE_frame_s CPE__frame_from_host() {
    CPE_frame_s frame;
    frame.units = acom.units;
    std::memcpy(frame.wcs_matrix, globat.wcs_matrix, sizeof frame.wcs_matrix);
    std::memcpy(frame.wcs_origin, globat.wcs_origin, sizeof frame.wcs_origin);
    return frame;
}

bool CPE__apply_defaults(const CPE_frame_s& frame, const CPE_default_row_s* rows, int row_count,
                         const CPE_records_s& records) {
    // Every row must name a record the initialiser was handed; otherwise the
    // row table is wrong and nothing is written, not even the good rows.
    for (int i = 0; i < row_count; ++i)
        MERROW1_REQUIRE(handed(records, rows[i].record) != nullptr, "DUE_TO_DEFAULT_ROW_OF_A_RECORD_NOT_HANDED", false);
    for (int i = 0; i < row_count; ++i) write_row(frame, rows[i], handed(records, rows[i].record) + rows[i].field);
    return true;
}

void CPE__run_entry(const CPE_entry_s& e) {
    void* addresses[6] = {};
    for (int i = 0; i < e.record_count; ++i) addresses[i] = kRecords[e.records[i]].address;
    e.initialiser({e.record_count, e.records, addresses});
}

void CPE__apply_no_defaults(const CPE_records_s& records) { apply_member(nullptr, 0, records); }

const CPE_entry_s* CPE__entry_table(int* count) {
    if (count) *count = kEntryCount;
    return kEntries;
}

void CPE_init_global_machining(const CPE_records_s& records) {
    apply_member(kGlobalMachiningRows, sizeof kGlobalMachiningRows / sizeof kGlobalMachiningRows[0], records);
}

// The other members: the host's field tables of their records are not known
// to the library, so their row tables are empty and they write nothing rather
// than guess a layout.  Each member's rows go here once the layouts are known.
void CPE_init_global_mill(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_global_lathe(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_surface_contouring(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_planar_milling(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_cavity_milling(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_paramline_milling(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_zigzag_surface(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_seq_surf_milling(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_lathe_rough(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_lathe_finish(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_lathe_thread(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_lathe_drill(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_lathe_groove(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_pt2pt(const CPE_records_s& records) { apply_member(nullptr, 0, records); }
void CPE_init_wire_edm(const CPE_records_s& records) { apply_member(nullptr, 0, records); }

extern "C" {

void pe1101(void) { run_entry("pe1101"); }
void pe1102(void) { run_entry("pe1102"); }
void pe1103(void) { run_entry("pe1103"); }
void pe1210(void) { run_entry("pe1210"); }
void pe1110(void) { run_entry("pe1110"); }
void pe1260(void) { run_entry("pe1260"); }
void pe1230(void) { run_entry("pe1230"); }
void pe1240(void) { run_entry("pe1240"); }
void pe1220(void) { run_entry("pe1220"); }
void pe1310(void) { run_entry("pe1310"); }
void pe1320(void) { run_entry("pe1320"); }
void pe1340(void) { run_entry("pe1340"); }
void pe1350(void) { run_entry("pe1350"); }
void pe1330(void) { run_entry("pe1330"); }
void pe1450(void) { run_entry("pe1450"); }
void pe1700(void) { run_entry("pe1700"); }

void CPE_init_we_machine_cntl_events(WE_TECHNOLOGY_DEFAULT_s* defaults) {
    MERROW1_REQUIRE(defaults != nullptr, "DUE_TO_POINTER_TO_TECHNOLOGY_DEFAULTS_BEING_NULL", );
    for (int k = 1; k <= WE_MACHINE_CNTL_EVENT_COUNT; ++k) {
        WE_MACHINE_CNTL_EVENT_s& event = defaults->events[k - 1];
        std::memset(&event, 0, sizeof event);
        for (double& v : event.values) v = k;
        for (int& c : event.codes) c = k;
    }
}

}
