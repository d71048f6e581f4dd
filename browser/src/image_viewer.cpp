#include "browser/image_viewer.h"

#include "alarmrecord/snapshot_names.h"
#include "files/snapshot_names.h"
#include "operatorvalues/shown_temperature.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImageReader>
#include <QMessageBox>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>

namespace calidra {
namespace {

enum { highestColumn = 2, columnCount = 3 };
// The reading of a "Max Temp." cell in °C, kept for a change of unit.
constexpr int celsiusRole = Qt::UserRole + 1;

// A snapshot whose second's name was already taken is saved as "ThermalAlarm_..._HHMMSS-N.jpg".
// Returns the name it would have had and N; other names come back as they are, with 1.
std::pair<QString, int> snapshotNameAndSequence(const QString& fileName) {
    if (!fileName.contains(QLatin1Char('-')))
        return {fileName, 1};
    const std::optional<files::SnapshotName> name = files::parseSnapshotFileName(fileName.toStdString());
    if (!name || name->sequence == 1)
        return {fileName, 1};
    return {QString::fromStdString(files::snapshotFileName(name->localTime)), name->sequence};
}

// ThermalAlarm/ beside the program, ending in '/'.
QString defaultSnapshotFolder() {
    return alarmFolderPath(QCoreApplication::applicationDirPath()) + QLatin1Char('/');
}

// One row per second of writing; a snapshot that took a "-N" name is a row of its own, whatever
// second it was written in.
QString rowKey(const SnapshotRow& row) {
    if (snapshotNameAndSequence(row.fileName).second > 1)
        return row.timeText + QLatin1Char('\n') + row.fileName;
    return row.timeText.toCaseFolded();
}

} // namespace

PreviewArea::PreviewArea(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::black);
    setPalette(black);
}

void PreviewArea::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PreviewArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), picture_); // stretched: the aspect ratio is not kept
}

CImageViewer::CImageViewer(QWidget* parent, QString folder, FolderLister lister)
    : CCalidraView(parent), folder_(std::move(folder)),
      lister_(lister ? std::move(lister) : FolderLister(&CImageViewer::listFolder)) {
    refresh_ = new QPushButton(tr("Refresh"), this);
    refresh_->setGeometry(7, 10, 107, 32);
    export_ = new QPushButton(tr("Export…"), this);
    export_->setGeometry(121, 10, 107, 32);
    list_ = new QTableWidget(0, columnCount, this);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6); // report-list rows
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    preview_ = new PreviewArea(this);
    firstListing_.setSingleShot(true);
    connect(&firstListing_, &QTimer::timeout, this, &CImageViewer::startListing);
    connect(refresh_, &QPushButton::clicked, this, &CImageViewer::OnRefresh);
    connect(export_, &QPushButton::clicked, this, &CImageViewer::OnExport);
    connect(list_, &QTableWidget::currentCellChanged, this, [this](int row) { showPreview(row); });
}

CImageViewer::~CImageViewer() {
    // The listing posts its rows to this view; it ends before the view goes.
    std::thread finishing;
    {
        std::lock_guard<std::mutex> guard(listingLock_);
        another_ = false;
        finishing = std::move(listing_);
    }
    if (finishing.joinable())
        finishing.join();
}

int CImageViewer::textWidth(const QString& text) const {
    constexpr int cellPaddingPx = 12;
    return list_->fontMetrics().horizontalAdvance(text) + cellPaddingPx;
}

void CImageViewer::OnInitialUpdate() {
    CCalidraView::OnInitialUpdate();
    if (setUp_)
        return;
    setUp_ = true;
    list_->setHorizontalHeaderLabels({tr("Time"), tr("FileName"), tr("Max Temp.")});
    // The widths are those of the station's original small font; with a wider one a column grows
    // so that a time or a snapshot name is read whole instead of cut off.
    list_->setColumnWidth(0, std::max(timeColumnWidth, textWidth(QStringLiteral("0000-00-00 00:00:00"))));
    list_->setColumnWidth(
        1, std::max(fileNameColumnWidth, textWidth(QStringLiteral("ThermalAlarm_00000000_000000.jpg"))));
    list_->setColumnWidth(highestColumn, std::max({highestColumnWidth, textWidth(QStringLiteral("000.0 °F")),
                                                   textWidth(tr("Max Temp."))}));
    layOut(); // the list takes the width of its columns
    if (folder_.isEmpty())
        folder_ = defaultSnapshotFolder();
    firstListing_.start(firstListingDelayMs);
}

std::vector<SnapshotRow> CImageViewer::listFolder(const QString& folder) {
    std::vector<SnapshotRow> rows;
    // One query for the whole listing; files the record does not know keep an empty reading.
    const QHash<QString, double> readings = readSnapshotHighestCelsius(alarmRecordPath(folder));
    // Name order, as the station's original file system enumerates; a plain directory read here
    // comes in hash order and would scatter the rows in time.
    QFileInfoList pictures = QDir(folder).entryInfoList(
        {QLatin1Char('*') + QLatin1String(files::pictureSuffix)},
        QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name | QDir::IgnoreCase);
    // "-2" sorts before ".jpg" and "-10" before "-2": each suffixed snapshot goes after the one whose
    // name it could not have, in the order the suffixes were given.
    std::stable_sort(pictures.begin(), pictures.end(), [](const QFileInfo& left, const QFileInfo& right) {
        const auto leftName = snapshotNameAndSequence(left.fileName());
        const auto rightName = snapshotNameAndSequence(right.fileName());
        const int names = leftName.first.compare(rightName.first, Qt::CaseInsensitive);
        return names != 0 ? names < 0 : leftName.second < rightName.second;
    });
    for (const QFileInfo& file : pictures) {
        if (!files::isPictureFileName(file.fileName().toStdString()))
            continue;
        const QDateTime written = file.lastModified().toLocalTime();
        const QDate date = written.date();
        const QTime time = written.time();
        rows.push_back({QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(),
                                          date.day(), time.hour(), time.minute(), time.second()),
                        file.fileName(), std::nullopt});
        const auto reading = readings.constFind(file.fileName());
        if (reading != readings.constEnd())
            rows.back().highestCelsius = *reading;
    }
    return rows;
}

bool CImageViewer::listingRunning() const {
    std::lock_guard<std::mutex> guard(listingLock_);
    return running_;
}

void CImageViewer::OnRefresh() {
    {
        std::lock_guard<std::mutex> guard(listingLock_);
        if (running_) {
            another_ = true; // two listings at once could add the same row twice
            return;
        }
    }
    startListing();
}

void CImageViewer::startListing() {
    firstListing_.stop();
    std::thread finished;
    {
        std::lock_guard<std::mutex> guard(listingLock_);
        if (running_) {
            another_ = true;
            return;
        }
        running_ = true;
        finished = std::move(listing_);
    }
    if (finished.joinable())
        finished.join(); // already done: it only posted its rows
    const QString folder = folder_;
    const FolderLister lister = lister_;
    std::lock_guard<std::mutex> guard(listingLock_);
    // The rows go to the GUI thread as queued calls, in order; the view joins this thread before
    // it is destroyed, so posting to it stays valid.
    listing_ = std::thread([this, folder, lister] {
        const std::vector<SnapshotRow> rows = lister(folder);
        for (std::size_t first = 0; first < rows.size(); first += rowsPerBatch) {
            const auto begin = rows.begin() + static_cast<std::ptrdiff_t>(first);
            std::vector<SnapshotRow> batch(
                begin, begin + static_cast<std::ptrdiff_t>(std::min(rowsPerBatch, rows.size() - first)));
            QMetaObject::invokeMethod(
                this, [this, batch = std::move(batch)] { appendRows(batch); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this, [this] { finishListing(); }, Qt::QueuedConnection);
    });
}

void CImageViewer::appendRows(const std::vector<SnapshotRow>& rows) {
    std::vector<const SnapshotRow*> fresh;
    for (const SnapshotRow& row : rows) {
        // Only the first file found for a second gets a row, also within one listing.
        const QString key = rowKey(row);
        if (listedTimes_.contains(key))
            continue;
        listedTimes_.insert(key);
        fresh.push_back(&row);
    }
    if (fresh.empty())
        return;
    int index = list_->rowCount();
    list_->setRowCount(index + static_cast<int>(fresh.size()));
    for (const SnapshotRow* row : fresh) {
        list_->setItem(index, 0, new QTableWidgetItem(row->timeText));
        list_->setItem(index, 1, new QTableWidgetItem(row->fileName));
        auto* highest = new QTableWidgetItem(highestText(row->highestCelsius));
        if (row->highestCelsius)
            highest->setData(celsiusRole, *row->highestCelsius);
        list_->setItem(index, highestColumn, highest);
        ++index;
    }
}

QString CImageViewer::highestText(const std::optional<double>& celsius) const {
    if (!celsius)
        return QString();
    return shownTemperature(*celsius, unit_);
}

void CImageViewer::setTemperatureUnit(TemperatureUnit unit) {
    if (unit == unit_)
        return;
    unit_ = unit;
    for (int row = 0; row < list_->rowCount(); ++row) {
        QTableWidgetItem* item = list_->item(row, highestColumn);
        if (item != nullptr && item->data(celsiusRole).isValid())
            item->setText(highestText(item->data(celsiusRole).toDouble()));
    }
}

void CImageViewer::addSnapshot(const QString& path, double highestCelsius) {
    const QFileInfo file(path);
    const QDateTime written =
        file.exists() ? file.lastModified().toLocalTime() : QDateTime::currentDateTime();
    SnapshotRow row{written.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), file.fileName(), highestCelsius};
    // A listing still to come or under way may add older rows: this one waits so it stays behind them.
    if (!listedOnce_ || listingRunning()) {
        waitingSnapshots_.push_back(std::move(row));
        return;
    }
    appendRows({row});
}

void CImageViewer::OnExport() {
    const QString path =
        chooseExportFile_ ? chooseExportFile_(this)
                          : QFileDialog::getSaveFileName(this, tr("Export alarms"),
                                                         QDir::home().filePath(QStringLiteral("alarms.csv")),
                                                         tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    const CsvExportResult result = exportTo(path);
    if (result.succeeded) {
        emit statusMessage(tr("Alarm episodes written to %1: %2")
                               .arg(QDir::toNativeSeparators(path), QString::number(result.episodes)),
                           exportMessageMs);
        return;
    }
    // Not modal to the caller: the station's loop keeps running while the operator reads it.
    auto* box =
        new QMessageBox(QMessageBox::Warning, tr("Export alarms"),
                        tr("The alarms could not be exported.") + QLatin1Char('\n') + result.errorText,
                        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

CsvExportResult CImageViewer::exportTo(const QString& csvPath) const {
    const QString folder = folder_.isEmpty() ? defaultSnapshotFolder() : folder_;
    return exportAlarmEpisodesCsv(alarmRecordPath(folder), csvPath,
                                  unit_ == TemperatureUnit::Fahrenheit ? CsvTemperatureUnit::Fahrenheit
                                                                       : CsvTemperatureUnit::Celsius,
                                  stationName_ ? stationName_() : QString());
}

void CImageViewer::finishListing() {
    bool again = false;
    {
        std::lock_guard<std::mutex> guard(listingLock_);
        running_ = false;
        again = another_;
        another_ = false;
    }
    listedOnce_ = true;
    if (!again && !waitingSnapshots_.empty()) {
        const std::vector<SnapshotRow> waiting = std::move(waitingSnapshots_);
        waitingSnapshots_.clear();
        appendRows(waiting);
    }
    emit listingFinished();
    if (again)
        startListing();
}

void CImageViewer::showPreview(int row) {
    if (row < 0 || row >= list_->rowCount() || list_->item(row, 1) == nullptr)
        return;
    QImageReader reader(folder_ + list_->item(row, 1)->text());
    // A file that is gone or does not decode shows nothing rather than the previous snapshot.
    preview_->setPicture(reader.read());
}

void CImageViewer::resizeEvent(QResizeEvent* event) {
    CCalidraView::resizeEvent(event);
    layOut();
}

void CImageViewer::layOut() {
    // A view smaller than the margins gives empty controls, not negative sizes.
    const int height = std::max(0, this->height() - 60);
    const int listWidth = this->listWidth();
    list_->setGeometry(7, 53, listWidth, height);
    preview_->setGeometry(listWidth + 10, 53, std::max(0, width() - listWidth - 20), height);
    update();
}

int CImageViewer::listWidth() const {
    // The station's 330 pixels, or wider so that time, name and reading are read without scrolling.
    int columns = 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < list_->columnCount(); ++column)
        columns += list_->columnWidth(column);
    return setUp_ ? std::max(minimumListWidth, columns) : minimumListWidth;
}

} // namespace calidra
