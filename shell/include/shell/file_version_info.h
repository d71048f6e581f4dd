#pragma once
// Reads the version record that the build embeds in a program (section ".calidra_version"): a
// translation table and one string table per translation, chosen by the user's language.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace calidra {

// One entry of the translation table: a language identifier and a code page, both 16 bits.
struct VersionTranslation {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
    bool operator==(const VersionTranslation& other) const {
        return language == other.language && codePage == other.codePage;
    }
};

// The translation table entry for the user's language identifier; none for an empty table.
std::optional<VersionTranslation> chooseVersionTranslation(const std::vector<VersionTranslation>& table,
                                                           std::uint16_t userLanguage);

// The parsed record: its translation table and the values of each string table.
class VersionRecord {
public:
    // False when the text is not a version record.
    static std::optional<VersionRecord> parse(const QByteArray& text);

    const std::vector<VersionTranslation>& translations() const { return translations_; }
    // The value under "\StringFileInfo\<language><code page>\<name>"; none when it is missing.
    std::optional<QString> value(VersionTranslation translation, const QString& name) const;

private:
    struct StringEntry {
        QString block;
        QString name;
        QString value;
    };
    std::vector<VersionTranslation> translations_;
    std::vector<StringEntry> strings_;
};

// The bytes of a named section of an ELF file; none when the file cannot be read, is not ELF
// or has no such section.
std::optional<QByteArray> readElfSection(const QString& path, const char* sectionName);

} // namespace calidra

class CFileVersionInfo {
public:
    CFileVersionInfo() = default;

    // The running program's own record.
    bool Load();
    // True when the file carries a version record; the user's language picks the string table.
    bool LoadFromPath(const QString& path);
    bool LoadFromPath(const QString& path, std::uint16_t userLanguage);

    // The chosen string table's "FileVersion"; empty when missing.
    QString GetVersionFileVersion() const { return fileVersion_; }

private:
    QString fileVersion_;
};

namespace calidra {

// "Calidra v<FileVersion>" when the record could be read, else empty.
QString versionText(const CFileVersionInfo& info, bool loaded);
// The main window's title: the brand prefix and the version text.
QString windowTitleFor(const QString& versionText);

} // namespace calidra
