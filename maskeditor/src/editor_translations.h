#pragma once
// The editor's window texts and Qt's own (the buttons of its message boxes) in the user's
// language, for as long as this object lives.

#include <QLocale>
#include <QString>
#include <QTranslator>

namespace zonara {

class EditorTranslations {
public:
    // The window texts from lang/lang_<language>.qm in the editor's folder, Qt's from Qt's
    // translations; a language without a file leaves those texts English.
    EditorTranslations(const QString& applicationFolder, const QLocale& locale);
    ~EditorTranslations();
    EditorTranslations(const EditorTranslations&) = delete;
    EditorTranslations& operator=(const EditorTranslations&) = delete;

private:
    QTranslator qtTexts_;
    QTranslator windowTexts_;
};

} // namespace zonara
