// The global parameter records as plain data blocks, and their test controls.
#include <pellam/global_records.h>
#include <pellam/testing_global_records.h>

#include <cstring>

extern "C" {
globap_s globap = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
globat_s globat = {PELLAM_RECORD_FRONT_GUARD, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {}, {}, PELLAM_RECORD_BACK_GUARD};
acom_s acom = {PELLAM_RECORD_FRONT_GUARD, 0, {}, PELLAM_RECORD_BACK_GUARD};
mchpnt_s mchpnt = {PELLAM_RECORD_FRONT_GUARD, 0, {}, {}, PELLAM_RECORD_BACK_GUARD};
millgp_s millgp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
lathep_s lathep = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
contup_s contup = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
contut_s contut = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
garea_s garea = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
mdcmt_s mdcmt = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
pockep_s pockep = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
cavitp_s cavitp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
plmp_s plmp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
zzsurp_s zzsurp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
zzsurt_s zzsurt = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
gssmp_s gssmp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
gssmt_s gssmt = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
ssmeid_s ssmeid = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
roughp_s roughp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
rought_s rought = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
finisp_s finisp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
threap_s threap = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
drillp_s drillp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
groovp_s groovp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
pt2ptp_s pt2ptp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
pt2ptt_s pt2ptt = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
wedmp_s wedmp = {PELLAM_RECORD_FRONT_GUARD, {}, PELLAM_RECORD_BACK_GUARD};
}

namespace {

// One record as raw bytes with its two guard words.
struct Block {
    const char* name;
    unsigned char* bytes;
    std::size_t size;
    unsigned int* front_guard;
    unsigned int* back_guard;
    std::vector<unsigned char> snapshot;
};

template <typename R>
Block block(const char* name, R& record) {
    return {name, reinterpret_cast<unsigned char*>(&record), sizeof record, &record.front_guard,
            &record.back_guard, {}};
}

std::vector<Block>& blocks() {
    static std::vector<Block> all = {
        block("globap", globap), block("globat", globat), block("acom", acom),     block("mchpnt", mchpnt),
        block("millgp", millgp), block("lathep", lathep), block("contup", contup), block("contut", contut),
        block("garea", garea),
        block("mdcmt", mdcmt),   block("pockep", pockep), block("cavitp", cavitp), block("plmp", plmp),
        block("zzsurp", zzsurp), block("zzsurt", zzsurt), block("gssmp", gssmp),   block("gssmt", gssmt),
        block("ssmeid", ssmeid), block("roughp", roughp), block("rought", rought), block("finisp", finisp),
        block("threap", threap), block("drillp", drillp), block("groovp", groovp), block("pt2ptp", pt2ptp),
        block("pt2ptt", pt2ptt), block("wedmp", wedmp),
    };
    static const bool snapped = [] {
        for (Block& b : all) b.snapshot.assign(b.bytes, b.bytes + b.size);
        return true;
    }();
    (void)snapped;
    return all;
}

}  // namespace

namespace pellam_test {

void fill_global_records(unsigned char pattern) {
    for (Block& b : blocks()) {
        std::memset(b.bytes, pattern, b.size);
        *b.front_guard = PELLAM_RECORD_FRONT_GUARD;
        *b.back_guard = PELLAM_RECORD_BACK_GUARD;
    }
    snapshot_global_records();
}

void reset_global_records() {
    fill_global_records(0);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(globat.wcs_matrix, identity, sizeof identity);
    snapshot_global_records();
}

void snapshot_global_records() {
    for (Block& b : blocks()) b.snapshot.assign(b.bytes, b.bytes + b.size);
}

std::vector<std::string> touched_global_records() {
    std::vector<std::string> names;
    for (const Block& b : blocks())
        if (std::memcmp(b.bytes, b.snapshot.data(), b.size) != 0) names.push_back(b.name);
    return names;
}

std::vector<std::string> broken_global_record_guards() {
    std::vector<std::string> names;
    for (const Block& b : blocks())
        if (*b.front_guard != PELLAM_RECORD_FRONT_GUARD || *b.back_guard != PELLAM_RECORD_BACK_GUARD)
            names.push_back(b.name);
    return names;
}

}  // namespace pellam_test
