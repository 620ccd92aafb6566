// Tests that both earlier builds share, included by one source of each of
// their test programs (each program links its own flavour):
//  - the entries the newest build keeps internal are exported and are the
//    library's own (the initialisers are those of the entry table);
//  - the CAM files come from libmerrow2, and sorrel is not loaded beside it.
#pragma once

#include <gtest/gtest.h>
#include <merrow2/cam_file.h>
#include <merrow2/testing.h>

#include "services/cam_name_internal.h"
#include "services/cpe_internal.h"
#include "services/ssp_definitions.h"

#include <link.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace earlier_build_test {

// Whether a loaded object's file name ends in `name`.
inline bool loaded(const char* name) {
    struct Search {
        const char* name;
        bool found;
    } search{name, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            Search* s = static_cast<Search*>(data);
            const char* path = info->dlpi_name ? info->dlpi_name : "";
            const char* slash = std::strrchr(path, '/');
            if (std::strcmp(slash ? slash + 1 : path, s->name) == 0) s->found = true;
            return 0;
        },
        &search);
    return search.found;
}

TEST(EarlierBuildExports, InitialisersAreThoseOfTheEntryTable) {
    const struct {
        const char* name;
        CPE_initialiser_t initialiser;
    } exported[] = {
        {"CPE_init_global_machining", CPE_init_global_machining},
        {"CPE_init_global_mill", CPE_init_global_mill},
        {"CPE_init_global_lathe", CPE_init_global_lathe},
        {"CPE_init_surface_contouring", CPE_init_surface_contouring},
        {"CPE_init_planar_milling", CPE_init_planar_milling},
        {"CPE_init_cavity_milling", CPE_init_cavity_milling},
        {"CPE_init_paramline_milling", CPE_init_paramline_milling},
        {"CPE_init_zigzag_surface", CPE_init_zigzag_surface},
        {"CPE_init_seq_surf_milling", CPE_init_seq_surf_milling},
        {"CPE_init_lathe_rough", CPE_init_lathe_rough},
        {"CPE_init_lathe_finish", CPE_init_lathe_finish},
        {"CPE_init_lathe_thread", CPE_init_lathe_thread},
        {"CPE_init_lathe_drill", CPE_init_lathe_drill},
        {"CPE_init_lathe_groove", CPE_init_lathe_groove},
        {"CPE_init_pt2pt", CPE_init_pt2pt},
        {"CPE_init_wire_edm", CPE_init_wire_edm},
    };
    int count = 0;
    const CPE_entry_s* table = CPE__entry_table(&count);
    ASSERT_EQ(count, 16);
    for (const auto& e : exported) {
        SCOPED_TRACE(e.name);
        int found = 0;
        for (int i = 0; i < count; ++i)
            if (std::strcmp(table[i].initialiser_name, e.name) == 0) {
                ++found;
                EXPECT_EQ(table[i].initialiser, e.initialiser);
            }
        EXPECT_EQ(found, 1);
    }
}

TEST(EarlierBuildExports, SpreadsheetAndViewEntriesAnswer) {
    SSP_init_module();
    EXPECT_EQ(SSP_ask_num_of_loaded_ssps(), 0);
    const char* keys[] = {"k"};
    const char* sheets[] = {nullptr};
    EXPECT_EQ(SSP_create_many_from_one_file(nullptr, 1, keys, sheets, "", SSP_METRIC), nullptr);
    EXPECT_EQ(CAM_ask_root_of_view(0), nullptr);  // no current setup
}

TEST(EarlierBuildHost, CamFilesComeFromMerrow2Alone) {
    EXPECT_TRUE(loaded("libmerrow2.so"));
    EXPECT_FALSE(loaded("libsorrel.so"));
    char pattern[] = "/tmp/earlier-build-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    CAM_FILE_s* file = nullptr;
    ASSERT_EQ(CAM_FILE_open_text(pattern, CAM_FILE_ACCESS_WRITE, &file), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_text(file, "text\n"), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_close(&file), CAM_FILE_SUCCESS);
    EXPECT_EQ(sorrel_test::ops(), (std::vector<std::string>{"open_text", "write_text", "close"}));
    std::ifstream in(pattern);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "text\n");
    std::remove(pattern);
}

}  // namespace earlier_build_test
