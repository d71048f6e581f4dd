// Alarm mode Baseline in the real calidra-headless, on a camera that reads every person 1.5 °C low:
// the feverish read below the fixed alarm temperature (mode Fixed misses them all), yet once the
// baseline is learned each of them alarms and nobody else does, as the camera's truth log says.
#include "headless_process.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace calidra::test {
namespace {

using namespace std::chrono_literals;

constexpr int crowdSize = 22;

// People one at a time, every tenth (the 1st, 11th, 21st) at 38.1 °C; the camera reads 1.5 °C low.
const QByteArray lowReadingCrowd = R"({ "cameras": [ { "noise": 0.05,
  "drift": { "start": -1.5, "settle": 1000000, "ramp": 0, "walk": 0, "shutterEvery": 0 },
  "crowd": { "start": 3.0, "count": 22, "every": 0.9, "walk": 0.8, "mean": 36.6, "sd": 0.3,
             "feverEvery": 10, "fever": 1.5, "seed": 5 } } ] })";

std::map<int, double> trueTemperatures(const QString& truthPath) {
    QFile file(truthPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<int, double> temperature;
    while (!file.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
        if (line.value("event").toString() == "enter")
            temperature[line.value("person").toInt()] = line.value("temperature").toDouble();
    }
    return temperature;
}

TEST_F(HeadlessStationTest, BaselineModeAlarmsEveryFeverishPersonALowReadingCameraHides) {
    writeSettings("AlarmTemperature=37.5\nAlarmMode=1\nBaselineCount=10\nBaselineDelta=1.0\n");
    QProcessEnvironment truth;
    truth.insert("SORVIK_SIM_TRUTH", folder.filePath("truth.jsonl"));
    start(lowReadingCrowd, {}, truth);
    ASSERT_TRUE(waitForLines("PERSON\t", crowdSize, 0, 90s))
        << linesStartingWith("").join(" | ").toStdString();
    ASSERT_TRUE(endStation());

    const std::map<int, double> truthOf = trueTemperatures(folder.filePath("truth.jsonl"));
    ASSERT_EQ(truthOf.size(), std::size_t(crowdSize));
    const QStringList learning = linesStartingWith("BASELINE\tLEARNING\t");
    ASSERT_FALSE(learning.isEmpty());
    EXPECT_EQ(learning.first(), "BASELINE\tLEARNING\t0/10");
    // Whatever the first, feverish, person added was left out as the highest: the baseline is
    // that of the healthy, read low.
    const int learned = find("BASELINE\t", 0, ".");
    ASSERT_GE(learned, 0) << linesStartingWith("BASELINE").join(" | ").toStdString();
    const QStringList baseline = received[std::size_t(learned)].text.split('\t');
    ASSERT_EQ(baseline.size(), 3);
    EXPECT_NEAR(baseline[1].toDouble(), 35.1, 0.3);
    EXPECT_NEAR(baseline[2].toDouble(), baseline[1].toDouble() + 1.0, 0.051);

    // Judged against the baseline: everyone finished after it came.
    const int learnedFrom = crowdSize - int(linesStartingWith("PERSON\t", learned).size());
    EXPECT_GE(learnedFrom, 10);
    int feverishJudged = 0;
    int person = 0;
    for (const QString& line : linesStartingWith("PERSON\t")) {
        ++person;
        const QStringList fields = line.split('\t');
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        const bool feverish = truthOf.at(person) > 38.0;
        if (feverish) { // mode Fixed would have missed them
            EXPECT_LT(fields[2].toDouble(), 37.5) << line.toStdString();
        }
        if (person <= learnedFrom)
            continue;
        feverishJudged += feverish;
        EXPECT_EQ(fields[3], feverish ? "alarm" : "normal") << line.toStdString();
    }
    EXPECT_EQ(feverishJudged, 2); // the 11th and the 21st
}

} // namespace
} // namespace calidra::test
