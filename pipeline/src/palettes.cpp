#include "pipeline/palettes.h"

namespace calidra {
namespace {

constexpr uint32_t absent = 0xFFFFFFFFu;
constexpr int keyStep = 32;
constexpr int keyCount = 8; // rows 0, 32, ..., 224

struct PaletteKeys {
    const char* name;
    int rowCount;
    uint32_t keys[keyCount]; // 0xRRGGBB, absent where the table is too short
    uint32_t last;
};

// The fixed colours of each table; everything between them is a straight line.
constexpr PaletteKeys paletteKeys[paletteCount] = {
    {"BlueRed",
     256,
     {0x01034A, 0x003D9A, 0x0071DF, 0x43AB3C, 0xD4D703, 0xFDAE13, 0xFB213B, 0xFB6570},
     0xFFE9D0},
    {"FireMetal",
     256,
     {0x000000, 0x202020, 0x404040, 0x606060, 0x808080, 0xA0A0A0, 0xC0C0C0, 0xE0E0E0},
     0xFFFFFF},
    {"Gray", 256, {0xFFFFFF, 0xBFBFBF, 0x7E7E7E, 0x3E3E3E, 0x000009, 0x740188, 0xE03931, 0xF7AB0D}, 0xFFFF18},
    {"Iron", 224, {0xEBEBEB, 0xCCCCCC, 0xACACAC, 0x8D8D8D, 0x6D6D6D, 0x4E4E4E, 0x2E2E2E, absent}, 0x101010},
    {"Rainbow",
     240,
     {0x0F1092, 0x0E36EF, 0x31D0EC, 0x58AAAA, 0x7B6657, 0xCE651F, 0xECA00B, 0xECDC7B},
     0xEBE6C2},
    {"DryWet", 192, {0x1340CE, 0x1F8BE9, 0x4EDCAA, 0xA1E053, 0xE89020, 0xCF4010, absent, absent}, 0x7E1C0F},
    {"Seis", 224, {0x0F0FEF, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, absent}, 0xEBEBEB},
    {"Ocean", 224, {0x101010, 0xB30FCC, 0x0F59AE, 0x0E8E67, 0x97AE09, 0x8C390D, 0xC63435, absent}, 0xE8E4E4},
    {"Jet", 256, {0x120F12, 0x495CDE, 0x97B61C, 0xB95F1D, 0xB9A8E8, 0x4FB961, 0xE2E70B, 0xE44335}, 0xEBE8EB},
    {"Polar", 224, {0xDABAAF, 0x8FA398, 0x4A8982, 0x3D726C, 0x705957, 0xBF3F3F, 0xEC2629, absent}, 0xE30F12},
    {"MidGray",
     224,
     {0x101010, 0x7A1B23, 0xC82C29, 0xE14E16, 0xEC7F0C, 0xECBC0C, 0xEBD86C, absent},
     0xEBEBEB},
    {"Fire", 224, {0x101010, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, absent}, 0xBE0E0D},
    {"Rainbow2",
     240,
     {0x101010, 0x1A5B9D, 0x0E7D8F, 0x63497A, 0xB02641, 0xED3E2D, 0xEC870D, 0xEBD343},
     0xEBEBEB},
    {"Rainbow3",
     224,
     {0x2424C6, 0x4647EE, 0x19ACC1, 0x0F0F7B, 0xED41C5, 0xEC985D, 0xE67D0C, absent},
     0xECC425},
    {"Yellow",
     256,
     {0x110E11, 0x3DBC3D, 0xBF3CEE, 0x25D2EE, 0x887376, 0xC30E3B, 0x2C0ED2, 0x737188},
     0xEBE90E},
    {"BlueRed2",
     224,
     {0x101010, 0x2F2F2F, 0x4F4F4F, 0x6E6E6E, 0x8E8E8E, 0xADADAD, 0xCDCDCD, absent},
     0xEBEBEB},
};

constexpr int32_t channel(uint32_t colour, int shift) {
    return static_cast<int32_t>((colour >> shift) & 0xFFu);
}

// Rounds to the nearest integer, halves away from zero, so falling and rising lines match.
constexpr int32_t between(int32_t from, int32_t to, int step, int steps) {
    const int32_t numerator = (to - from) * step;
    const int32_t offset =
        numerator >= 0 ? (numerator + steps / 2) / steps : -((-numerator + steps / 2) / steps);
    return from + offset;
}

constexpr PaletteTable buildTable(const PaletteKeys& keys) {
    // Key rows in ascending order, the last row included once.
    int keyRows[keyCount + 1] = {};
    uint32_t keyColours[keyCount + 1] = {};
    int used = 0;
    for (int key = 0; key < keyCount; ++key) {
        const int row = key * keyStep;
        if (keys.keys[key] != absent && row < keys.rowCount - 1) {
            keyRows[used] = row;
            keyColours[used] = keys.keys[key];
            ++used;
        }
    }
    keyRows[used] = keys.rowCount - 1;
    keyColours[used] = keys.last;

    PaletteTable table{};
    for (int segment = 0; segment < used; ++segment) {
        const int firstRow = keyRows[segment];
        const int steps = keyRows[segment + 1] - firstRow;
        const uint32_t from = keyColours[segment];
        const uint32_t to = keyColours[segment + 1];
        for (int step = 0; step <= steps; ++step) {
            PaletteRow& row = table[static_cast<std::size_t>(firstRow + step)];
            row.red = between(channel(from, 16), channel(to, 16), step, steps);
            row.green = between(channel(from, 8), channel(to, 8), step, steps);
            row.blue = between(channel(from, 0), channel(to, 0), step, steps);
        }
    }
    for (int row = keys.rowCount; row < paletteIndexCount; ++row)
        table[static_cast<std::size_t>(row)] = table[static_cast<std::size_t>(keys.rowCount - 1)];
    return table;
}

constexpr std::array<PaletteTable, paletteCount> buildTables() {
    std::array<PaletteTable, paletteCount> tables{};
    for (int number = 0; number < paletteCount; ++number)
        tables[static_cast<std::size_t>(number)] = buildTable(paletteKeys[number]);
    return tables;
}

constexpr std::array<PaletteTable, paletteCount> paletteTables = buildTables();

constexpr bool isPaletteNumber(int number) {
    return number >= 0 && number < paletteCount;
}

} // namespace

const PaletteTable& paletteTable(int number) {
    return paletteTables[static_cast<std::size_t>(isPaletteNumber(number) ? number : 0)];
}

int paletteRowCount(int number) {
    return isPaletteNumber(number) ? paletteKeys[number].rowCount : 0;
}

const char* paletteName(int number) {
    return isPaletteNumber(number) ? paletteKeys[number].name : "";
}

} // namespace calidra
