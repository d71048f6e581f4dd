#include "pipeline/palettes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace calidra {
namespace {

uint32_t colourOf(const PaletteRow& row) {
    return static_cast<uint32_t>(row.red) << 16 | static_cast<uint32_t>(row.green) << 8 |
           static_cast<uint32_t>(row.blue);
}

constexpr uint32_t none = 0xFFFFFFFFu;

// Rows 0, 32, ..., 224 and the last row of every table.
constexpr uint32_t expectedKeys[paletteCount][9] = {
    {0x01034A, 0x003D9A, 0x0071DF, 0x43AB3C, 0xD4D703, 0xFDAE13, 0xFB213B, 0xFB6570, 0xFFE9D0},
    {0x000000, 0x202020, 0x404040, 0x606060, 0x808080, 0xA0A0A0, 0xC0C0C0, 0xE0E0E0, 0xFFFFFF},
    {0xFFFFFF, 0xBFBFBF, 0x7E7E7E, 0x3E3E3E, 0x000009, 0x740188, 0xE03931, 0xF7AB0D, 0xFFFF18},
    {0xEBEBEB, 0xCCCCCC, 0xACACAC, 0x8D8D8D, 0x6D6D6D, 0x4E4E4E, 0x2E2E2E, none, 0x101010},
    {0x0F1092, 0x0E36EF, 0x31D0EC, 0x58AAAA, 0x7B6657, 0xCE651F, 0xECA00B, 0xECDC7B, 0xEBE6C2},
    {0x1340CE, 0x1F8BE9, 0x4EDCAA, 0xA1E053, 0xE89020, 0xCF4010, none, none, 0x7E1C0F},
    {0x0F0FEF, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, none, 0xEBEBEB},
    {0x101010, 0xB30FCC, 0x0F59AE, 0x0E8E67, 0x97AE09, 0x8C390D, 0xC63435, none, 0xE8E4E4},
    {0x120F12, 0x495CDE, 0x97B61C, 0xB95F1D, 0xB9A8E8, 0x4FB961, 0xE2E70B, 0xE44335, 0xEBE8EB},
    {0xDABAAF, 0x8FA398, 0x4A8982, 0x3D726C, 0x705957, 0xBF3F3F, 0xEC2629, none, 0xE30F12},
    {0x101010, 0x7A1B23, 0xC82C29, 0xE14E16, 0xEC7F0C, 0xECBC0C, 0xEBD86C, none, 0xEBEBEB},
    {0x101010, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, none, 0xBE0E0D},
    {0x101010, 0x1A5B9D, 0x0E7D8F, 0x63497A, 0xB02641, 0xED3E2D, 0xEC870D, 0xEBD343, 0xEBEBEB},
    {0x2424C6, 0x4647EE, 0x19ACC1, 0x0F0F7B, 0xED41C5, 0xEC985D, 0xE67D0C, none, 0xECC425},
    {0x110E11, 0x3DBC3D, 0xBF3CEE, 0x25D2EE, 0x887376, 0xC30E3B, 0x2C0ED2, 0x737188, 0xEBE90E},
    {0x101010, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, none, 0xEBEBEB},
};
constexpr int expectedRowCounts[paletteCount] = {256, 256, 256, 224, 240, 192, 224, 224,
                                                 256, 224, 224, 224, 240, 224, 256, 224};

TEST(PaletteTablesTest, KeyRowsLengthsAndNamesOfAllSixteenTables) {
    const char* names[paletteCount] = {"BlueRed",  "FireMetal", "Gray",   "Iron",    "Rainbow", "DryWet",
                                       "Seis",     "Ocean",     "Jet",    "Polar",   "MidGray", "Fire",
                                       "Rainbow2", "Rainbow3",  "Yellow", "BlueRed2"};
    for (int number = 0; number < paletteCount; ++number) {
        SCOPED_TRACE("palette " + std::to_string(number));
        EXPECT_EQ(paletteRowCount(number), expectedRowCounts[number]);
        EXPECT_STREQ(paletteName(number), names[number]);
        const PaletteTable& table = paletteTable(number);
        for (int key = 0; key < 8; ++key) {
            if (expectedKeys[number][key] != none) {
                EXPECT_EQ(colourOf(table[key * 32]), expectedKeys[number][key]) << "row " << key * 32;
            }
        }
        EXPECT_EQ(colourOf(table[expectedRowCounts[number] - 1]), expectedKeys[number][8]);
    }
}

TEST(PaletteTablesTest, TableOneIsTheExactGreyRamp) {
    const PaletteTable& table = paletteTable(1);
    for (int row = 0; row < paletteIndexCount; ++row) {
        EXPECT_EQ(table[row].red, row);
        EXPECT_EQ(table[row].green, row);
        EXPECT_EQ(table[row].blue, row);
    }
}

TEST(PaletteTablesTest, RowsBetweenKeysFollowAStraightLine) {
    // Table 14 jumps between unrelated hues: the midpoint of 0x3DBC3D..0xBF3CEE at row 48.
    const PaletteRow& middle = paletteTable(14)[48];
    EXPECT_EQ(middle.red, (0x3D + 0xBF + 1) / 2);
    EXPECT_EQ(middle.green, (0xBC + 0x3C + 1) / 2);
    EXPECT_EQ(middle.blue, (0x3D + 0xEE + 1) / 2);

    // Between two key rows every channel moves one way only, within the two key values.
    for (int number = 0; number < paletteCount; ++number) {
        const PaletteTable& table = paletteTable(number);
        const int lastRow = paletteRowCount(number) - 1;
        for (int first = 0; first < lastRow; first += 32) {
            const int second = first + 32 < lastRow && expectedKeys[number][(first + 32) / 32] != none
                                   ? first + 32
                                   : lastRow;
            for (auto channel : {&PaletteRow::red, &PaletteRow::green, &PaletteRow::blue}) {
                const int from = table[first].*channel;
                const int to = table[second].*channel;
                const int direction = to >= from ? 1 : -1;
                for (int row = first + 1; row <= second; ++row) {
                    const int step = (table[row].*channel - table[row - 1].*channel) * direction;
                    ASSERT_GE(step, 0) << number << ":" << row;
                    ASSERT_LE(step, (std::abs(to - from) + second - first - 1) / (second - first) + 1)
                        << number << ":" << row;
                }
            }
            if (second == lastRow)
                break;
        }
    }
}

TEST(PaletteTablesTest, IndicesPastTheLastRowShowTheLastRow) {
    for (int number = 0; number < paletteCount; ++number) {
        const PaletteTable& table = paletteTable(number);
        const uint32_t last = colourOf(table[paletteRowCount(number) - 1]);
        for (int row = paletteRowCount(number); row < paletteIndexCount; ++row)
            EXPECT_EQ(colourOf(table[row]), last) << number << ":" << row;
    }
}

TEST(PaletteTablesTest, NoSelectionGivesTableZero) {
    EXPECT_EQ(&paletteTable(-1), &paletteTable(0));
    EXPECT_EQ(&paletteTable(16), &paletteTable(0));
    EXPECT_EQ(paletteRowCount(16), 0);
    EXPECT_STREQ(paletteName(-1), "");
}

} // namespace
} // namespace calidra
