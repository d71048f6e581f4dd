#include "headless_lines.h"

namespace calidra {
namespace {

// Tabs and line breaks inside a field would split the line for a reader.
QString field(QString text) {
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

QString logLine(const QString& timeText, const QString& typeName, const QString& message, int code) {
    return QStringLiteral("LOG\t%1\t%2\t%3\t%4")
        .arg(field(timeText), field(typeName), field(message))
        .arg(code);
}

QString alarmLine(bool alarmOn) {
    return alarmOn ? QStringLiteral("ALARM\tON") : QStringLiteral("ALARM\tOFF");
}

QString snapshotLine(const QString& absolutePath) {
    return QStringLiteral("SNAPSHOT\t") + field(absolutePath);
}

QString readoutLine(const QString& large, const QString& maximum, const QString& minimum) {
    return QStringLiteral("READOUT\t%1\t%2\t%3").arg(field(large), field(maximum), field(minimum));
}

QString detectionLine(uint64_t frameNumber, const DetectionList& detections) {
    QString line = QStringLiteral("DETECT\t") + QString::number(frameNumber) + QLatin1Char('\t');
    for (std::size_t index = 0; index < detections.size(); ++index) {
        const Detection& detection = detections[index];
        if (index > 0)
            line += QLatin1Char(';');
        line += QString::asprintf("%d,%d,%d,%d,%.1f,%d", detection.left, detection.top, detection.right,
                                  detection.bottom, detection.temperature, detection.alarm ? 1 : 0);
    }
    return line;
}

} // namespace calidra
