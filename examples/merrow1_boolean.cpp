// merrow1_boolean: a small host program around the region booleans and the
// chain offset.
//
// It reads closed chains from chain text listings, groups them into region
// sets, forms the union or the intersection of the region sets, prints the
// result chains and writes them as a binary chain-list dump.  The offset
// command offsets every chain of one listing, open or closed, instead.
// Everything it makes lives in one pool, deleted before it exits.
//
// Exit status: 0 done, 1 an input, the boolean, the offset or the output
// failed (nothing is left at the output path then), 2 wrong arguments.

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>

#include <sorrel/cam_file.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kUsage =
    "usage: merrow1_boolean [--engine=older|newer] <union|intersection|chains> <listing> [<listing> ...] <out.dump>\n"
    "       merrow1_boolean [--engine=older|newer] offset <distance>\n"
    "                       <add_arc|extend_tangent|break_corner|always_extend_tangent> <left|right|chain>\n"
    "                       <listing> <out.dump>\n"
    "\n"
    "Reads every chain of the chain text listings (each chain a \"The chain is a closed chain\"\n"
    "block ending at the \"Corner\" line of its last vertex), forms the union or the\n"
    "intersection of their region sets, prints the result chains and writes them to\n"
    "<out.dump> as a binary chain-list dump.\n"
    "\n"
    "Region sets: chains of one listing that carry the same region_set_id line (none\n"
    "counts as 0) form one region set; listings never share a region set.  So two\n"
    "listings of one region each give the boolean of the two, and one listing can hold\n"
    "several region sets, each an outer chain with its holes.  The result takes the\n"
    "material side of the first chain read.\n"
    "\n"
    "chains: the boolean of all chains read as one chain set (ChainsBoolean).\n"
    "\n"
    "offset: offsets every chain of the listing, open ones too (CHAIN_offset), at the\n"
    "distance with the corner control, away from the material: left and right set every\n"
    "chain's material side first, chain keeps the side each chain has in the listing.\n"
    "A negative distance offsets towards the material.  It prints the result chains and\n"
    "the total material area of the closed ones, and writes them to <out.dump>.\n"
    "\n"
    "--engine decides which boolean engine runs; without it the environment decides\n"
    "(HVEX_CAM_USE_OLD_BOOLEAN set: the older one).\n";

// Failure of one step; the text goes to stderr as it stands.
struct Failure {
    std::string text;
};

// Owns the pool of the run: every chain and list is made in it.
class Pool {
public:
    Pool() : m_pool(CMEM_private_create_pool(512, "merrow1_boolean", __LINE__, __FILE__)) {}
    ~Pool() { CMEM_private_delete_pool(m_pool); }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    CMEM_pool_s* get() const { return m_pool; }

private:
    CMEM_pool_s* m_pool;
};

// Closes a host file on every exit.
class OpenFile {
public:
    explicit OpenFile(CAM_FILE_s* file) : m_file(file) {}
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    CAM_FILE_s* get() const { return m_file; }
    bool close() { return m_file == nullptr || CAM_FILE_close(&m_file) == CAM_FILE_SUCCESS; }

private:
    CAM_FILE_s* m_file;
};

CHAIN_main_data_s* main_of(const RING_header_s* chain) {
    return static_cast<CHAIN_main_data_s*>(chain->main_data);
}

bool is_closed(const RING_header_s* chain) {
    return chain->first != nullptr && chain->last != nullptr && chain->last->next == chain->first;
}

const char* side_name(SIDE side) {
    return side == LEFT ? "LEFT" : side == RIGHT ? "RIGHT" : "unset";
}

// A length for printing: six decimals (the points of a result lie on the
// boolean's integer grid, a little off the input values), no negative zero.
std::string length(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string s = text;
    if (s.find_first_not_of("-0.") == std::string::npos) s = s.substr(s[0] == '-' ? 1 : 0);
    return s;
}

const char* direction_name(DIRECTION direction) {
    return direction == CW ? "CW" : direction == CCW ? "CCW" : "none";
}

// The number of chain lines ("The chain is a ..." / "... an ...") of a listing,
// so that a chain the reader gave up on (its lines ran out before its last
// vertex) is not dropped unnoticed.
int count_chain_lines(const std::string& name) {
    std::ifstream in(name);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string w[4];
        for (std::string& word : w) words >> word;
        if (w[0] == "The" && w[1] == "chain" && w[2] == "is" && (w[3] == "a" || w[3] == "an")) ++count;
    }
    return count;
}

// Reads the chains of one listing into the set, one after the other from the
// open file, and stamps each with its region-set id: the ids of this listing's
// region_set_id lines are numbered on from `next_id` in order of first
// appearance.
void read_listing(const std::string& name, RING_header_s* set, int& next_id, CMEM_pool_s* pool,
                  bool closed_only = true) {
    CAM_FILE_s* raw = nullptr;
    if (CAM_FILE_open_text(name.c_str(), CAM_FILE_ACCESS_READ, &raw) != CAM_FILE_SUCCESS)
        throw Failure{"cannot open listing '" + name + "'"};
    OpenFile file(raw);
    std::map<int, int> ids;  // the listing's region_set_id -> the run's id
    int count = 0;
    while (RING_header_s* chain = CHAIN_load_text(nullptr, file.get(), pool)) {
        ++count;
        if (closed_only && (!is_closed(chain) || chain->count < 2))
            throw Failure{"listing '" + name + "': chain " + std::to_string(count) +
                          " is not a closed chain of two or more vertices"};
        CHAIN_main_data_s* m = main_of(chain);
        auto found = ids.emplace(m->region_set_id, next_id);
        if (found.second) ++next_id;
        m->region_set_id = found.first->second;
        RING_set_node_subring(RING_insert_after(set, set->last, nullptr), chain);
    }
    if (count == 0) throw Failure{"listing '" + name + "' holds no complete chain"};
    const int started = count_chain_lines(name);
    if (count < started)
        throw Failure{"listing '" + name + "': " + std::to_string(started - count) + " of its " +
                      std::to_string(started) + " chains end before their last vertex"};
}

void print_chain(int index, const RING_header_s* chain) {
    const CHAIN_main_data_s* m = main_of(chain);
    std::printf("chain %d: %s, %d vertices, %s, material %s, area %.9g\n", index,
                is_closed(chain) ? "closed" : "open", chain->count, direction_name(CHAIN_direction_of_chain(chain)),
                side_name(m->material_side), CHAIN_chainArea_chainCentroid(chain, nullptr));
    int k = 0;
    for (const RING_node_s* v = chain->first; v != nullptr && k < chain->count; v = v->next) {
        ++k;
        const auto* record = static_cast<const CHAIN_vertex_data_s*>(v->main_data);
        const double* g = record != nullptr ? record->geometry : nullptr;
        switch (g != nullptr ? CHAIN_seg_ask_type(v) : -1) {
        case SEG_ARC: {
            const auto* e = reinterpret_cast<const end_segment*>(g);
            std::printf("  %3d arc   to (%s, %s) centre (%s, %s) radius %s %s\n", k, length(e->x).c_str(),
                        length(e->y).c_str(), length(e->cx).c_str(), length(e->cy).c_str(), length(e->radius).c_str(),
                        direction_name(e->direction));
            break;
        }
        case SEG_LINE:
            std::printf("  %3d line  to (%s, %s)\n", k, length(g[0]).c_str(), length(g[1]).c_str());
            break;
        case SEG_POINT:
            std::printf("  %3d point at (%s, %s)\n", k, length(g[0]).c_str(), length(g[1]).c_str());
            break;
        default:
            std::printf("  %3d untyped\n", k);
            break;
        }
    }
}

// Writes the list as a dump under a temporary name and renames it into place,
// so that a failed write leaves nothing at the output path.
void write_dump(const RING_header_s* list, const std::string& name) {
    const std::string part = name + ".part";
    CAM_FILE_s* raw = nullptr;
    if (CAM_FILE_open_binary(part.c_str(), CAM_FILE_ACCESS_WRITE, &raw) != CAM_FILE_SUCCESS)
        throw Failure{"cannot write '" + name + "'"};
    OpenFile file(raw);
    const bool written = CHAIN_dump_list_of_chains(list, file.get()) == 1;
    const bool closed = file.close();
    if (!written || !closed || std::rename(part.c_str(), name.c_str()) != 0) {
        std::remove(part.c_str());
        throw Failure{"cannot write '" + name + "'"};
    }
}

void print_result(const RING_header_s* out) {
    int k = 0;
    for (const RING_node_s* n = out->first; n != nullptr && k < out->count; n = n->next)
        if (const RING_header_s* chain = RING_ask_node_subring(n)) print_chain(++k, chain);
}

// The corner controls and sides of the offset command by their names.
const std::map<std::string, CORNER_CONTROL> kCorners = {
    {"add_arc", ADD_ARC},
    {"extend_tangent", EXTEND_TANGENT},
    {"break_corner", BREAK_CORNER},
    {"always_extend_tangent", ALWAYS_EXTEND_TANGENT},
};
const std::map<std::string, SIDE> kSides = {{"left", LEFT}, {"right", RIGHT}, {"chain", 0}};

struct OffsetRequest {
    double distance;
    std::string corner_name;
    CORNER_CONTROL corner;
    SIDE side;
    std::string listing;
};

// Offsets every chain of the listing into one result list.  A chain whose
// offset gives nothing adds no chain (and is counted).
int run_offset(const OffsetRequest& request, const std::string& dump) {
    Pool pool;
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int next_id = 1;
    read_listing(request.listing, set, next_id, pool.get(), false);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int empty = 0;
    int k = 0;
    for (const RING_node_s* n = set->first; n != nullptr && k < set->count; n = n->next, ++k) {
        RING_header_s* chain = RING_ask_node_subring(n);
        if (chain == nullptr) continue;
        if (request.side != 0) main_of(chain)->material_side = request.side;
        RING_header_s* offsets = CHAIN_offset(chain, request.distance, request.corner, request.side, nullptr, nullptr,
                                              nullptr, pool.get(), nullptr);
        if (offsets == nullptr || offsets->count == 0) ++empty;
        if (offsets != nullptr) {
            RING_append_ring(out, offsets);
            RING_delete(offsets);
        }
    }
    std::printf("offset %.9g %s of %d chains: %d result chains", request.distance, request.corner_name.c_str(),
                set->count, out->count);
    if (empty > 0) std::printf(" (%d chains gave none)", empty);
    std::printf("\n");
    print_result(out);
    // The material area of the closed results, each negated when its material
    // lies on the right (open chains enclose none).
    RING_header_s* closed = CHAIN_create_boolean_set(pool.get(), nullptr);
    k = 0;
    for (const RING_node_s* n = out->first; n != nullptr && k < out->count; n = n->next, ++k)
        if (RING_header_s* chain = RING_ask_node_subring(n))
            if (is_closed(chain)) CHAIN_add_chain_to_list(closed, chain);
    std::printf("total area of the %d closed chains: %.9g\n", closed->count, CHAIN_area_centroid(closed, nullptr));

    write_dump(out, dump);
    std::printf("written: %s\n", dump.c_str());
    return 0;
}

int run(const std::string& op_name, const std::vector<std::string>& listings, const std::string& dump) {
    Pool pool;
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int next_id = 1;
    for (const std::string& name : listings) read_listing(name, set, next_id, pool.get());

    const unsigned op = op_name == "intersection" ? CHAIN_BOOLEAN_INTERSECT : 0u;
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    if (op_name == "chains")
        ChainsBoolean(set, 0, out, nullptr);
    else
        CHAIN_boolean_regions(set, 0, op, nullptr, nullptr, nullptr, nullptr, nullptr, out);

    std::printf("%s of %d region sets (%d chains): %d result chains\n", op_name.c_str(), next_id - 1, set->count,
                out->count);
    print_result(out);
    std::printf("total area: %.9g\n", CHAIN_area_centroid(out, nullptr));

    write_dump(out, dump);
    std::printf("written: %s\n", dump.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::string(argv[1]).compare(0, 9, "--engine=") == 0) {
        const std::string engine = argv[1] + 9;
        if (engine != "older" && engine != "newer") {
            std::fprintf(stderr, "merrow1_boolean: unknown engine '%s' (older or newer)\n\n%s", engine.c_str(), kUsage);
            return 2;
        }
        CHAIN_set_new_boolean_flag(engine == "newer");
        first = 2;
    }
    if (argc < first + 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string op = argv[first];
    if (op != "union" && op != "intersection" && op != "chains" && op != "offset") {
        std::fprintf(stderr, "merrow1_boolean: unknown operation '%s' (union, intersection, chains or offset)\n\n%s",
                     op.c_str(), kUsage);
        return 2;
    }
    OffsetRequest request{};
    if (op == "offset") {
        if (argc != first + 6) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const char* text = argv[first + 1];
        char* end = nullptr;
        request.distance = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(request.distance)) {
            std::fprintf(stderr, "merrow1_boolean: bad distance '%s' (a finite number)\n\n%s", text, kUsage);
            return 2;
        }
        request.corner_name = argv[first + 2];
        const auto corner = kCorners.find(request.corner_name);
        if (corner == kCorners.end()) {
            std::fprintf(stderr,
                         "merrow1_boolean: unknown corner control '%s' (add_arc, extend_tangent, break_corner or "
                         "always_extend_tangent)\n\n%s",
                         argv[first + 2], kUsage);
            return 2;
        }
        request.corner = corner->second;
        const auto side = kSides.find(argv[first + 3]);
        if (side == kSides.end()) {
            std::fprintf(stderr, "merrow1_boolean: unknown side '%s' (left, right or chain)\n\n%s", argv[first + 3],
                         kUsage);
            return 2;
        }
        request.side = side->second;
        request.listing = argv[first + 4];
    }
    const std::vector<std::string> listings(argv + first + 1, argv + argc - 1);
    try {
        return op == "offset" ? run_offset(request, argv[argc - 1]) : run(op, listings, argv[argc - 1]);
    } catch (const Failure& f) {
        std::fprintf(stderr, "merrow1_boolean: %s\n", f.text.c_str());
    } catch (const Korvo::Error::Exception& e) {
        std::fprintf(stderr, "merrow1_boolean: the %s failed: error %d: %s\n", op == "offset" ? "offset" : "boolean",
                     e.askCode(), e.askText().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merrow1_boolean: %s\n", e.what());
    }
    return 1;
}
