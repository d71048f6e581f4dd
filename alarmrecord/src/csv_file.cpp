#include "csv_file.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>

namespace calidra {

QString csvTemperatureText(double celsius, CsvTemperatureUnit unit) {
    const double shown = unit == CsvTemperatureUnit::Fahrenheit ? celsius * 1.8 + 32.0 : celsius;
    return QString::number(shown, 'f', 1);
}

QString csvUnitName(CsvTemperatureUnit unit) {
    return unit == CsvTemperatureUnit::Fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
}

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
    struct stat status {};
    if (::stat(QFile::encodeName(csvPath).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errorText = QStringLiteral("%1 could not be written: it is not a regular file.").arg(csvPath);
        return false;
    }
    QSaveFile file(csvPath);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        errorText = QStringLiteral("%1 could not be written: %2").arg(csvPath, file.errorString());
        return false;
    }
    return true;
}

} // namespace calidra
