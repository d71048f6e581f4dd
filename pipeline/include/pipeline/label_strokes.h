#pragma once
// Temperature labels drawn from strokes rasterised once per text. The font's strokes are placed in
// fixed point from the text origin, so a whole-pixel move of the origin moves every drawn pixel
// alike; only clipping at the picture's edges tells two places apart.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace calidra {

class LabelStrokes {
public:
    // Draws text as cv::putText with FONT_HERSHEY_DUPLEX, that scale and thickness and 8-connected
    // lines does, pixel for pixel; kept strokes only into a three-byte picture.
    void draw(cv::Mat& picture, const std::string& text, cv::Point origin, double fontScale, int thickness,
              const cv::Scalar& colour);

private:
    struct Strokes {
        std::string text;
        double fontScale = 0.0;
        int thickness = 0;
        std::vector<cv::Point> pixels; // the set pixels from the text origin; none when not kept
        cv::Rect area;                 // around them, from the text origin
    };
    const Strokes& strokesOf(const std::string& text, double fontScale, int thickness);

    std::vector<Strokes> kept_;
    cv::Mat canvas_;
    std::vector<cv::Point> found_;
};

} // namespace calidra
