#pragma once
// Qt's own texts (the buttons of message boxes, the file dialog) in the user's language: Qt's
// "qtbase" translation from the folder Qt looks in (Debian package qttranslations5-l10n). Every
// program with windows installs it beside its own texts.

#include <QLocale>
#include <QString>
#include <QTranslator>

namespace calidra {

// Where this Qt keeps its translations.
QString qtTranslationsFolder();

// Loads Qt's translation for the locale's language into translator and installs it. False, with
// nothing installed, when the folder has none for it (English, or the package is missing): Qt's
// texts then stay English.
bool installQtTranslation(QTranslator& translator, const QLocale& locale,
                          const QString& folder = qtTranslationsFolder());

} // namespace calidra
