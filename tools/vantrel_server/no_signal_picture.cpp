#include "no_signal_picture.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace calidra {

std::vector<unsigned char> noSignalPicture(int width, int height) {
    std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height) * 3u);
    cv::Mat picture(height, width, CV_8UC3, pixels.data());
    picture.setTo(cv::Scalar(40, 40, 40));
    const char* text = "No signal";
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    const int thickness = std::max(1, height / 120);
    int baseline = 0;
    const cv::Size unitSize = cv::getTextSize(text, font, 1.0, thickness, &baseline);
    // Half the width, but never taller than a fifth of the picture.
    const double scale = std::min(0.5 * width / unitSize.width, 0.2 * height / unitSize.height);
    const cv::Size size = cv::getTextSize(text, font, scale, thickness, &baseline);
    cv::putText(picture, text, cv::Point((width - size.width) / 2, (height + size.height) / 2), font, scale,
                cv::Scalar(200, 200, 200), thickness, cv::LINE_AA);
    return pixels;
}

} // namespace calidra
