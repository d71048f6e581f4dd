#include "camera_records.h"

#include <algorithm>
#include <cstring>

namespace calidra::sorvik {

void copyText(char* target, std::size_t capacity, const std::string& text) {
    std::memset(target, 0, capacity);
    std::memcpy(target, text.data(), std::min(text.size(), capacity - 1));
}

bool nodeIs(const char* node, const char* name) {
    return node != nullptr && std::strcmp(node, name) == 0;
}

void fillEnumRecord(SvkEnumRecord& record, const std::vector<std::string>& entries, int currentIndex) {
    const int capacity = std::clamp(record.capacity, 0, SVK_ENUM_CAPACITY);
    for (int i = 0; i < int(entries.size()) && i < capacity; ++i) {
        copyText(record.entries[i], SVK_ENUM_ENTRY_LENGTH, entries[std::size_t(i)]);
    }
    record.currentIndex = currentIndex;
}

void fillCameraInfo(SvkCameraInfo& record, const std::string& label, int kind, const std::string& model,
                    const std::string& identity, const std::string& openKey) {
    std::memset(&record, 0, sizeof record);
    copyText(record.label, sizeof record.label, label);
    record.kind = kind;
    copyText(record.model, sizeof record.model, model);
    copyText(record.identity, sizeof record.identity, identity);
    copyText(record.openKey, sizeof record.openKey, openKey);
}

} // namespace calidra::sorvik
