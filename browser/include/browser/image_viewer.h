#pragma once
// The alarm image browser: one row per saved alarm snapshot, newest appended at the end, and the
// selected snapshot stretched over the preview area. It never changes or deletes a file.

#include "viewbase/calidra_view.h"

#include <QFrame>
#include <QImage>
#include <QSet>
#include <QTimer>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QPushButton;
class QTableWidget;

namespace calidra {

// Shows one picture stretched to its whole area, without smoothing, and keeps it for repaints.
class PreviewArea : public QFrame {
    Q_OBJECT
public:
    explicit PreviewArea(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

struct SnapshotRow {
    QString timeText;
    QString fileName;
};

// Reads the snapshots of a folder; runs on the listing thread.
using FolderLister = std::function<std::vector<SnapshotRow>(const QString& folder)>;

class CImageViewer : public CCalidraView {
    Q_OBJECT
public:
    static constexpr int firstListingDelayMs = 1000;
    static constexpr int timeColumnWidth = 120;
    static constexpr int fileNameColumnWidth = 240;
    // Rows reach the list in batches so a large folder never holds the GUI thread for long.
    static constexpr std::size_t rowsPerBatch = 250;

    // folder: where the snapshots are, ending in '/'; empty means ThermalAlarm/ beside the program.
    // lister: empty means listFolder.
    explicit CImageViewer(QWidget* parent = nullptr, QString folder = QString(), FolderLister lister = {});
    ~CImageViewer() override;

    void OnInitialUpdate() override;

    // Starts a listing; one that arrives while another runs is done right after it.
    void OnRefresh();

    QTableWidget* list() const { return list_; }
    PreviewArea* preview() const { return preview_; }
    QPushButton* refreshButton() const { return refresh_; }
    const QString& folder() const { return folder_; }
    bool listingRunning() const;

    // The snapshots of a folder in name order, which with the station's file names is the order
    // they were taken in; pure, for the worker.
    static std::vector<SnapshotRow> listFolder(const QString& folder);

signals:
    void listingFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int textWidth(const QString& text) const;
    void startListing();
    void appendRows(const std::vector<SnapshotRow>& rows);
    void finishListing();
    void showPreview(int row);

    QString folder_;
    FolderLister lister_;
    QSet<QString> listedTimes_; // case-folded time texts: the key of a row
    QPushButton* refresh_ = nullptr;
    QTableWidget* list_ = nullptr;
    PreviewArea* preview_ = nullptr;
    QTimer firstListing_;
    bool setUp_ = false;

    mutable std::mutex listingLock_;
    std::thread listing_;
    bool running_ = false;
    bool another_ = false;
};

} // namespace calidra
