#include "settings/field_text.h"

#include <clocale>
#include <cstdlib>
#include <limits>

namespace calidra {
namespace {

// Decimal digits with an optional sign, after leading white space, as a C program reads them.
bool isDigit(QChar character) {
    return character >= QLatin1Char('0') && character <= QLatin1Char('9');
}

} // namespace

int parseFieldInteger(const QString& text) {
    int index = 0;
    while (index < text.size() && text[index].isSpace())
        ++index;
    bool negative = false;
    if (index < text.size() && (text[index] == QLatin1Char('+') || text[index] == QLatin1Char('-'))) {
        negative = text[index] == QLatin1Char('-');
        ++index;
    }
    int64_t value = 0;
    for (; index < text.size() && isDigit(text[index]); ++index) {
        value = value * 10 + (text[index].unicode() - '0');
        if (value > int64_t(std::numeric_limits<int>::max()) + 1)
            break; // saturated either way
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

double parseFieldNumber(const QString& text) {
    // The longest prefix that reads as a plain decimal number: sign, digits, point, digits, exponent.
    const QString trimmed = text.trimmed();
    int end = 0;
    if (end < trimmed.size() && (trimmed[end] == QLatin1Char('+') || trimmed[end] == QLatin1Char('-')))
        ++end;
    int digits = 0;
    while (end < trimmed.size() && isDigit(trimmed[end])) {
        ++end;
        ++digits;
    }
    if (end < trimmed.size() && trimmed[end] == QLatin1Char('.')) {
        ++end;
        while (end < trimmed.size() && isDigit(trimmed[end])) {
            ++end;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (end < trimmed.size() && (trimmed[end] == QLatin1Char('e') || trimmed[end] == QLatin1Char('E'))) {
        int exponentEnd = end + 1;
        if (exponentEnd < trimmed.size() &&
            (trimmed[exponentEnd] == QLatin1Char('+') || trimmed[exponentEnd] == QLatin1Char('-')))
            ++exponentEnd;
        if (exponentEnd < trimmed.size() && isDigit(trimmed[exponentEnd])) {
            while (exponentEnd < trimmed.size() && isDigit(trimmed[exponentEnd]))
                ++exponentEnd;
            end = exponentEnd;
        }
    }
    bool valid = false;
    const double value = trimmed.left(end).toDouble(&valid); // QString::toDouble ignores the locale
    return valid ? value : 0.0;
}

TemperatureFieldValue readTemperatureField(const QString& text, bool fahrenheit) {
    const double typed = parseFieldNumber(text);
    TemperatureFieldValue result;
    result.storedCelsius = fahrenheit ? (typed - 32) / 1.8 : typed;
    if (result.storedCelsius > storedTemperatureCeilingCelsius) {
        result.storedCelsius = storedTemperatureCeilingCelsius;
        result.rewrittenText = temperatureFieldText(storedTemperatureCeilingCelsius, fahrenheit);
    }
    return result;
}

QString temperatureFieldText(double celsius, bool fahrenheit) {
    return QString::asprintf("%.1f", fahrenheit ? celsius * 1.8 + 32 : celsius);
}

} // namespace calidra
