#include "scenario.h"

#include "crowd.h"
#include "json_reader.h"
#include "regular_file.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <set>

namespace calidra::simulator {

using nlohmann::json;
using Reader = sorvik::JsonReader;

namespace {

// [[seconds, x, y], ...] with the seconds rising.
bool readPath(Reader& reader, const json& object, Person& person, const std::string& where) {
    auto it = object.find("path");
    if (it == object.end()) {
        return true;
    }
    if (object.contains("from") || object.contains("to")) {
        return reader.fail("\"path\" in " + where + " replaces \"from\" and \"to\"");
    }
    if (!it->is_array() || it->size() < 2) {
        return reader.fail("\"path\" in " + where + " must be a list of at least two [seconds, x, y]");
    }
    for (const json& point : *it) {
        if (!point.is_array() || point.size() != 3 || !point[0].is_number() || !point[1].is_number() ||
            !point[2].is_number()) {
            return reader.fail("\"path\" in " + where + " must be a list of at least two [seconds, x, y]");
        }
        const PathPoint read{point[0].get<double>(), point[1].get<double>(), point[2].get<double>()};
        if (!std::isfinite(read.seconds) || !std::isfinite(read.x) || !std::isfinite(read.y)) {
            return reader.fail("\"path\" in " + where + " must hold numbers");
        }
        if (read.seconds < 0.0 || (!person.path.empty() && read.seconds <= person.path.back().seconds)) {
            return reader.fail("the times of \"path\" in " + where + " must rise from 0 or later");
        }
        person.path.push_back(read);
    }
    if (!object.contains("leave")) {
        person.leaveSeconds = person.enterSeconds + person.path.back().seconds;
    }
    return true;
}

bool readPerson(Reader& reader, const json& object, Person& person, const std::string& where) {
    if (!reader.onlyKeys(object, {"enter", "leave", "temperature", "from", "to", "height", "path"}, where)) {
        return false;
    }
    if (!reader.number(object, "enter", person.enterSeconds, where) ||
        !reader.number(object, "leave", person.leaveSeconds, where) ||
        !reader.number(object, "temperature", person.temperatureCelsius, where) ||
        !reader.point(object, "from", person.fromX, person.fromY, where) ||
        !reader.point(object, "to", person.toX, person.toY, where) ||
        !reader.number(object, "height", person.heightFraction, where) ||
        !readPath(reader, object, person, where)) {
        return false;
    }
    if (person.leaveSeconds <= person.enterSeconds) {
        return reader.fail("\"leave\" must come after \"enter\" in " + where);
    }
    if (person.heightFraction <= 0.0 || person.heightFraction > 4.0) {
        return reader.fail("\"height\" in " + where + " must be above 0");
    }
    return true;
}

bool readObject(Reader& reader, const json& object, WarmObject& warm, const std::string& where) {
    if (!reader.onlyKeys(object, {"x", "y", "w", "h", "temperature"}, where)) {
        return false;
    }
    return reader.integer(object, "x", warm.x, where) && reader.integer(object, "y", warm.y, where) &&
           reader.integer(object, "w", warm.width, where) &&
           reader.integer(object, "h", warm.height, where) &&
           reader.number(object, "temperature", warm.temperatureCelsius, where);
}

bool readEvent(Reader& reader, const json& object, Event& event, const std::string& where) {
    if (!reader.onlyKeys(object, {"at", "unplug", "plug", "stallFor", "reference", "referenceTemperature"},
                         where)) {
        return false;
    }
    bool referenceOn = false;
    double referenceCelsius = 0.0;
    if (!reader.number(object, "at", event.atSeconds, where) ||
        !reader.boolean(object, "unplug", event.unplug, where) ||
        !reader.boolean(object, "plug", event.plug, where) ||
        !reader.number(object, "stallFor", event.stallSeconds, where) ||
        !reader.boolean(object, "reference", referenceOn, where) ||
        !reader.number(object, "referenceTemperature", referenceCelsius, where)) {
        return false;
    }
    if (object.contains("reference")) {
        event.referenceOn = referenceOn;
    }
    if (object.contains("referenceTemperature")) {
        event.referenceCelsius = referenceCelsius;
    }
    if (event.stallSeconds < 0.0) {
        return reader.fail("\"stallFor\" in " + where + " must not be negative");
    }
    return true;
}

bool readSeed(Reader& reader, const json& object, uint32_t& seed, const std::string& where) {
    int read = int(seed);
    if (!reader.integer(object, "seed", read, where)) {
        return false;
    }
    if (read < 0) {
        return reader.fail("\"seed\" in " + where + " must not be negative");
    }
    seed = uint32_t(read);
    return true;
}

bool readDrift(Reader& reader, const json& object, DriftSettings& drift, const std::string& where) {
    if (!reader.onlyKeys(
            object, {"start", "settle", "ramp", "walk", "shutterEvery", "shutterResidual", "gain", "seed"},
            where)) {
        return false;
    }
    if (!reader.number(object, "start", drift.startCelsius, where) ||
        !reader.number(object, "settle", drift.settleSeconds, where) ||
        !reader.number(object, "ramp", drift.rampCelsiusPerMinute, where) ||
        !reader.number(object, "walk", drift.walkCelsiusPerRootMinute, where) ||
        !reader.number(object, "shutterEvery", drift.shutterEverySeconds, where) ||
        !reader.number(object, "shutterResidual", drift.shutterResidualCelsius, where) ||
        !reader.number(object, "gain", drift.gain, where) || !readSeed(reader, object, drift.seed, where)) {
        return false;
    }
    if (drift.settleSeconds < 0.0 || drift.walkCelsiusPerRootMinute < 0.0 ||
        drift.shutterEverySeconds < 0.0 || drift.shutterResidualCelsius < 0.0) {
        return reader.fail("\"settle\", \"walk\", \"shutterEvery\" and \"shutterResidual\" in " + where +
                           " must not be negative");
    }
    if (drift.gain <= -1.0) {
        return reader.fail("\"gain\" in " + where + " must be above -1");
    }
    return true;
}

bool readReference(Reader& reader, const json& object, ReferenceSource& reference,
                   const CameraScenario& camera, const std::string& where) {
    if (!reader.onlyKeys(object, {"x", "y", "w", "h", "temperature", "settle"}, where)) {
        return false;
    }
    if (!reader.integer(object, "x", reference.x, where) ||
        !reader.integer(object, "y", reference.y, where) ||
        !reader.integer(object, "w", reference.width, where) ||
        !reader.integer(object, "h", reference.height, where) ||
        !reader.number(object, "temperature", reference.temperatureCelsius, where) ||
        !reader.number(object, "settle", reference.settleSeconds, where)) {
        return false;
    }
    if (reference.x < 0 || reference.y < 0 || reference.width < 1 || reference.height < 1 ||
        reference.x > camera.width - reference.width || reference.y > camera.height - reference.height) {
        return reader.fail(where + " must lie inside the frame");
    }
    if (reference.settleSeconds < 0.0) {
        return reader.fail("\"settle\" in " + where + " must not be negative");
    }
    return true;
}

bool readCrowd(Reader& reader, const json& object, Crowd& crowd, const std::string& where) {
    if (!reader.onlyKeys(object,
                         {"start", "count", "every", "walk", "mean", "sd", "feverEvery", "fever", "seed"},
                         where)) {
        return false;
    }
    if (!reader.number(object, "start", crowd.startSeconds, where) ||
        !reader.integer(object, "count", crowd.count, where) ||
        !reader.number(object, "every", crowd.everySeconds, where) ||
        !reader.number(object, "walk", crowd.walkSeconds, where) ||
        !reader.number(object, "mean", crowd.meanCelsius, where) ||
        !reader.number(object, "sd", crowd.deviationCelsius, where) ||
        !reader.integer(object, "feverEvery", crowd.feverEvery, where) ||
        !reader.number(object, "fever", crowd.feverCelsius, where) ||
        !readSeed(reader, object, crowd.seed, where)) {
        return false;
    }
    // Every frame looks at every walker: a day of them at one a second is plenty.
    if (crowd.count < 0 || crowd.count > 100000) {
        return reader.fail("\"count\" in " + where + " must be 0 to 100000");
    }
    if (!(crowd.everySeconds > 0.0) || !(crowd.walkSeconds > 0.0)) {
        return reader.fail("\"every\" and \"walk\" in " + where + " must be above 0");
    }
    if (crowd.startSeconds < 0.0 || crowd.deviationCelsius < 0.0 || crowd.feverEvery < 0) {
        return reader.fail("\"start\", \"sd\" and \"feverEvery\" in " + where + " must not be negative");
    }
    return true;
}

// An optional record under key, read by readItem into value.
template <typename Item, typename ReadItem>
bool readRecord(Reader& reader, const json& object, const char* key, ReadItem readItem,
                std::optional<Item>& value, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) {
        return true;
    }
    Item item;
    if (!readItem(reader, *it, item, "\"" + std::string(key) + "\" of " + where)) {
        return false;
    }
    value = item;
    return true;
}

bool readReplay(Reader& reader, CameraScenario& camera, const std::string& baseFolder,
                const std::string& where) {
    std::string path = camera.replayPath;
    if (!path.empty() && path[0] != '/' && !baseFolder.empty()) {
        path = baseFolder + "/" + path;
    }
    std::string reason;
    camera.replay =
        ReplayFile::open(path, std::size_t(camera.width) * std::size_t(camera.height) * 2, reason);
    if (!camera.replay) {
        return reader.fail("replay file " + path + " of " + where + " " + reason);
    }
    camera.replayFrameCount = camera.replay->frameCount();
    camera.replayPath = path;
    return true;
}

// A list of records under key, each read by readItem.
template <typename Item, typename ReadItem>
bool readList(Reader& reader, const json& object, const char* key, const char* itemName, ReadItem readItem,
              std::vector<Item>& items, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) {
        return true;
    }
    if (!it->is_array()) {
        return reader.fail(std::string("\"") + key + "\" in " + where + " must be a list");
    }
    for (std::size_t i = 0; i < it->size(); ++i) {
        Item item;
        if (!readItem(reader, (*it)[i], item, where + " " + itemName + " " + std::to_string(i + 1))) {
            return false;
        }
        items.push_back(item);
    }
    return true;
}

bool readCamera(Reader& reader, const json& object, CameraScenario& camera, const std::string& baseFolder,
                const std::string& where) {
    static const std::set<std::string> keys = {
        "label",      "kind",       "model",      "identity",   "width",
        "height",     "fps",        "present",    "openResult", "acquisitionResult",
        "infoResult", "offsetNode", "userOffset", "ambient",    "noise",
        "seed",       "loop",       "people",     "objects",    "events",
        "replay",     "drift",      "reference",  "crowd"};
    if (!reader.onlyKeys(object, keys, where)) {
        return false;
    }
    int seed = int(camera.seed);
    if (!reader.text(object, "label", camera.label, where, 128) ||
        !reader.integer(object, "kind", camera.kind, where) ||
        !reader.text(object, "model", camera.model, where, 512) ||
        !reader.text(object, "identity", camera.identity, where, 2592) ||
        !reader.integer(object, "width", camera.width, where) ||
        !reader.integer(object, "height", camera.height, where) ||
        !reader.number(object, "fps", camera.fps, where) ||
        !reader.boolean(object, "present", camera.present, where) ||
        !reader.integer(object, "openResult", camera.openResult, where) ||
        !reader.integer(object, "acquisitionResult", camera.acquisitionResult, where) ||
        !reader.integer(object, "infoResult", camera.infoResult, where) ||
        !reader.boolean(object, "offsetNode", camera.offsetNode, where) ||
        !reader.number(object, "userOffset", camera.userOffset, where) ||
        !reader.number(object, "ambient", camera.ambientCelsius, where) ||
        !reader.number(object, "noise", camera.noiseCelsius, where) ||
        !reader.integer(object, "seed", seed, where) ||
        !reader.number(object, "loop", camera.loopSeconds, where) ||
        !reader.text(object, "replay", camera.replayPath, where, 4096)) {
        return false;
    }
    camera.seed = uint32_t(seed);
    if (camera.width < 1 || camera.height < 1 || camera.width > 8192 || camera.height > 8192) {
        return reader.fail("\"width\" and \"height\" in " + where + " must be 1 to 8192");
    }
    if (!(camera.fps > 0.0) || camera.fps > 1000.0) {
        return reader.fail("\"fps\" in " + where + " must be above 0 and at most 1000");
    }
    if (camera.noiseCelsius < 0.0 || camera.loopSeconds < 0.0) {
        return reader.fail("\"noise\" and \"loop\" in " + where + " must not be negative");
    }
    camera.people.clear();
    std::optional<Crowd> crowd;
    const auto readCameraReference = [&camera](Reader& r, const json& o, ReferenceSource& reference,
                                               const std::string& w) {
        return readReference(r, o, reference, camera, w);
    };
    if (!readList(reader, object, "people", "person", readPerson, camera.people, where) ||
        !readList(reader, object, "objects", "object", readObject, camera.objects, where) ||
        !readList(reader, object, "events", "event", readEvent, camera.events, where) ||
        !readRecord(reader, object, "drift", readDrift, camera.drift, where) ||
        !readRecord(reader, object, "reference", readCameraReference, camera.reference, where) ||
        !readRecord(reader, object, "crowd", readCrowd, crowd, where)) {
        return false;
    }
    for (const Event& event : camera.events) {
        if ((event.referenceOn || event.referenceCelsius) && !camera.reference) {
            return reader.fail("an event of " + where + " changes the reference, which " + where +
                               " has not");
        }
    }
    if (crowd) {
        const std::vector<Person> walkers = crowdPeople(*crowd);
        camera.people.insert(camera.people.end(), walkers.begin(), walkers.end());
    }
    return camera.replayPath.empty() || readReplay(reader, camera, baseFolder, where);
}

} // namespace

Scenario defaultScenario() {
    Scenario scenario;
    CameraScenario camera;
    camera.loopSeconds = 40.0;
    // Ten walkers every four seconds, alternating direction; two of them feverish.
    const double temperatures[10] = {36.4, 36.1, 38.3, 36.6, 35.9, 36.8, 36.2, 38.5, 36.0, 36.5};
    for (int i = 0; i < 10; ++i) {
        Person person;
        person.enterSeconds = 1.0 + 4.0 * i;
        person.leaveSeconds = person.enterSeconds + 6.0;
        person.temperatureCelsius = temperatures[i];
        const bool leftToRight = i % 2 == 0;
        person.fromX = leftToRight ? -0.1 : 1.1;
        person.toX = leftToRight ? 1.1 : -0.1;
        person.fromY = person.toY = 0.55 + 0.04 * ((i % 3) - 1);
        person.heightFraction = 0.62 + 0.03 * (i % 3);
        camera.people.push_back(person);
    }
    scenario.cameras.push_back(camera);
    return scenario;
}

bool parseScenario(const std::string& text, const std::string& baseFolder, Scenario& scenario,
                   std::string& error) {
    const json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) {
        error = "not valid JSON";
        return false;
    }
    Reader reader(error);
    if (!reader.onlyKeys(document, {"cameras"}, "the scenario")) {
        return false;
    }
    Scenario result;
    auto cameras = document.find("cameras");
    if (cameras == document.end()) {
        result = defaultScenario();
    } else {
        if (!cameras->is_array()) {
            return reader.fail("\"cameras\" must be a list");
        }
        for (std::size_t i = 0; i < cameras->size(); ++i) {
            CameraScenario camera;
            if (!readCamera(reader, (*cameras)[i], camera, baseFolder, "camera " + std::to_string(i + 1))) {
                return false;
            }
            result.cameras.push_back(std::move(camera));
        }
    }
    scenario = std::move(result);
    return true;
}

std::shared_ptr<const ReplayFile> ReplayFile::open(const std::string& path, std::size_t frameBytes,
                                                   std::string& reason) {
    std::size_t size = 0;
    const int descriptor = sorvik::openRegularFile(path, size, reason);
    if (descriptor < 0) {
        return nullptr;
    }
    if (frameBytes == 0 || size == 0 || size % frameBytes != 0) {
        ::close(descriptor);
        reason = "is not a whole number of frames of " + std::to_string(frameBytes) + " bytes";
        return nullptr;
    }
    return std::shared_ptr<const ReplayFile>(new ReplayFile(descriptor, frameBytes, size / frameBytes));
}

ReplayFile::~ReplayFile() {
    ::close(descriptor_);
}

bool ReplayFile::readFrame(std::size_t index, std::vector<uint16_t>& codes) const {
    std::vector<uint8_t> bytes(frameBytes_);
    const off_t start = off_t((index % frameCount_) * frameBytes_);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count =
            ::pread(descriptor_, bytes.data() + filled, bytes.size() - filled, start + off_t(filled));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false; // cut short since it was checked
        }
        filled += std::size_t(count);
    }
    codes.resize(frameBytes_ / 2);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        codes[i] = uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return true;
}

bool loadScenario(const std::string& path, Scenario& scenario, std::string& error) {
    // Far more than any scene description.
    constexpr std::size_t largestScenarioBytes = 16u << 20;
    std::string text;
    std::string reason;
    if (!sorvik::readRegularTextFile(path, largestScenarioBytes, text, reason)) {
        error = reason;
        return false;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    return parseScenario(text, folder, scenario, error);
}

} // namespace calidra::simulator
