#include "shell/file_version_info.h"
#include "shell/language_id.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using calidra::VersionTranslation;

namespace {

constexpr std::uint16_t unicode = 0x04B0;
constexpr std::uint16_t usEnglish = 0x0409;
constexpr std::uint16_t german = 0x0407;
constexpr std::uint16_t french = 0x040C;
constexpr std::uint16_t korean = 0x0412;

std::uint16_t chosen(const std::vector<VersionTranslation>& table, std::uint16_t userLanguage) {
    const auto entry = calidra::chooseVersionTranslation(table, userLanguage);
    return entry ? entry->language : 0xFFFF;
}

TEST(VersionTranslationChoice, FollowsTheFiveRulesInOrder) {
    const std::vector<VersionTranslation> shipped = {{usEnglish, unicode}};
    // Korean finds neither its own nor a neutral table; the English one matches by its low byte.
    EXPECT_EQ(chosen(shipped, korean), usEnglish);

    const std::vector<VersionTranslation> germanAndEnglish = {{german, unicode}, {usEnglish, unicode}};
    EXPECT_EQ(chosen(germanAndEnglish, german), german);
    EXPECT_EQ(chosen(germanAndEnglish, french), usEnglish);
    // Swiss German takes the German table by the primary language.
    EXPECT_EQ(chosen(germanAndEnglish, 0x0807), german);

    // Exact language before a same-low-byte match that comes first in the table.
    EXPECT_EQ(chosen({{0x0809, unicode}, {usEnglish, unicode}}, usEnglish), usEnglish);
    // Neutral tables win over English, exact 0 before low byte 0.
    EXPECT_EQ(chosen({{usEnglish, unicode}, {0x0400, unicode}, {0x0000, unicode}}, korean), 0x0000);
    EXPECT_EQ(chosen({{usEnglish, unicode}, {0x0400, unicode}}, korean), 0x0400);
    // English proper (9) before a regional English.
    EXPECT_EQ(chosen({{0x0809, unicode}, {0x0009, unicode}}, korean), 0x0009);
    // Nothing fits: the first entry.
    EXPECT_EQ(chosen({{german, unicode}, {french, unicode}}, korean), german);
    EXPECT_FALSE(calidra::chooseVersionTranslation({}, korean).has_value());
}

TEST(VersionTranslationChoice, CodePageIsKeptWithTheChosenLanguage) {
    const auto entry = calidra::chooseVersionTranslation({{german, 0x04E4}, {usEnglish, unicode}}, german);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->codePage, 0x04E4);
}

TEST(LanguageIdentifier, MapsTheUsersLocale) {
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::Korean, QLocale::SouthKorea)), korean);
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::German, QLocale::Germany)), german);
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::German, QLocale::Austria)), 0x0C07);
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::French, QLocale::France)), french);
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::English, QLocale::UnitedStates)), usEnglish);
    EXPECT_EQ(calidra::languageIdentifier(QLocale(QLocale::English, QLocale::UnitedKingdom)), 0x0809);
    EXPECT_EQ(calidra::languageIdentifier(QLocale::c()), usEnglish);
}

TEST(VersionRecordText, ReadsTableAndValuesAndRejectsOtherText) {
    static const char padded[] = "CALIDRA-VERSION-RECORD 1\nTranslation=0409:04B0 0412:04b0\n[040904B0]\n"
                                 "FileVersion=1.0=8\n[041204B0]\nFileVersion=\n\0\0padding";
    const auto record = calidra::VersionRecord::parse(QByteArray(padded, sizeof padded - 1));
    ASSERT_TRUE(record.has_value());
    ASSERT_EQ(record->translations().size(), 2u);
    EXPECT_EQ(record->translations()[1], (VersionTranslation{korean, unicode}));
    EXPECT_EQ(record->value({usEnglish, unicode}, "FileVersion").value_or("missing"), "1.0=8");
    EXPECT_EQ(record->value({korean, unicode}, "FileVersion").value_or("missing"), "");
    EXPECT_FALSE(record->value({german, unicode}, "FileVersion").has_value());

    EXPECT_FALSE(calidra::VersionRecord::parse("FileVersion=1.0\n").has_value());
    EXPECT_FALSE(
        calidra::VersionRecord::parse("CALIDRA-VERSION-RECORD 1\nTranslation=409:4B0\n").has_value());
    EXPECT_FALSE(calidra::VersionRecord::parse("CALIDRA-VERSION-RECORD 1\nno separator\n").has_value());
}

QString title(const QString& path, std::uint16_t userLanguage) {
    CFileVersionInfo info;
    const bool loaded = info.LoadFromPath(path, userLanguage);
    return calidra::windowTitleFor(calidra::versionText(info, loaded));
}

TEST(FileVersionInfo, ReadsTheRecordTheBuildEmbeds) {
    CFileVersionInfo own;
    ASSERT_TRUE(own.Load());
    EXPECT_EQ(own.GetVersionFileVersion(), "1.0.8.0");
    EXPECT_EQ(title("/proc/self/exe", korean), "Quro-Duzu Calidra v1.0.8.0");

    EXPECT_EQ(title(GERMAN_FIXTURE, german), "Quro-Duzu Calidra v2.3.0.7");
    EXPECT_EQ(title(GERMAN_FIXTURE, french), "Quro-Duzu Calidra v2.3");
}

TEST(FileVersionInfo, MissingRecordOrValueShortensTheTitle) {
    EXPECT_EQ(title(NO_FILE_VERSION_FIXTURE, usEnglish), "Quro-Duzu Calidra v");
    EXPECT_EQ(title(NO_RECORD_FIXTURE, usEnglish), "Quro-Duzu ");
    EXPECT_EQ(title("/nonexistent/Calidra", usEnglish), "Quro-Duzu ");

    // A failed load leaves no version from an earlier one behind.
    CFileVersionInfo info;
    ASSERT_TRUE(info.LoadFromPath(GERMAN_FIXTURE, usEnglish));
    EXPECT_FALSE(info.LoadFromPath(NO_RECORD_FIXTURE, usEnglish));
    EXPECT_EQ(info.GetVersionFileVersion(), "");
}

TEST(FileVersionInfo, DamagedFilesAreRejectedNotTrusted) {
    QFile source(GERMAN_FIXTURE);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray program = source.readAll();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    // Section headers sit at the end of the file: cutting it loses them.
    for (int keptBytes : {0, 4, 63, program.size() / 2}) {
        CFileVersionInfo info;
        EXPECT_FALSE(info.LoadFromPath(write("cut", program.left(keptBytes)), usEnglish)) << keptBytes;
    }
    // Section header offset pointing far past the end.
    // e_shoff of a 64-bit header.
    ASSERT_GT(program.size(), 0x30);
    const quint64 huge = 0x7FFFFFFFFFFFull;
    QByteArray farOffset = program;
    farOffset.replace(0x28, sizeof huge, QByteArray(reinterpret_cast<const char*>(&huge), sizeof huge));
    CFileVersionInfo info;
    EXPECT_FALSE(info.LoadFromPath(write("far", farOffset), usEnglish));
    EXPECT_FALSE(info.LoadFromPath(write("text", "CALIDRA-VERSION-RECORD 1\n"), usEnglish));
}

} // namespace
