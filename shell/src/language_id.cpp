#include "shell/language_id.h"

namespace calidra {
namespace {

struct PrimaryLanguage {
    QLocale::Language language;
    std::uint16_t primary;
};

constexpr PrimaryLanguage primaryLanguages[] = {
    {QLocale::Arabic, 0x01},    {QLocale::Bulgarian, 0x02},
    {QLocale::Catalan, 0x03},   {QLocale::Chinese, 0x04},
    {QLocale::Czech, 0x05},     {QLocale::Danish, 0x06},
    {QLocale::German, 0x07},    {QLocale::Greek, 0x08},
    {QLocale::English, 0x09},   {QLocale::Spanish, 0x0A},
    {QLocale::Finnish, 0x0B},   {QLocale::French, 0x0C},
    {QLocale::Hebrew, 0x0D},    {QLocale::Hungarian, 0x0E},
    {QLocale::Icelandic, 0x0F}, {QLocale::Italian, 0x10},
    {QLocale::Japanese, 0x11},  {QLocale::Korean, 0x12},
    {QLocale::Dutch, 0x13},     {QLocale::NorwegianBokmal, 0x14},
    {QLocale::Polish, 0x15},    {QLocale::Portuguese, 0x16},
    {QLocale::Romanian, 0x18},  {QLocale::Russian, 0x19},
    {QLocale::Croatian, 0x1A},  {QLocale::Slovak, 0x1B},
    {QLocale::Albanian, 0x1C},  {QLocale::Swedish, 0x1D},
    {QLocale::Thai, 0x1E},      {QLocale::Turkish, 0x1F},
    {QLocale::Urdu, 0x20},      {QLocale::Indonesian, 0x21},
    {QLocale::Ukrainian, 0x22}, {QLocale::Belarusian, 0x23},
    {QLocale::Slovenian, 0x24}, {QLocale::Estonian, 0x25},
    {QLocale::Latvian, 0x26},   {QLocale::Lithuanian, 0x27},
    {QLocale::Persian, 0x29},   {QLocale::Vietnamese, 0x2A},
    {QLocale::Hindi, 0x39},     {QLocale::Malay, 0x3E},
};

struct RegionalVariant {
    QLocale::Language language;
    QLocale::Country country;
    std::uint16_t sublanguage;
};

// Countries whose variant differs from the language's default (sub-language 1).
constexpr RegionalVariant regionalVariants[] = {
    {QLocale::English, QLocale::UnitedKingdom, 0x02}, {QLocale::English, QLocale::Australia, 0x03},
    {QLocale::English, QLocale::Canada, 0x04},        {QLocale::English, QLocale::NewZealand, 0x05},
    {QLocale::English, QLocale::Ireland, 0x06},       {QLocale::German, QLocale::Switzerland, 0x02},
    {QLocale::German, QLocale::Austria, 0x03},        {QLocale::French, QLocale::Belgium, 0x02},
    {QLocale::French, QLocale::Canada, 0x03},         {QLocale::French, QLocale::Switzerland, 0x04},
    {QLocale::Spanish, QLocale::Spain, 0x03},         {QLocale::Spanish, QLocale::Mexico, 0x02},
    {QLocale::Portuguese, QLocale::Portugal, 0x02},   {QLocale::Chinese, QLocale::China, 0x02},
    {QLocale::Chinese, QLocale::HongKong, 0x03},      {QLocale::Chinese, QLocale::Singapore, 0x04},
    {QLocale::Dutch, QLocale::Belgium, 0x02},         {QLocale::Italian, QLocale::Switzerland, 0x02},
};

constexpr std::uint16_t usEnglish = 0x0409;

} // namespace

std::uint16_t languageIdentifier(const QLocale& locale) {
    // The "C" locale of a bare system is US English, as on a fresh desktop.
    if (locale.language() == QLocale::C)
        return usEnglish;
    for (const PrimaryLanguage& entry : primaryLanguages) {
        if (entry.language != locale.language())
            continue;
        std::uint16_t sublanguage = 0x01;
        for (const RegionalVariant& variant : regionalVariants) {
            if (variant.language == locale.language() && variant.country == locale.country())
                sublanguage = variant.sublanguage;
        }
        return static_cast<std::uint16_t>(sublanguage << 10 | entry.primary);
    }
    return usEnglish;
}

} // namespace calidra
