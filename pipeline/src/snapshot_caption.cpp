#include "pipeline/snapshot_caption.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace calidra {
namespace {

constexpr int captionFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr int captionThickness = 1;
const cv::Scalar bandColour(0, 0, 0);
const cv::Scalar captionColour(255, 255, 255);
const char* const itemSeparator = "   ";

std::string timeText(const std::tm& time) {
    // Offsets from UTC lie within a day; anything beyond is no offset a clock keeps.
    const int offsetMinutes = int(std::clamp<long>(std::lround(double(time.tm_gmtoff) / 60.0), -1439, 1439));
    const int absolute = std::abs(offsetMinutes);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", time.tm_year + 1900,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                  offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

// Printable ASCII stays; every other character (one UTF-8 sequence) or stray byte becomes '?'.
std::string asciiOnly(const std::string& utf8) {
    std::string ascii;
    for (std::size_t index = 0; index < utf8.size();) {
        const unsigned char byte = static_cast<unsigned char>(utf8[index++]);
        if (byte >= 0x20 && byte < 0x7F) {
            ascii += char(byte);
            continue;
        }
        ascii += '?';
        if (byte >= 0xC0)
            while (index < utf8.size() && (static_cast<unsigned char>(utf8[index]) & 0xC0) == 0x80)
                ++index;
    }
    return ascii;
}

const char* unitLetter(TemperatureUnit unit) {
    return unit == TemperatureUnit::Fahrenheit ? "F" : "C";
}

std::string temperatureText(const char* label, double celsius, TemperatureUnit unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.1f %s", label, toDisplayUnit(celsius, unit), unitLetter(unit));
    return text;
}

// A correction is a difference of temperatures: no zero point to shift in Fahrenheit.
std::string correctionText(const char* label, double celsius, TemperatureUnit unit) {
    const double shown = toDisplayUnit(celsius, unit) - toDisplayUnit(0.0, unit);
    char text[64];
    std::snprintf(text, sizeof text, "%s %+.1f %s", label, shown, unitLetter(unit));
    return text;
}

int textWidth(const std::string& text, double scale) {
    int baseline = 0;
    return cv::getTextSize(text, captionFont, scale, captionThickness, &baseline).width;
}

// Items side by side while they fit; an item too long for a line wraps at its spaces, a word too
// long for a line at its characters.
std::vector<std::string> wrapItems(const std::vector<std::string>& items, int width, double scale) {
    std::vector<std::string> lines;
    std::string line;
    const auto fits = [&](const std::string& text) { return textWidth(text, scale) <= width; };
    const auto endLine = [&] {
        if (!line.empty())
            lines.push_back(line);
        line.clear();
    };
    for (const std::string& item : items) {
        if (fits(line.empty() ? item : line + itemSeparator + item)) {
            line = line.empty() ? item : line + itemSeparator + item;
            continue;
        }
        endLine();
        std::size_t start = 0;
        while (start < item.size()) {
            std::size_t end = item.find(' ', start);
            if (end == std::string::npos)
                end = item.size();
            const std::string word = item.substr(start, end - start);
            start = end + 1;
            if (fits(line.empty() ? word : line + ' ' + word)) {
                line = line.empty() ? word : line + ' ' + word;
                continue;
            }
            endLine();
            for (const char character : word) {
                if (!line.empty() && !fits(line + character))
                    endLine();
                line += character;
            }
        }
    }
    endLine();
    return lines;
}

} // namespace

std::vector<std::string> captionItems(const SnapshotCaption& caption) {
    std::vector<std::string> items;
    items.push_back(timeText(caption.localTime));
    if (!caption.stationName.empty())
        items.push_back("Station " + asciiOnly(caption.stationName));
    items.push_back(temperatureText("Highest", caption.highestCelsius, caption.unit));
    items.push_back(temperatureText("Threshold", caption.thresholdCelsius, caption.unit));
    switch (caption.correction) {
    case CaptionCorrection::Reference:
        items.push_back(correctionText("Reference correction", caption.correctionCelsius, caption.unit));
        break;
    case CaptionCorrection::CameraOffset:
        items.push_back(correctionText("Camera offset", caption.correctionCelsius, caption.unit));
        break;
    case CaptionCorrection::OffsetUnknown:
        items.push_back("Camera offset unknown");
        break;
    }
    return items;
}

void captionedSnapshot(const cv::Mat& bgrPicture, const SnapshotCaption& caption, cv::Mat& snapshot) {
    const int width = bgrPicture.cols;
    // Readable in the camera's 384 pixels and not coarse in wider pictures.
    const double scale = std::clamp(width / 960.0, 0.3, 1.0);
    int descent = 0;
    const int ascent = cv::getTextSize("Ag", captionFont, scale, captionThickness, &descent).height;
    const int margin = std::max(3, ascent / 2);
    const int lineStep = ascent + descent + margin / 2;
    const std::vector<std::string> lines =
        wrapItems(captionItems(caption), std::max(1, width - 2 * margin), scale);
    const int bandHeight = 2 * margin + int(lines.size()) * lineStep - margin / 2;

    snapshot.create(bgrPicture.rows + bandHeight, width, CV_8UC3);
    bgrPicture.copyTo(snapshot.rowRange(0, bgrPicture.rows));
    cv::Mat band = snapshot.rowRange(bgrPicture.rows, snapshot.rows);
    band.setTo(bandColour);
    for (std::size_t index = 0; index < lines.size(); ++index)
        cv::putText(band, lines[index], cv::Point(margin, margin + ascent + int(index) * lineStep),
                    captionFont, scale, captionColour, captionThickness, cv::LINE_AA);
}

} // namespace calidra
