#include "shell/folder_taken_message.h"

#include <QCoreApplication>
#include <QDir>

namespace calidra {
namespace {

QString watchInstead() {
    // The address VantrelServer serves by default.
    return QCoreApplication::translate(
        "CCalidraApp", "To leave it running, watch its picture through the stream instead: "
                       "rtsp://127.0.0.1:8554/calidra (served by VantrelServer) in any RTSP player.");
}

} // namespace

QString folderTakenMessage(const QString& folder, const FolderLockHolder& holder) {
    const QString shownFolder = QDir::toNativeSeparators(folder);
    if (holder.processId == 0 || !holder.programName.startsWith(QLatin1String("calidra-headless")))
        return QCoreApplication::translate(
                   "CCalidraApp", "Another station (Calidra or calidra-headless) is already running from %1.")
            .arg(shownFolder);
    if (!holder.serviceUnit.isEmpty()) {
        const QString systemctl =
            holder.systemService ? QStringLiteral("sudo systemctl") : QStringLiteral("systemctl --user");
        return QCoreApplication::translate(
                   "CCalidraApp", "The station already runs from %1 as the service %2, without a window.\n\n"
                                  "To use this window instead, stop the service first:\n"
                                  "    %3 stop %2\n"
                                  "(and %3 disable %2 to keep it from starting with the computer).\n\n%4")
            .arg(shownFolder, holder.serviceUnit, systemctl, watchInstead());
    }
    return QCoreApplication::translate(
               "CCalidraApp", "calidra-headless (process %2) already runs the station from %1, without a "
                              "window.\n\nTo use this window instead, end it first: Ctrl+C in its terminal, "
                              "or\n    kill %2\n\n%3")
        .arg(shownFolder, QString::number(holder.processId), watchInstead());
}

} // namespace calidra
