#include "pipeline/label_placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace calidra {
namespace {

// The box moved the least distance that brings it inside; a box larger than the picture keeps
// its left or top edge on the picture's.
cv::Rect shiftedInside(cv::Rect box, cv::Size picture) {
    box.x = std::max(0, std::min(box.x, picture.width - box.width));
    box.y = std::max(0, std::min(box.y, picture.height - box.height));
    return box;
}

int64_t overlapWith(const cv::Rect& box, const std::vector<cv::Rect>& placed) {
    int64_t overlap = 0;
    for (const cv::Rect& other : placed)
        overlap += (box & other).area();
    return overlap;
}

} // namespace

cv::Point placeLabel(const cv::Rect& region, cv::Point preferredOrigin, cv::Size text, cv::Size picture,
                     const std::vector<cv::Rect>& placed) {
    const cv::Rect whole(cv::Point(), picture);
    const cv::Rect preferred = labelBox(preferredOrigin, text);
    if ((preferred & whole) == preferred && overlapWith(preferred, placed) == 0)
        return preferredOrigin;

    // Outside the region, one clear pixel away from its one-pixel edge.
    const int width = preferred.width;
    const int height = preferred.height;
    const cv::Rect fixed[] = {
        preferred,
        cv::Rect(preferred.x, region.y + region.height + 1, width, height),
        cv::Rect(region.x + region.width + 1, preferred.y, width, height),
        cv::Rect(region.x - 1 - width, preferred.y, width, height),
        cv::Rect(preferred.x, region.y - 1 - height, width, height),
    };
    cv::Rect best;
    int64_t bestOverlap = std::numeric_limits<int64_t>::max();
    const auto consider = [&](const cv::Rect& candidate) {
        const cv::Rect box = shiftedInside(candidate, picture);
        const int64_t overlap = overlapWith(box, placed);
        if (overlap < bestOverlap) {
            best = box;
            bestOverlap = overlap;
        }
        return overlap == 0;
    };
    bool clear = false;
    for (const cv::Rect& candidate : fixed)
        if ((clear = consider(candidate)))
            break;
    // Down the picture in label-high steps from the top: a crowd's labels stack.
    for (int top = 0; !clear && top + height <= picture.height; top += height)
        clear = consider(cv::Rect(preferred.x, top, width, height));
    return cv::Point(best.x, best.y + text.height);
}

} // namespace calidra
