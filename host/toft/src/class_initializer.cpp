// Stand-in of the host's feature interfaces: the plane interface records its
// calls in order.
#include <toft/class_initializer.h>
#include <toft/testing.h>

#include <cstring>

namespace {

std::vector<toft_test::Call> g_calls;
std::vector<std::string> g_requests;

class PlaneRecorder : public Korvo::TOFT::IPlane {
public:
    void SetMethod(tag_t plane, int code) override { g_calls.push_back({"SetMethod", plane, {code}, ""}); }
    void SetDefiningObjects(tag_t plane, tag_t first, tag_t second) override {
        g_calls.push_back({"SetDefiningObjects", plane, {static_cast<long>(first), static_cast<long>(second)}, ""});
    }
    void SetExpressionName(tag_t plane, const char* name) override {
        g_calls.push_back({"SetExpressionName", plane, {}, name ? name : ""});
    }
    void ClearOption(tag_t plane, int option) override { g_calls.push_back({"ClearOption", plane, {option}, ""}); }
    void Update(tag_t plane) override { g_calls.push_back({"Update", plane, {}, ""}); }
};

PlaneRecorder g_plane;

}  // namespace

namespace Korvo {
namespace TOFT {
void* ClassInitializer::GetUnjournalledInterface(const char* name) {
    g_requests.push_back(name ? name : "");
    if (name && std::strcmp(name, "IPlane") == 0) return static_cast<IPlane*>(&g_plane);
    return nullptr;
}
}  // namespace TOFT
}  // namespace Korvo

namespace toft_test {
const std::vector<Call>& calls() { return g_calls; }
const std::vector<std::string>& interface_requests() { return g_requests; }
void reset() {
    g_calls.clear();
    g_requests.clear();
}
}  // namespace toft_test
