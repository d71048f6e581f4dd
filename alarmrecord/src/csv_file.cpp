#include "csv_file.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace calidra {

QString csvTemperatureText(double celsius, CsvTemperatureUnit unit) {
    const double shown = unit == CsvTemperatureUnit::Fahrenheit ? celsius * 1.8 + 32.0 : celsius;
    return QString::number(shown, 'f', 1);
}

QString csvUnitName(CsvTemperatureUnit unit) {
    return unit == CsvTemperatureUnit::Fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
}

QStringList csvTemperatureColumns(const QString& what, CsvTemperatureUnit unit) {
    return {what + QStringLiteral(" °C"), what + QStringLiteral(" display ") + csvUnitName(unit)};
}

QString csvTimeText(qint64 utcSeconds) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(utcSeconds, Qt::LocalTime);
    const int offsetMinutes = local.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    // Written out rather than Qt's ISO form, which gives "Z" instead of "+00:00" at offset 0.
    return QLocale::c().toString(local, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           QLatin1Char(offsetMinutes < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
               .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

namespace {

bool writeStandardOutput(const QByteArray& bytes, QString& errorText) {
    QFile output;
    if (!output.open(stdout, QIODevice::WriteOnly) || output.write(bytes) != bytes.size() ||
        !output.flush()) {
        errorText = QStringLiteral("The standard output could not be written: %1").arg(output.errorString());
        return false;
    }
    return true;
}

} // namespace

bool writeCsvFile(const QString& csvPath, const QStringList& header, const QList<QStringList>& rows,
                  QString& errorText) {
    const QString lineEnd = QStringLiteral("\r\n");
    QString text = header.join(QLatin1Char(',')) + lineEnd;
    for (const QStringList& fields : rows) {
        QStringList quoted;
        for (const QString& field : fields)
            quoted << csvField(field);
        text += quoted.join(QLatin1Char(',')) + lineEnd;
    }
    const QByteArray bytes = text.toUtf8();
    if (csvPath == csvStandardOutput)
        return writeStandardOutput(bytes, errorText);
    struct stat status {};
    if (::stat(QFile::encodeName(csvPath).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errorText = QStringLiteral("%1 could not be written: it is not a regular file.").arg(csvPath);
        return false;
    }
    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        errorText = QStringLiteral("%1 could not be written: %2").arg(csvPath, file.errorString());
        return false;
    }
    return true;
}

} // namespace calidra
