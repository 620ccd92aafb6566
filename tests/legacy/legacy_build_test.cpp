// libmerrow1-legacy: the entries only the earlier builds export, its CAM
// files from libmerrow2, and its persistent class registered at load.
#include "support/earlier_build_tests.h"

#include <stend/testing_om.h>

#include <algorithm>

namespace {

// The export settings register at load; the spreadsheet object persists
// through its schema instead, which the host boots.
TEST(LegacyBuild, RegistersItsExportSettingsClassAtLoad) {
    const auto names = stend_test::om_class_names();
    EXPECT_NE(std::find(names.begin(), names.end(), "Korvo::Cam::VmExportData"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Korvo::SSP"), names.end());
}

}  // namespace
