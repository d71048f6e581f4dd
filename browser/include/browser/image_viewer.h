#pragma once
// The alarm image browser: one row per saved alarm snapshot, newest appended at the end, and the
// selected snapshot stretched over the preview area. It never changes or deletes a file.

#include "viewbase/calidra_view.h"

#include "alarmrecord/alarm_record_reader.h"
#include "pipeline/temperature_scale.h"

#include <QFrame>
#include <QImage>
#include <QSet>
#include <QTimer>

#include <functional>
#include <mutex>
#include <optional>
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
    std::optional<double> highestCelsius; // from the alarm record; none for files it does not know
};

// Reads the snapshots of a folder; runs on the listing thread.
using FolderLister = std::function<std::vector<SnapshotRow>(const QString& folder)>;

class CImageViewer : public CCalidraView {
    Q_OBJECT
public:
    static constexpr int firstListingDelayMs = 1000;
    static constexpr int timeColumnWidth = 120;
    static constexpr int fileNameColumnWidth = 240;
    static constexpr int highestColumnWidth = 80;
    static constexpr int minimumListWidth = 330;
    // Rows reach the list in batches so a large folder never holds the GUI thread for long.
    static constexpr std::size_t rowsPerBatch = 250;
    // Long enough to read a whole path in the status bar.
    static constexpr int exportMessageMs = 10000;

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
    QPushButton* exportButton() const { return export_; }
    const QString& folder() const { return folder_; }
    bool listingRunning() const;

    // The snapshots of a folder in name order, which with the station's file names is the order
    // they were taken in, with their readings from the folder's alarm record; for the worker.
    static std::vector<SnapshotRow> listFolder(const QString& folder);

    // The unit of the "Max Temp." column and of the export; the column is rewritten at once.
    void setTemperatureUnit(TemperatureUnit unit);
    TemperatureUnit temperatureUnit() const { return unit_; }
    // The station saved a snapshot: its row comes without a Refresh, after any listing under way,
    // under the same one-row-per-second rule.
    void addSnapshot(const QString& path, double highestCelsius);

    // Asks where to write the CSV; an empty answer cancels. Tests answer without a dialog.
    using ExportFileChooser = std::function<QString(QWidget* parent)>;
    void setExportFileChooser(ExportFileChooser chooser) { chooseExportFile_ = std::move(chooser); }
    // The station's name for the export's Station column, asked at each export; none leaves it empty.
    using StationNameSource = std::function<QString()>;
    void setStationNameSource(StationNameSource source) { stationName_ = std::move(source); }
    // "Export…": the record's episodes to the chosen file; where and how many in the status bar, a
    // failure in a message box.
    void OnExport();
    // The export itself, in the column's unit.
    CsvExportResult exportTo(const QString& csvPath) const;

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
    QString highestText(const std::optional<double>& celsius) const;
    int listWidth() const;
    void layOut();

    QString folder_;
    FolderLister lister_;
    QSet<QString> listedTimes_; // case-folded time texts: the key of a row
    QPushButton* refresh_ = nullptr;
    QPushButton* export_ = nullptr;
    QTableWidget* list_ = nullptr;
    PreviewArea* preview_ = nullptr;
    QTimer firstListing_;
    bool setUp_ = false;
    TemperatureUnit unit_ = TemperatureUnit::Celsius;
    ExportFileChooser chooseExportFile_;
    StationNameSource stationName_;
    bool listedOnce_ = false;
    std::vector<SnapshotRow> waitingSnapshots_; // saved while a listing may still add older rows

    mutable std::mutex listingLock_;
    std::thread listing_;
    bool running_ = false;
    bool another_ = false;
};

} // namespace calidra
