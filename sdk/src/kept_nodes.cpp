#include "kept_nodes.h"

#include "camera_palettes.h"
#include "camera_records.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

namespace calidra::sorvik {

namespace {

const char* const kNucModes[] = {"Auto", "Manual"};

} // namespace

void describeLibraryNode(SvkNodeInfo& record) {
    record.nodeType = 0;
    record.accessMode = 4;
    record.visibility = 0;
}

KeptNodes::KeptNodes(bool keepsNucSettings, bool keepsUserOffset, double userOffset)
    : keepsNucSettings_(keepsNucSettings), keepsUserOffset_(keepsUserOffset), userOffset_(userOffset) {}

bool KeptNodes::keepsNucSetting(const char* node) const {
    return keepsNucSettings_ && (nodeIs(node, "NUCMode") || nodeIs(node, "NUCAutoPeriodicTime") ||
                                 nodeIs(node, "NUCAutoTemperature"));
}

int KeptNodes::info(const char* node, SvkNodeInfo& record) const {
    const bool kept = nodeIs(node, "ImageColorPalette") || keepsNucSetting(node) ||
                      (keepsUserOffset_ && nodeIs(node, "UserCompensationParaB"));
    if (!kept) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    describeLibraryNode(record);
    return SVK_OK;
}

int KeptNodes::enumeration(const char* node, SvkEnumRecord& record) {
    std::vector<std::string> entries;
    int current = 0;
    if (nodeIs(node, "ImageColorPalette")) {
        entries.assign(kCameraPaletteNames, kCameraPaletteNames + kCameraPaletteCount);
        current = palette_.load();
    } else if (keepsNucSettings_ && nodeIs(node, "NUCMode")) {
        entries.assign(std::begin(kNucModes), std::end(kNucModes));
        std::lock_guard<std::mutex> lock(nucMutex_);
        current = nucMode_ == "Manual" ? 1 : 0;
    } else {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    fillEnumRecord(record, entries, current);
    return SVK_OK;
}

int KeptNodes::floatValue(const char* node, SvkFloatRecord& record) const {
    if (!keepsUserOffset_ || !nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    record.value = userOffset_.load();
    return SVK_OK;
}

int KeptNodes::setInt(const char* node, int value) {
    if (!keepsNucSettings_) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    std::lock_guard<std::mutex> lock(nucMutex_);
    if (nodeIs(node, "NUCAutoPeriodicTime")) {
        nucPeriodicTime_ = value;
    } else if (nodeIs(node, "NUCAutoTemperature")) {
        nucTemperature_ = value;
    } else {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    return SVK_OK;
}

int KeptNodes::setFloat(const char* node, double value) {
    if (!keepsUserOffset_ || !nodeIs(node, "UserCompensationParaB")) {
        return SVK_ERROR_UNKNOWN_NODE;
    }
    // Applied in the conversion of every following frame.
    if (!std::isfinite(value)) {
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    userOffset_.store(value);
    return SVK_OK;
}

int KeptNodes::setEnum(const char* node, const char* entry) {
    if (nodeIs(node, "ImageColorPalette")) {
        const int palette = cameraPaletteIndex(entry);
        if (palette < 0) {
            return SVK_ERROR_INVALID_ARGUMENT;
        }
        palette_.store(palette);
        return SVK_OK;
    }
    if (keepsNucSettings_ && nodeIs(node, "NUCMode")) {
        for (const char* mode : kNucModes) {
            if (std::strcmp(entry, mode) == 0) {
                std::lock_guard<std::mutex> lock(nucMutex_);
                nucMode_ = mode;
                return SVK_OK;
            }
        }
        return SVK_ERROR_INVALID_ARGUMENT;
    }
    return SVK_ERROR_UNKNOWN_NODE;
}

} // namespace calidra::sorvik
