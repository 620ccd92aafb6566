// Host CAM core: the global parameter records of the classic operation types.
//
// The host keeps one data block per record name; the cut-parameter defaults of
// the library write into them when an operation of that type is created.  The
// names and the meaning of the named fields are the host's.  Stand-in choices,
// not the host's: every block is a global symbol of this library; each is
// bracketed by two guard words (tests see any write past a named field); the
// named fields sit right after the front guard; the rest of each block is an
// opaque body of PELLAM_RECORD_BODY_BYTES.  Only the fields the library reads
// or places a value in are named: the units word of `acom`, the work
// coordinate system of `globat`, and the value and reference point of `mchpnt`.
#pragma once

#include <cstddef>

const unsigned int PELLAM_RECORD_FRONT_GUARD = 0x6a09e667u;
const unsigned int PELLAM_RECORD_BACK_GUARD = 0xbb67ae85u;
const std::size_t PELLAM_RECORD_BODY_BYTES = 256;

// Host common block.
struct acom_s {
    unsigned int front_guard;
    int units;  // the part's units: 1 metric (millimetres), any other value inch
    unsigned char body[PELLAM_RECORD_BODY_BYTES];
    unsigned int back_guard;
};

// Global transforms.
struct globat_s {
    unsigned int front_guard;
    double wcs_matrix[9];  // rows: the work coordinate system's x, y and z axes in absolute coordinates
    double wcs_origin[3];  // translation of the transform: where the system's (0, 0, 0) lies in absolute coordinates
    unsigned char body[PELLAM_RECORD_BODY_BYTES];
    unsigned int back_guard;
};

// Machine-point data.
struct mchpnt_s {
    unsigned int front_guard;
    double value;               // the global machining defaults write 100.0
    double reference_point[3];  // absolute coordinates
    unsigned char body[PELLAM_RECORD_BODY_BYTES];
    unsigned int back_guard;
};

// The records whose fields the library does not know: an opaque body between
// the guards.
struct PELLAM_opaque_record_s {
    unsigned int front_guard;
    unsigned char body[PELLAM_RECORD_BODY_BYTES];
    unsigned int back_guard;
};
typedef PELLAM_opaque_record_s globap_s;  // global parameters
typedef PELLAM_opaque_record_s millgp_s;  // global milling
typedef PELLAM_opaque_record_s lathep_s;  // global lathe
typedef PELLAM_opaque_record_s contup_s;  // surface contouring
typedef PELLAM_opaque_record_s contut_s;  // surface contouring (the earlier build's surface-area defaults)
typedef PELLAM_opaque_record_s garea_s;   // area data
typedef PELLAM_opaque_record_s mdcmt_s;   // further host block of several operation types
typedef PELLAM_opaque_record_s pockep_s;  // planar pocketing
typedef PELLAM_opaque_record_s cavitp_s;  // cavity milling
typedef PELLAM_opaque_record_s plmp_s;    // parameter-line milling
typedef PELLAM_opaque_record_s zzsurp_s;  // zig-zag surface
typedef PELLAM_opaque_record_s zzsurt_s;  // zig-zag surface
typedef PELLAM_opaque_record_s gssmp_s;   // sequential surface milling
typedef PELLAM_opaque_record_s gssmt_s;   // sequential surface milling
typedef PELLAM_opaque_record_s ssmeid_s;  // sequential surface milling
typedef PELLAM_opaque_record_s roughp_s;  // lathe roughing
typedef PELLAM_opaque_record_s rought_s;  // lathe roughing
typedef PELLAM_opaque_record_s finisp_s;  // lathe finishing
typedef PELLAM_opaque_record_s threap_s;  // lathe threading
typedef PELLAM_opaque_record_s drillp_s;  // lathe drilling
typedef PELLAM_opaque_record_s groovp_s;  // lathe grooving
typedef PELLAM_opaque_record_s pt2ptp_s;  // point to point
typedef PELLAM_opaque_record_s pt2ptt_s;  // point to point
typedef PELLAM_opaque_record_s wedmp_s;   // wire EDM

extern "C" {
extern globap_s globap;
extern globat_s globat;
extern acom_s acom;
extern mchpnt_s mchpnt;
extern millgp_s millgp;
extern lathep_s lathep;
extern contup_s contup;
extern contut_s contut;
extern garea_s garea;
extern mdcmt_s mdcmt;
extern pockep_s pockep;
extern cavitp_s cavitp;
extern plmp_s plmp;
extern zzsurp_s zzsurp;
extern zzsurt_s zzsurt;
extern gssmp_s gssmp;
extern gssmt_s gssmt;
extern ssmeid_s ssmeid;
extern roughp_s roughp;
extern rought_s rought;
extern finisp_s finisp;
extern threap_s threap;
extern drillp_s drillp;
extern groovp_s groovp;
extern pt2ptp_s pt2ptp;
extern pt2ptt_s pt2ptt;
extern wedmp_s wedmp;
}
