// Reader of poly-segment XML documents.
#include <merrow1/legacy/poly_seg_xml.h>

#include <merrow1/line_arc_seg.h>
#include <merrow1/material_at_infinity.h>
#include <merrow1/poly_seg.h>

#include <stend/error.h>
#include <stend/system.h>

#include "internal/check.h"
#include "internal/ring_check.h"
#include "legacy/token_reader.h"
#include "polyset/poly_seg_internal.h"

#include <cstring>

namespace {

const char* const kFile = __FILE__;
// A piece's arc parameter at or above this makes it a line.
constexpr double kLineH = 1e100;

// The poly being read and what its next piece needs.
struct OpenPoly {
    RING_header_s* set = nullptr;    // the set that holds it
    RING_node_s* node = nullptr;     // its node in that set
    RING_header_s* poly = nullptr;   // null: no poly is being read
    bool closed = false;
    bool has_previous = false;       // a piece was read: `previous` is its end
    PNT2_s previous{0.0, 0.0};
    bool has_pending = false;        // a closed poly's first piece, an arc, waits for the last end point
    PNT2_s pending_end{0.0, 0.0};
    double pending_h = 0.0;
};

class Reader {
public:
    Reader(RING_header_s* set_of_sets, const char* path, FILE* file)
        : m_sets(set_of_sets), m_pool(set_of_sets->pool), m_path(path), m_tokens(file) {}

    void run() {
        try {
            read();
        } catch (...) {
            discard();
            throw;
        }
    }

private:
    void read() {
        while (m_tokens.next()) {
            if (m_tokens.too_long()) continue;
            const char* t = m_tokens.text();
            if (std::strcmp(t, "<RegionSet>") == 0) {
                drop("a new <RegionSet> began");
                m_set = POLY_SEG_create_set(m_pool, Korvo::Cam::MaterialAtInfinityUndetermined);
                POLY_SEG_append_to_set_of_sets(m_sets, m_set);
            } else if (std::strcmp(t, "</RegionSet>") == 0) {
                drop("</RegionSet> came first");
                m_set = nullptr;
            } else if (std::strcmp(t, "<PolySeg") == 0) {
                drop("a new <PolySeg began");
                if (m_set) start_poly();
            } else if (std::strcmp(t, "closed=true>") == 0) {
                if (m_open.poly) m_open.closed = true;
            } else if (std::strcmp(t, "<LineArcSeg>") == 0) {
                if (m_open.poly && !add_piece()) {
                    ERROR_note(kFile, __LINE__,
                               "Poly-segment document %s: <LineArcSeg> needs three finite numbers; reading stopped",
                               m_path);
                    discard();
                    return;
                }
            } else if (std::strcmp(t, "</PolySeg>") == 0) {
                if (m_open.poly) finish_poly();
            }
        }
        drop("the end of the file came first");
    }

    void start_poly() {
        m_open = OpenPoly();
        m_open.set = m_set;
        m_open.poly = POLY_SEG_create(m_pool);
        m_open.node = POLY_SEG_append_to_set(m_set, m_open.poly);
    }

    // Reads the three numbers of a piece and adds it; false when they are
    // not all there, numbers and finite.
    bool add_piece() {
        PNT2_s end{0.0, 0.0};
        double h = 0.0;
        if (!m_tokens.next_finite_double(&end.x) || !m_tokens.next_finite_double(&end.y) ||
            !m_tokens.next_finite_double(&h))
            return false;
        RING_header_s* poly = m_open.poly;
        const bool first = !m_open.has_previous;
        if (first && m_open.closed && h < kLineH) {
            // An arc needs its start: the last piece's end, known at the end.
            m_open.has_pending = true;
            m_open.pending_end = end;
            m_open.pending_h = h;
        } else {
            // Without a start (the first piece) this is a line: an open
            // poly's start point, whatever parameter it carries.
            const PNT2_s* start = first ? nullptr : &m_open.previous;
            RING_insert_after(poly, poly->last, LINE_ARC_SEG_create(m_pool, start, &end, h));
        }
        m_open.has_previous = true;
        m_open.previous = end;
        return true;
    }

    void finish_poly() {
        RING_header_s* poly = m_open.poly;
        if (m_open.closed) {
            if (m_open.has_pending) {
                const PNT2_s start = poly->last ? merrow1::poly_seg::end_of(poly->last) : m_open.pending_end;
                RING_insert_after(poly, nullptr,
                                  LINE_ARC_SEG_create(m_pool, &start, &m_open.pending_end, m_open.pending_h));
            }
            if (poly->first) {
                poly->last->next = poly->first;
                poly->first->previous = poly->last;
            }
        }
        m_open = OpenPoly();
    }

    // Drops an unfinished poly with a note saying what interrupted it.
    void drop(const char* why) {
        if (!m_open.poly) return;
        ERROR_note(kFile, __LINE__, "Poly-segment document %s: unfinished <PolySeg> dropped (%s)", m_path, why);
        discard();
    }
    // Removes the unfinished poly from its set and frees it.
    void discard() {
        if (m_open.poly) RING_delete_node(m_open.set, m_open.node);
        m_open = OpenPoly();
    }

    RING_header_s* m_sets;
    CMEM_pool_s* m_pool;
    const char* m_path;
    merrow1::TokenReader m_tokens;
    RING_header_s* m_set = nullptr;  // the current set
    OpenPoly m_open;
};

}  // namespace

void POLY_SEG_read_xml(RING_header_s* set_of_sets, const char* path) {
    MERROW1_REQUIRE(set_of_sets && path, "DUE_TO_INVALID_INPUT", );
    MERROW1_REQUIRE_LIST(set_of_sets, );
    merrow1::FileCloser file{Korvo::System::STEND_fopen(path, "r")};
    if (!file.file) return;
    Reader(set_of_sets, path, file.file).run();
}
