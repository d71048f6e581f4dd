// The nodes the library keeps for a camera, and the ones it leaves to the camera.
#include "kept_nodes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using calidra::sorvik::KeptNodes;

TEST(KeptNodesTest, RefusedValuesLeaveTheKeptOnesAsTheyWere) {
    KeptNodes nodes(/*keepsNucSettings=*/true, /*keepsUserOffset=*/true, 1.5);
    ASSERT_EQ(nodes.setEnum("ImageColorPalette", "Jet"), SVK_OK);
    const int jet = nodes.palette();
    EXPECT_EQ(nodes.setEnum("ImageColorPalette", "NoSuchPalette"), SVK_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(nodes.palette(), jet);
    SvkEnumRecord record{};
    record.capacity = SVK_ENUM_CAPACITY;
    ASSERT_EQ(nodes.enumeration("ImageColorPalette", record), SVK_OK);
    EXPECT_STREQ(record.entries[record.currentIndex], "Jet");

    ASSERT_EQ(nodes.setEnum("NUCMode", "Manual"), SVK_OK);
    EXPECT_EQ(nodes.setEnum("NUCMode", "Sometimes"), SVK_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(nodes.enumeration("NUCMode", record), SVK_OK);
    EXPECT_STREQ(record.entries[record.currentIndex], "Manual");

    EXPECT_EQ(nodes.setFloat("UserCompensationParaB", std::nan("")), SVK_ERROR_INVALID_ARGUMENT);
    SvkFloatRecord offset{};
    ASSERT_EQ(nodes.floatValue("UserCompensationParaB", offset), SVK_OK);
    EXPECT_EQ(offset.value, 1.5);
}

TEST(KeptNodesTest, NodesNotKeptAreLeftToTheCameraWithoutBeingTouched) {
    KeptNodes nodes(/*keepsNucSettings=*/false, /*keepsUserOffset=*/false, 0.25);
    SvkNodeInfo info{};
    SvkEnumRecord record{};
    SvkFloatRecord value{};
    for (const char* node : {"NUCMode", "NUCAutoPeriodicTime", "NUCAutoTemperature", "UserCompensationParaB",
                             "NUCManualRun", "NoSuchNode"}) {
        SCOPED_TRACE(node);
        EXPECT_EQ(nodes.info(node, info), SVK_ERROR_UNKNOWN_NODE);
        EXPECT_EQ(nodes.enumeration(node, record), SVK_ERROR_UNKNOWN_NODE);
        EXPECT_EQ(nodes.floatValue(node, value), SVK_ERROR_UNKNOWN_NODE);
        EXPECT_EQ(nodes.setInt(node, 60), SVK_ERROR_UNKNOWN_NODE);
        EXPECT_EQ(nodes.setFloat(node, 2.0), SVK_ERROR_UNKNOWN_NODE);
        EXPECT_EQ(nodes.setEnum(node, "Manual"), SVK_ERROR_UNKNOWN_NODE);
    }
    EXPECT_EQ(nodes.userOffset(), 0.25); // still the starting value for whoever converts frames
    // The palette is always the library's: the camera never draws the picture.
    EXPECT_EQ(nodes.info("ImageColorPalette", info), SVK_OK);
    EXPECT_EQ(info.accessMode, 4);
    EXPECT_EQ(nodes.setInt("ImageColorPalette", 1), SVK_ERROR_UNKNOWN_NODE);
}

} // namespace
