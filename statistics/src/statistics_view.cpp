#include "statistics/statistics_view.h"

#include "operatorvalues/shown_temperature.h"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace QtCharts;

namespace calidra {
namespace {

// A count axis with whole-number ticks: each count up to 5, else five steps of whole numbers.
QValueAxis* countAxisUpTo(int highest) {
    auto* axis = new QValueAxis();
    const int top = highest <= 5 ? std::max(highest, 1) : (highest + 4) / 5 * 5;
    axis->setRange(0, top);
    axis->setTickCount(top <= 5 ? top + 1 : 6);
    axis->setLabelFormat(QStringLiteral("%d"));
    return axis;
}

QString celsiusText(const std::optional<double>& celsius) {
    return celsius ? shownTemperature(*celsius, TemperatureUnit::Celsius) : QStringLiteral("–");
}

} // namespace

CStatisticsView::CStatisticsView(QString databasePath, std::function<double()> alarmCelsius, QWidget* parent)
    : CCalidraView(parent), databasePath_(std::move(databasePath)), alarmCelsius_(std::move(alarmCelsius)) {
    setObjectName(QStringLiteral("StatisticsView"));
    hourChart_ = new QChart();
    hourChart_->setTitle(tr("People per hour, last 24 hours"));
    readingChart_ = new QChart();
    readingChart_->setTitle(tr("Today's readings"));
    for (QChart* chart : {hourChart_, readingChart_}) {
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->setAnimationOptions(QChart::NoAnimation);
    }
    auto* hourView = new QChartView(hourChart_, this);
    auto* readingView = new QChartView(readingChart_, this);
    for (QChartView* view : {hourView, readingView})
        view->setRenderHint(QPainter::Antialiasing);

    const auto figure = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        return label;
    };
    peopleLabel_ = figure("peopleToday");
    alarmsLabel_ = figure("alarmsToday");
    rateLabel_ = figure("alarmRate");
    medianLabel_ = figure("medianReading");
    percentileLabel_ = figure("percentile95Reading");
    exportButton_ = new QPushButton(tr("Export…"), this);
    exportButton_->setObjectName(QStringLiteral("exportPeopleButton"));
    connect(exportButton_, &QPushButton::clicked, this, &CStatisticsView::exportWithDialog);

    auto* figures = new QVBoxLayout();
    for (QWidget* widget : std::initializer_list<QWidget*>{peopleLabel_, alarmsLabel_, rateLabel_,
                                                           medianLabel_, percentileLabel_, exportButton_})
        figures->addWidget(widget);
    figures->addStretch();
    auto* layout = new QGridLayout(this);
    layout->addWidget(hourView, 0, 0);
    layout->addWidget(readingView, 1, 0);
    layout->addLayout(figures, 0, 1, 2, 1);
    layout->setColumnStretch(0, 1);

    refreshTimer_.setInterval(refreshIntervalMs);
    connect(&refreshTimer_, &QTimer::timeout, this, &CStatisticsView::refresh);
    showFigures(peopleStatistics({}, QDateTime::currentDateTime()));
}

CStatisticsView::~CStatisticsView() {
    if (reader_.joinable())
        reader_.join();
}

void CStatisticsView::showEvent(QShowEvent* event) {
    CCalidraView::showEvent(event);
    refreshTimer_.start();
    refresh();
}

void CStatisticsView::hideEvent(QHideEvent* event) {
    refreshTimer_.stop();
    CCalidraView::hideEvent(event);
}

void CStatisticsView::refresh() {
    if (!isVisible())
        return;
    shownThreshold_ = alarmCelsius_ ? alarmCelsius_() : 0.0;
    {
        std::lock_guard<std::mutex> lock(readLock_);
        if (reading_) {
            readAgain_ = true; // once the read under way is shown
            return;
        }
        reading_ = true;
    }
    startRead();
}

void CStatisticsView::startRead() {
    if (reader_.joinable())
        reader_.join(); // it has ended: reading_ was false
    const QString path = databasePath_;
    reader_ = std::thread([this, path] {
        const QDateTime now = QDateTime::currentDateTime();
        const PeopleResult read =
            readPeople(path, statisticsStart(now).toSecsSinceEpoch(), std::numeric_limits<qint64>::max());
        const PeopleStatistics figures = peopleStatistics(read.people, now);
        // The view waits for this thread before it goes, so the posted call finds it alive.
        QMetaObject::invokeMethod(
            this,
            [this, figures] {
                bool again = false;
                {
                    std::lock_guard<std::mutex> lock(readLock_);
                    reading_ = false;
                    std::swap(again, readAgain_);
                }
                showFigures(figures);
                if (again)
                    refresh();
            },
            Qt::QueuedConnection);
    });
}

void CStatisticsView::showFigures(const PeopleStatistics& statistics) {
    statistics_ = statistics;
    peopleLabel_->setText(tr("People today: %1").arg(statistics.peopleToday));
    alarmsLabel_->setText(tr("Alarms: %1").arg(statistics.alarmsToday));
    rateLabel_->setText(
        tr("Alarm rate: %1 %")
            .arg(statistics.peopleToday > 0 ? 100.0 * statistics.alarmsToday / statistics.peopleToday : 0.0,
                 0, 'f', 1));
    medianLabel_->setText(tr("Median: %1").arg(celsiusText(statistics.medianCelsius)));
    percentileLabel_->setText(tr("95th percentile: %1").arg(celsiusText(statistics.percentile95Celsius)));
    drawHours();
    drawReadings();
    emit statisticsShown();
}

void CStatisticsView::drawHours() {
    hourChart_->removeAllSeries();
    for (QAbstractAxis* axis : hourChart_->axes())
        hourChart_->removeAxis(axis);
    auto* normal = new QBarSet(tr("People"));
    auto* alarms = new QBarSet(tr("Alarms"));
    alarms->setColor(QColor(0xd0, 0x30, 0x30));
    QStringList hours;
    int highest = 0;
    for (std::size_t hour = 0; hour < statistics_.hourStarts.size(); ++hour) {
        *normal << statistics_.peoplePerHour[hour] - statistics_.alarmsPerHour[hour];
        *alarms << statistics_.alarmsPerHour[hour];
        hours << statistics_.hourStarts[hour].toString(QStringLiteral("HH"));
        highest = std::max(highest, statistics_.peoplePerHour[hour]);
    }
    auto* series = new QStackedBarSeries();
    series->append(normal);
    series->append(alarms);
    hourChart_->addSeries(series);
    // A label every three hours, each beneath its three bars: 24 labels would not fit.
    auto* hourAxis = new QCategoryAxis();
    hourAxis->setStartValue(-0.5);
    for (int hour = 0; hour < 24; hour += 3)
        hourAxis->append(hours[hour], hour + 2.5);
    hourAxis->setRange(-0.5, 23.5);
    hourAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    QValueAxis* countAxis = countAxisUpTo(highest);
    hourChart_->addAxis(hourAxis, Qt::AlignBottom);
    hourChart_->addAxis(countAxis, Qt::AlignLeft);
    series->attachAxis(hourAxis);
    series->attachAxis(countAxis);
    drawThresholds(hourAxis);
}

void CStatisticsView::drawThresholds(QAbstractAxis* hourAxis) {
    // The threshold each person was judged against: it moves with the baseline through the day.
    if (statistics_.thresholds.empty())
        return;
    auto* line = new QLineSeries();
    line->setName(tr("Alarm threshold"));
    line->setColor(QColor(0xd0, 0x30, 0x30));
    double low = statistics_.thresholds.front().celsius;
    double high = low;
    for (const ThresholdPoint& point : statistics_.thresholds) {
        line->append(point.hourPosition, point.celsius);
        low = std::min(low, point.celsius);
        high = std::max(high, point.celsius);
    }
    hourChart_->addSeries(line);
    auto* celsiusAxis = new QValueAxis();
    celsiusAxis->setRange(std::floor(low - 0.5), std::ceil(high + 0.5));
    celsiusAxis->setLabelFormat(QStringLiteral("%.1f"));
    celsiusAxis->setTitleText(QStringLiteral("°C"));
    hourChart_->addAxis(celsiusAxis, Qt::AlignRight);
    line->attachAxis(hourAxis);
    line->attachAxis(celsiusAxis);
}

void CStatisticsView::drawReadings() {
    readingChart_->removeAllSeries();
    for (QAbstractAxis* axis : readingChart_->axes())
        readingChart_->removeAxis(axis);
    // Steps of 0.1 °C: each bin a flat top from its lower to its upper edge.
    auto* upper = new QLineSeries();
    const double first = statistics_.firstBinCelsius;
    int highest = 0;
    for (std::size_t bin = 0; bin < statistics_.readingBins.size(); ++bin) {
        const double left = first + double(bin) * 0.1 - 0.05;
        const int count = statistics_.readingBins[bin];
        upper->append(left, count);
        upper->append(left + 0.1, count);
        highest = std::max(highest, count);
    }
    auto* histogram = new QAreaSeries(upper);
    histogram->setName(tr("People"));
    readingChart_->addSeries(histogram);
    auto* threshold = new QLineSeries();
    threshold->setName(tr("Alarm threshold"));
    threshold->setColor(QColor(0xd0, 0x30, 0x30));
    threshold->append(shownThreshold_, 0);
    threshold->append(shownThreshold_, std::max(highest, 1));
    readingChart_->addSeries(threshold);

    double low = shownThreshold_ - 1.0;
    double high = shownThreshold_ + 0.5;
    if (!statistics_.readingBins.empty()) {
        low = std::min(low, first - 0.2);
        high = std::max(high, first + 0.1 * double(statistics_.readingBins.size()) + 0.1);
    }
    auto* celsiusAxis = new QValueAxis();
    celsiusAxis->setRange(low, high);
    celsiusAxis->setLabelFormat(QStringLiteral("%.1f"));
    celsiusAxis->setTitleText(temperatureUnitSymbol(TemperatureUnit::Celsius));
    QValueAxis* countAxis = countAxisUpTo(highest);
    readingChart_->addAxis(celsiusAxis, Qt::AlignBottom);
    readingChart_->addAxis(countAxis, Qt::AlignLeft);
    for (QAbstractSeries* series : readingChart_->series()) {
        series->attachAxis(celsiusAxis);
        series->attachAxis(countAxis);
    }
}

QString CStatisticsView::exportTo(const QString& path) {
    const CsvExportResult exported = exportPeopleCsv(databasePath_, path, CsvTemperatureUnit::Celsius);
    return exported.succeeded ? QString() : exported.errorText;
}

void CStatisticsView::exportWithDialog() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export people"), QStringLiteral("people.csv"),
                                                      tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    const QString error = exportTo(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, tr("Export people"), error);
    else
        emit statusMessage(tr("People written to %1").arg(path), 5000);
}

} // namespace calidra
