// libmerrow1-classic: the entries only the earlier builds export, its CAM
// files from libmerrow2, and no class registered: the oldest build has none.
#include "support/earlier_build_tests.h"

#include <stend/testing_om.h>

#include <algorithm>

namespace {

TEST(ClassicBuild, RegistersNoClass) {
    const auto names = stend_test::om_class_names();
    for (const char* name : {"Korvo::Cam::VmExportData", "Korvo::SSP"})
        EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end()) << name;
}

}  // namespace
