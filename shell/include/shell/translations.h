#pragma once
// The program's texts in the user's language: every "<part>_<language>.qm" of the translations
// folder beside the program, and Qt's own texts of its standard dialogs.

#include <QLocale>
#include <QString>
#include <QTranslator>

#include <memory>
#include <vector>

namespace calidra {

class InstalledTranslations {
public:
    InstalledTranslations() = default;
    ~InstalledTranslations();
    InstalledTranslations(const InstalledTranslations&) = delete;
    InstalledTranslations& operator=(const InstalledTranslations&) = delete;

    // Installs Qt's translation for the locale's language, then, for each part found in folder, its
    // file for that language (the program's own texts take precedence); a language without files
    // (English) installs nothing and the texts stay as written. Returns how many of the program's.
    int install(const QString& folder, const QLocale& locale);
    void removeAll();

private:
    std::vector<std::unique_ptr<QTranslator>> translators_;
};

// The translations folder of the runnable folder.
QString translationsFolder();

} // namespace calidra
