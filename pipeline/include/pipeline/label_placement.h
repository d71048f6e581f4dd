#pragma once
// Where a temperature label goes so that the whole number stays readable: inside the picture and
// clear of the labels placed before it.

#include <opencv2/core.hpp>

#include <vector>

namespace calidra {

// The pixels a label's strokes may cover, from its text origin (the left end of the baseline)
// and the size cv::getTextSize gives: digits have no descenders, the dot's strokes reach one row
// below the baseline.
inline cv::Rect labelBox(cv::Point origin, cv::Size text) {
    return cv::Rect(origin.x, origin.y - text.height, text.width, text.height + 1);
}

// The text origin for a label of that size. The preferred origin is kept when its box lies inside
// the picture and overlaps none of the placed boxes; otherwise the first that does of: the box
// shifted inside from the edges it crosses, below the region, right of it, left of it, above it
// (each shifted inside as well), then label-high rows from the picture's top down. When nothing is clear (a
// crowd, a label wider than the picture) the place overlapping the placed boxes least is taken, still as far
// inside as it fits.
cv::Point placeLabel(const cv::Rect& region, cv::Point preferredOrigin, cv::Size text, cv::Size picture,
                     const std::vector<cv::Rect>& placed);

} // namespace calidra
