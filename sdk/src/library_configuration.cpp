#include "library_configuration.h"

#include "json_reader.h"
#include "regular_file.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace calidra::sorvik {

namespace {

bool readTextList(JsonReader& reader, const json& object, const char* key, std::vector<std::string>& values,
                  const std::string& where, const char* what) {
    auto it = object.find(key);
    if (it == object.end()) {
        return true;
    }
    if (!it->is_array()) {
        return reader.fail(std::string("\"") + key + "\" in " + where + " must be a list");
    }
    for (const json& item : *it) {
        if (!item.is_string() || item.get<std::string>().empty() || item.get<std::string>().size() > 255) {
            return reader.fail(std::string("\"") + key + "\" in " + where + " must hold " + what +
                               " as texts");
        }
        values.push_back(item.get<std::string>());
    }
    return true;
}

bool readFeatures(JsonReader& reader, const json& object, GenicamProfile& profile, const std::string& where) {
    auto it = object.find("features");
    if (it == object.end()) {
        return true;
    }
    const std::string message = "\"features\" in " + where + " must be a list of [name, value] pairs";
    if (!it->is_array()) {
        return reader.fail(message);
    }
    for (const json& pair : *it) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() ||
            pair[0].get<std::string>().empty()) {
            return reader.fail(message);
        }
        const json& value = pair[1];
        std::string text;
        if (value.is_string()) {
            text = value.get<std::string>();
        } else if (value.is_number() || value.is_boolean()) {
            text = value.dump();
        } else {
            return reader.fail(message);
        }
        profile.features.emplace_back(pair[0].get<std::string>(), text);
    }
    return true;
}

bool readProfile(JsonReader& reader, const json& object, GenicamProfile& profile, const std::string& where) {
    if (!reader.onlyKeys(object, {"match", "features", "kelvinPerCount", "nucCommand"}, where)) {
        return false;
    }
    auto match = object.find("match");
    if (match != object.end()) {
        const std::string matchWhere = "\"match\" of " + where;
        if (!reader.onlyKeys(*match, {"vendor", "model", "serial"}, matchWhere) ||
            !reader.text(*match, "vendor", profile.vendor, matchWhere, 256) ||
            !reader.text(*match, "model", profile.model, matchWhere, 256) ||
            !reader.text(*match, "serial", profile.serial, matchWhere, 256)) {
            return false;
        }
    }
    if (!readFeatures(reader, object, profile, where) ||
        !reader.number(object, "kelvinPerCount", profile.kelvinPerCount, where) ||
        !reader.text(object, "nucCommand", profile.nucCommand, where, 256)) {
        return false;
    }
    if (!(profile.kelvinPerCount > 0.0) || profile.kelvinPerCount > 1.0) {
        return reader.fail("\"kelvinPerCount\" in " + where + " must be above 0 and at most 1");
    }
    return true;
}

bool readMilliseconds(JsonReader& reader, const json& object, const char* key, int lowest, int highest,
                      std::chrono::milliseconds& value, const std::string& where) {
    int milliseconds = int(value.count());
    if (!reader.integer(object, key, milliseconds, where)) {
        return false;
    }
    if (milliseconds < lowest || milliseconds > highest) {
        return reader.fail(std::string("\"") + key + "\" in " + where + " must be from " +
                           std::to_string(lowest) + " to " + std::to_string(highest));
    }
    value = std::chrono::milliseconds(milliseconds);
    return true;
}

// A camera asked by unicast: one IPv4 unicast address in dotted form. A name would need a resolver
// the station cannot rely on, and anything that reaches more than one host is discovery, which only
// "discover" may do.
bool isUnicastAddress(const std::string& text) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    const uint32_t address = ntohl(parsed.s_addr);
    const uint32_t firstByte = address >> 24;
    return firstByte != 0 && firstByte < 224; // not "this network", multicast, reserved or broadcast
}

bool readGenicam(JsonReader& reader, const json& object, GenicamConfiguration& genicam) {
    const std::string where = "\"genicam\"";
    if (!reader.onlyKeys(
            object, {"addresses", "discover", "cameras", "answerWaitMilliseconds", "listPeriodMilliseconds"},
            where) ||
        !readTextList(reader, object, "addresses", genicam.addresses, where, "addresses") ||
        !reader.boolean(object, "discover", genicam.discover, where) ||
        !readMilliseconds(reader, object, "answerWaitMilliseconds", 10, 600000, genicam.answerWait, where) ||
        !readMilliseconds(reader, object, "listPeriodMilliseconds", 100, 600000, genicam.listPeriod, where)) {
        return false;
    }
    for (const std::string& address : genicam.addresses) {
        if (!isUnicastAddress(address)) {
            return reader.fail("\"addresses\" in " + where + ": \"" + address +
                               "\" is not an IPv4 unicast address such as 192.168.10.20");
        }
    }
    auto cameras = object.find("cameras");
    if (cameras == object.end()) {
        return true;
    }
    if (!cameras->is_array()) {
        return reader.fail("\"cameras\" in " + where + " must be a list");
    }
    for (std::size_t i = 0; i < cameras->size(); ++i) {
        GenicamProfile profile;
        if (!readProfile(reader, (*cameras)[i], profile, "genicam camera " + std::to_string(i + 1))) {
            return false;
        }
        genicam.cameras.push_back(std::move(profile));
    }
    return true;
}

bool readUvc(JsonReader& reader, const json& object, UvcConfiguration& uvc) {
    const std::string where = "\"uvc\"";
    if (!reader.onlyKeys(object, {"devices", "discover"}, where) ||
        !readTextList(reader, object, "devices", uvc.devices, where, "device paths") ||
        !reader.boolean(object, "discover", uvc.discover, where)) {
        return false;
    }
    for (const std::string& device : uvc.devices) {
        if (device.front() != '/') {
            return reader.fail("\"devices\" in " + where + " must hold absolute paths such as /dev/video0");
        }
    }
    return true;
}

std::string folderOfThisLibrary() {
    Dl_info info;
    if (dladdr(reinterpret_cast<const void*>(&configurationPath), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

bool GenicamProfile::matches(const std::string& deviceVendor, const std::string& deviceModel,
                             const std::string& deviceSerial) const {
    return (vendor.empty() || vendor == deviceVendor) && (model.empty() || model == deviceModel) &&
           (serial.empty() || serial == deviceSerial);
}

std::string configurationPath() {
    const char* chosen = std::getenv("SORVIK_CONFIG");
    if (chosen != nullptr && *chosen != '\0') {
        return chosen; // named on purpose: a missing file is then an error
    }
    const std::string beside = folderOfThisLibrary() + "/SorvikC.json";
    return ::access(beside.c_str(), F_OK) == 0 ? beside : std::string();
}

bool parseConfiguration(const std::string& text, LibraryConfiguration& configuration, std::string& error) {
    const json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) {
        error = "not valid JSON";
        return false;
    }
    JsonReader reader(error);
    LibraryConfiguration result;
    // With a file, the simulated camera is offered only when asked for: a
    // station with a real camera must never fall back to pictures of nobody.
    result.simulator = false;
    if (!reader.onlyKeys(document, {"simulator", "genicam", "uvc"}, "the configuration") ||
        !reader.boolean(document, "simulator", result.simulator, "the configuration")) {
        return false;
    }
    auto genicam = document.find("genicam");
    if (genicam != document.end()) {
        result.genicam = true;
        if (!readGenicam(reader, *genicam, result.genicamCameras)) {
            return false;
        }
    }
    auto uvc = document.find("uvc");
    if (uvc != document.end()) {
        result.uvc = true;
        if (!readUvc(reader, *uvc, result.uvcCameras)) {
            return false;
        }
    }
    configuration = std::move(result);
    return true;
}

bool loadConfiguration(const std::string& path, LibraryConfiguration& configuration, std::string& error) {
    constexpr std::size_t largestConfigurationBytes = 1u << 20;
    std::string text;
    if (!readRegularTextFile(path, largestConfigurationBytes, text, error)) {
        return false;
    }
    return parseConfiguration(text, configuration, error);
}

} // namespace calidra::sorvik
