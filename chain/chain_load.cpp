// Chain files: the binary chain dump and its loader, and the reader of chain
// text listings.
//
// The dump is a fixed external format: every record is written field by field
// at the offsets the format gives (padding written as zero), so the bytes do
// not depend on how this build lays out its records, and read back the same
// way.  The static_asserts below tie the format to the in-memory records the
// rest of the library shares with the host.
//
// Readers never trust the file: a vertex kind outside -1..2, a negative vertex
// count, a record that ends early or carries a tag twice is refused, the
// partly built chain is deleted again, and the failure is noted.  A vertex is
// linked into its chain only after its geometry was read whole, so no typed
// vertex ever lacks geometry.
#include <merrow1/chain.h>
#include <merrow1/chain_build.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_types.h>
#include <merrow1/chain_segments.h>
#include <merrow1/chain_trace.h>
#include <merrow1/segment.h>

#include "chain/chain_append_internal.h"
#include "chain/chain_check.h"
#include "chain/chain_record.h"
#include "internal/check.h"
#include "internal/record_size.h"
#include "internal/ring_check.h"

#include <sorrel/cam_file.h>
#include <stend/error.h>
#include <stend/system.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the chain dump is written in the host's byte order, which must be little-endian"
#endif

// ---------------------------------------------------------------------------
// The dump layout.

namespace {

const int kMainDataSize = 144;
const int kEndSegmentSize = 48;
const int kPointSize = 16;
const int kGeomSourceSize = 24;
const int kGeomSourceBlockSize = 120;
const int kKey19Size = 80;
const int kKey1Size = 32;

// Offsets inside the 144-byte main-data block.
const int kOffOrigin = 0;
const int kOffMatrix = 24;
const int kOffSide = 96;
const int kOffDirection = 100;
const int kOffKind = 104;
const int kOffUseImpliedOffset = 108;
const int kOffImpliedOffset = 112;
const int kOffRegionSetId = 120;
const int kOffEthereal = 124;
const int kOffApproxTolSet = 125;
const int kOffApproxTol = 128;
const int kOffLengthTol = 136;

// Offsets inside the 48-byte end_segment.
const int kOffEndX = 0;
const int kOffEndY = 8;
const int kOffCentreX = 16;
const int kOffCentreY = 24;
const int kOffRadius = 32;
const int kOffArcDirection = 40;

// The third 8-byte word of the geometry-source record points to its block.
const int kOffGeomSourceBlock = 16;

}  // namespace

static_assert(sizeof(CHAIN_main_data_s) == kMainDataSize, "chain main data is the 144-byte dump block");
static_assert(offsetof(CHAIN_main_data_s, csys) + offsetof(CSYS, origin) == kOffOrigin, "origin");
static_assert(offsetof(CHAIN_main_data_s, csys) + offsetof(CSYS, matrix) == kOffMatrix, "matrix");
static_assert(offsetof(CHAIN_main_data_s, material_side) == kOffSide, "material side");
static_assert(offsetof(CHAIN_main_data_s, direction) == kOffDirection, "direction");
static_assert(offsetof(CHAIN_main_data_s, kind) == kOffKind, "kind");
static_assert(offsetof(CHAIN_main_data_s, use_implied_offset) == kOffUseImpliedOffset, "use_implied_offset");
static_assert(offsetof(CHAIN_main_data_s, implied_offset) == kOffImpliedOffset, "implied_offset");
static_assert(offsetof(CHAIN_main_data_s, region_set_id) == kOffRegionSetId, "region_set_id");
static_assert(offsetof(CHAIN_main_data_s, ethereal) == kOffEthereal, "ethereal");
static_assert(offsetof(CHAIN_main_data_s, approximation_tolerance_set) == kOffApproxTolSet, "tolerance set");
static_assert(offsetof(CHAIN_main_data_s, approximation_tolerance) == kOffApproxTol, "approximation tolerance");
static_assert(offsetof(CHAIN_main_data_s, length_tolerance) == kOffLengthTol, "length tolerance");
// The arc geometry is a 48-byte block in the file in both widths; in memory
// its tail padding follows the alignment of a double inside a record.
static_assert(sizeof(end_segment) == merrow1::round_up(kOffArcDirection + sizeof(int32_t), merrow1::kRecordDoubleAlign),
              "end_segment is five doubles and a direction");
static_assert(offsetof(end_segment, direction) == kOffArcDirection, "arc direction");
static_assert(sizeof(CHAIN_trace_vertex_data_s) <= kKey1Size, "the trace record fits its 32-byte file block");
static_assert(sizeof(CHAIN_vertex_data_s) == merrow1::round_up(sizeof(double*) + 3 * sizeof(int), alignof(double*)),
              "vertex record: geometry pointer and three 32-bit words");

namespace {

// Little-endian field access in a byte block (the host order, see above).
template <class T>
void put(unsigned char* block, int offset, T value) {
    std::memcpy(block + offset, &value, sizeof value);
}
template <class T>
T get(const unsigned char* block, int offset) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

void encode_main_data(const CHAIN_main_data_s& m, unsigned char block[kMainDataSize]) {
    std::memset(block, 0, kMainDataSize);
    for (int i = 0; i < 3; ++i) put(block, kOffOrigin + 8 * i, m.csys.origin[i]);
    for (int i = 0; i < 9; ++i) put(block, kOffMatrix + 8 * i, m.csys.matrix[i]);
    put<int32_t>(block, kOffSide, m.material_side);
    put<int32_t>(block, kOffDirection, m.direction);
    put<int32_t>(block, kOffKind, m.kind);
    put<int32_t>(block, kOffUseImpliedOffset, m.use_implied_offset);
    put(block, kOffImpliedOffset, m.implied_offset);
    put<int32_t>(block, kOffRegionSetId, m.region_set_id);
    block[kOffEthereal] = m.ethereal;
    block[kOffApproxTolSet] = m.approximation_tolerance_set;
    put(block, kOffApproxTol, m.approximation_tolerance);
    put(block, kOffLengthTol, m.length_tolerance);
}

void decode_main_data(const unsigned char block[kMainDataSize], CHAIN_main_data_s* m) {
    for (int i = 0; i < 3; ++i) m->csys.origin[i] = get<double>(block, kOffOrigin + 8 * i);
    for (int i = 0; i < 9; ++i) m->csys.matrix[i] = get<double>(block, kOffMatrix + 8 * i);
    m->material_side = get<int32_t>(block, kOffSide);
    m->direction = get<int32_t>(block, kOffDirection);
    m->kind = get<int32_t>(block, kOffKind);
    m->use_implied_offset = get<int32_t>(block, kOffUseImpliedOffset);
    m->implied_offset = get<double>(block, kOffImpliedOffset);
    m->region_set_id = get<int32_t>(block, kOffRegionSetId);
    m->ethereal = block[kOffEthereal];
    m->approximation_tolerance_set = block[kOffApproxTolSet];
    m->approximation_tolerance = get<double>(block, kOffApproxTol);
    m->length_tolerance = get<double>(block, kOffLengthTol);
}

void encode_end_segment(const end_segment& e, unsigned char block[kEndSegmentSize]) {
    std::memset(block, 0, kEndSegmentSize);
    put(block, kOffEndX, e.x);
    put(block, kOffEndY, e.y);
    put(block, kOffCentreX, e.cx);
    put(block, kOffCentreY, e.cy);
    put(block, kOffRadius, e.radius);
    put<int32_t>(block, kOffArcDirection, e.direction);
}

void decode_end_segment(const unsigned char block[kEndSegmentSize], end_segment* e) {
    e->x = get<double>(block, kOffEndX);
    e->y = get<double>(block, kOffEndY);
    e->cx = get<double>(block, kOffCentreX);
    e->cy = get<double>(block, kOffCentreY);
    e->radius = get<double>(block, kOffRadius);
    e->direction = get<int32_t>(block, kOffArcDirection);
}

using merrow1::arc_of;
using merrow1::is_closed;
using merrow1::vertex_record;

bool is_chain(const RING_header_s* ring) { return ring && ring->type == RING_TYPE_CHAIN; }

// Links the last vertex to the first (nothing for an empty or closed chain).
void close_ring(RING_header_s* chain) {
    if (!chain->first || !chain->last || is_closed(chain)) return;
    chain->last->next = chain->first;
    chain->first->previous = chain->last;
}

// Closes a chain a file says is closed.  The first vertex of a closed chain
// carries the closing segment from the last point, as the appenders leave it:
// one a file leaves a point becomes that closing line, so every consumer
// reads the closed chain one way.  A lone vertex stays a closed point.
void close_closed_chain(RING_header_s* chain) {
    close_ring(chain);
    if (chain->count >= 2 && CHAIN_seg_ask_type(chain->first) == SEG_POINT) CHAIN_seg_set_type(chain->first, SEG_LINE);
}

bool has_key(const APP_DATA_s* list, APP_DATA_key_t key) {
    for (; list; list = list->next)
        if (list->key == key) return true;
    return false;
}

// The dump kind of a vertex: its flag kind (SEGMENT_TYPE + 1, 0 unset) less 1.
int dump_kind(const RING_node_s* node) {
    const CHAIN_vertex_data_s* vertex = vertex_record(node);
    unsigned flag_kind = vertex ? (vertex->flags & CHAIN_VERTEX_SEG_TYPE_MASK) : 0u;
    return static_cast<int>(flag_kind) - 1;
}

// ---------------------------------------------------------------------------
// Writing

// Writes through the host; remembers the first failure and writes nothing
// after it.
class Writer {
public:
    explicit Writer(CAM_FILE_s* file) : m_file(file) {}
    bool ok() const { return m_ok; }
    void bytes(const void* data, int count) {
        if (m_ok && CAM_FILE_write_binary(m_file, count, data) != CAM_FILE_SUCCESS) {
            m_ok = false;
            ERROR_note(__FILE__, __LINE__, "Chain dump: writing to the file failed");
        }
    }
    void int32(int32_t value) { bytes(&value, 4); }

private:
    CAM_FILE_s* m_file;
    bool m_ok = true;
};

// The vertex's application-data records, in the order 74, 19, 1, 131, then
// the end tag.
void write_vertex_app_data(Writer& w, const RING_node_s* node) {
    const APP_DATA_s* list = node->app_data;
    if (const void* record = APP_DATA__ask_app_data(list, CHAIN_DUMP_KEY_GEOM_SOURCE)) {
        // The block word is 8 bytes in the file in both widths: the pointer
        // zero-extended, so a 32-bit build never writes the 4 bytes after
        // its pointer (padding) and a record without a block reads as one.
        const void* block = nullptr;
        std::memcpy(&block, static_cast<const unsigned char*>(record) + kOffGeomSourceBlock, sizeof block);
        unsigned char source[kGeomSourceSize];
        std::memcpy(source, record, kOffGeomSourceBlock);
        put<uint64_t>(source, kOffGeomSourceBlock, reinterpret_cast<uintptr_t>(block));
        w.int32(CHAIN_DUMP_KEY_GEOM_SOURCE);
        w.bytes(source, kGeomSourceSize);
        if (block) w.bytes(block, kGeomSourceBlockSize);
    }
    if (const void* record = APP_DATA__ask_app_data(list, CHAIN_DUMP_KEY_19)) {
        w.int32(CHAIN_DUMP_KEY_19);
        w.bytes(record, kKey19Size);
    }
    if (const void* record = APP_DATA__ask_app_data(list, CHAIN_DUMP_KEY_TRACE)) {
        // The file's record is 32 bytes; a 32-bit build's record ends at 28,
        // so the rest is written as zero rather than read past the record.
        unsigned char block[kKey1Size] = {};
        std::memcpy(block, record, sizeof(CHAIN_trace_vertex_data_s));
        w.int32(CHAIN_DUMP_KEY_TRACE);
        w.bytes(block, kKey1Size);
    }
    if (has_key(list, CHAIN_DUMP_KEY_MARK)) w.int32(CHAIN_DUMP_KEY_MARK);
    w.int32(CHAIN_DUMP_TAG_END);
}

int write_chain(const RING_header_s* chain, CAM_FILE_s* file) {
    MERROW1_REQUIRE(is_chain(chain) && chain->main_data && file, "DUE_TO_INVALID_INPUT", 0);
    // The count written is the number of vertices actually walked, so the
    // record never promises more vertices than it holds.
    int count = 0;
    for (const RING_node_s* n = chain->first; n && count < chain->count; n = n->next) ++count;
    // A typed vertex without geometry cannot be written as its kind asks.
    const RING_node_s* node = chain->first;
    for (int i = 0; i < count; ++i, node = node->next) {
        const CHAIN_vertex_data_s* vertex = vertex_record(node);
        MERROW1_REQUIRE(dump_kind(node) < 0 || vertex->geometry, "DUE_TO_INVALID_DATA", 0);
    }

    Writer w(file);
    w.int32(is_closed(chain) ? 0 : 1);
    w.int32(count);
    unsigned char block[kMainDataSize];
    encode_main_data(*static_cast<const CHAIN_main_data_s*>(chain->main_data), block);
    w.bytes(block, kMainDataSize);
    node = chain->first;
    for (int i = 0; i < count && w.ok(); ++i, node = node->next) {
        const int kind = dump_kind(node);
        w.int32(kind);
        const double* geometry = kind >= 0 ? vertex_record(node)->geometry : nullptr;
        if (kind == SEG_POINT || kind == SEG_LINE) {
            unsigned char point[kPointSize];
            put(point, 0, geometry[0]);
            put(point, 8, geometry[1]);
            w.bytes(point, kPointSize);
        } else if (kind == SEG_ARC) {
            unsigned char arc[kEndSegmentSize];
            encode_end_segment(*arc_of(node), arc);
            w.bytes(arc, kEndSegmentSize);
        }
        write_vertex_app_data(w, node);
    }
    return w.ok() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Reading a chain record

// Why a record was refused (for the note).
enum class Refusal { None, Truncated, NegativeCount, BadKind, RepeatedTag, NotFinite };

class Reader {
public:
    explicit Reader(CAM_FILE_s* file) : m_file(file) {}
    bool bytes(void* buffer, int count) {
        int read = 0;  // the host's count of bytes read; only the status matters
        return CAM_FILE_read_binary(m_file, count, buffer, &read) == CAM_FILE_SUCCESS;
    }
    bool int32(int32_t* value) { return bytes(value, 4); }

private:
    CAM_FILE_s* m_file;
};

// Deletes a chain the reader made and has not handed out.  The records of
// keys 74 and 19 are the reader's own, so they go too (the chain's delete
// hooks leave those keys alone, as records shared with the host).
void discard_loaded_chain(RING_header_s* chain) {
    RING_node_s* node = chain->first;
    for (int i = 0; i < chain->count && node; ++i, node = node->next) {
        if (void* record = APP_DATA__ask_app_data(node->app_data, CHAIN_DUMP_KEY_GEOM_SOURCE)) {
            void* block = nullptr;
            std::memcpy(&block, static_cast<unsigned char*>(record) + kOffGeomSourceBlock, sizeof block);
            CMEM_private_delete_object(block);
            CMEM_private_delete_object(record);
            RING_delete_app_data_of_node(chain, node, CHAIN_DUMP_KEY_GEOM_SOURCE);
        }
        if (void* record = APP_DATA__ask_app_data(node->app_data, CHAIN_DUMP_KEY_19)) {
            CMEM_private_delete_object(record);
            RING_delete_app_data_of_node(chain, node, CHAIN_DUMP_KEY_19);
        }
    }
    RING_delete(chain);
}

// Reads a fixed-size record into a new pool block and attaches it.
bool read_owned_record(Reader& r, RING_header_s* chain, RING_node_s* node, APP_DATA_key_t key, int size) {
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    if (!r.bytes(bytes.data(), size)) return false;
    void* record = CMEM_ALLOC(chain->pool, 1, static_cast<size_t>(size));
    std::memcpy(record, bytes.data(), bytes.size());
    RING_put_node_app_data(chain, node, key, record);
    return true;
}

// Reads the application-data records of one vertex up to its end tag.
// Unknown tags carry no payload and are skipped; a known tag seen twice is
// refused (a writer emits each at most once, and a second record would
// silently replace the first).
Refusal read_vertex_app_data(Reader& r, RING_header_s* chain, RING_node_s* node, int32_t* repeated) {
    while (true) {
        int32_t tag = 0;
        if (!r.int32(&tag)) return Refusal::Truncated;
        if (tag == CHAIN_DUMP_TAG_END) return Refusal::None;
        const bool known = tag == CHAIN_DUMP_KEY_GEOM_SOURCE || tag == CHAIN_DUMP_KEY_19 ||
                           tag == CHAIN_DUMP_KEY_TRACE || tag == CHAIN_DUMP_KEY_MARK;
        if (!known) continue;
        if (has_key(node->app_data, tag)) {
            *repeated = tag;
            return Refusal::RepeatedTag;
        }
        switch (tag) {
        case CHAIN_DUMP_KEY_GEOM_SOURCE: {
            unsigned char record[kGeomSourceSize];
            if (!r.bytes(record, kGeomSourceSize)) return Refusal::Truncated;
            // The file's word is 8 bytes in both widths: any bit set means a block follows.
            uint64_t block_in_file = 0;
            std::memcpy(&block_in_file, record + kOffGeomSourceBlock, sizeof block_in_file);
            unsigned char block[kGeomSourceBlockSize];
            if (block_in_file && !r.bytes(block, kGeomSourceBlockSize)) return Refusal::Truncated;
            unsigned char* stored = static_cast<unsigned char*>(CMEM_ALLOC(chain->pool, 1, kGeomSourceSize));
            std::memcpy(stored, record, kGeomSourceSize);
            // The pointer in the file means nothing here: the word now points
            // to this record's own copy of the block (or stays zero).
            std::memset(stored + kOffGeomSourceBlock, 0, sizeof block_in_file);
            if (block_in_file) {
                void* copy = CMEM_ALLOC(chain->pool, 1, kGeomSourceBlockSize);
                std::memcpy(copy, block, kGeomSourceBlockSize);
                std::memcpy(stored + kOffGeomSourceBlock, &copy, sizeof copy);
            }
            RING_put_node_app_data(chain, node, CHAIN_DUMP_KEY_GEOM_SOURCE, stored);
            break;
        }
        case CHAIN_DUMP_KEY_19:
            if (!read_owned_record(r, chain, node, CHAIN_DUMP_KEY_19, kKey19Size)) return Refusal::Truncated;
            break;
        case CHAIN_DUMP_KEY_TRACE:
            if (!read_owned_record(r, chain, node, CHAIN_DUMP_KEY_TRACE, kKey1Size)) return Refusal::Truncated;
            break;
        default:  // CHAIN_DUMP_KEY_MARK: the mark's datum is the vertex node itself
            RING_put_node_app_data(chain, node, CHAIN_DUMP_KEY_MARK, node);
            break;
        }
    }
}

void note_refusal(Refusal why, int value) {
    switch (why) {
    case Refusal::Truncated:
        ERROR_note(__FILE__, __LINE__, "Chain dump: the file ends inside a chain record");
        break;
    case Refusal::NegativeCount:
        ERROR_note(__FILE__, __LINE__, "Chain dump: vertex count %d is negative", value);
        break;
    case Refusal::BadKind:
        ERROR_note(__FILE__, __LINE__, "Chain dump: vertex kind %d is not -1, 0, 1 or 2", value);
        break;
    case Refusal::RepeatedTag:
        ERROR_note(__FILE__, __LINE__, "Chain dump: a vertex carries application-data tag %d twice", value);
        break;
    case Refusal::NotFinite:
        merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_VERTEX_NOT_FINITE", "chain dump: vertex %d", value);
        break;
    case Refusal::None:
        break;
    }
}

// Reads one chain record into a new chain in the pool.  Null when the record
// is refused; the partly built chain is then deleted.
//  1. Open flag and vertex count; a negative count is refused.
//  2. The 144-byte main-data block, decoded into a new chain's main data.
//  3. Per vertex: the kind (-1..2), its geometry read whole, then the vertex
//     record linked after the last node, then its application-data records.
//  4. A record with open flag 0 is closed by linking its last vertex to its
//     first.
RING_header_s* read_chain(CAM_FILE_s* file, CMEM_pool_s* pool) {
    Reader r(file);
    int32_t open_flag = 0, count = 0;
    if (!r.int32(&open_flag) || !r.int32(&count)) {
        note_refusal(Refusal::Truncated, 0);
        return nullptr;
    }
    if (count < 0) {
        note_refusal(Refusal::NegativeCount, count);
        return nullptr;
    }
    unsigned char block[kMainDataSize];
    if (!r.bytes(block, kMainDataSize)) {
        note_refusal(Refusal::Truncated, 0);
        return nullptr;
    }
    RING_header_s* chain = CHAIN_create_with_main_data_copied(nullptr, pool);
    if (!chain) return nullptr;
    decode_main_data(block, static_cast<CHAIN_main_data_s*>(chain->main_data));

    Refusal why = Refusal::None;
    int32_t value = 0;
    for (int32_t i = 0; i < count && why == Refusal::None; ++i) {
        int32_t kind = 0;
        if (!r.int32(&kind)) {
            why = Refusal::Truncated;
            break;
        }
        if (kind < -1 || kind > SEG_ARC) {
            why = Refusal::BadKind;
            value = kind;
            break;
        }
        double* geometry = nullptr;
        if (kind == SEG_POINT || kind == SEG_LINE) {
            unsigned char point[kPointSize];
            if (!r.bytes(point, kPointSize)) {
                why = Refusal::Truncated;
                break;
            }
            end_segment end = {};
            end.x = get<double>(point, 0);
            end.y = get<double>(point, 8);
            if (!CHAIN__end_is_finite(end, SEG_POINT)) {
                why = Refusal::NotFinite;
                value = i + 1;
                break;
            }
            geometry = static_cast<double*>(CMEM_ALLOC(pool, 2, sizeof(double)));
            geometry[0] = end.x;
            geometry[1] = end.y;
        } else if (kind == SEG_ARC) {
            unsigned char arc[kEndSegmentSize];
            if (!r.bytes(arc, kEndSegmentSize)) {
                why = Refusal::Truncated;
                break;
            }
            end_segment decoded = {};
            decode_end_segment(arc, &decoded);
            if (!CHAIN__end_is_finite(decoded, SEG_ARC)) {
                why = Refusal::NotFinite;
                value = i + 1;
                break;
            }
            end_segment* end = CMEM_NEW(pool, end_segment);
            *end = decoded;
            geometry = reinterpret_cast<double*>(end);
        }
        CHAIN_vertex_data_s* vertex = CMEM_NEW(pool, CHAIN_vertex_data_s);
        vertex->geometry = geometry;
        vertex->flags = static_cast<unsigned>(kind + 1) & CHAIN_VERTEX_SEG_TYPE_MASK;
        RING_node_s* node = RING_insert_after(chain, chain->last, vertex);
        why = read_vertex_app_data(r, chain, node, &value);
    }
    if (why != Refusal::None) {
        note_refusal(why, value);
        discard_loaded_chain(chain);
        return nullptr;
    }
    if (open_flag == 0) close_closed_chain(chain);
    return chain;
}

// Opens the file of that name on the CAM file search path; null on failure.
CAM_FILE_s* open_named(const char* name, bool binary) {
    if (!name) return nullptr;
    char* full = CAM_FILE_make_filename("$HVEX_CAM_FILE_SEARCH_PATH", name);
    if (!full) return nullptr;
    CAM_FILE_s* file = nullptr;
    int status = binary ? CAM_FILE_open_binary(full, CAM_FILE_ACCESS_READ, &file)
                        : CAM_FILE_open_text(full, CAM_FILE_ACCESS_READ, &file);
    SM_free(full);
    if (status != CAM_FILE_SUCCESS) {
        if (file) CAM_FILE_close(&file);
        return nullptr;
    }
    return file;
}

// ---------------------------------------------------------------------------
// Reading a text listing

// Longest word the listing reader keeps, and the line buffer (six such words
// with their blanks fit with room to spare).
const size_t kMaxWord = 1039;
const size_t kLineBuffer = 8192;
const int kMaxWords = 6;

// The words of a line: up to six, blanks (space, tab) between them; missing
// words read as empty.  False when a kept word is longer than kMaxWord.
struct Words {
    const char* word[kMaxWords];
    int count;
    bool is(int i, const char* text) const { return std::strcmp(word[i - 1], text) == 0; }
    const char* operator[](int i) const { return word[i - 1]; }
};

bool split_words(char* line, Words* words) {
    static const char kEmpty[] = "";
    words->count = 0;
    for (int i = 0; i < kMaxWords; ++i) words->word[i] = kEmpty;
    char* p = line;
    while (*p && words->count < kMaxWords) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        char* start = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        if (static_cast<size_t>(p - start) > kMaxWord) return false;
        if (*p) *p++ = '\0';
        words->word[words->count++] = start;
    }
    return true;
}

// A number word read whole: the word is nothing but the number.  A real
// must also be finite, an integer within int.
enum class NumberRead { Ok, NotANumber, NotFinite };
NumberRead read_real(const char* word, double* out) {
    char* end = nullptr;
    *out = std::strtod(word, &end);
    if (!*word || end == word || *end) return NumberRead::NotANumber;
    return std::isfinite(*out) ? NumberRead::Ok : NumberRead::NotFinite;
}
bool read_integer(const char* word, int* out) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(word, &end, 10);
    if (!*word || end == word || *end || errno == ERANGE || value > INT_MAX || value < INT_MIN) return false;
    *out = static_cast<int>(value);
    return true;
}

// The listing reader's state.  The vertex buffer and segment type carry over
// from vertex to vertex: each vertex inherits what earlier lines set.
struct ListingState {
    RING_header_s* chain = nullptr;
    bool closed = false;
    end_segment buffer = {};
    SEGMENT_TYPE type = SEG_POINT;
    int vertex_number = 0;
    int last_vertex_number = 0;
    bool origin_pending = false;
    int matrix_rows_pending = 0;
    int line = 0;        // number of the line being read, from 1
    int chain_line = 0;  // the line that started the chain
    int corners = 0;     // "Corner" lines of the chain
    // The listing's vertex number of each vertex appended, for the notes.
    std::vector<std::pair<const RING_node_s*, int>> numbers;
    CHAIN_main_data_s* main() const { return static_cast<CHAIN_main_data_s*>(chain->main_data); }
};

enum class LineResult { Continue, End, Refused };

// Refuses the line: the note names it and what it should have held.
LineResult refuse_line(const ListingState& s, const char* expected, const Words& w) {
    ERROR_note(__FILE__, __LINE__, "Chain listing: line %d: expected %s; read \"%s %s %s %s %s %s\"", s.line, expected,
               w[1], w[2], w[3], w[4], w[5], w[6]);
    return LineResult::Refused;
}

// Reads words first..first+count-1 as finite reals into out; the line holds
// no word after them.  On failure the line is refused (a number that reads
// whole but is not finite is a precondition failure of its own).
LineResult read_reals(const ListingState& s, const Words& w, int first, int count, double* out, const char* expected) {
    for (int k = 0; k < count; ++k) {
        const NumberRead r = read_real(w[first + k], &out[k]);
        if (r == NumberRead::NotFinite) {
            merrow1::precondition_failed_at(__FILE__, __LINE__, "DUE_TO_COORDINATE_NOT_FINITE",
                                            "CHAIN_load_text: line %d, word %d", s.line, first + k);
            return LineResult::Refused;
        }
        if (r != NumberRead::Ok) return refuse_line(s, expected, w);
    }
    if (w.count > first + count - 1) return refuse_line(s, expected, w);
    return LineResult::Continue;
}

// Reads word 'at' as an integer, the last word of the line.
LineResult read_int_word(const ListingState& s, const Words& w, int at, int* out, const char* expected) {
    if (!read_integer(w[at], out) || w.count > at) return refuse_line(s, expected, w);
    return LineResult::Continue;
}

// Whether a line describes a vertex (its number opens every vertex of a
// listing).  Met where no chain is being read, it belongs to a chain whose
// count said fewer vertices than its listing gives.
bool is_vertex_line(const Words& w) { return w.is(1, "Vertex") && w.is(2, "number"); }

LineResult apply_listing_line(ListingState& s, const Words& w, CMEM_pool_s* pool) {
    if (s.origin_pending) {
        s.origin_pending = false;
        return read_reals(s, w, 1, 3, s.main()->csys.origin, "the origin: three numbers");
    }
    if (s.matrix_rows_pending > 0) {
        const int row = 3 - s.matrix_rows_pending--;
        return read_reals(s, w, 1, 3, &s.main()->csys.matrix[3 * row], "a matrix row: three numbers");
    }
    const bool have_chain = s.chain != nullptr;
    if (!have_chain && is_vertex_line(w))
        return refuse_line(s,
                           "a chain line first (a vertex line follows no chain: a chain's count says fewer "
                           "vertices than its listing gives)",
                           w);
    if (w.is(1, "The")) {
        if (w.is(2, "chain") && w.is(3, "is") && (w.is(4, "a") || w.is(4, "an"))) {
            // A chain line while a chain is read: that chain's count says
            // more vertices than its listing gives.
            if (s.chain) {
                ERROR_note(__FILE__, __LINE__,
                           "Chain listing: line %d: a new chain begins, but the chain of line %d says %d vertices "
                           "and gives %d",
                           s.line, s.chain_line, s.last_vertex_number, s.corners);
                return LineResult::Refused;
            }
            s.chain = CHAIN_create_from_csys(nullptr, pool);
            s.closed = w.is(5, "closed");
            s.chain_line = s.line;
            s.corners = 0;
            s.numbers.clear();
        } else if (w.is(2, "vertex") && w.is(3, "type")) {
            if (w.is(5, "SEG_POINT")) s.type = SEG_POINT;
            else if (w.is(5, "SEG_LINE")) s.type = SEG_LINE;
            else if (w.is(5, "SEG_ARC")) s.type = SEG_ARC;
        }
    } else if (w.is(1, "Chain")) {
        if (!have_chain) return LineResult::Continue;
        if (w.is(2, "type")) {
            static const char* const kKinds[] = {"SAMPLE_CHAIN", "TRACE_CHAIN", "OFFSET_CHAIN", "APPROX_CHAIN",
                                                 "INTERMEDIATE_CHAIN"};
            for (int k = 0; k < 5; ++k)
                if (w.is(4, kKinds[k])) s.main()->kind = k;
            // Word 6 is the vertex count (words after it are text).
            if (!read_integer(w[6], &s.last_vertex_number) || s.last_vertex_number < 0)
                return refuse_line(s, "the vertex count as word 6: \"Chain type is <kind> with <n> vertices\"", w);
        } else if (w.is(2, "material")) {
            s.main()->material_side = w.is(5, "LEFT") ? LEFT : w.is(5, "RIGHT") ? RIGHT : 0;
        } else if (w.is(2, "Clock")) {
            s.main()->direction = w.is(5, "CW") ? CW : w.is(5, "CCW") ? CCW : 0;
        }
    } else if (w.is(1, "use_implied_offset")) {
        int value = 0;
        if (have_chain) {
            if (read_int_word(s, w, 3, &value, "an integer as word 3") != LineResult::Continue)
                return LineResult::Refused;
            s.main()->use_implied_offset = value == 1 ? 1 : 0;
        }
    } else if (w.is(1, "implied_offset")) {
        if (have_chain) return read_reals(s, w, 3, 1, &s.main()->implied_offset, "a number as word 3");
    } else if (w.is(1, "region_set_id")) {
        if (have_chain) return read_int_word(s, w, 3, &s.main()->region_set_id, "an integer as word 3");
    } else if (w.is(1, "Origin")) {
        if (have_chain) s.origin_pending = true;
    } else if (w.is(1, "Matrix")) {
        if (have_chain) s.matrix_rows_pending = 3;
    } else if (w.is(1, "Vertex")) {
        if (w.is(2, "number")) return read_int_word(s, w, 3, &s.vertex_number, "the vertex number as word 3");
    } else if (w.is(1, "point:")) {
        double p[2];
        if (read_reals(s, w, 2, 2, p, "two numbers after \"point:\", blanks between them") != LineResult::Continue)
            return LineResult::Refused;
        s.buffer.x = p[0];
        s.buffer.y = p[1];
    } else if (w.is(1, "center:")) {
        double p[2];
        if (read_reals(s, w, 2, 2, p, "two numbers after \"center:\", blanks between them") != LineResult::Continue)
            return LineResult::Refused;
        s.buffer.cx = p[0];
        s.buffer.cy = p[1];
    } else if (w.is(1, "radius:")) {
        return read_reals(s, w, 2, 1, &s.buffer.radius, "one number after \"radius:\"");
    } else if (w.is(1, "vertex")) {
        if (w.is(2, "Clock") && w.is(3, "direction")) s.buffer.direction = w.is(5, "CW") ? CW : CCW;
    } else if (w.is(1, "Corner")) {
        if (!have_chain) return LineResult::Continue;
        ++s.corners;
        if (const RING_node_s* node = ChainAppendVertex(s.chain, &s.buffer, s.type))
            s.numbers.emplace_back(node, s.vertex_number);
        if (s.vertex_number == s.last_vertex_number) {
            // The last vertex: the count and the vertices given agree.
            if (s.last_vertex_number > 0 && s.corners != s.last_vertex_number) {
                ERROR_note(__FILE__, __LINE__,
                           "Chain listing: line %d: vertex %d ends the chain of line %d, but %d "
                           "vertices were given",
                           s.line, s.last_vertex_number, s.chain_line, s.corners);
                return LineResult::Refused;
            }
            return LineResult::End;
        }
    }
    return LineResult::Continue;
}

// Reads the next line into words; false at the end of the input or for a
// line the reader cannot hold (noted).  *refused tells the two apart.
bool next_line(CAM_FILE_s* file, std::vector<char>& line, Words* words, ListingState& s, bool* refused) {
    *refused = false;
    const int status = CAM_FILE_read_text(file, line.data(), line.size());
    if (status == CAM_FILE_ERR_LINE_TOO_LONG) {
        ERROR_note(__FILE__, __LINE__, "Chain listing: a line is longer than %d characters",
                   static_cast<int>(kLineBuffer - 1));
        *refused = true;
        return false;
    }
    if (status != CAM_FILE_SUCCESS) return false;
    ++s.line;
    if (!split_words(line.data(), words)) {
        ERROR_note(__FILE__, __LINE__, "Chain listing: a word is longer than %d characters",
                   static_cast<int>(kMaxWord));
        *refused = true;
        return false;
    }
    return true;
}

// Reads the listing line by line until a "Corner" line ends it.  Null when
// the lines run out first or a line is refused (too long, a word over
// kMaxWord characters, a line not read whole, a count that disagrees with
// the vertices given); a chain begun is then deleted.  Running out after
// some listing lines is noted; an input with no words at all is a quiet end.
// With check_rest (a file the reader opened itself) the lines after the
// chain, up to the next chain line, are read too: a vertex line among them
// means the count said fewer vertices than the listing gives.
RING_header_s* read_listing(CAM_FILE_s* file, CMEM_pool_s* pool, bool check_rest) {
    std::vector<char> line(kLineBuffer);
    ListingState s;
    bool any_words = false;
    while (true) {
        Words words = {};
        bool refused = false;
        if (!next_line(file, line, &words, s, &refused)) {
            // A listing cut short gives null like an empty file does; the
            // note tells the two apart for a caller reading chain after chain.
            if (!refused && any_words)
                ERROR_note(__FILE__, __LINE__, "Chain listing: the lines ran out before the chain ended");
            if (s.chain) RING_delete(s.chain);
            return nullptr;
        }
        if (words.count == 0) continue;
        any_words = true;
        const LineResult result = apply_listing_line(s, words, pool);
        if (result == LineResult::End) break;
        if (result == LineResult::Refused) {
            if (s.chain) RING_delete(s.chain);
            return nullptr;
        }
    }
    while (check_rest) {
        Words words = {};
        bool refused = false;
        if (!next_line(file, line, &words, s, &refused)) break;
        if (words.is(1, "The") && words.is(2, "chain")) break;
        if (is_vertex_line(words)) {
            ERROR_note(__FILE__, __LINE__,
                       "Chain listing: line %d: the chain of line %d says %d vertices, but more follow", s.line,
                       s.chain_line, s.last_vertex_number);
            RING_delete(s.chain);
            return nullptr;
        }
    }
    if (s.closed) {
        // Closed as the appenders would have built it: the closing arc (the
        // first vertex) is fitted to its start, the last vertex's point; a
        // first vertex left a point becomes the closing line.
        close_closed_chain(s.chain);
        CHAIN__fit_arc_to_start(s.chain, s.chain->first);
    }
    // An arc whose record leaves its sense open (a half circle without a
    // direction) would be read one way by one consumer and the other way by
    // the next: the listing is refused.
    for (const auto& entry : s.numbers) {
        const RING_node_s* node = entry.first;
        SEGMENT segment;
        SEGMENT_arc_s arc;
        if (CHAIN_seg_ask_type(node) != SEG_ARC || !node->previous) continue;
        if (ChainSegment(s.chain, node, &segment) && SEGMENT_read_arc(&segment, &arc)) continue;
        ERROR_note(__FILE__, __LINE__, "Chain listing: the arc of vertex %d has no direction to decide its sense",
                   entry.second);
        RING_delete(s.chain);
        return nullptr;
    }
    return s.chain;
}

}  // namespace

// ---------------------------------------------------------------------------
// Interface

int CHAIN_dump_to_file(const RING_header_s* chain, CAM_FILE_s* file) { return write_chain(chain, file); }

int CHAIN_dump_list_of_chains(const RING_header_s* list, CAM_FILE_s* file) {
    MERROW1_REQUIRE_LIST(list, 0);
    if (!file) return 0;
    // Only nodes that hold a chain are written, and only they are counted:
    // a reader takes the count as the number of chain records that follow.
    std::vector<const RING_header_s*> chains;
    if (list) {
        const RING_node_s* node = list->first;
        for (int i = 0; i < list->count && node; ++i, node = node->next) {
            const RING_header_s* chain = RING_ask_node_subring(node);
            if (is_chain(chain) && chain->main_data) chains.push_back(chain);
        }
    }
    Writer w(file);
    w.int32(CHAIN_DUMP_LIST_MAGIC);
    w.int32(list ? static_cast<int32_t>(chains.size()) : -1);
    if (!w.ok()) return 0;
    for (const RING_header_s* chain : chains)
        if (!write_chain(chain, file)) return 0;
    return 1;
}

int ChainDump(const RING_header_s* chain, const char* name) {
    if (!name) return 0;
    char* full = CAM_FILE_make_filename("$HVEX_CAM_FILE_SEARCH_PATH", name);
    if (!full) return 0;
    CAM_FILE_s* file = nullptr;
    const int status = CAM_FILE_open_binary(full, CAM_FILE_ACCESS_WRITE, &file);
    SM_free(full);
    if (status != CAM_FILE_SUCCESS) {
        if (file) CAM_FILE_close(&file);
        return 0;
    }
    const int written = write_chain(chain, file);
    const int closed = CAM_FILE_close(&file);
    if (written && closed != CAM_FILE_SUCCESS)
        ERROR_note(__FILE__, __LINE__, "Chain dump: writing to the file failed");
    return written && closed == CAM_FILE_SUCCESS ? 1 : 0;
}

bool CHAIN_load_list_of_chains(RING_header_s* list, CAM_FILE_s* file) {
    MERROW1_REQUIRE_LIST(list, false);
    if (!list || !file) return false;
    Reader r(file);
    int32_t magic = 0, count = 0;
    if (!r.int32(&magic) || magic != CHAIN_DUMP_LIST_MAGIC) {
        ERROR_note(__FILE__, __LINE__, "Chain dump: the file is not a chain-list dump");
        return false;
    }
    if (!r.int32(&count) || count < 0) {
        ERROR_note(__FILE__, __LINE__, "Chain dump: the list file holds no valid chain count");
        return false;
    }
    // Chains are appended as they are read whole.  A damaged record leaves
    // the file position inside it, so nothing after it can be read: that
    // chain and the rest are dropped with a note naming its position, and
    // the answer is false so the caller knows the file was damaged.
    for (int32_t i = 0; i < count; ++i) {
        RING_header_s* chain = read_chain(file, list->pool);
        if (!chain) {
            ERROR_note(__FILE__, __LINE__, "Chain dump: chain %d of %d is damaged; it and the %d after it are dropped",
                       static_cast<int>(i + 1), static_cast<int>(count), static_cast<int>(count - i - 1));
            return false;
        }
        RING_node_s* node = RING_insert_after(list, list->last, nullptr);
        RING_set_node_subring(node, chain);
    }
    return true;
}

RING_header_s* ChainLoad(const char* name, CAM_FILE_s* file, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(pool, "DUE_TO_INVALID_INPUT", nullptr);
    if (file) return read_chain(file, pool);
    CAM_FILE_s* own = open_named(name, true);
    if (!own) return nullptr;
    RING_header_s* chain = read_chain(own, pool);
    // A single-chain file holds the record and nothing else; more bytes mean
    // it is not such a file.
    unsigned char extra = 0;
    if (chain && Reader(own).bytes(&extra, 1)) {
        ERROR_note(__FILE__, __LINE__, "Chain dump: data follows the chain record");
        discard_loaded_chain(chain);
        chain = nullptr;
    }
    CAM_FILE_close(&own);
    return chain;
}

RING_header_s* CHAIN_load_text(const char* name, CAM_FILE_s* file, CMEM_pool_s* pool) {
    MERROW1_REQUIRE(pool, "DUE_TO_INVALID_INPUT", nullptr);
    if (file) return read_listing(file, pool, false);
    CAM_FILE_s* own = open_named(name, false);
    if (!own) return nullptr;
    RING_header_s* chain = read_listing(own, pool, true);
    CAM_FILE_close(&own);
    return chain;
}
