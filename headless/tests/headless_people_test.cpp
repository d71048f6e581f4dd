// People counted by the real calidra-headless on scenes of the simulated camera, checked against
// the camera's truth log: one PERSON line per person, the right reading, alarms exactly for the
// feverish, and the record's people exported as CSV.
#include "headless_process.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace calidra::test {
namespace {

using namespace std::chrono_literals;

// In order: a crossing pair (the slower one leaves last), a walker who stops for 3 s, someone who
// stands half out of the picture at its left edge, one in view when the camera is unplugged, and
// one after it is plugged in again (late enough for a slow reconnection).
const QByteArray mixedScene = R"({ "cameras": [ {
  "people": [
    { "enter": 1.0, "temperature": 36.5, "path": [[0.0, -0.1, 0.55], [3.0, 1.1, 0.55]] },
    { "enter": 1.0, "temperature": 38.3, "path": [[0.0, 1.1, 0.55], [4.5, -0.1, 0.55]] },
    { "enter": 7.0, "temperature": 37.0,
      "path": [[0.0, -0.1, 0.55], [1.2, 0.5, 0.55], [4.2, 0.5, 0.55], [5.4, 1.1, 0.55]] },
    { "enter": 14.0, "leave": 17.0, "temperature": 38.6, "from": [0.0, 0.55], "to": [0.0, 0.55] },
    { "enter": 18.5, "leave": 21.5, "temperature": 36.8, "path": [[0.0, -0.1, 0.55], [1.2, 0.5, 0.55]] },
    { "enter": 27.0, "temperature": 36.9, "path": [[0.0, -0.1, 0.55], [4.0, 1.1, 0.55]] }
  ],
  "events": [ { "at": 21.0, "unplug": true }, { "at": 22.0, "plug": true } ] } ] })";

TEST_F(HeadlessStationTest, CrossingStoppingHalfSeenAndUnpluggedPeopleAreEachJudgedOnce) {
    writeSettings("AlarmTemperature=37.5\n");
    start(mixedScene, {});
    ASSERT_TRUE(waitForLines("PERSON\t", 6, 0, 60s)) << linesStartingWith("").join(" | ").toStdString();
    ASSERT_TRUE(endStation());
    EXPECT_EQ(linesStartingWith("PERSON\t"), QStringList({
                                                 "PERSON\t1\t36.5\tnormal",
                                                 "PERSON\t2\t38.3\talarm",
                                                 "PERSON\t3\t37.0\tnormal",
                                                 "PERSON\t4\t-\tunmeasured",
                                                 "PERSON\t5\t36.8\tnormal",
                                                 "PERSON\t6\t36.9\tnormal",
                                             }));
}

// The truth log's people in the order they entered, with their true temperatures. Everyone of a
// crowd takes as long to cross, so that is also the order they leave in (the last one's "leave"
// may come after the station has finished them and ended).
std::vector<double> temperaturesInOrder(const QString& truthPath) {
    QFile file(truthPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<int, double> temperature;
    while (!file.atEnd()) {
        const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
        if (line.value("event").toString() == "enter")
            temperature[line.value("person").toInt()] = line.value("temperature").toDouble();
    }
    std::vector<double> ordered;
    for (const auto& [person, celsius] : temperature)
        ordered.push_back(celsius);
    return ordered;
}

TEST_F(HeadlessStationTest, ACrowdOfFortyGivesFortyReadingsMatchingTheTruth) {
    writeSettings("AlarmTemperature=37.5\n");
    // Up to three people in view, every second one walking the other way: they cross all the time.
    const QByteArray crowd = R"({ "cameras": [ { "crowd": { "start": 3.0, "count": 40, "every": 0.7,
        "walk": 2.0, "feverEvery": 5, "seed": 4 } } ] })";
    QProcessEnvironment truth;
    truth.insert("SORVIK_SIM_TRUTH", folder.filePath("truth.jsonl"));
    start(crowd, {}, truth);
    ASSERT_TRUE(waitForLines("PERSON\t", 40, 0, 90s)) << linesStartingWith("").join(" | ").toStdString();
    ASSERT_TRUE(endStation());

    const QStringList people = linesStartingWith("PERSON\t");
    const std::vector<double> expected = temperaturesInOrder(folder.filePath("truth.jsonl"));
    ASSERT_EQ(people.size(), 40);
    ASSERT_EQ(expected.size(), 40u);
    int alarms = 0;
    for (int index = 0; index < 40; ++index) {
        const QStringList fields = people[index].split('\t');
        ASSERT_EQ(fields.size(), 4) << people[index].toStdString();
        EXPECT_EQ(fields[1].toInt(), index + 1);
        EXPECT_NEAR(fields[2].toDouble(), expected[std::size_t(index)], 0.1) << people[index].toStdString();
        EXPECT_EQ(fields[3], expected[std::size_t(index)] >= 37.5 ? "alarm" : "normal")
            << people[index].toStdString();
        alarms += fields[3] == "alarm";
    }
    EXPECT_EQ(alarms, 8); // the 1st, 6th, ... of forty

    QProcess exporter;
    exporter.setProcessEnvironment(environmentFor(crowd));
    exporter.start(folder.filePath("calidra-headless"), {"--export-people", folder.filePath("people.csv")});
    ASSERT_TRUE(exporter.waitForFinished(30000));
    EXPECT_EQ(exporter.exitCode(), 0) << exporter.readAllStandardError().toStdString();
    QFile csv(folder.filePath("people.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = csv.readAll().split('\n');
    ASSERT_EQ(rows.size(), 42); // header, forty people, the empty rest after the last line end
    EXPECT_EQ(rows[0], "Number,First seen,Last seen,Reading °C,Reading display °C,Result,Counted frames\r");
    EXPECT_TRUE(rows[1].startsWith("1,")) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(",alarm,")) << rows[1].toStdString();
}

} // namespace
} // namespace calidra::test
