// Recording stand-in of the view list and the flush.
#include <glimra/testing.h>
#include <glimra/views.h>

namespace {
std::vector<tag_t> g_views{1};
}  // namespace

int DSS_VIEW_ask_view_list(const tag_t** views) {
    glimra_test::Call call{"view_list", 0, {}, {}};
    for (tag_t view : g_views) call.ints.push_back(static_cast<int>(view));
    glimra_test::record(call);
    if (views) *views = g_views.data();
    return static_cast<int>(g_views.size());
}

void cg009() { glimra_test::record({"cg009", 0, {}, {}}); }

namespace glimra_test {
void set_view_list(const std::vector<unsigned int>& views) { g_views.assign(views.begin(), views.end()); }
void reset_view_list() { g_views.assign(1, 1); }
}  // namespace glimra_test
