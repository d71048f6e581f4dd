// The version record embedded in a program: the text parser and, for inputs that look like ELF,
// the section reader that finds it in a file.
#include "shell/file_version_info.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        char name[] = "/tmp/calidra-fuzz-version-XXXXXX";
        const int descriptor = mkstemp(name);
        if (descriptor < 0)
            abort();
        close(descriptor);
        return std::string(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const std::optional<calidra::VersionRecord> record = calidra::VersionRecord::parse(bytes);
    if (record) {
        for (const std::uint16_t language :
             {std::uint16_t(0x0412), std::uint16_t(0x0409), std::uint16_t(0)}) {
            const std::optional<calidra::VersionTranslation> chosen =
                calidra::chooseVersionTranslation(record->translations(), language);
            if (chosen.has_value() == record->translations().empty())
                abort();
            if (chosen)
                (void)record->value(*chosen, QStringLiteral("FileVersion"));
        }
    }

    if (size >= 4 && std::memcmp(data,
                                 "\x7f"
                                 "ELF",
                                 4) == 0) {
        FILE* file = std::fopen(scratchFile().c_str(), "wb");
        if (file == nullptr)
            abort();
        std::fwrite(data, 1, size, file);
        std::fclose(file);
        const QString path = QString::fromStdString(scratchFile());
        const std::optional<QByteArray> section = calidra::readElfSection(path, ".calidra_version");
        if (section && section->size() > int(size))
            abort();
        CFileVersionInfo info;
        (void)info.LoadFromPath(path, 0x0412);
    }
    return 0;
}
