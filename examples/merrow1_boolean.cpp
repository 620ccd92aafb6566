// merrow1_boolean: a small host program around the region booleans, the
// chain offset and the region offset.
//
// It reads closed chains from chain text listings, groups them into region
// sets, forms the union or the intersection of the region sets, prints the
// result chains and writes them as a binary chain-list dump.  The offset
// command offsets every chain of one listing, open or closed, instead; the
// pocket command offsets the region set of one listing away from its material
// pass by pass until nothing is left.  With --svg every command also draws
// its input chains and its results as an SVG picture (svg_picture.h).
// Everything it makes lives in one pool, deleted before it exits.
//
// Exit status: 0 done, 1 an input, the boolean, the offset or an output
// failed (nothing is left at the output paths then), 2 wrong arguments.

#include <merrow1/chain.h>
#include <merrow1/chain_area.h>
#include <merrow1/chain_load.h>
#include <merrow1/chain_offset.h>
#include <merrow1/chain_poly_seg.h>
#include <merrow1/chain_region.h>
#include <merrow1/chain_region_offset.h>
#include <merrow1/chain_set.h>
#include <merrow1/chain_types.h>

#include "svg_picture.h"

#include <sorrel/cam_file.h>
#include <stend/error.h>
#include <velte/cmem.h>
#include <velte/ring.h>

#include <algorithm>
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
    "       merrow1_boolean [--engine=older|newer] pocket <step> <listing> <out.dump>\n"
    "       any of these with --svg <picture.svg> anywhere after the program name\n"
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
    "pocket: offsets the closed chains of the listing, an outer boundary (material\n"
    "outside) with its islands (material inside), as one region set away from their\n"
    "material (CHAIN_offset_region) at step, 2 x step, ... until a pass gives nothing.\n"
    "It prints the area of every pass and writes the chains of all passes to <out.dump>.\n"
    "\n"
    "--svg draws the input chains and the results into <picture.svg>: lines and arcs as\n"
    "they are, the material side shaded, each region set in its own colour (a pass of\n"
    "the pocket counts as one).\n"
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

// Writes the picture (when one is asked for) and the dump.  The picture goes
// under a temporary name first and into place only once the dump is written,
// so a failure of either leaves neither.
void write_outputs(const RING_header_s* list, const std::string& dump, const SvgPicture* picture,
                   const std::string& svg) {
    const std::string part = svg + ".part";
    if (picture != nullptr && !picture->write(part)) {
        std::remove(part.c_str());
        throw Failure{"cannot write '" + svg + "'"};
    }
    try {
        write_dump(list, dump);
    } catch (const Failure&) {
        if (picture != nullptr) std::remove(part.c_str());
        throw;
    }
    if (picture != nullptr && std::rename(part.c_str(), svg.c_str()) != 0) {
        std::remove(part.c_str());
        std::remove(dump.c_str());
        throw Failure{"cannot write '" + svg + "'"};
    }
    std::printf("written: %s\n", dump.c_str());
    if (picture != nullptr) std::printf("drawn: %s\n", svg.c_str());
}

// The chains of a list in order, skipping nodes without a chain.
template <class Fn>
void for_each_chain(const RING_header_s* list, Fn fn) {
    int k = 0;
    for (const RING_node_s* n = list->first; n != nullptr && k < list->count; n = n->next, ++k)
        if (RING_header_s* chain = RING_ask_node_subring(n)) fn(chain);
}

// Draws the chains of the set as inputs, each in the colour of its region set.
void draw_inputs(SvgPicture* picture, const RING_header_s* set) {
    if (picture == nullptr) return;
    for_each_chain(set, [&](const RING_header_s* chain) { picture->add_input(chain, main_of(chain)->region_set_id); });
}

void print_result(const RING_header_s* out) {
    int k = 0;
    for_each_chain(out, [&](const RING_header_s* chain) { print_chain(++k, chain); });
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

// The outputs of a run: the dump, and the picture when --svg names one.
struct Outputs {
    std::string dump;
    std::string svg;  // empty: no picture
};

// Offsets every chain of the listing into one result list.  A chain whose
// offset gives nothing adds no chain (and is counted).
int run_offset(const OffsetRequest& request, const Outputs& outputs) {
    Pool pool;
    RING_header_s* set = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int next_id = 1;
    read_listing(request.listing, set, next_id, pool.get(), false);
    RING_header_s* out = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int empty = 0;
    for_each_chain(set, [&](RING_header_s* chain) {
        if (request.side != 0) main_of(chain)->material_side = request.side;
        RING_header_s* offsets = CHAIN_offset(chain, request.distance, request.corner, request.side, nullptr, nullptr,
                                              nullptr, pool.get(), nullptr);
        if (offsets == nullptr || offsets->count == 0) ++empty;
        if (offsets != nullptr) {
            RING_append_ring(out, offsets);
            RING_delete(offsets);
        }
    });
    std::printf("offset %.9g %s of %d chains: %d result chains", request.distance, request.corner_name.c_str(),
                set->count, out->count);
    if (empty > 0) std::printf(" (%d chains gave none)", empty);
    std::printf("\n");
    print_result(out);
    // The material area of the closed results, each negated when its material
    // lies on the right (open chains enclose none).
    RING_header_s* closed = CHAIN_create_boolean_set(pool.get(), nullptr);
    for_each_chain(out, [&](RING_header_s* chain) {
        if (is_closed(chain)) CHAIN_add_chain_to_list(closed, chain);
    });
    std::printf("total area of the %d closed chains: %.9g\n", closed->count, CHAIN_area_centroid(closed, nullptr));

    SvgPicture picture;
    draw_inputs(&picture, set);
    picture.add_results(out, 0);
    write_outputs(out, outputs.dump, outputs.svg.empty() ? nullptr : &picture, outputs.svg);
    return 0;
}

// Whether the closed chain has its material outside: counter-clockwise with
// the material on its right, or clockwise with it on its left.
bool material_outside(const RING_header_s* chain) {
    const DIRECTION turn = CHAIN_direction_of_chain(chain);
    const SIDE side = main_of(chain)->material_side;
    return (turn == CCW && side == RIGHT) || (turn == CW && side == LEFT);
}

// The pocketing loop of the quick start on a listing: the region set offset
// away from its material (CHAIN_offset_region, from the input each time) at
// step, 2 x step, ... until a pass gives nothing.  The passes are bounded by
// the input's box: no pocket outlives an offset by half its larger side.
int run_pocket(double step, const std::string& listing, const Outputs& outputs) {
    Pool pool;
    RING_header_s* regions = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
    int next_id = 1;
    read_listing(listing, regions, next_id, pool.get());
    double lo[2] = {0.0, 0.0}, hi[2] = {0.0, 0.0};
    bool outer = false, empty = true;
    for_each_chain(regions, [&](RING_header_s* chain) {
        if (!material_outside(chain)) return;
        outer = true;
        join_chain_box(chain, lo, hi, &empty);
    });
    if (!outer)
        throw Failure{"listing '" + listing + "' holds no outer boundary (a closed chain with its material outside)"};
    const double limit = 0.5 * std::max(hi[0] - lo[0], hi[1] - lo[1]);
    if (limit / step > 1000.0) throw Failure{"a step of " + length(step) + " makes more than 1000 passes"};

    SvgPicture picture;
    draw_inputs(&picture, regions);
    RING_header_s* all = CHAIN_create_boolean_set(pool.get(), nullptr);  // refers to the passes' chains
    std::vector<std::string> lines;
    int passes = 0;
    for (int pass = 1;; ++pass) {
        const double distance = step * pass;
        RING_header_s* path = RING_create_in_pool(nullptr, RING_TYPE_LIST, pool.get());
        char text[160];
        if (!CHAIN_offset_region(regions, path, distance, false)) {
            std::snprintf(text, sizeof text, "pass %d at %.9g: nothing left", pass, distance);
            lines.push_back(text);
            break;
        }
        if (distance > limit) throw Failure{"the region set is not empty at " + length(distance)};
        passes = pass;
        std::snprintf(text, sizeof text, "pass %d at %.9g: %d chains, area %.9g", pass, distance, path->count,
                      CHAIN_area_centroid(path, nullptr));
        lines.push_back(text);
        for_each_chain(path, [&](RING_header_s* chain) { CHAIN_add_chain_to_list(all, chain); });
        picture.add_results(path, pass);
    }
    std::printf("pocket at step %.9g of %d chains: %d passes, %d result chains\n", step, regions->count, passes,
                all->count);
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    write_outputs(all, outputs.dump, outputs.svg.empty() ? nullptr : &picture, outputs.svg);
    return 0;
}

int run(const std::string& op_name, const std::vector<std::string>& listings, const Outputs& outputs) {
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

    SvgPicture picture;
    draw_inputs(&picture, set);
    picture.add_results(out, 0);
    write_outputs(out, outputs.dump, outputs.svg.empty() ? nullptr : &picture, outputs.svg);
    return 0;
}

// A finite number from the whole text, or false.
bool parse_number(const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(*value);
}

}  // namespace

int main(int argc, char** argv) {
    // --svg <file> may stand anywhere after the program name; the other
    // arguments keep their order.
    std::vector<std::string> args;
    Outputs outputs;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--svg") {
            args.push_back(argv[i]);
        } else if (i + 1 < argc && outputs.svg.empty()) {
            outputs.svg = argv[++i];
        } else {
            std::fprintf(stderr, "merrow1_boolean: --svg takes one file name, once\n\n%s", kUsage);
            return 2;
        }
    }
    size_t first = 0;
    if (!args.empty() && args[0].compare(0, 9, "--engine=") == 0) {
        const std::string engine = args[0].substr(9);
        if (engine != "older" && engine != "newer") {
            std::fprintf(stderr, "merrow1_boolean: unknown engine '%s' (older or newer)\n\n%s", engine.c_str(), kUsage);
            return 2;
        }
        CHAIN_set_new_boolean_flag(engine == "newer");
        first = 1;
    }
    if (args.size() < first + 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string op = args[first];
    if (op != "union" && op != "intersection" && op != "chains" && op != "offset" && op != "pocket") {
        std::fprintf(stderr,
                     "merrow1_boolean: unknown operation '%s' (union, intersection, chains, offset or pocket)\n\n%s",
                     op.c_str(), kUsage);
        return 2;
    }
    outputs.dump = args.back();
    OffsetRequest request{};
    double step = 0.0;
    if (op == "offset") {
        if (args.size() != first + 6) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!parse_number(args[first + 1], &request.distance)) {
            std::fprintf(stderr, "merrow1_boolean: bad distance '%s' (a finite number)\n\n%s", args[first + 1].c_str(),
                         kUsage);
            return 2;
        }
        request.corner_name = args[first + 2];
        const auto corner = kCorners.find(request.corner_name);
        if (corner == kCorners.end()) {
            std::fprintf(stderr,
                         "merrow1_boolean: unknown corner control '%s' (add_arc, extend_tangent, break_corner or "
                         "always_extend_tangent)\n\n%s",
                         args[first + 2].c_str(), kUsage);
            return 2;
        }
        request.corner = corner->second;
        const auto side = kSides.find(args[first + 3]);
        if (side == kSides.end()) {
            std::fprintf(stderr, "merrow1_boolean: unknown side '%s' (left, right or chain)\n\n%s",
                         args[first + 3].c_str(), kUsage);
            return 2;
        }
        request.side = side->second;
        request.listing = args[first + 4];
    } else if (op == "pocket") {
        if (args.size() != first + 4) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (!parse_number(args[first + 1], &step) || step <= 0.0) {
            std::fprintf(stderr, "merrow1_boolean: bad step '%s' (a finite number above 0)\n\n%s",
                         args[first + 1].c_str(), kUsage);
            return 2;
        }
    }
    const std::vector<std::string> listings(args.begin() + first + 1, args.end() - 1);
    try {
        if (op == "offset") return run_offset(request, outputs);
        if (op == "pocket") return run_pocket(step, args[first + 2], outputs);
        return run(op, listings, outputs);
    } catch (const Failure& f) {
        std::fprintf(stderr, "merrow1_boolean: %s\n", f.text.c_str());
    } catch (const Korvo::Error::Exception& e) {
        std::fprintf(stderr, "merrow1_boolean: the %s failed: error %d: %s\n",
                     op == "offset" || op == "pocket" ? "offset" : "boolean", e.askCode(), e.askText().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merrow1_boolean: %s\n", e.what());
    }
    return 1;
}
