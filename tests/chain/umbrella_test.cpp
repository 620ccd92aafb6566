// The umbrella header compiles on its own and brings in the chain interface.
#include <merrow1/merrow1.h>

#include <gtest/gtest.h>

TEST(UmbrellaHeader, DeclaresTheChainInterface) {
    EXPECT_EQ(CHAIN_seg_ask_type(nullptr), -1);
}
