#pragma once
// The Statistics view: people per hour over the last 24 hours (alarms marked), a histogram of
// today's readings with the alarm threshold, and today's figures beside them. The record is read
// on a thread of the view's own, never on the GUI thread; the figures follow while it is shown.

#include "statistics/people_statistics.h"
#include "viewbase/calidra_view.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <mutex>
#include <thread>

class QLabel;
class QPushButton;

namespace QtCharts {
class QAbstractAxis;
class QChart;
class QChartView;
} // namespace QtCharts

namespace calidra {

class CStatisticsView : public CCalidraView {
    Q_OBJECT
public:
    static constexpr int refreshIntervalMs = 10000;

    // databasePath: the station's alarms.sqlite; alarmCelsius: the threshold in force, asked on
    // the GUI thread at each refresh.
    CStatisticsView(QString databasePath, std::function<double()> alarmCelsius, QWidget* parent = nullptr);
    ~CStatisticsView() override;

    // The record changed (a person was finished): read again if the view is shown.
    void refresh();
    // "Export…" without its dialog: the people CSV to path; an error text, or empty on success.
    QString exportTo(const QString& path);

    const PeopleStatistics& statistics() const { return statistics_; }
    QtCharts::QChart* hourChart() const { return hourChart_; }
    QtCharts::QChart* readingChart() const { return readingChart_; }

signals:
    // A read finished and its figures are shown.
    void statisticsShown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startRead();
    void showFigures(const PeopleStatistics& statistics);
    void drawHours();
    void drawThresholds(QtCharts::QAbstractAxis* hourAxis);
    void drawReadings();
    void exportWithDialog();

    const QString databasePath_;
    std::function<double()> alarmCelsius_;
    double shownThreshold_ = 0.0;
    PeopleStatistics statistics_;
    QtCharts::QChart* hourChart_ = nullptr;
    QtCharts::QChart* readingChart_ = nullptr;
    QLabel* peopleLabel_ = nullptr;
    QLabel* alarmsLabel_ = nullptr;
    QLabel* rateLabel_ = nullptr;
    QLabel* medianLabel_ = nullptr;
    QLabel* percentileLabel_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QTimer refreshTimer_;

    std::mutex readLock_; // guards reading_ and readAgain_ against the reader's end
    bool reading_ = false;
    bool readAgain_ = false;
    std::thread reader_;
};

} // namespace calidra
