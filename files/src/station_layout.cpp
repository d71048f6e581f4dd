#include "files/station_layout.h"

#include "files/file_io.h"
#include "files/snapshot_names.h"
#include "time_stamp.h"

namespace calidra::files {

std::string alarmFolderOf(const std::string& programFolder) {
    return programFolder + "/" + alarmFolderName;
}

std::string maskEditorFolderOf(const std::string& programFolder) {
    return programFolder + "/" + maskEditorFolderName;
}

std::string stationMaskFilePath(const std::string& programFolder) {
    return maskEditorFolderOf(programFolder) + "/" + maskFileName;
}

std::string stationReferenceFilePath(const std::string& programFolder) {
    return maskEditorFolderOf(programFolder) + "/" + referenceFileName;
}

std::string damagedAlarmRecordFileName(const std::tm& localTime) {
    return std::string(alarmRecordFileName) + ".damaged-" + timeStamp(localTime);
}

void removeStationLeftovers(const std::string& programFolder) {
    removeLeftoverTemporaryFiles(
        alarmFolderOf(programFolder),
        [](const std::string& name) { return parseSnapshotFileName(name).has_value(); }, leftoverAgeSeconds);
    removeLeftoverTemporaryFiles(
        maskEditorFolderOf(programFolder),
        [](const std::string& name) { return name == liveSnapshotFileName; }, leftoverAgeSeconds);
}

void removeMaskEditorLeftovers(const std::string& editorFolder) {
    removeLeftoverTemporaryFiles(
        editorFolder, [](const std::string& name) { return name == maskFileName; }, leftoverAgeSeconds);
}

} // namespace calidra::files
