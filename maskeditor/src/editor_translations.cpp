#include "editor_translations.h"

#include "editor_files.h"

#include "lifecycle/qt_translation.h"

#include <QCoreApplication>

namespace zonara {

EditorTranslations::EditorTranslations(const QString& applicationFolder, const QLocale& locale) {
    static_cast<void>(calidra::installQtTranslation(qtTexts_, locale));
    // Installed after Qt's, so asked first.
    if (windowTexts_.load(translationFilePath(applicationFolder, languageCode(locale.name()))))
        QCoreApplication::installTranslator(&windowTexts_);
}

EditorTranslations::~EditorTranslations() {
    QCoreApplication::removeTranslator(&windowTexts_);
    QCoreApplication::removeTranslator(&qtTexts_);
}

} // namespace zonara
