#include "shell/file_version_info.h"

#include "shell/language_id.h"

#include <QFile>
#include <QLocale>

#include <elf.h>

#include <cstring>

namespace calidra {
namespace {

constexpr char recordSection[] = ".calidra_version";
constexpr char recordSignature[] = "CALIDRA-VERSION-RECORD 1";
// Far above any real record; keeps a damaged file from making us read megabytes.
constexpr std::uint64_t largestRecordBytes = 64 * 1024;

using Table = std::vector<VersionTranslation>;

std::optional<VersionTranslation>
firstWhere(const Table& table, bool (*matches)(std::uint16_t, std::uint16_t), std::uint16_t wanted) {
    for (const VersionTranslation& entry : table) {
        if (matches(entry.language, wanted))
            return entry;
    }
    return std::nullopt;
}

bool sameLanguage(std::uint16_t language, std::uint16_t wanted) {
    return language == wanted;
}
bool sameLowByte(std::uint16_t language, std::uint16_t wanted) {
    return (language & 0xFF) == (wanted & 0xFF);
}

QString blockName(VersionTranslation translation) {
    return QStringLiteral("%1%2")
        .arg(translation.language, 4, 16, QLatin1Char('0'))
        .arg(translation.codePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

std::optional<VersionTranslation> parseTranslation(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2 || parts[0].size() != 4 || parts[1].size() != 4)
        return std::nullopt;
    bool languageOk = false;
    bool codePageOk = false;
    const uint language = parts[0].toUInt(&languageOk, 16);
    const uint codePage = parts[1].toUInt(&codePageOk, 16);
    if (!languageOk || !codePageOk)
        return std::nullopt;
    return VersionTranslation{static_cast<std::uint16_t>(language), static_cast<std::uint16_t>(codePage)};
}

template <typename Header, typename SectionHeader>
std::optional<QByteArray> findSection(QFile& file, const char* sectionName) {
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(file.size());
    auto readAt = [&](std::uint64_t offset, std::uint64_t length) -> std::optional<QByteArray> {
        if (offset > fileBytes || length > fileBytes - offset || !file.seek(static_cast<qint64>(offset)))
            return std::nullopt;
        QByteArray bytes = file.read(static_cast<qint64>(length));
        if (static_cast<std::uint64_t>(bytes.size()) != length)
            return std::nullopt;
        return bytes;
    };

    const std::optional<QByteArray> headerBytes = readAt(0, sizeof(Header));
    if (!headerBytes)
        return std::nullopt;
    Header header;
    std::memcpy(&header, headerBytes->constData(), sizeof header);
    if (header.e_shoff == 0 || header.e_shentsize != sizeof(SectionHeader))
        return std::nullopt;

    auto sectionAt = [&](std::uint64_t index) -> std::optional<SectionHeader> {
        const std::optional<QByteArray> bytes =
            readAt(header.e_shoff + index * sizeof(SectionHeader), sizeof(SectionHeader));
        if (!bytes)
            return std::nullopt;
        SectionHeader section;
        std::memcpy(&section, bytes->constData(), sizeof section);
        return section;
    };

    // Files with very many sections keep the real count and name-table index in section 0.
    std::uint64_t sectionCount = header.e_shnum;
    std::uint64_t namesIndex = header.e_shstrndx;
    if (sectionCount == 0 || namesIndex == SHN_XINDEX) {
        const std::optional<SectionHeader> first = sectionAt(0);
        if (!first)
            return std::nullopt;
        if (sectionCount == 0)
            sectionCount = first->sh_size;
        if (namesIndex == SHN_XINDEX)
            namesIndex = first->sh_link;
    }
    if (namesIndex >= sectionCount)
        return std::nullopt;
    const std::optional<SectionHeader> namesSection = sectionAt(namesIndex);
    if (!namesSection)
        return std::nullopt;
    const std::optional<QByteArray> names = readAt(namesSection->sh_offset, namesSection->sh_size);
    if (!names)
        return std::nullopt;

    const std::size_t wantedLength = std::strlen(sectionName);
    for (std::uint64_t index = 1; index < sectionCount; ++index) {
        const std::optional<SectionHeader> section = sectionAt(index);
        if (!section)
            return std::nullopt;
        const std::uint64_t nameOffset = section->sh_name;
        if (nameOffset + wantedLength >= static_cast<std::uint64_t>(names->size()))
            continue;
        const char* name = names->constData() + nameOffset;
        if (std::memcmp(name, sectionName, wantedLength + 1) != 0)
            continue;
        if (section->sh_type != SHT_PROGBITS || section->sh_size > largestRecordBytes)
            return std::nullopt;
        return readAt(section->sh_offset, section->sh_size);
    }
    return std::nullopt;
}

} // namespace

std::optional<VersionTranslation> chooseVersionTranslation(const Table& table, std::uint16_t userLanguage) {
    if (auto entry = firstWhere(table, sameLanguage, userLanguage))
        return entry;
    if (auto entry = firstWhere(table, sameLowByte, userLanguage))
        return entry;
    // Language-neutral, then English.
    for (std::uint16_t fallback : {std::uint16_t{0}, std::uint16_t{9}}) {
        if (auto entry = firstWhere(table, sameLanguage, fallback))
            return entry;
        if (auto entry = firstWhere(table, sameLowByte, fallback))
            return entry;
    }
    if (!table.empty())
        return table.front();
    return std::nullopt;
}

std::optional<VersionRecord> VersionRecord::parse(const QByteArray& bytes) {
    // The section may be padded after the text.
    const int end = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.front().trimmed() != QLatin1String(recordSignature))
        return std::nullopt;

    VersionRecord record;
    QString block;
    for (int index = 1; index < lines.size(); ++index) {
        const QString line = lines[index];
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.trimmed().endsWith(QLatin1Char(']'))) {
            block = line.trimmed().mid(1).chopped(1).toUpper();
            continue;
        }
        const int separator = line.indexOf(QLatin1Char('='));
        if (separator <= 0)
            return std::nullopt;
        const QString name = line.left(separator);
        const QString value = line.mid(separator + 1);
        if (!block.isEmpty()) {
            record.strings_.push_back({block, name, value});
            continue;
        }
        if (name != QLatin1String("Translation"))
            continue;
        for (const QString& entryText : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const std::optional<VersionTranslation> entry = parseTranslation(entryText);
            if (!entry)
                return std::nullopt;
            record.translations_.push_back(*entry);
        }
    }
    return record;
}

std::optional<QString> VersionRecord::value(VersionTranslation translation, const QString& name) const {
    const QString block = blockName(translation);
    for (const StringEntry& entry : strings_) {
        if (entry.block == block && entry.name == name)
            return entry.value;
    }
    return std::nullopt;
}

std::optional<QByteArray> readElfSection(const QString& path, const char* sectionName) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray identity = file.read(EI_NIDENT);
    if (identity.size() != EI_NIDENT || std::memcmp(identity.constData(), ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    // Only files of this machine's byte order; a version record is read from our own programs.
    const bool littleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    if (identity[EI_DATA] != (littleEndian ? ELFDATA2LSB : ELFDATA2MSB))
        return std::nullopt;
    if (identity[EI_CLASS] == ELFCLASS64)
        return findSection<Elf64_Ehdr, Elf64_Shdr>(file, sectionName);
    if (identity[EI_CLASS] == ELFCLASS32)
        return findSection<Elf32_Ehdr, Elf32_Shdr>(file, sectionName);
    return std::nullopt;
}

QString versionText(const CFileVersionInfo& info, bool loaded) {
    if (!loaded)
        return QString();
    return QStringLiteral("Calidra v%1").arg(info.GetVersionFileVersion());
}

QString windowTitleFor(const QString& versionText) {
    return QStringLiteral("Quro-Duzu ") + versionText;
}

} // namespace calidra

// The running program itself, also before a QCoreApplication exists.
bool CFileVersionInfo::Load() {
    return LoadFromPath(QStringLiteral("/proc/self/exe"));
}

bool CFileVersionInfo::LoadFromPath(const QString& path) {
    return LoadFromPath(path, calidra::languageIdentifier(QLocale::system()));
}

bool CFileVersionInfo::LoadFromPath(const QString& path, std::uint16_t userLanguage) {
    fileVersion_.clear();
    const std::optional<QByteArray> section = calidra::readElfSection(path, calidra::recordSection);
    if (!section)
        return false;
    const std::optional<calidra::VersionRecord> record = calidra::VersionRecord::parse(*section);
    if (!record)
        return false;
    const std::optional<calidra::VersionTranslation> translation =
        calidra::chooseVersionTranslation(record->translations(), userLanguage);
    if (!translation)
        return true;
    fileVersion_ = record->value(*translation, QStringLiteral("FileVersion")).value_or(QString());
    return true;
}
