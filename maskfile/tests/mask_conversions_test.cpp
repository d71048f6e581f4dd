#include "maskfile/mask_conversions.h"

#include <gtest/gtest.h>

using maskfile::EditorScale;
using maskfile::MaskRecords;

namespace {

EditorScale snapshot384x288() {
    return maskfile::editorScale(384, 288, 768, 576);
}

maskfile::FileBytes fileOf(const MaskRecords& records) {
    return maskfile::encodeRecords(records);
}

} // namespace

TEST(EditorLoad, NoFileGivesDefaultsInPicturePixels) {
    const MaskRecords records = maskfile::loadForEditor(nullptr, 0, snapshot384x288());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].nID, i);
        EXPECT_EQ(records[i].bEnabled, 0);
        EXPECT_EQ(records[i].nX, 44 * i);
        EXPECT_EQ(records[i].nY, 0);
        EXPECT_EQ(records[i].nWidth, 40);
        EXPECT_EQ(records[i].nHeight, 40);
        EXPECT_EQ(records[i].nImageWidth, 384) << "image size fields are not scaled";
    }
}

TEST(EditorLoad, ShortFileAndOtherSnapshotSizeGiveDefaults) {
    MaskRecords stored = maskfile::defaultRecords(640, 480);
    stored[1].bEnabled = 1;
    stored[1].nX = 200;
    const maskfile::FileBytes bytes = fileOf(stored);
    const MaskRecords otherSize = maskfile::loadForEditor(bytes.data(), bytes.size(), snapshot384x288());
    EXPECT_EQ(otherSize[1].bEnabled, 0);
    EXPECT_EQ(otherSize[1].nX, 44);

    const MaskRecords tenBytes = maskfile::loadForEditor(bytes.data(), 10, snapshot384x288());
    EXPECT_EQ(tenBytes[3].nX, 132);
}

TEST(EditorLoad, OnlyRecordZeroDecidesAndEnabledTwoIsKept) {
    MaskRecords stored = maskfile::defaultRecords(384, 288);
    stored[2].bEnabled = 2;
    stored[3].nImageWidth = 640; // ignored: only record 0 is compared
    stored[3].nX = 51;
    const maskfile::FileBytes bytes = fileOf(stored);
    const MaskRecords loaded = maskfile::loadForEditor(bytes.data(), bytes.size(), snapshot384x288());
    EXPECT_EQ(loaded[2].bEnabled, 2);
    EXPECT_EQ(loaded[3].nX, 102);
}

TEST(EditorSave, RoundsHalfUpAndReloadsToTheSamePicture) {
    MaskRecords picture = maskfile::defaultRecords(384, 288);
    picture[0].nX = 101;
    const MaskRecords saved = maskfile::saveForEditor(picture, snapshot384x288());
    EXPECT_EQ(saved[0].nX, 51); // trunc(101 * 0.5 + 0.5)
    const maskfile::FileBytes bytes = fileOf(saved);
    const MaskRecords reloaded = maskfile::loadForEditor(bytes.data(), bytes.size(), snapshot384x288());
    EXPECT_EQ(reloaded[0].nX, 102);
}

TEST(EditorSave, ClipsToTheSnapshotAndStampsItsSize) {
    MaskRecords picture = maskfile::defaultRecords(0, 0);
    picture[1].nX = 700;
    picture[1].nWidth = 100;
    picture[2].nY = 570;
    picture[2].nHeight = 40;
    const MaskRecords saved = maskfile::saveForEditor(picture, snapshot384x288());
    EXPECT_EQ(saved[1].nX, 350);
    EXPECT_EQ(saved[1].nWidth, 34); // 350 + trunc(50.5) >= 384
    EXPECT_EQ(saved[2].nY, 285);
    EXPECT_EQ(saved[2].nHeight, 3);
    for (const MaskInfo& info : saved) {
        EXPECT_EQ(info.nImageWidth, 384);
        EXPECT_EQ(info.nImageHeight, 288);
        EXPECT_LE(info.nX + info.nWidth, 384);
    }
}

TEST(EditorSave, StartPastTheEdgeGetsNoSizeInsteadOfAWrappedOne) {
    MaskRecords picture = maskfile::defaultRecords(0, 0);
    picture[0].nX = 770; // beyond the 768-pixel picture
    const MaskRecords saved = maskfile::saveForEditor(picture, snapshot384x288());
    EXPECT_EQ(saved[0].nX, 385);
    EXPECT_EQ(saved[0].nWidth, 0);
}

TEST(EditorConversions, NoSnapshotNeverDividesByZero) {
    const EditorScale none = maskfile::editorScale(0, 0, 768, 576);
    EXPECT_EQ(none.sx, 0.0);
    const MaskRecords loaded = maskfile::loadForEditor(nullptr, 0, none);
    for (const MaskInfo& info : loaded) {
        EXPECT_EQ(info.nX, 0);
        EXPECT_EQ(info.nWidth, 0);
    }
    const MaskRecords saved = maskfile::saveForEditor(maskfile::defaultRecords(0, 0), none);
    for (const MaskInfo& info : saved) {
        EXPECT_EQ(info.nWidth, 0);
        EXPECT_EQ(info.nImageWidth, 0);
    }
}
