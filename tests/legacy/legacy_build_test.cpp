// libmerrow1-legacy: the entries only the earlier builds export, its CAM
// files from libmerrow2, and its persistent classes registered at load.
#include "support/earlier_build_tests.h"

#include <stend/testing_om.h>

#include <algorithm>

namespace {

TEST(LegacyBuild, RegistersItsPersistentClassesAtLoad) {
    const auto names = stend_test::om_class_names();
    for (const char* name : {"Korvo::Cam::VmExportData", "Korvo::SSP"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
}

}  // namespace
