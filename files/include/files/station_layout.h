#pragma once
// The folders of the runnable folder that the station, Zonara and the helpers share, and the names of
// the files in them. Stored folders, Zonara and the operators' tools rely on every name here.

#include <ctime>
#include <string>

namespace calidra::files {

// <program folder>/ThermalAlarm: the alarm snapshots (snapshot_names.h), the alarm record and the
// unsent site events.
inline constexpr char alarmFolderName[] = "ThermalAlarm";
inline constexpr char alarmRecordFileName[] = "alarms.sqlite";
inline constexpr char pendingSiteEventsFileName[] = "site-events-pending";

// <program folder>/Zonara: the mask editor, the masks it writes and the live picture it draws them on.
inline constexpr char maskEditorFolderName[] = "Zonara";
inline constexpr char maskFileName[] = "maskinfo.cfg";
inline constexpr char liveSnapshotFileName[] = "snapshot.jpg";
inline constexpr char referenceFileName[] = "reference.cfg";

std::string alarmFolderOf(const std::string& programFolder);
std::string maskEditorFolderOf(const std::string& programFolder);
// <program folder>/Zonara/maskinfo.cfg, read by the station on every frame.
std::string stationMaskFilePath(const std::string& programFolder);
// <program folder>/Zonara/reference.cfg: the reference source's rectangle, read while running.
std::string stationReferenceFilePath(const std::string& programFolder);

// "alarms.sqlite.damaged-YYYYMMDD_HHMMSS": where a damaged record found at that local time goes.
std::string damagedAlarmRecordFileName(const std::tm& localTime);

// A temporary file younger than this may still be being written.
inline constexpr int leftoverAgeSeconds = 60;

// What a station killed while writing left in the folders it writes: the temporary files of its
// snapshots and of the live picture, once they are leftoverAgeSeconds old, and nothing else.
void removeStationLeftovers(const std::string& programFolder);

// What Zonara killed during Apply left in its folder: temporary mask files of that age.
void removeMaskEditorLeftovers(const std::string& editorFolder);

} // namespace calidra::files
