#include "statistics/statistics_view.h"

#include "alarmrecord/alarm_record.h"
#include "testsupport/qt_wait.h"

#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QStackedBarSeries>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace calidra {
namespace {

PersonEntry person(int number, const QDateTime& lastSeen, std::optional<double> reading, bool alarmed) {
    return PersonEntry{number, lastSeen.addSecs(-3), lastSeen, reading, alarmed, reading ? 12 : 0, 37.5};
}

TEST(PeopleStatistics, FiguresOfTodayAndTheLastDay) {
    const QDateTime now(QDate(2026, 3, 10), QTime(9, 30));
    const QDateTime start = statisticsStart(now);
    EXPECT_EQ(start, QDateTime(QDate(2026, 3, 9), QTime(10, 0)));
    std::vector<PersonRow> people;
    const auto add = [&](const QDateTime& time, std::optional<double> reading, bool alarmed) {
        PersonRow row;
        row.lastUtc = time.toSecsSinceEpoch();
        row.readingCelsius = reading;
        row.alarmed = alarmed;
        people.push_back(row);
    };
    add(start.addSecs(-1), 36.5, false); // before the first hour: ignored
    add(start, 36.4, false);             // yesterday, first bar
    add(now.addSecs(-60), 36.6, false);  // today, last bar
    add(now.addSecs(-61), 36.6, false);
    add(now.addSecs(-3600), 38.2, true);                // 08:30, the bar before
    add(QDateTime(now.date(), QTime(0, 5)), {}, false); // today, not measured
    people[1].thresholdCelsius = 37.5;
    people[4].thresholdCelsius = 36.9;
    people[0].thresholdCelsius = 37.0; // before the first hour: left out
    const PeopleStatistics figures = peopleStatistics(people, now);
    ASSERT_EQ(figures.thresholds.size(), 2u);
    EXPECT_DOUBLE_EQ(figures.thresholds[0].hourPosition, -0.5); // the start of the first bar
    EXPECT_DOUBLE_EQ(figures.thresholds[1].hourPosition, 22.0); // 08:30, the middle of its bar
    EXPECT_DOUBLE_EQ(figures.thresholds[1].celsius, 36.9);
    EXPECT_EQ(figures.peoplePerHour[0], 1);
    EXPECT_EQ(figures.peoplePerHour[23], 2);
    EXPECT_EQ(figures.peoplePerHour[22], 1);
    EXPECT_EQ(figures.alarmsPerHour[22], 1);
    EXPECT_EQ(figures.peopleToday, 4);
    EXPECT_EQ(figures.alarmsToday, 1);
    EXPECT_EQ(figures.measuredToday, 3);
    EXPECT_DOUBLE_EQ(*figures.medianCelsius, 36.6);
    EXPECT_DOUBLE_EQ(*figures.percentile95Celsius, 38.2);
    EXPECT_DOUBLE_EQ(figures.firstBinCelsius, 36.6);
    ASSERT_EQ(figures.readingBins.size(), 17u); // 36.6 .. 38.2
    EXPECT_EQ(figures.readingBins.front(), 2);
    EXPECT_EQ(figures.readingBins.back(), 1);
}

TEST(StatisticsView, ShowsTheCountsOfAPreparedRecord) {
    QTemporaryDir folder;
    const QDateTime now = QDateTime::currentDateTime();
    {
        AlarmRecord record(folder.path());
        // Today's people: 9 measured (two alarms), one not measured; and one from two days ago.
        const double readings[] = {36.4, 36.5, 36.5, 36.6, 36.6, 36.6, 36.7, 38.0, 38.4};
        int number = 0;
        for (double reading : readings) {
            ++number;
            record.personFinished(person(number, now.addSecs(-number), reading, reading >= 37.5));
        }
        record.personFinished(person(number + 1, now.addSecs(-number - 1), std::nullopt, false));
        record.personFinished(person(1, now.addDays(-2), 36.9, false));
        record.waitUntilWritten();
    }
    CStatisticsView view(folder.filePath("alarms.sqlite"), [] { return 37.5; });
    view.resize(900, 600);
    int shown = 0;
    QObject::connect(&view, &CStatisticsView::statisticsShown, [&] { ++shown; });
    view.show();
    ASSERT_TRUE(test::waitForWithEvents([&] { return view.statistics().peopleToday == 10; }));

    EXPECT_EQ(view.findChild<QLabel*>("peopleToday")->text(), "People today: 10");
    EXPECT_EQ(view.findChild<QLabel*>("alarmsToday")->text(), "Alarms: 2");
    EXPECT_EQ(view.findChild<QLabel*>("alarmRate")->text(), "Alarm rate: 20.0 %");
    EXPECT_EQ(view.findChild<QLabel*>("medianReading")->text(), "Median: 36.6 °C");
    EXPECT_EQ(view.findChild<QLabel*>("percentile95Reading")->text(), "95th percentile: 38.4 °C");
    // The hour bars hold everyone of the last 24 hours, the alarms stacked on top.
    auto* bars = qobject_cast<QtCharts::QStackedBarSeries*>(view.hourChart()->series().value(0));
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 2);
    EXPECT_EQ(bars->barSets()[0]->sum() + bars->barSets()[1]->sum(), 10.0);
    EXPECT_EQ(bars->barSets()[1]->sum(), 2.0);
    EXPECT_EQ(view.readingChart()->series().size(), 2); // the histogram and the threshold
    EXPECT_EQ(view.hourChart()->series().size(), 2);    // the bars and the threshold over the day

    // For the guide's picture: the charts lay themselves out on later events.
    if (const QByteArray screenshot = qgetenv("CALIDRA_STATISTICS_SCREENSHOT"); !screenshot.isEmpty()) {
        QTest::qWait(500);
        view.grab().save(QString::fromLocal8Bit(screenshot));
    }

    // A new person appears on the next refresh while the view is shown.
    {
        AlarmRecord record(folder.path());
        record.personFinished(person(11, now, 36.8, false));
        record.waitUntilWritten();
    }
    view.refresh();
    ASSERT_TRUE(test::waitForWithEvents([&] { return view.statistics().peopleToday == 11; }));
    EXPECT_GE(shown, 2);

    EXPECT_EQ(view.exportTo(folder.filePath("people.csv")), QString());
    QFile csv(folder.filePath("people.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 13); // header and twelve people
}

} // namespace
} // namespace calidra
