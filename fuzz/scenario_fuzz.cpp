// The simulated camera's scenario files: any text, accepted only when every value checks out.
#include "scenario.h"

#include <cstdint>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A folder with one replay of three 4 x 2 frames, so replays of the right and wrong sizes load.
const std::string& replayFolder() {
    static const std::string folder = [] {
        char name[] = "/tmp/calidra-fuzz-scenario-XXXXXX";
        if (mkdtemp(name) == nullptr)
            abort();
        FILE* file = std::fopen((std::string(name) + "/frames.raw").c_str(), "wb");
        if (file == nullptr)
            abort();
        for (int pixel = 0; pixel < 24; ++pixel) {
            const unsigned char code[2] = {0x14, 0x05};
            std::fwrite(code, 1, 2, file);
        }
        std::fclose(file);
        return std::string(name);
    }();
    return folder;
}

// Paths outside the replay folder could name devices that never end; the parser is the target.
bool leavesReplayFolder(const std::string& text) {
    return text.find('/') != std::string::npos || text.find("\\u") != std::string::npos ||
           text.find("\\/") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (leavesReplayFolder(text))
        return 0;
    calidra::simulator::Scenario scenario;
    std::string error;
    const bool accepted = calidra::simulator::parseScenario(text, replayFolder(), scenario, error);
    if (accepted == !error.empty() && !accepted)
        abort();
    if (accepted) {
        for (const calidra::simulator::CameraScenario& camera : scenario.cameras) {
            if (camera.width <= 0 || camera.height <= 0)
                abort();
            std::vector<uint16_t> codes;
            if (camera.replay && (!camera.replay->readFrame(0, codes) ||
                                  codes.size() != std::size_t(camera.width) * std::size_t(camera.height)))
                abort();
        }
    }
    return 0;
}
