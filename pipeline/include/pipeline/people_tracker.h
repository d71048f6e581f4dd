#pragma once
// People followed from frame to frame: each frame's accepted regions are matched to the people in
// view (a constant-velocity Kalman prediction of each person's centre, then the cheapest whole
// assignment on overlap and distance), so that two people who cross keep their own numbers and one
// who stops keeps theirs. Each person finished gives one result with one reading: the highest
// region temperature over the frames that showed them whole and alone.
//
// Plain C++ on the frame thread; the caller keeps it to one thread at a time.

#include "pipeline/detection.h"
#include "pipeline/person_result.h"

#include <opencv2/video/tracking.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace calidra {

class PeopleTracker {
public:
    static constexpr int confirmFrames = 3;        // a new person is confirmed after this many frames
    static constexpr uint32_t unseenLimitMs = 500; // a person unseen this long is finished
    static constexpr int measuredFrames = 3;       // counted frames a reading needs

    struct FrameInput {
        const DetectionList* detections = nullptr;
        int width = 0;
        int height = 0;
        uint32_t tick = 0;
        int64_t minimumRegionArea = 0;
        double alarmCelsius = 0.0;
        // False while screening is paused: the readings are not to be trusted, so people are
        // followed but not measured.
        bool screening = true;
        // True while the camera's shutter may be closed (a NUC runs): nobody can be seen, so
        // nobody is finished for not being seen until this has been false for the unseen limit.
        bool blind = false;
    };

    // One frame; the people it finished are appended to finished, in the order they were first seen.
    void update(const FrameInput& frame, std::vector<PersonResult>& finished);
    // The camera is gone: everyone confirmed is finished as they stand, the rest forgotten.
    void finishAll(std::vector<PersonResult>& finished);

    // Confirmed people being followed now.
    int peopleInView() const;
    // After update: the tracker's number of the confirmed person each region went to, 0 for none.
    const std::vector<uint64_t>& regionNumbers() const { return regionNumbers_; }

private:
    struct Track {
        cv::KalmanFilter filter;
        cv::Rect box;       // last matched region
        cv::Rect predicted; // this frame's predicted box
        uint32_t firstTick = 0;
        uint32_t lastSeenTick = 0;
        uint32_t lastPredictTick = 0;
        int hits = 0;
        bool confirmed = false;
        bool touchedBorder = false; // the last matched region touched the frame's border
        // Per border (left, right, top, bottom) while the region touches it: the region's inner edge
        // when it first touched and the farthest out it has been since, on a scale growing outward.
        // A person whose edge moved out is leaving there and can only go on moving out.
        std::array<int, 4> borderFirstEdge{};
        std::array<int, 4> borderOutmostEdge{};
        unsigned leavingSides = 0;
        // Someone else ran into this person's region and has not come out of it again: followed,
        // never measured. company: the last region the two shared; aloneSize: the person's region
        // alone; fittingSince: since when the region has been of that size again.
        bool accompanied = false;
        cv::Rect company;
        cv::Size aloneSize;
        bool fitting = false;
        uint32_t fittingSince = 0;
        uint64_t number = 0;
        double highest = 0.0;
        bool highestAlarmed = false;
        double highestThreshold = 0.0; // the threshold the highest reading was judged against
        int counted = 0;
    };

    Track newTrack(const Detection& region, uint32_t tick, bool touchesBorder);
    void predict(Track& track, uint32_t tick);
    static void followBorders(Track& track, const cv::Rect& box, int width, int height);
    // Whether the region matched to the track holds someone else too; keeps accompanied up to date.
    static bool sharesRegion(Track& track, const cv::Rect& box, const DetectionList& regions,
                             std::size_t matched, uint32_t tick);
    static PersonResult resultOf(const Track& track);

    std::vector<Track> tracks_;
    std::vector<uint64_t> regionNumbers_;
    uint64_t nextNumber_ = 1;
    std::optional<uint32_t> lastBlindTick_; // the last frame with the shutter maybe closed
    // Working lists kept between frames.
    std::vector<std::vector<double>> cost_;
    std::vector<int> sharedBy_;
    std::vector<char> trackTaken_;
};

} // namespace calidra
