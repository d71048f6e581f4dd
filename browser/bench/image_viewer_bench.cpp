// What listing the alarm folder costs: the folder read on the listing thread, and the rows' share
// of the GUI thread, which is what an operator would feel as a frozen window.

#include "browser/image_viewer.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTableWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

const QDateTime firstSnapshot{QDate(2026, 12, 7), QTime(8, 0, 0)};

QString snapshotName(int index) {
    return firstSnapshot.addSecs(index).toString("'ThermalAlarm_'yyyyMMdd'_'HHmmss'.jpg'");
}

// A folder of tiny snapshots, one a second, made once per size.
const QString& snapshotFolder(int count) {
    static std::map<int, std::unique_ptr<QTemporaryDir>> folders;
    static std::map<int, QString> paths;
    if (paths.count(count) == 0) {
        auto folder = std::make_unique<QTemporaryDir>();
        QImage tiny(8, 8, QImage::Format_RGB32);
        tiny.fill(Qt::gray);
        for (int index = 0; index < count; ++index) {
            const QString path = folder->filePath(snapshotName(index));
            tiny.save(path, "JPG");
            QFile file(path);
            file.open(QIODevice::ReadWrite);
            file.setFileTime(firstSnapshot.addSecs(index), QFileDevice::FileModificationTime);
        }
        paths[count] = folder->path() + "/";
        folders[count] = std::move(folder);
    }
    return paths[count];
}

void runListing(calidra::CImageViewer& viewer) {
    bool finished = false;
    const auto connection =
        QObject::connect(&viewer, &calidra::CImageViewer::listingFinished, [&] { finished = true; });
    viewer.OnRefresh();
    while (!finished)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(connection);
}

// The listing thread's work: reading the folder and formatting the times.
void readFolder(benchmark::State& state) {
    const QString& folder = snapshotFolder(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(calidra::CImageViewer::listFolder(folder));
}
BENCHMARK(readFolder)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Rows handed over ready-made, so nearly all the time measured is the GUI thread's: appending new rows
// into an empty list, and checking them all again when nothing is new.
std::vector<calidra::SnapshotRow> readyRows(int count) {
    std::vector<calidra::SnapshotRow> rows;
    for (int index = 0; index < count; ++index)
        rows.push_back(
            {firstSnapshot.addSecs(index).toString("yyyy-MM-dd HH:mm:ss"), snapshotName(index), {}});
    return rows;
}

void listReadyRowsIntoView(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::vector<calidra::SnapshotRow> rows = readyRows(count);
    for (auto _ : state) {
        state.PauseTiming();
        auto viewer = std::make_unique<calidra::CImageViewer>(nullptr, QStringLiteral("/nonexistent/"),
                                                              [&rows](const QString&) { return rows; });
        viewer->OnInitialUpdate();
        viewer->resize(1000, 700);
        viewer->show();
        QApplication::processEvents();
        state.ResumeTiming();
        runListing(*viewer);
        state.PauseTiming();
        viewer.reset();
        state.ResumeTiming();
    }
    state.counters["batches"] = static_cast<double>((count + calidra::CImageViewer::rowsPerBatch - 1) /
                                                    calidra::CImageViewer::rowsPerBatch);
}
BENCHMARK(listReadyRowsIntoView)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

void refreshWithNothingNew(benchmark::State& state) {
    const std::vector<calidra::SnapshotRow> rows = readyRows(static_cast<int>(state.range(0)));
    calidra::CImageViewer viewer(nullptr, QStringLiteral("/nonexistent/"),
                                 [&rows](const QString&) { return rows; });
    viewer.OnInitialUpdate();
    viewer.resize(1000, 700);
    viewer.show();
    runListing(viewer);
    for (auto _ : state)
        runListing(viewer);
    state.counters["rows"] = viewer.list()->rowCount();
}
BENCHMARK(refreshWithNothingNew)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

// From the click to the last row of a real folder.
void listRealFolderIntoView(benchmark::State& state) {
    const QString& folder = snapshotFolder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto viewer = std::make_unique<calidra::CImageViewer>(nullptr, folder);
        viewer->OnInitialUpdate();
        viewer->resize(1000, 700);
        viewer->show();
        QApplication::processEvents();
        state.ResumeTiming();
        runListing(*viewer);
        state.PauseTiming();
        viewer.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(listRealFolderIntoView)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
