#pragma once
// The headless station's output: one tab-separated line per event, for people and scripts.

#include "pipeline/detection.h"

#include <QString>

#include <cstdint>

namespace calidra {

QString logLine(const QString& timeText, const QString& typeName, const QString& message, int code);
QString alarmLine(bool alarmOn);
QString snapshotLine(const QString& absolutePath);
QString readoutLine(const QString& large, const QString& maximum, const QString& minimum);
// left,top,right,bottom,temperature,alarm per detection, joined by ';'; temperature in Celsius.
QString detectionLine(uint64_t frameNumber, const DetectionList& detections);

} // namespace calidra
