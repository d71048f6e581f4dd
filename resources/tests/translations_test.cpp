// Every text the two programs mark for translation has its Korean: lupdate lists the texts from
// the sources as they are now, and the translation files the build installs must answer each one.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Message {
    QString context;
    QString source;
    QString comment;
};

// The messages of a .ts file that lupdate wrote.
std::vector<Message> messagesOf(const QString& tsPath) {
    std::vector<Message> messages;
    QFile file(tsPath);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = Message{context, QString(), QString()};
        } else if (xml.name() == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("comment")) {
            message.comment = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            messages.push_back(message);
        }
    }
    return messages;
}

// The texts of the sources under folders that none of the translation files translates.
QStringList untranslated(const QStringList& folders, const QStringList& qmFiles) {
    const QString source = qEnvironmentVariable("CALIDRA_SOURCE_DIR");
    QTemporaryDir scratch;
    const QString listed = scratch.filePath("listed_ko.ts");
    QStringList arguments = {"-silent", "-locations", "none"};
    for (const QString& folder : folders)
        arguments << QDir(source).filePath(folder);
    arguments << "-ts" << listed;
    QProcess lupdate;
    lupdate.start(qEnvironmentVariable("CALIDRA_LUPDATE"), arguments);
    if (!lupdate.waitForFinished(120000) || lupdate.exitCode() != 0)
        return {"lupdate failed: " + QString::fromLocal8Bit(lupdate.readAllStandardError())};

    std::vector<std::unique_ptr<QTranslator>> translators;
    for (const QString& path : qmFiles) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(path))
            return {"cannot load " + path};
        translators.push_back(std::move(translator));
    }
    const std::vector<Message> messages = messagesOf(listed);
    if (messages.size() < 5)
        return {"lupdate listed almost nothing"};
    QStringList missing;
    for (const Message& message : messages) {
        bool found = false;
        for (const auto& translator : translators)
            found =
                found ||
                !translator
                     ->translate(message.context.toUtf8().constData(), message.source.toUtf8().constData(),
                                 message.comment.isEmpty() ? nullptr : message.comment.toUtf8().constData())
                     .isEmpty();
        if (!found)
            missing << message.context + ": \"" + message.source + "\"";
    }
    return missing;
}

TEST(TranslationsTest, EveryTextOfCalidraHasItsKorean) {
    const QDir translations(qEnvironmentVariable("CALIDRA_RUNTIME_DIR") + "/translations");
    QStringList files;
    for (const QString& name : translations.entryList({"*_ko.qm"}, QDir::Files))
        files << translations.filePath(name);
    const QStringList missing = untranslated({"app", "shell", "viewbase", "liveview", "browser", "statistics",
                                              "station", "settings", "eventlog", "camera"},
                                             files);
    EXPECT_TRUE(missing.isEmpty()) << missing.join('\n').toStdString();
}

TEST(TranslationsTest, EveryTextOfZonaraHasItsKorean) {
    const QStringList missing = untranslated(
        {"maskeditor/src"}, {qEnvironmentVariable("CALIDRA_RUNTIME_DIR") + "/Zonara/lang/lang_ko.qm"});
    EXPECT_TRUE(missing.isEmpty()) << missing.join('\n').toStdString();
}

} // namespace
