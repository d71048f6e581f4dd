#include "lifecycle/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace calidra {

QString qtTranslationsFolder() {
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
}

bool installQtTranslation(QTranslator& translator, const QLocale& locale, const QString& folder) {
    // "qtbase_ko.qm" for ko_KR: the locale's languages, most specific first.
    if (!translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder,
                         QStringLiteral(".qm")))
        return false;
    return QCoreApplication::installTranslator(&translator);
}

} // namespace calidra
