#pragma once
// Starting the programs beside the station: the mask editor with a snapshot of the scene, the
// stream server, and the camera maker's IP tool. Nothing here reports a failure to the operator.

#include "files/station_layout.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace calidra {

class AuxiliaryPrograms {
public:
    // Writes the clean picture to the given path; false when it could not.
    using SnapshotWriter = std::function<bool(const QString& path)>;

    explicit AuxiliaryPrograms(QString programFolder);

    // Snapshot first, so it is fresh even when the editor cannot start. True when started.
    bool LaunchMaskEditor(const SnapshotWriter& writeSnapshot);

    // Nothing while a server is held (even one that has ended by itself) or for a size below 1.
    bool StartStreamingServer(int width, int height);
    // Ends the held server; false when none is held.
    bool StopStreamingServer();
    qint64 streamProcessId() const { return streamProcessId_; }

    void LaunchIpTool();

    QString maskEditorFolder() const {
        return programFolder_ + QLatin1Char('/') + QLatin1String(files::maskEditorFolderName);
    }

    // The IP tool's fixed place, or $CALIDRA_IP_TOOL when set.
    static QString ipToolPath();
    // Every "%1" and "%L" becomes the tool's path; other placeholders stay.
    static QString substituteToolPath(const QString& commandTemplate, const QString& toolPath);

private:
    QString programFolder_;
    qint64 streamProcessId_ = 0;
};

} // namespace calidra
