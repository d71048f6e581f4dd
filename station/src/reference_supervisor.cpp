#include "station/reference_supervisor.h"

#include "files/station_layout.h"
#include "referencefile/reference_file.h"
#include "threadaffinity/thread_affinity.h"

namespace calidra {

const char* referenceStateWord(ReferenceState state) {
    switch (state) {
    case ReferenceState::Searching:
        return "searching";
    case ReferenceState::Locked:
        return "locked";
    case ReferenceState::Holding:
        return "holding";
    case ReferenceState::Lost:
        return "lost";
    case ReferenceState::Off:
        break;
    }
    return "off";
}

const char* referenceLossWord(ReferenceLoss loss) {
    switch (loss) {
    case ReferenceLoss::Unseen:
        return "unseen";
    case ReferenceLoss::Jumped:
        return "jumped";
    case ReferenceLoss::FileMissing:
        return "missing";
    case ReferenceLoss::FileDamaged:
        return "damaged";
    case ReferenceLoss::FileNotRegular:
        return "not-regular";
    case ReferenceLoss::Disabled:
        return "disabled";
    case ReferenceLoss::OutsideFrame:
        return "outside";
    case ReferenceLoss::None:
        break;
    }
    return "";
}

ReferenceSupervisor::ReferenceSupervisor(EventLog& log, std::string programFolder, QObject* parent)
    : QObject(parent), log_(log), path_(files::stationReferenceFilePath(programFolder)) {
    qRegisterMetaType<ReferenceStatus>();
    qRegisterMetaType<ReferenceReport>();
}

bool ReferenceSupervisor::refreshRegion() {
    CALIDRA_REQUIRE_OWNER_THREAD();
    using referencefile::ReferenceFileState;
    const referencefile::ReferenceFileReading reading = referencefile::readReferenceFile(path_);
    ReferenceRegion region;
    switch (reading.state) {
    case ReferenceFileState::Read:
        region.problem = reading.rectangle.enabled ? ReferenceLoss::None : ReferenceLoss::Disabled;
        region.x = reading.rectangle.x;
        region.y = reading.rectangle.y;
        region.width = reading.rectangle.width;
        region.height = reading.rectangle.height;
        break;
    case ReferenceFileState::Missing:
        region.problem = ReferenceLoss::FileMissing;
        break;
    case ReferenceFileState::NotRegularFile:
        region.problem = ReferenceLoss::FileNotRegular;
        break;
    case ReferenceFileState::Damaged:
        region.problem = ReferenceLoss::FileDamaged;
        break;
    }
    const bool changed = region.problem != region_.problem || region.x != region_.x ||
                         region.y != region_.y || region.width != region_.width ||
                         region.height != region_.height;
    region_ = region;
    return changed;
}

QString ReferenceSupervisor::lossSentence(const ReferenceReport& report) const {
    const QString file = QString::fromStdString(path_);
    switch (report.loss) {
    case ReferenceLoss::Unseen:
        return QStringLiteral("no good reading of it for longer than the hold time");
    case ReferenceLoss::Jumped:
        return QStringLiteral("its reading fell by %1 °C (taken away, switched off or failing)")
            .arg(report.jumpDropCelsius, 0, 'f', 1);
    case ReferenceLoss::FileMissing:
        return QStringLiteral("%1 is missing (draw the Reference rectangle in Zonara)").arg(file);
    case ReferenceLoss::FileDamaged:
        return QStringLiteral("%1 is damaged (no whole [Reference] rectangle)").arg(file);
    case ReferenceLoss::FileNotRegular:
        return QStringLiteral("%1 is not a regular file").arg(file);
    case ReferenceLoss::Disabled:
        return QStringLiteral("the Reference rectangle is disabled in %1").arg(file);
    case ReferenceLoss::OutsideFrame:
        return QStringLiteral("the Reference rectangle of %1 lies outside the camera picture").arg(file);
    case ReferenceLoss::None:
        break;
    }
    return QString();
}

void ReferenceSupervisor::takeReport(const ReferenceReport& report) {
    CALIDRA_REQUIRE_OWNER_THREAD();
    const ReferenceState before = status_.state;
    status_.state = report.state;
    status_.loss = report.loss;
    status_.correctionCelsius = report.correctionCelsius;
    status_.reason = lossSentence(report);
    if (report.state == ReferenceState::Lost && before != ReferenceState::Lost)
        log_.WriteLog(LogType::Error, QStringLiteral("Reference source lost: %1").arg(status_.reason), 0);
    if (report.state == ReferenceState::Locked && before != ReferenceState::Locked &&
        before != ReferenceState::Holding)
        log_.WriteLog(LogType::Information,
                      QStringLiteral("Reference source locked: correction %1 °C")
                          .arg(QString::asprintf("%+.1f", report.correctionCelsius)),
                      0);
    emit statusChanged(status_);
}

} // namespace calidra
