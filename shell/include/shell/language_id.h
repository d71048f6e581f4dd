#pragma once
// The user's interface language as a 16-bit language identifier (primary language in the low ten
// bits, sub-language above), the form the version record's translation table uses.

#include <QLocale>

#include <cstdint>

namespace calidra {

std::uint16_t languageIdentifier(const QLocale& locale);

} // namespace calidra
