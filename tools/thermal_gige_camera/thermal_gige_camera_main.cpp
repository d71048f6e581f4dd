// thermal-gige-camera: a thermal GigE Vision camera for tests and demonstrations.
// Serves the first camera of a simulator scenario over the real protocol
// through Aravis's fake GigE Vision camera: Mono16 counts in kelvin x 100,
// with the GenICam features IRFormat and NUCAction.
#include "scenario.h"
#include "thermal_description.h"
#include "thermal_frame_source.h"

#include <arv.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using calidra::thermalcamera::ThermalFrameSource;

struct Options {
    std::string address = "127.0.0.1";
    std::string serial = "16F0B001";
    std::string scenarioPath;
    double lostRatio = 0.0;
    bool holdIdentity = false; // for tests: a camera caught while it boots
};

// GigE Vision bootstrap registers the fake camera fills in for itself.
constexpr guint32 kManufacturerNameRegister = 0x0048;
constexpr guint32 kModelNameRegister = 0x0068;
constexpr guint32 kUserDefinedNameRegister = 0x00e8;
constexpr uint16_t kControlPort = 3956;

int usage() {
    std::fprintf(stderr, "usage: thermal-gige-camera [--address 127.0.0.1] [--serial 16F0B001] "
                         "[--scenario FILE] [--lost-ratio FRACTION] [--hold-identity]\n");
    return 2;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--hold-identity") {
            options.holdIdentity = true;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const std::string value = argv[++i];
        if (option == "--address") {
            options.address = value;
        } else if (option == "--serial") {
            options.serial = value;
        } else if (option == "--scenario") {
            options.scenarioPath = value;
        } else if (option == "--lost-ratio") {
            char* end = nullptr;
            options.lostRatio = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' ||
                !(options.lostRatio >= 0.0 && options.lostRatio < 1.0)) {
                return false;
            }
        } else {
            return false;
        }
    }
    // The serial number register holds 16 bytes with the terminating zero.
    return !options.serial.empty() && options.serial.size() < 16;
}

// The fake camera only warns when its control port is taken; say it plainly instead.
bool controlPortFree(const std::string& address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(kControlPort);
    if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1) {
        return true; // an interface name: the fake camera resolves it
    }
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    const bool free =
        probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) == 0;
    if (probe >= 0) {
        ::close(probe);
    }
    return free;
}

// Aravis reads its description from a file: the thermal one goes into a temporary file.
std::string writeDescription(const std::string& serial) {
    ArvFakeCamera* plain = arv_fake_camera_new(serial.c_str());
    size_t size = 0;
    const char* xml = arv_fake_camera_get_genicam_xml(plain, &size);
    const std::string description =
        calidra::thermalcamera::thermalDescription(xml != nullptr ? std::string(xml, size) : std::string());
    g_object_unref(plain);
    if (description.empty()) {
        return {};
    }
    std::string path = std::string(g_get_tmp_dir()) + "/thermal-gige-camera-XXXXXX";
    const int file = ::mkstemp(path.data());
    if (file < 0) {
        return {};
    }
    const bool written = ::write(file, description.data(), description.size()) == ssize_t(description.size());
    ::close(file);
    if (!written) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

void writeText(ArvFakeCamera* camera, guint32 address, guint32 length, const std::string& text) {
    std::string field(length, '\0');
    field.replace(0, std::min<std::size_t>(text.size(), length - 1), text.substr(0, length - 1));
    arv_fake_camera_write_memory(camera, address, length, field.data());
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return usage();
    }
    calidra::simulator::Scenario scenario;
    if (options.scenarioPath.empty()) {
        scenario = calidra::simulator::defaultScenario();
    } else {
        std::string error;
        if (!calidra::simulator::loadScenario(options.scenarioPath, scenario, error)) {
            std::fprintf(stderr, "thermal-gige-camera: scenario file %s: %s\n", options.scenarioPath.c_str(),
                         error.c_str());
            return 1;
        }
    }
    if (scenario.cameras.empty()) {
        std::fprintf(stderr, "thermal-gige-camera: the scenario has no camera\n");
        return 1;
    }
    const calidra::simulator::CameraScenario& camera = scenario.cameras.front();
    if (!controlPortFree(options.address)) {
        std::fprintf(stderr, "thermal-gige-camera: %s:%u is in use: one camera per address\n",
                     options.address.c_str(), kControlPort);
        return 1;
    }

    // SIGINT and SIGTERM are taken by sigwait below; Aravis's threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t blocked = stopSignals;
    sigaddset(&blocked, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    const std::string descriptionPath = writeDescription(options.serial);
    if (descriptionPath.empty()) {
        std::fprintf(stderr, "thermal-gige-camera: cannot build the camera's GenICam description\n");
        return 1;
    }
    ArvGvFakeCamera* gvCamera =
        arv_gv_fake_camera_new_full(options.address.c_str(), options.serial.c_str(), descriptionPath.c_str());
    ::unlink(descriptionPath.c_str()); // read while the camera was made
    if (gvCamera == nullptr || !arv_gv_fake_camera_is_running(gvCamera)) {
        std::fprintf(stderr, "thermal-gige-camera: cannot serve on %s\n", options.address.c_str());
        return 1;
    }
    g_object_set(gvCamera, "gvsp-lost-ratio", options.lostRatio, nullptr);

    int received = 0;
    if (options.holdIdentity) {
        // Answers as the fake camera it is built on until told: how a camera may look while booting.
        std::printf("thermal-gige-camera: holds its vendor and model until SIGUSR1\n");
        std::fflush(stdout);
        sigwait(&blocked, &received);
    }
    ArvFakeCamera* fake = arv_gv_fake_camera_get_fake_camera(gvCamera);
    writeText(fake, kManufacturerNameRegister, 32, "Calidra");
    writeText(fake, kModelNameRegister, 32, camera.model);
    writeText(fake, kUserDefinedNameRegister, 16, camera.label);
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_SENSOR_WIDTH, guint32(camera.width));
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_SENSOR_HEIGHT, guint32(camera.height));
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_WIDTH, guint32(camera.width));
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_HEIGHT, guint32(camera.height));
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_PIXEL_FORMAT, ARV_PIXEL_FORMAT_MONO_16);
    arv_fake_camera_write_register(fake, ARV_FAKE_CAMERA_REGISTER_ACQUISITION_FRAME_PERIOD_US,
                                   guint32(std::lround(1e6 / camera.fps)));
    arv_fake_camera_write_register(fake, calidra::thermalcamera::kIrFormatRegister,
                                   calidra::thermalcamera::kIrFormatLinear10mK);
    ThermalFrameSource source(camera, fake);
    arv_fake_camera_set_fill_pattern(fake, &ThermalFrameSource::fillPattern, &source);

    // Printed once it answers with its vendor and model, which it lacks from the moment it serves
    // until here: tests wait for this line.
    std::printf("thermal-gige-camera: %s \"%s\" %s, %d x %d at %g frames/s, on %s\n", options.serial.c_str(),
                camera.label.c_str(), camera.model.c_str(), camera.width, camera.height, camera.fps,
                options.address.c_str());
    std::fflush(stdout);

    if (received != SIGINT && received != SIGTERM) {
        sigwait(&stopSignals, &received);
    }
    // Ends the camera's thread before the frame source goes.
    g_object_unref(gvCamera);
    arv_shutdown();
    std::printf("thermal-gige-camera: stopped\n");
    return 0;
}
