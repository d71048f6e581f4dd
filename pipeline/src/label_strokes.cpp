#include "pipeline/label_strokes.h"

#include <opencv2/imgproc.hpp>

namespace calidra {
namespace {

constexpr int font = cv::FONT_HERSHEY_DUPLEX;
// A day's readings give a few dozen texts; past this many the kept strokes start again.
constexpr std::size_t keptTexts = 64;

} // namespace

const LabelStrokes::Strokes& LabelStrokes::strokesOf(const std::string& text, double fontScale,
                                                     int thickness) {
    for (const Strokes& strokes : kept_)
        if (strokes.text == text && strokes.fontScale == fontScale && strokes.thickness == thickness)
            return strokes;
    if (kept_.size() >= keptTexts)
        kept_.clear();
    Strokes strokes;
    strokes.text = text;
    strokes.fontScale = fontScale;
    strokes.thickness = thickness;
    // Rasterised on a clear canvas with a wide margin; strokes that reach its edge are not kept.
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, font, fontScale, thickness, &baseline);
    const int margin = 8 + 2 * thickness;
    const cv::Point origin(margin, margin + size.height);
    canvas_.create(size.height + baseline + 2 * margin, size.width + 2 * margin, CV_8UC1);
    canvas_.setTo(0);
    cv::putText(canvas_, text, origin, font, fontScale, cv::Scalar(255), thickness, cv::LINE_8);
    const cv::Rect set = cv::boundingRect(canvas_);
    if (!set.empty() && set.x > 0 && set.y > 0 && set.br().x < canvas_.cols && set.br().y < canvas_.rows) {
        cv::findNonZero(canvas_, found_);
        strokes.pixels.reserve(found_.size());
        for (const cv::Point& pixel : found_)
            strokes.pixels.push_back(pixel - origin);
        strokes.area = set - origin;
    }
    kept_.push_back(std::move(strokes));
    return kept_.back();
}

void LabelStrokes::draw(cv::Mat& picture, const std::string& text, cv::Point origin, double fontScale,
                        int thickness, const cv::Scalar& colour) {
    const Strokes& strokes = strokesOf(text, fontScale, thickness);
    const cv::Rect area = strokes.area + origin;
    if (strokes.pixels.empty() || picture.type() != CV_8UC3 ||
        (area & cv::Rect(cv::Point(), picture.size())) != area) {
        cv::putText(picture, text, origin, font, fontScale, colour, thickness, cv::LINE_8);
        return;
    }
    const cv::Vec3b bytes(cv::saturate_cast<uint8_t>(colour[0]), cv::saturate_cast<uint8_t>(colour[1]),
                          cv::saturate_cast<uint8_t>(colour[2]));
    for (const cv::Point& pixel : strokes.pixels)
        picture.at<cv::Vec3b>(origin + pixel) = bytes;
}

} // namespace calidra
