#pragma once
// Temperature mode Reference on the station's thread: reads Zonara/reference.cfg while running
// (for the frame thread's snapshot), takes the frame thread's reports, writes the log entries of a
// lock and a loss, and tells the front ends the state and the correction in force.

#include "eventlog/event_log.h"
#include "pipeline/reference_region.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <string>

namespace calidra {

struct ReferenceStatus {
    ReferenceState state = ReferenceState::Off;
    ReferenceLoss loss = ReferenceLoss::None;
    double correctionCelsius = 0.0; // in force in the camera
    QString reason;                 // of a loss, a sentence
};

// "off", "searching", "locked", "holding", "lost": the site's and the headless lines' words.
const char* referenceStateWord(ReferenceState state);
// One word per reason of a loss ("unseen", "jumped", "missing", …); empty for None.
const char* referenceLossWord(ReferenceLoss loss);

class ReferenceSupervisor : public QObject {
    Q_OBJECT
public:
    ReferenceSupervisor(EventLog& log, std::string programFolder, QObject* parent = nullptr);

    // Reads the file again; true when the region the frame thread should use changed.
    bool refreshRegion();
    const ReferenceRegion& region() const { return region_; }
    const ReferenceStatus& status() const { return status_; }

public slots:
    void takeReport(const calidra::ReferenceReport& report);

signals:
    void statusChanged(const calidra::ReferenceStatus& status);

private:
    QString lossSentence(const ReferenceReport& report) const;

    EventLog& log_;
    const std::string path_;
    ReferenceRegion region_;
    ReferenceStatus status_;
};

} // namespace calidra

Q_DECLARE_METATYPE(calidra::ReferenceStatus)
Q_DECLARE_METATYPE(calidra::ReferenceReport)
