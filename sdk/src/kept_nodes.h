#pragma once
// The nodes the library keeps for a camera instead of asking it: the palette
// of svkGetRGBData ("ImageColorPalette"), where wanted the NUC settings
// ("NUCMode", "NUCAutoPeriodicTime", "NUCAutoTemperature") and the offset
// ("UserCompensationParaB"). Every kind of camera answers these the same way;
// a session asks here first and handles the node itself on
// SVK_ERROR_UNKNOWN_NODE, which means "not kept here for this call".
// Safe to use from any thread.

#include "svk.h"

#include <atomic>
#include <mutex>
#include <string>

namespace calidra::sorvik {

// What the node information record says of a node the library answers for
// itself: readable and writable.
void describeLibraryNode(SvkNodeInfo& record);

class KeptNodes {
public:
    // A camera that has NUC settings of its own is asked for them; the offset
    // may live elsewhere (in the conversion of a capture session), yet its
    // value here is the starting value either way.
    KeptNodes(bool keepsNucSettings, bool keepsUserOffset, double userOffset = 0.0);

    int palette() const { return palette_.load(); }
    double userOffset() const { return userOffset_.load(); }

    // The node calls of the contract, for the nodes kept here; arguments are
    // checked by the session beforehand.
    int info(const char* node, SvkNodeInfo& record) const;
    int enumeration(const char* node, SvkEnumRecord& record);
    int floatValue(const char* node, SvkFloatRecord& record) const;
    int setInt(const char* node, int value);
    int setFloat(const char* node, double value);
    int setEnum(const char* node, const char* entry);

private:
    bool keepsNucSetting(const char* node) const;

    const bool keepsNucSettings_;
    const bool keepsUserOffset_;
    std::atomic<int> palette_{0};
    std::atomic<double> userOffset_;

    std::mutex nucMutex_;
    std::string nucMode_ = "Auto";
    int nucPeriodicTime_ = 0;
    int nucTemperature_ = 0;
};

} // namespace calidra::sorvik
