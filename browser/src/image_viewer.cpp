#include "browser/image_viewer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QHeaderView>
#include <QImageReader>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>

namespace calidra {

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

CImageViewer::CImageViewer(QWidget* parent, QString folder)
    : CCalidraView(imageListTemplateId, parent), folder_(std::move(folder)) {
    refresh_ = new QPushButton(tr("Refresh"), this);
    refresh_->setGeometry(7, 10, 107, 32);
    list_ = new QTableWidget(0, 2, this);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    preview_ = new PreviewArea(this);
    firstListing_.setSingleShot(true);
    connect(&firstListing_, &QTimer::timeout, this, &CImageViewer::startListing);
    connect(refresh_, &QPushButton::clicked, this, &CImageViewer::OnRefresh);
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

void CImageViewer::OnInitialUpdate() {
    CCalidraView::OnInitialUpdate();
    if (setUp_)
        return;
    setUp_ = true;
    list_->setHorizontalHeaderLabels({tr("Time"), tr("FileName")});
    list_->setColumnWidth(0, 120);
    list_->setColumnWidth(1, 240);
    if (folder_.isEmpty())
        folder_ = QCoreApplication::applicationDirPath() + QStringLiteral("/ThermalAlarm/");
    firstListing_.start(firstListingDelayMs);
}

std::vector<SnapshotRow> CImageViewer::listFolder(const QString& folder) {
    std::vector<SnapshotRow> rows;
    QDirIterator entries(folder, {QStringLiteral("*.jpg")}, QDir::Files | QDir::CaseSensitive);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo file = entries.fileInfo();
        if (!file.fileName().endsWith(QLatin1String(".jpg"), Qt::CaseSensitive))
            continue;
        const QDateTime written = file.lastModified().toLocalTime();
        const QDate date = written.date();
        const QTime time = written.time();
        rows.push_back({QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                                          time.hour(), time.minute(), time.second()),
                        file.fileName()});
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
    std::lock_guard<std::mutex> guard(listingLock_);
    listing_ = std::thread([this, folder] {
        std::vector<SnapshotRow> rows = listFolder(folder);
        QMetaObject::invokeMethod(this, [this, rows = std::move(rows)] { appendRows(rows); }, Qt::QueuedConnection);
    });
}

void CImageViewer::appendRows(const std::vector<SnapshotRow>& rows) {
    for (const SnapshotRow& row : rows) {
        bool known = false;
        for (int existing = 0; existing < list_->rowCount() && !known; ++existing)
            known = list_->item(existing, 0)->text().compare(row.timeText, Qt::CaseInsensitive) == 0;
        if (known)
            continue;
        const int index = list_->rowCount();
        list_->insertRow(index);
        list_->setItem(index, 0, new QTableWidgetItem(row.timeText));
        list_->setItem(index, 1, new QTableWidgetItem(row.fileName));
    }
    bool again = false;
    {
        std::lock_guard<std::mutex> guard(listingLock_);
        running_ = false;
        again = another_;
        another_ = false;
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
    const int width = this->width();
    const int height = this->height();
    list_->setGeometry(7, 53, 330, height - 60);
    preview_->setGeometry(340, 53, width - 350, height - 60);
    update();
}

} // namespace calidra
