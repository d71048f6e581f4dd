// The options pane's field texts, however typed: integers, numbers, temperatures in either unit,
// and the per-frame settings read from them.
#include "pipeline/frame_settings.h"
#include "operatorvalues/field_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString text = QString::fromUtf8(bytes.data(), int(bytes.size()));

    (void)calidra::parseFieldInteger(text);
    (void)calidra::parseFieldNumber(text);
    for (const calidra::TemperatureUnit unit :
         {calidra::TemperatureUnit::Celsius, calidra::TemperatureUnit::Fahrenheit}) {
        const calidra::TemperatureFieldValue value = calidra::readTemperatureField(text, unit);
        if (value.storedCelsius > calidra::temperatureCeilingCelsius)
            abort();
        if (value.rewrittenText) {
            // The rewritten text reads back as the capped value.
            const calidra::TemperatureFieldValue again =
                calidra::readTemperatureField(*value.rewrittenText, unit);
            if (std::fabs(again.storedCelsius - value.storedCelsius) > 0.1)
                abort();
        }
        (void)calidra::temperatureFieldText(value.storedCelsius, unit);
    }

    (void)calidra::parseLeadingDouble(bytes);
    (void)calidra::parseLeadingInteger(bytes);
    // Four boxes from one text: split at the first three NUL bytes, a missing part a missing box.
    calidra::FrameSettingsTexts texts;
    std::optional<std::string>* boxes[] = {&texts.detectionTemperature, &texts.alarmTemperature,
                                           &texts.alarmSavePeriod, &texts.minimumRegionArea};
    std::size_t start = 0;
    for (std::optional<std::string>* box : boxes) {
        if (start > bytes.size())
            break;
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        *box = bytes.substr(start, end - start);
        start = end + 1;
    }
    for (const calidra::TemperatureUnit unit :
         {calidra::TemperatureUnit::Celsius, calidra::TemperatureUnit::Fahrenheit})
        (void)calidra::readFrameSettings(texts, unit);
    return 0;
}
