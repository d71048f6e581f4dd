#include "files/snapshot_names.h"

#include "files/file_io.h"
#include "time_stamp.h"

#include <cstring>

namespace calidra::files {
namespace {

constexpr std::size_t prefixLength = sizeof snapshotNamePrefix - 1;
constexpr std::size_t suffixLength = sizeof pictureSuffix - 1;
constexpr std::size_t timeLength = 15; // YYYYMMDD_HHMMSS
constexpr std::size_t longestSequence = 9;

bool isDigit(char character) {
    return character >= '0' && character <= '9';
}

// The value of count ASCII digits at text; -1 when any is not one.
int digitsValue(const char* text, std::size_t count) {
    int value = 0;
    for (std::size_t index = 0; index < count; ++index) {
        if (!isDigit(text[index]))
            return -1;
        value = value * 10 + (text[index] - '0');
    }
    return value;
}

bool endsWith(const std::string& text, const char* ending, std::size_t length) {
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

} // namespace

std::string snapshotFileName(const std::tm& localTime, int sequence) {
    const std::string name = snapshotNamePrefix + timeStamp(localTime);
    return sequence > 1 ? name + "-" + std::to_string(sequence) + pictureSuffix : name + pictureSuffix;
}

std::optional<SnapshotName> parseSnapshotFileName(const std::string& fileName) {
    if (fileName.size() < prefixLength + timeLength + suffixLength ||
        fileName.compare(0, prefixLength, snapshotNamePrefix) != 0 ||
        !endsWith(fileName, pictureSuffix, suffixLength))
        return std::nullopt;
    const char* time = fileName.c_str() + prefixLength;
    SnapshotName name;
    std::tm& local = name.localTime;
    local.tm_isdst = -1;
    const int year = digitsValue(time, 4), month = digitsValue(time + 4, 2), day = digitsValue(time + 6, 2);
    const int hour = digitsValue(time + 9, 2), minute = digitsValue(time + 11, 2),
              second = digitsValue(time + 13, 2);
    if (year < 0 || month < 0 || day < 0 || time[8] != '_' || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;

    const std::size_t sequenceLength = fileName.size() - prefixLength - timeLength - suffixLength;
    if (sequenceLength == 0)
        return name;
    // "-N": N from 2, no leading zero.
    const char* sequence = time + timeLength;
    if (sequence[0] != '-' || sequenceLength < 2 || sequenceLength - 1 > longestSequence ||
        sequence[1] == '0')
        return std::nullopt;
    name.sequence = digitsValue(sequence + 1, sequenceLength - 1);
    if (name.sequence < 2)
        return std::nullopt;
    return name;
}

bool isPictureFileName(const std::string& fileName) {
    return endsWith(fileName, pictureSuffix, suffixLength);
}

std::string writeSnapshotFile(const std::string& alarmFolder, const std::tm& localTime, const uint8_t* data,
                              std::size_t size) {
    return writeFileUnderFreeName(
        alarmFolder, [&localTime](int sequence) { return snapshotFileName(localTime, sequence); },
        snapshotNamesPerSecond, data, size);
}

} // namespace calidra::files
