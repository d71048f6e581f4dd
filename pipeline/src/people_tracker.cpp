#include "pipeline/people_tracker.h"

#include "pipeline/optimal_assignment.h"

#include <algorithm>
#include <cmath>

namespace calidra {
namespace {

constexpr double impossible = 1e6;

cv::Rect boxOf(const Detection& region) {
    return {region.left, region.top, region.right - region.left, region.bottom - region.top};
}

bool touchesBorder(const cv::Rect& box, int width, int height) {
    return box.x <= 0 || box.y <= 0 || box.x + box.width >= width || box.y + box.height >= height;
}

// Borders in the order of Track's per-border fields.
enum Side { leftSide, rightSide, topSide, bottomSide, sideCount };

bool touchesSide(const cv::Rect& box, int side, int width, int height) {
    switch (side) {
    case leftSide:
        return box.x <= 0;
    case rightSide:
        return box.x + box.width >= width;
    case topSide:
        return box.y <= 0;
    default:
        return box.y + box.height >= height;
    }
}

// The box's edge facing away from the side, larger the nearer it is to that side: as a person walks
// out there their region shrinks and this edge grows.
int innerEdge(const cv::Rect& box, int side) {
    switch (side) {
    case leftSide:
        return -(box.x + box.width);
    case rightSide:
        return box.x;
    case topSide:
        return -(box.y + box.height);
    default:
        return box.y;
    }
}

// How far a region's edge jitters from frame to frame: a few pixels, more for a large figure.
int edgeNoise(const cv::Rect& box, int side) {
    const int along = side == leftSide || side == rightSide ? box.height : box.width;
    return std::max(4, along / 20);
}

// Larger than a person's region alone by more than the jitter of both its edges.
bool largerThan(const cv::Rect& region, const cv::Size& alone) {
    const cv::Rect aloneBox(cv::Point(0, 0), alone);
    return region.width > alone.width + 2 * edgeNoise(aloneBox, leftSide) ||
           region.height > alone.height + 2 * edgeNoise(aloneBox, topSide);
}

// Someone hidden wholly behind another this long is not told apart from them.
constexpr uint32_t aloneAgainMs = 1000;

double overlap(const cv::Rect& a, const cv::Rect& b) {
    const double common = double((a & b).area());
    const double united = double(a.area()) + double(b.area()) - common;
    return united > 0.0 ? common / united : 0.0;
}

// Overlap first; a region that overlaps nothing may still be the person if its centre is within a
// body's width of the prediction (a fast walker at a low frame rate).
double matchCost(const cv::Rect& predicted, const cv::Rect& region) {
    const double shared = overlap(predicted, region);
    const double dx = (predicted.x + predicted.width * 0.5) - (region.x + region.width * 0.5);
    const double dy = (predicted.y + predicted.height * 0.5) - (region.y + region.height * 0.5);
    const double distance = std::hypot(dx, dy);
    const double reach = std::max(predicted.width, predicted.height);
    if (shared <= 0.0 && distance > reach)
        return impossible;
    return (1.0 - shared) + distance / std::max(reach, 1.0);
}

} // namespace

PeopleTracker::Track PeopleTracker::newTrack(const Detection& region, uint32_t tick, bool atBorder) {
    Track track;
    track.filter.init(4, 2, 0, CV_32F);
    // State: centre x, y in pixels and their speeds in pixels per second.
    cv::setIdentity(track.filter.measurementMatrix);
    cv::setIdentity(track.filter.measurementNoiseCov, cv::Scalar::all(4.0));
    cv::setIdentity(track.filter.errorCovPost, cv::Scalar::all(1.0));
    track.filter.errorCovPost.at<float>(2, 2) = 1e5f; // the first speed is unknown
    track.filter.errorCovPost.at<float>(3, 3) = 1e5f;
    track.box = boxOf(region);
    track.predicted = track.box;
    track.filter.statePost.at<float>(0) = float(track.box.x + track.box.width * 0.5);
    track.filter.statePost.at<float>(1) = float(track.box.y + track.box.height * 0.5);
    track.firstTick = tick;
    track.lastSeenTick = tick;
    track.lastPredictTick = tick;
    track.hits = 1;
    track.touchedBorder = atBorder;
    for (int side = 0; side < sideCount; ++side)
        track.borderFirstEdge[std::size_t(side)] = track.borderOutmostEdge[std::size_t(side)] =
            innerEdge(track.box, side);
    return track;
}

// After the filter took box and before it becomes the track's box.
void PeopleTracker::followBorders(Track& track, const cv::Rect& box, int width, int height) {
    const float speedX = track.filter.statePost.at<float>(2);
    const float speedY = track.filter.statePost.at<float>(3);
    const float outwardSpeeds[sideCount] = {-speedX, speedX, -speedY, speedY};
    for (int side = 0; side < sideCount; ++side) {
        const std::size_t index = std::size_t(side);
        const unsigned bit = 1u << side;
        const int edge = innerEdge(box, side);
        const bool touching = touchesSide(box, side, width, height);
        // Stopped on the way out: no longer leaving, and one who then walks back in stays themselves.
        if ((track.leavingSides & bit) != 0 && outwardSpeeds[side] < float(edgeNoise(box, side))) {
            track.leavingSides &= ~bit;
            track.borderFirstEdge[index] = track.borderOutmostEdge[index] = edge;
        }
        if ((track.leavingSides & bit) != 0) {
            // Still going out; a region off the border yet further out is the leaver's last part
            // seen past someone walking in in front of them.
            if (touching || edge > track.borderOutmostEdge[index]) {
                track.borderOutmostEdge[index] = std::max(track.borderOutmostEdge[index], edge);
                continue;
            }
            track.leavingSides &= ~bit;
        }
        if (!touching)
            continue;
        if (!touchesSide(track.box, side, width, height)) {
            track.borderFirstEdge[index] = track.borderOutmostEdge[index] = edge;
            continue;
        }
        track.borderOutmostEdge[index] = std::max(track.borderOutmostEdge[index], edge);
        // Shrinking at the border by more than noise while moving towards it: walking out. A person
        // standing half out only jitters and is never taken for a leaver.
        if (outwardSpeeds[side] > 0.0f &&
            track.borderOutmostEdge[index] - track.borderFirstEdge[index] > edgeNoise(box, side))
            track.leavingSides |= bit;
    }
}

// A person wholly in view whose region grows beyond their size alone has run together with someone
// the prediction missed, often one who came in at the border already run together with them. Two
// who cross may then for a frame look exactly like one, so the person stays accompanied until the
// two come apart (another region in the one they last shared) or the region has been of their size
// alone for a second.
bool PeopleTracker::sharesRegion(Track& track, const cv::Rect& box, const DetectionList& regions,
                                 std::size_t matched, uint32_t tick) {
    if (!track.accompanied) {
        if (track.touchedBorder || !largerThan(box, track.box.size()))
            return false;
        track.accompanied = true;
        track.aloneSize = track.box.size();
        track.fitting = false;
    }
    const bool fits = !largerThan(box, track.aloneSize);
    if (fits && !track.fitting)
        track.fittingSince = tick;
    track.fitting = fits;
    bool apart = false;
    for (std::size_t r = 0; r < regions.size() && fits && !apart; ++r)
        apart = r != matched && (boxOf(regions[r]) & track.company).area() > 0;
    if (apart || (fits && tick - track.fittingSince >= aloneAgainMs)) {
        track.accompanied = false;
        return false;
    }
    track.company = box;
    return true;
}

void PeopleTracker::predict(Track& track, uint32_t tick) {
    const float seconds = float(int32_t(tick - track.lastPredictTick)) / 1000.0f;
    track.lastPredictTick = tick;
    if (seconds <= 0.0f) {
        track.predicted = track.box;
        return;
    }
    cv::setIdentity(track.filter.transitionMatrix);
    track.filter.transitionMatrix.at<float>(0, 2) = seconds;
    track.filter.transitionMatrix.at<float>(1, 3) = seconds;
    // A walker changes speed: about 200 px/s² of acceleration noise.
    const float acceleration = 200.0f * 200.0f;
    const float s2 = seconds * seconds;
    cv::setIdentity(track.filter.processNoiseCov, cv::Scalar::all(0.0));
    track.filter.processNoiseCov.at<float>(0, 0) = acceleration * s2 * s2 / 4.0f;
    track.filter.processNoiseCov.at<float>(1, 1) = acceleration * s2 * s2 / 4.0f;
    track.filter.processNoiseCov.at<float>(2, 2) = acceleration * s2;
    track.filter.processNoiseCov.at<float>(3, 3) = acceleration * s2;
    track.filter.processNoiseCov.at<float>(0, 2) = acceleration * s2 * seconds / 2.0f;
    track.filter.processNoiseCov.at<float>(2, 0) = acceleration * s2 * seconds / 2.0f;
    track.filter.processNoiseCov.at<float>(1, 3) = acceleration * s2 * seconds / 2.0f;
    track.filter.processNoiseCov.at<float>(3, 1) = acceleration * s2 * seconds / 2.0f;
    const cv::Mat state = track.filter.predict();
    const float x = state.at<float>(0);
    const float y = state.at<float>(1);
    track.predicted =
        cv::Rect(int(std::lround(x - track.box.width * 0.5f)), int(std::lround(y - track.box.height * 0.5f)),
                 track.box.width, track.box.height);
}

PersonResult PeopleTracker::resultOf(const Track& track) {
    PersonResult result;
    result.trackNumber = track.number;
    result.firstSeenTick = track.firstTick;
    result.lastSeenTick = track.lastSeenTick;
    result.countedFrames = track.counted;
    result.thresholdCelsius = track.highestThreshold;
    if (track.counted >= measuredFrames) {
        result.readingCelsius = track.highest;
        result.alarmed = track.highestAlarmed;
    }
    return result;
}

void PeopleTracker::update(const FrameInput& frame, std::vector<PersonResult>& finished) {
    if (frame.blind)
        lastBlindTick_ = frame.tick;
    const DetectionList& regions = *frame.detections;
    const std::size_t finishedBefore = finished.size();
    for (Track& track : tracks_)
        predict(track, frame.tick);

    // A region that covers a good part of two people's predictions is the two of them run together
    // (crossing, side by side): it belongs to neither, and both go on as predicted.
    sharedBy_.assign(regions.size(), 0);
    trackTaken_.assign(tracks_.size(), 0);
    const auto covers = [](const cv::Rect& region, const cv::Rect& predicted) {
        return (region & predicted).area() * 4 >= predicted.area();
    };
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const cv::Rect box = boxOf(regions[r]);
        const int covering = int(std::count_if(tracks_.begin(), tracks_.end(), [&](const Track& track) {
            return covers(box, track.predicted);
        }));
        if (covering < 2)
            continue;
        sharedBy_[r] = covering;
        for (std::size_t t = 0; t < tracks_.size(); ++t)
            if (covers(box, tracks_[t].predicted)) {
                trackTaken_[t] = 1;
                tracks_[t].lastSeenTick = frame.tick;
            }
    }

    // A leaver cannot come back in: a region reaching further in at that border than the leaver's
    // edge has already been is someone walking in there (at a door, the next person).
    const auto walksIn = [](const Track& track, const cv::Rect& region) {
        for (int side = 0; side < sideCount; ++side)
            if ((track.leavingSides & (1u << side)) != 0 &&
                innerEdge(region, side) <
                    track.borderOutmostEdge[std::size_t(side)] - edgeNoise(track.box, side))
                return true;
        return false;
    };
    // One run together with someone is not moved by most regions, so their prediction is all there
    // is: a region that misses half of it is the other one come apart (the person themselves may be
    // out of the picture by then, or too small a part of it to be a region).
    const auto mayTake = [&](const Track& track, const cv::Rect& region) {
        return !walksIn(track, region) &&
               (!track.accompanied || (region & track.predicted).area() * 2 >= track.predicted.area());
    };
    cost_.assign(tracks_.size(), std::vector<double>(regions.size(), impossible));
    for (std::size_t t = 0; t < tracks_.size(); ++t)
        for (std::size_t r = 0; r < regions.size(); ++r)
            if (!trackTaken_[t] && sharedBy_[r] == 0 && mayTake(tracks_[t], boxOf(regions[r])))
                cost_[t][r] = matchCost(tracks_[t].predicted, boxOf(regions[r]));
    const std::vector<int> assigned = optimalAssignment(cost_);

    regionNumbers_.assign(regions.size(), 0);
    std::vector<char> regionTaken(regions.size(), 0);
    for (std::size_t r = 0; r < regions.size(); ++r)
        regionTaken[r] = sharedBy_[r] != 0;
    std::vector<char> matched(tracks_.size(), 0);
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        const int r = assigned[t];
        if (r < 0 || cost_[t][std::size_t(r)] >= impossible)
            continue;
        Track& track = tracks_[t];
        const Detection& region = regions[std::size_t(r)];
        const cv::Rect box = boxOf(region);
        matched[t] = 1;
        regionTaken[std::size_t(r)] = 1;
        // Someone else in the region: seen, never measured, and moved only by a region of the
        // person's own size.
        const bool accompanied = sharesRegion(track, box, regions, std::size_t(r), frame.tick);
        if (accompanied && !track.fitting) {
            track.lastSeenTick = frame.tick;
            if (track.confirmed)
                regionNumbers_[std::size_t(r)] = track.number;
            continue;
        }
        cv::Mat measurement =
            (cv::Mat_<float>(2, 1) << float(box.x + box.width * 0.5f), float(box.y + box.height * 0.5f));
        track.filter.correct(measurement);
        followBorders(track, box, frame.width, frame.height);
        track.box = box;
        track.lastSeenTick = frame.tick;
        track.touchedBorder = touchesBorder(box, frame.width, frame.height);
        ++track.hits;
        // A leaver is partly out of the picture even where someone in front hides the border.
        if (frame.screening && !accompanied && !track.touchedBorder && track.leavingSides == 0 &&
            region.area() >= frame.minimumRegionArea) {
            ++track.counted;
            if (track.counted == 1 || region.temperature > track.highest) {
                track.highest = region.temperature;
                track.highestAlarmed = region.temperature >= frame.alarmCelsius;
                track.highestThreshold = frame.alarmCelsius;
            }
        }
        if (!track.confirmed && track.hits >= confirmFrames) {
            track.confirmed = true;
            track.number = nextNumber_++;
        }
        if (track.confirmed)
            regionNumbers_[std::size_t(r)] = track.number;
    }

    std::vector<Track> kept;
    kept.reserve(tracks_.size() + regions.size());
    for (std::size_t t = 0; t < tracks_.size(); ++t) {
        Track& track = tracks_[t];
        if (matched[t] || trackTaken_[t]) {
            kept.push_back(std::move(track));
            continue;
        }
        // Walked out: last seen at the border (or run together with someone, not seen alone since)
        // and expected beyond it now.
        const cv::Rect& next = track.predicted;
        const bool goneOut = (track.touchedBorder || track.leavingSides != 0 || track.accompanied) &&
                             (next.x < 0 || next.y < 0 || next.x + next.width > frame.width ||
                              next.y + next.height > frame.height);
        // Unseen counts from the last frame that could have shown them: the shutter hides everyone.
        const bool unseenTooLong =
            uint32_t(frame.tick - track.lastSeenTick) > unseenLimitMs &&
            (!lastBlindTick_ || uint32_t(frame.tick - *lastBlindTick_) > unseenLimitMs);
        // A new person not yet seen in enough frames when they go was nobody (a reflection, a hand).
        if ((goneOut || unseenTooLong) && track.confirmed)
            finished.push_back(resultOf(track));
        else if (!goneOut && !unseenTooLong)
            kept.push_back(std::move(track));
    }
    for (std::size_t r = 0; r < regions.size(); ++r)
        if (!regionTaken[r]) {
            const Detection& region = regions[r];
            const bool atBorder = touchesBorder(boxOf(region), frame.width, frame.height);
            Track track = newTrack(region, frame.tick, atBorder);
            track.highestThreshold = frame.alarmCelsius; // also for a person never measured
            if (frame.screening && !atBorder && region.area() >= frame.minimumRegionArea) {
                track.counted = 1;
                track.highest = region.temperature;
                track.highestAlarmed = region.temperature >= frame.alarmCelsius;
            }
            kept.push_back(std::move(track));
        }
    tracks_ = std::move(kept);
    std::sort(finished.begin() + std::ptrdiff_t(finishedBefore), finished.end(),
              [](const PersonResult& a, const PersonResult& b) { return a.trackNumber < b.trackNumber; });
}

void PeopleTracker::finishAll(std::vector<PersonResult>& finished) {
    const std::size_t finishedBefore = finished.size();
    for (const Track& track : tracks_)
        if (track.confirmed)
            finished.push_back(resultOf(track));
    tracks_.clear();
    regionNumbers_.clear();
    std::sort(finished.begin() + std::ptrdiff_t(finishedBefore), finished.end(),
              [](const PersonResult& a, const PersonResult& b) { return a.trackNumber < b.trackNumber; });
}

int PeopleTracker::peopleInView() const {
    return int(
        std::count_if(tracks_.begin(), tracks_.end(), [](const Track& track) { return track.confirmed; }));
}

} // namespace calidra
