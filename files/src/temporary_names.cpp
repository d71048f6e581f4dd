#include "files/temporary_names.h"

#include <cctype>

namespace calidra::files {
namespace {

constexpr char temporarySuffix[] = ".XXXXXX";
constexpr std::size_t temporarySuffixLength = sizeof temporarySuffix - 1;

} // namespace

std::string temporaryNameTemplate(const std::string& path) {
    return path + temporarySuffix;
}

std::optional<std::string> finalNameOfTemporary(const std::string& fileName) {
    if (fileName.size() <= temporarySuffixLength || fileName[fileName.size() - temporarySuffixLength] != '.')
        return std::nullopt;
    for (std::size_t index = fileName.size() - temporarySuffixLength + 1; index < fileName.size(); ++index)
        if (!std::isalnum(static_cast<unsigned char>(fileName[index])))
            return std::nullopt;
    return fileName.substr(0, fileName.size() - temporarySuffixLength);
}

} // namespace calidra::files
