#pragma once
// One person as the station keeps and reports them: numbered from 1 each day, judged once.

#include <QDateTime>
#include <QMetaType>

#include <optional>

namespace calidra {

struct PersonEntry {
    int number = 0; // from 1 each day
    QDateTime firstSeen;
    QDateTime lastSeen;
    std::optional<double> readingCelsius; // none: "not measured"
    bool alarmed = false;
    int countedFrames = 0;
    std::optional<double> thresholdCelsius =
        std::nullopt; // the alarm threshold in force it was judged against
};

// "alarm", "normal" or "unmeasured".
inline const char* personOutcome(const PersonEntry& person) {
    if (!person.readingCelsius)
        return "unmeasured";
    return person.alarmed ? "alarm" : "normal";
}

} // namespace calidra

Q_DECLARE_METATYPE(calidra::PersonEntry)
