// A loop of intersection nodes for the tests of the text dumps of the
// earlier builds: the nodes, their two segment nodes (a line and an arc), a
// scratch directory that $HVEX_CAM_FILE_SEARCH_PATH names, and readers of the
// dump.
#pragma once

#include "legacy/scratch_dir.h"

#include <gtest/gtest.h>
#include <merrow1/line_arc_seg.h>
#include <merrow1/psi.h>
#include <stend/testing.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace node_loop_test {

inline std::string hex(const void* p) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return buffer;
}

class NodeLoopFixture : public ::testing::Test {
protected:
    void SetUp() override {
        stend_test::set_env("HVEX_CAM_FILE_SEARCH_PATH", dir.path());
        line.h = LINE_ARC_SEG_LINE_H;
        arc.h = 0.5;
        line_node.main_data = &line;
        arc_node.main_data = &arc;
    }
    // A loop of n nodes: node i's arm (i % 4) leads to arm ((i + 1) % 4) of
    // node i + 1, the last back to the first's arm 0.
    void make_loop(int n) {
        loop.assign(n, PSI_INTXN_NODE_s{});
        for (int i = 0; i < n; ++i) {
            PSI_INTXN_NODE_s& node = loop[i];
            node.pnt = PNT2_s{i + 0.5, 2.0 * i};
            node.id = 10 + i;
            node.flags[0] = static_cast<uint16_t>(0x40 + i);
            node.flags[1] = static_cast<uint16_t>(0x100 + i);
            node.segs[0] = &line_node;
            node.segs[1] = &arc_node;
            for (int a = 0; a < 4; ++a) node.pn_along[a] = &loop[(i + n - 1) % n];
            const int arm = i % 4;
            node.next_around[arm] = &loop[(i + 1) % n];
            node.next_around_idx[arm] = static_cast<unsigned char>(i + 1 < n ? (i + 1) % 4 : 0);
        }
    }
    std::string dump() { return legacy_test::read_file(dir.file("debug.txt")); }
    static int count(const std::string& text, const std::string& what) {
        int c = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++c;
        return c;
    }

    legacy_test::ScratchDir dir;
    LINE_ARC_SEG_s line{}, arc{};
    RING_node_s line_node{}, arc_node{};
    std::vector<PSI_INTXN_NODE_s> loop;
};

}  // namespace node_loop_test
