#include "browser/image_viewer.h"

#include "alarmrecord/alarm_record.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace calidra {
namespace {

class ImageViewerTest : public ::testing::Test {
protected:
    ImageViewerTest() : viewer(nullptr, folder.path() + "/") { viewer.resize(1000, 700); }

    // A snapshot whose last write is the given time; left half red, right half blue.
    void snapshot(const QString& name, const QDateTime& written, QSize size = {384, 288}) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width() / 2; ++x)
                picture.setPixel(x, y, qRgb(255, 0, 0));
        const QString path = folder.filePath(name);
        ASSERT_TRUE(picture.save(path, "JPG"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    }

    bool listOnce() {
        bool finished = false;
        const auto connection =
            QObject::connect(&viewer, &CImageViewer::listingFinished, [&] { finished = true; });
        viewer.OnRefresh();
        QElapsedTimer waited;
        waited.start();
        while (!finished && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        QObject::disconnect(connection);
        return finished;
    }

    QString cell(int row, int column) const { return viewer.list()->item(row, column)->text(); }

    QTemporaryDir folder;
    CImageViewer viewer;
    const QDateTime base{QDate(2021, 3, 7), QTime(9, 5, 3)};
};

// Which names are listed: station_file_names_test.cpp.
TEST_F(ImageViewerTest, SnapshotsAreListedOncePerSecond) {
    viewer.OnInitialUpdate();
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    snapshot("second-copy.jpg", base.addMSecs(400)); // same second: one row
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), 1);
    EXPECT_EQ(cell(0, 0), "2021-03-07 09:05:03");
    EXPECT_EQ(viewer.list()->columnCount(), 3);
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(0)->text(), "Time");
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(1)->text(), "FileName");
    // At least the station's widths, and wide enough that neither text is cut off.
    const QFontMetrics metrics = viewer.list()->fontMetrics();
    EXPECT_GE(viewer.list()->columnWidth(0), 120);
    EXPECT_GE(viewer.list()->columnWidth(1), 240);
    EXPECT_GT(viewer.list()->columnWidth(0), metrics.horizontalAdvance(cell(0, 0)));
    EXPECT_GT(viewer.list()->columnWidth(1), metrics.horizontalAdvance("ThermalAlarm_20210307_090503.jpg"));
}

// Names taken twice (a clock set back, two stations) get "-N": each is listed, after the name it
// could not have and in the order of N, even when written in the same second.
TEST_F(ImageViewerTest, SnapshotsWithATakenNameAreListedInTheirPlace) {
    viewer.OnInitialUpdate();
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    snapshot("ThermalAlarm_20210307_090503-10.jpg", base.addSecs(1));
    snapshot("ThermalAlarm_20210307_090503-2.jpg", base);
    snapshot("ThermalAlarm_20210307_090503-3.jpg", base);
    snapshot("ThermalAlarm_20210307_090504.jpg", base.addSecs(1));
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), 5);
    EXPECT_EQ(cell(0, 1), "ThermalAlarm_20210307_090503.jpg");
    EXPECT_EQ(cell(1, 1), "ThermalAlarm_20210307_090503-2.jpg");
    EXPECT_EQ(cell(2, 1), "ThermalAlarm_20210307_090503-3.jpg");
    EXPECT_EQ(cell(3, 1), "ThermalAlarm_20210307_090503-10.jpg");
    EXPECT_EQ(cell(4, 1), "ThermalAlarm_20210307_090504.jpg");
    ASSERT_TRUE(listOnce());
    EXPECT_EQ(viewer.list()->rowCount(), 5);
}

TEST_F(ImageViewerTest, RefreshAppendsNewSnapshotsAndKeepsRowsOfDeletedOnes) {
    viewer.OnInitialUpdate();
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    ASSERT_TRUE(listOnce());
    snapshot("ThermalAlarm_20210307_090600.jpg", base.addSecs(57));
    ASSERT_TRUE(QFile::remove(folder.filePath("ThermalAlarm_20210307_090503.jpg")));
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), 2);
    EXPECT_EQ(cell(0, 1), "ThermalAlarm_20210307_090503.jpg");
    EXPECT_EQ(cell(1, 1), "ThermalAlarm_20210307_090600.jpg");

    // The deleted snapshot's row draws nothing.
    viewer.list()->setCurrentCell(1, 0);
    EXPECT_FALSE(viewer.preview()->picture().isNull());
    viewer.list()->setCurrentCell(0, 0);
    EXPECT_TRUE(viewer.preview()->picture().isNull());
}

TEST_F(ImageViewerTest, PreviewIsStretchedToTheWholeAreaAndSurvivesARepaint) {
    viewer.OnInitialUpdate();
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    viewer.show();
    ASSERT_TRUE(listOnce());
    // At least the station's 330 pixels, and as wide as the three columns need.
    const QRect list = viewer.list()->geometry();
    EXPECT_EQ(list.topLeft(), QPoint(7, 53));
    EXPECT_EQ(list.height(), 640);
    EXPECT_GE(list.width(), std::max(330, viewer.list()->horizontalHeader()->length()));
    EXPECT_EQ(viewer.preview()->geometry(), QRect(list.width() + 10, 53, 1000 - list.width() - 20, 640));
    viewer.list()->setCurrentCell(0, 0);

    const QImage shown = viewer.preview()->grab().toImage();
    EXPECT_GT(qRed(shown.pixel(20, 320)), 200);                  // left edge of the stretched picture
    EXPECT_GT(qBlue(shown.pixel(shown.width() - 20, 320)), 200); // right edge: not letterboxed
    EXPECT_GT(qRed(shown.pixel(shown.width() / 4, 5)), 200);     // top edge: filled to the top

    viewer.resize(900, 600);
    const QImage again = viewer.preview()->grab().toImage();
    EXPECT_GT(qRed(again.pixel(20, 100)), 200);
}

TEST_F(ImageViewerTest, CorruptSnapshotDrawsNothing) {
    viewer.OnInitialUpdate();
    QFile broken(folder.filePath("ThermalAlarm_20210307_090503.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a jpeg at all");
    broken.close();
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), 1);
    viewer.list()->setCurrentCell(0, 1);
    EXPECT_TRUE(viewer.preview()->picture().isNull());
}

TEST_F(ImageViewerTest, RefreshDuringAListingRunsOnceMoreAfterItAndNeverAddsARowTwice) {
    viewer.OnInitialUpdate();
    for (int second = 0; second < 40; ++second)
        snapshot(QString("ThermalAlarm_%1.jpg").arg(second, 2, 10, QChar('0')), base.addSecs(second), {8, 8});
    viewer.OnRefresh();
    viewer.OnRefresh();
    viewer.OnRefresh();
    ASSERT_TRUE(listOnce());
    QElapsedTimer waited;
    waited.start();
    while (viewer.listingRunning() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(viewer.list()->rowCount(), 40);
}

TEST_F(ImageViewerTest, FirstListingComesAboutASecondAfterTheFirstUpdateAndOnlyOnce) {
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    viewer.OnInitialUpdate();
    viewer.OnInitialUpdate();
    EXPECT_EQ(viewer.list()->columnCount(), 3);
    EXPECT_EQ(viewer.list()->rowCount(), 0);
    QElapsedTimer waited;
    waited.start();
    while (viewer.list()->rowCount() == 0 && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(viewer.list()->rowCount(), 1);
    EXPECT_GE(waited.elapsed(), 900);
}

TEST_F(ImageViewerTest, TwoThousandSnapshotsAreListedInTheOrderTheyWereTaken) {
    viewer.OnInitialUpdate();
    constexpr int count = 2000;
    QImage tiny(8, 8, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    for (int step = 0; step < count; ++step) {
        const QDateTime written = base.addSecs(step * 7919 % count); // written out of order

        const QString path = folder.filePath(written.toString("'ThermalAlarm_'yyyyMMdd'_'HHmmss'.jpg'"));
        ASSERT_TRUE(tiny.save(path, "JPG"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), count);
    for (int row = 0; row < count; ++row) {
        const QDateTime written = base.addSecs(row);
        ASSERT_EQ(cell(row, 0), written.toString("yyyy-MM-dd HH:mm:ss")) << "row " << row;
        ASSERT_EQ(cell(row, 1), written.toString("'ThermalAlarm_'yyyyMMdd'_'HHmmss'.jpg'")) << "row " << row;
    }
}

// A listing that waits until the test lets it go, to hold it running for as long as needed.
class HeldListing {
public:
    FolderLister lister() {
        return [this](const QString&) {
            std::unique_lock<std::mutex> guard(lock_);
            const int call = ++calls_;
            onGuiThread_ = onGuiThread_ || std::this_thread::get_id() == guiThread_;
            released_.wait(guard, [this] { return open_; });
            // Every listing finds the same file again, and a new one of its own.
            return std::vector<SnapshotRow>{{"2021-03-07 09:05:03", "first.jpg", {}},
                                            {QString("2021-03-07 09:06:%1").arg(call, 2, 10, QChar('0')),
                                             QString("listing%1.jpg").arg(call),
                                             {}}};
        };
    }
    void release() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
        released_.notify_all();
    }
    int calls() const {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    bool ranOnGuiThread() const {
        std::lock_guard<std::mutex> guard(lock_);
        return onGuiThread_;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable released_;
    bool open_ = false;
    int calls_ = 0;
    bool onGuiThread_ = false;
    const std::thread::id guiThread_ = std::this_thread::get_id();
};

TEST(ImageViewerListing, RefreshWhileAListingRunsIsDoneOnceAfterItAndTheGuiKeepsRunning) {
    HeldListing held;
    QTemporaryDir folder;
    CImageViewer viewer(nullptr, folder.path() + "/", held.lister());
    viewer.OnInitialUpdate();
    int finished = 0;
    QObject::connect(&viewer, &CImageViewer::listingFinished, [&] { ++finished; });

    viewer.refreshButton()->click();
    bool guiTurned = false;
    QTimer::singleShot(0, [&] { guiTurned = true; });
    QElapsedTimer waited;
    waited.start();
    while ((held.calls() == 0 || !guiTurned) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(guiTurned) << "the GUI thread is free while the folder is read";
    EXPECT_TRUE(viewer.listingRunning());
    viewer.refreshButton()->click();
    viewer.refreshButton()->click();
    EXPECT_EQ(held.calls(), 1) << "listings never overlap";

    held.release();
    while (finished < 2 && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    while (viewer.listingRunning() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(held.calls(), 2) << "the clicks during the listing make one more listing";
    EXPECT_FALSE(held.ranOnGuiThread());
    ASSERT_EQ(viewer.list()->rowCount(), 3);
    EXPECT_EQ(viewer.list()->item(0, 1)->text(), "first.jpg");
    EXPECT_EQ(viewer.list()->item(1, 1)->text(), "listing1.jpg");
    EXPECT_EQ(viewer.list()->item(2, 1)->text(), "listing2.jpg");
}

TEST(ImageViewerListing, ViewGoingAwayDuringAListingWaitsForIt) {
    HeldListing held;
    QTemporaryDir folder;
    std::thread releaser;
    {
        CImageViewer viewer(nullptr, folder.path() + "/", held.lister());
        viewer.OnInitialUpdate();
        viewer.OnRefresh();
        QElapsedTimer waited;
        waited.start();
        while (held.calls() == 0 && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        releaser = std::thread([&held] { held.release(); });
    } // the rows the listing posts to the gone view are dropped
    releaser.join();
    QApplication::processEvents();
    EXPECT_EQ(held.calls(), 1);
}

// Readings from the alarm record in the shown unit; a snapshot the station saves arrives without
// a Refresh, behind the listed ones, and one of a second already listed adds no row.
TEST_F(ImageViewerTest, MaxTempColumnFollowsTheUnitAndNewSnapshotsArriveWithoutRefresh) {
    snapshot("ThermalAlarm_20210307_090503.jpg", base);
    snapshot("ThermalAlarm_20210307_090505.jpg", base.addSecs(2));
    snapshot("x-before-the-record.jpg", base.addSecs(4));
    {
        AlarmRecord record(folder.path());
        record.alarmOn(base);
        record.snapshotSaved(folder.filePath("ThermalAlarm_20210307_090503.jpg"), 38.2);
        record.snapshotSaved(folder.filePath("ThermalAlarm_20210307_090505.jpg"), 37.6);
        record.alarmOff(base.addSecs(3));
    }
    viewer.OnInitialUpdate();
    viewer.addSnapshot(folder.filePath("x-before-the-record.jpg"), 40.0); // waits for the first listing
    ASSERT_TRUE(listOnce());
    ASSERT_EQ(viewer.list()->rowCount(), 3);
    EXPECT_EQ(viewer.list()->horizontalHeaderItem(2)->text(), "Max Temp.");
    EXPECT_EQ(cell(0, 2), "38.2 °C");
    EXPECT_EQ(cell(1, 2), "37.6 °C");
    EXPECT_EQ(cell(2, 2), "") << "listed before the station's own row came";

    viewer.setTemperatureUnit(TemperatureUnit::Fahrenheit);
    EXPECT_EQ(cell(0, 2), "100.8 °F");
    EXPECT_EQ(cell(2, 2), "");
    snapshot("ThermalAlarm_20210307_090600.jpg", base.addSecs(57));
    viewer.addSnapshot(folder.filePath("ThermalAlarm_20210307_090600.jpg"), 39.0);
    viewer.addSnapshot(folder.filePath("ThermalAlarm_20210307_090503.jpg"), 38.2);
    ASSERT_EQ(viewer.list()->rowCount(), 4);
    EXPECT_EQ(cell(3, 0), "2021-03-07 09:06:00");
    EXPECT_EQ(cell(3, 2), "102.2 °F");
    viewer.setTemperatureUnit(TemperatureUnit::Celsius);
    EXPECT_EQ(cell(3, 2), "39.0 °C");
}

TEST_F(ImageViewerTest, ExportWritesTheEpisodesInTheShownUnitAndShowsAFailure) {
    {
        AlarmRecord record(folder.path());
        record.alarmOn(base, std::nullopt, 37.5);
        record.noteReading(38.2);
        record.alarmOff(base.addSecs(3));
    }
    viewer.OnInitialUpdate();
    viewer.setTemperatureUnit(TemperatureUnit::Fahrenheit);
    viewer.setStationNameSource([] { return QString("정문"); });
    QStringList messages;
    QObject::connect(&viewer, &CCalidraView::statusMessage,
                     [&](const QString& text, int) { messages << text; });
    QString answer = folder.filePath("export.csv");
    viewer.setExportFileChooser([&](QWidget*) { return answer; });
    viewer.exportButton()->click();
    QFile csv(answer);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0],
              "Start,End,Highest °C,Highest display °F,Snapshots,Station,Threshold °C,Snapshot files");
    EXPECT_TRUE(
        QRegularExpression("^2021-03-07T09:05:03[+-]\\d\\d:\\d\\d,2021-03-07T09:05:06[+-]\\d\\d:\\d\\d,"
                           "38.2,100.8,0,정문,37.5,$")
            .match(lines[1])
            .hasMatch())
        << lines[1].toStdString();
    EXPECT_TRUE(viewer.findChildren<QMessageBox*>().isEmpty());
    EXPECT_EQ(messages, QStringList{"Alarm episodes written to " + QDir::toNativeSeparators(answer) + ": 1"});

    answer = folder.filePath("missing/export.csv");
    viewer.exportButton()->click();
    const QList<QMessageBox*> shown = viewer.findChildren<QMessageBox*>();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0]->text().contains("missing/export.csv"));
    EXPECT_EQ(viewer.exportButton()->text(), "Export…");
}

TEST_F(ImageViewerTest, MissingFolderLeavesTheListAsItWas) {
    CImageViewer elsewhere(nullptr, folder.filePath("missing") + "/");
    elsewhere.OnInitialUpdate();
    EXPECT_TRUE(CImageViewer::listFolder(folder.filePath("missing") + "/").empty());
}

} // namespace
} // namespace calidra
