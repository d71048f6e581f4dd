#pragma once
// The names of the temporary files the writers of file_io.h put beside a final name: the final name
// and ".XXXXXX", whose six characters mkostemp fills.

#include <optional>
#include <string>

namespace calidra::files {

// "<path>.XXXXXX": the template mkostemp turns into a free temporary name.
std::string temporaryNameTemplate(const std::string& path);

// The final name a temporary file of that name was written for; nothing for any other name.
std::optional<std::string> finalNameOfTemporary(const std::string& fileName);

} // namespace calidra::files
