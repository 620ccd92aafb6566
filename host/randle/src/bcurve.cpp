// Recording stand-in of curve definitions and exact curves.
#include <randle/bcurve.h>
#include <randle/testing_bcurve.h>
#include <stend/error.h>

struct BCDF_s {
    std::vector<double> points;
    int dims;
    int order;
};

namespace {
std::vector<randle_test::CurveCall> g_calls;
bool g_rational = false;
bool g_fail = false;
int g_fail_code = 1;
long g_live = 0;
tag_t g_next_tag = 800000;
}  // namespace

BCDF_s* BCDF_create_df_from_pts(const double* points, int count, int dims, int flag) {
    std::vector<double> values;
    if (points && count > 0 && dims > 0) values.assign(points, points + count * dims);
    g_calls.push_back({"create_df", values, dims, flag});
    if (!points || count < 2 || dims <= 0) return nullptr;
    ++g_live;
    return new BCDF_s{values, dims, 0};
}

void BCDF_set_order(BCDF_s* definition, int order) {
    g_calls.push_back({"set_order", {}, order, 0});
    if (definition) definition->order = order;
}

bool BCDF_ask_rational_curves() { return g_rational; }

void BCDF_add_slopes(BCDF_s*) { g_calls.push_back({"add_slopes", {}, 0, 0}); }

void BCDF_convert_4d_to_3d(BCDF_s*) { g_calls.push_back({"convert_4d_to_3d", {}, 0, 0}); }

void BCDF_free(BCDF_s* definition) {
    g_calls.push_back({"free", {}, 0, 0});
    if (!definition) return;
    --g_live;
    delete definition;
}

tag_t BC_create_exact(const BCDF_s* definition) {
    const std::vector<double> points = definition ? definition->points : std::vector<double>();
    const int order = definition ? definition->order : 0;
    if (g_fail || !definition) {
        g_calls.push_back({"create_exact", points, 0, order});
        throw Korvo::Error::Severe(g_fail ? g_fail_code : 1, "curve not made");
    }
    const tag_t tag = g_next_tag++;
    g_calls.push_back({"create_exact", points, static_cast<int>(tag), order});
    return tag;
}

namespace randle_test {
const std::vector<CurveCall>& curve_calls() { return g_calls; }
void set_rational_curves(bool on) { g_rational = on; }
void fail_create_exact(bool on, int code) {
    g_fail = on;
    g_fail_code = code;
}
long live_definitions() { return g_live; }
void reset_curves() {
    g_calls.clear();
    g_rational = false;
    g_fail = false;
    g_fail_code = 1;
}
}  // namespace randle_test
