#pragma once
// Filling the contract's records, shared by every kind of camera.

#include "svk.h"

#include <cstddef>
#include <string>
#include <vector>

namespace calidra::sorvik {

// Copies text into a fixed field, cut to fit and always terminated.
void copyText(char* target, std::size_t capacity, const std::string& text);

bool nodeIs(const char* node, const char* name);

// Writes the entries the record has room for and the current index.
void fillEnumRecord(SvkEnumRecord& record, const std::vector<std::string>& entries, int currentIndex);

void fillCameraInfo(SvkCameraInfo& record, const std::string& label, int kind, const std::string& model,
                    const std::string& identity, const std::string& openKey);

} // namespace calidra::sorvik
