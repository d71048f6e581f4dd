#include "shell/translations.h"

#include "lifecycle/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSet>

namespace calidra {

InstalledTranslations::~InstalledTranslations() {
    removeAll();
}

int InstalledTranslations::install(const QString& folder, const QLocale& locale) {
    // First: translators installed later are asked first.
    auto qtTexts = std::make_unique<QTranslator>();
    if (installQtTranslation(*qtTexts, locale))
        translators_.push_back(std::move(qtTexts));
    // "browser_ko.qm", "shell_ko_KR.qm": the part is everything before the language code.
    static const QRegularExpression partAndLanguage(QStringLiteral("^(.+?)_[a-z]{2,3}(_[A-Z]{2})?\\.qm$"));
    QSet<QString> parts;
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.qm")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QRegularExpressionMatch match = partAndLanguage.match(file);
        if (match.hasMatch())
            parts.insert(match.captured(1));
    }
    QStringList sortedParts = parts.values();
    sortedParts.sort();
    int installed = 0;
    for (const QString& part : sortedParts) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(locale, part, QStringLiteral("_"), folder, QStringLiteral(".qm")))
            continue;
        QCoreApplication::installTranslator(translator.get());
        translators_.push_back(std::move(translator));
        ++installed;
    }
    return installed;
}

void InstalledTranslations::removeAll() {
    for (const auto& translator : translators_)
        QCoreApplication::removeTranslator(translator.get());
    translators_.clear();
}

QString translationsFolder() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
}

} // namespace calidra
