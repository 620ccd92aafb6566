// Cut-parameter defaults inside the library: the entry table, the frame that
// writes every default, and the sixteen initialisers.
//
// Each initialiser's defaults are a table of rows (record, field, kind and
// value); the frame turns a row into the value the field receives under the
// part's units and work coordinate system.  The host's field tables are thus
// data: an initialiser is its rows.
#pragma once

#include <merrow1/export.h>

#include <cstddef>

// The host's global parameter records the initialisers write or read.
enum CPE_record_t {
    CPE_GLOBAP, CPE_GLOBAT, CPE_ACOM,   CPE_MCHPNT, CPE_MILLGP, CPE_LATHEP, CPE_CONTUP,
    CPE_GAREA,  CPE_MDCMT,  CPE_POCKEP, CPE_CAVITP, CPE_PLMP,   CPE_ZZSURP, CPE_ZZSURT,
    CPE_GSSMP,  CPE_GSSMT,  CPE_SSMEID, CPE_ROUGHP, CPE_ROUGHT, CPE_FINISP, CPE_THREAP,
    CPE_DRILLP, CPE_GROOVP, CPE_PT2PTP, CPE_PT2PTT, CPE_WEDMP,
    CPE_CONTUT,  // read by the earlier build's surface-area defaults only
    CPE_RECORD_COUNT
};

// The host's name of a record ("globap", ...).
const char* CPE__record_name(CPE_record_t record);

// What a row writes into its field:
enum CPE_default_kind_t {
    CPE_LENGTH_PAIR,     // double: `value` for a metric part, `inch` otherwise
    CPE_UNSET_DISTANCE,  // double: -939.0 under every unit
    CPE_COLOUR,          // int: the displayed part's colour nearest to host colour `value`
    CPE_ORIGIN_POINT,    // double[3]: the work coordinate system's origin in absolute coordinates
    CPE_ANGLE,           // double: `value` degrees, converted when the field holds radians
    CPE_COUNT_FLOOR,     // int: the field's count, raised to 1 when below 1
    CPE_PLAIN_VALUE,     // double (int when `integer`): `value` under every unit
};

struct CPE_default_row_s {
    CPE_record_t record;
    std::size_t field;  // byte offset of the field in its record
    CPE_default_kind_t kind;
    double value;       // see the kinds
    double inch;        // length pairs: the inch value
    bool radians;       // angles: the field holds radians
    bool integer;       // plain values: the field is an int
};

// What the frame reads from the host before it writes: the units word of
// `acom` and the work coordinate system of `globat`.
struct CPE_frame_s {
    int units;             // 1 metric, anything else inch
    double wcs_matrix[9];  // rows: the system's axes in absolute coordinates
    double wcs_origin[3];  // the transform's translation
};
CPE_frame_s CPE__frame_from_host();

// The records an initialiser is handed, in the order of the entry table.
struct CPE_records_s {
    int count;
    const CPE_record_t* ids;
    void* const* addresses;
};

// Writes every row into its field.  A row whose record is not among those
// handed is an internal fault of the row table: a failed precondition, and
// then nothing at all is written.  Returns false in that case.
bool CPE__apply_defaults(const CPE_frame_s& frame, const CPE_default_row_s* rows, int row_count,
                         const CPE_records_s& records);

typedef void (*CPE_initialiser_t)(const CPE_records_s& records);

// One exported entry: its name, its initialiser and the records it hands over.
struct CPE_entry_s {
    const char* entry;
    const char* initialiser_name;
    CPE_initialiser_t initialiser;
    int record_count;
    CPE_record_t records[6];
};

// The table of the sixteen entries, in the host's order.
const CPE_entry_s* CPE__entry_table(int* count);
// Hands the entry's records, in its order, to its initialiser.
void CPE__run_entry(const CPE_entry_s& entry);
// The frame over an empty row table: the body of a member whose host fields
// are not known.
void CPE__apply_no_defaults(const CPE_records_s& records);

// The initialisers.  Each writes the defaults of its operation type into the
// records handed, in the order of its entry's row of the table.  The earlier
// builds export them; libmerrow1's export list keeps them local.
MERROW1_API_BEGIN
void CPE_init_global_machining(const CPE_records_s& records);
void CPE_init_global_mill(const CPE_records_s& records);
void CPE_init_global_lathe(const CPE_records_s& records);
void CPE_init_surface_contouring(const CPE_records_s& records);
void CPE_init_planar_milling(const CPE_records_s& records);
void CPE_init_cavity_milling(const CPE_records_s& records);
void CPE_init_paramline_milling(const CPE_records_s& records);
void CPE_init_zigzag_surface(const CPE_records_s& records);
void CPE_init_seq_surf_milling(const CPE_records_s& records);
void CPE_init_lathe_rough(const CPE_records_s& records);
void CPE_init_lathe_finish(const CPE_records_s& records);
void CPE_init_lathe_thread(const CPE_records_s& records);
void CPE_init_lathe_drill(const CPE_records_s& records);
void CPE_init_lathe_groove(const CPE_records_s& records);
void CPE_init_pt2pt(const CPE_records_s& records);
void CPE_init_wire_edm(const CPE_records_s& records);
MERROW1_API_END
