#pragma once
// The program's texts in the user's language: every "<part>_<language>.qm" of the translations
// folder beside the program.

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

    // Installs, for each part found in folder, its file for the locale's language; a language
    // without files (English) installs nothing and the texts stay as written. Returns how many.
    int install(const QString& folder, const QLocale& locale);
    void removeAll();

private:
    std::vector<std::unique_ptr<QTranslator>> translators_;
};

// The translations folder of the runnable folder.
QString translationsFolder();

} // namespace calidra
