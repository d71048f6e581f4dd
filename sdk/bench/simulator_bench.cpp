// What the simulated camera costs per frame on its own, without the station: the scene drawn as
// temperature codes, the pixels laid out in format 110, and the camera's false-colour picture the
// station fetches for that format. Beside each, the way it was first written (every pixel's noise
// hashed and converted from a float, the palette interpolated per pixel) as a yardstick.
#include "camera_palettes.h"
#include "camera_picture.h"
#include "scene.h"
#include "scene_picture.h"

#include "svk.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace calidra::simulator;
using namespace calidra::sorvik;

// Ten people standing apart across the frame, one of them feverish, in the room's noise.
CameraScenario tenPeople(int width, int height) {
    CameraScenario camera;
    camera.width = width;
    camera.height = height;
    camera.fps = 60;
    for (int i = 0; i < 10; ++i) {
        Person person;
        person.enterSeconds = 0.0;
        person.leaveSeconds = 1000.0;
        person.temperatureCelsius = i == 7 ? 38.4 : 36.0 + 0.1 * i;
        person.fromX = 0.05 + 0.095 * i;
        person.toX = person.fromX + 0.02;
        person.fromY = person.toY = 0.55;
        person.heightFraction = 0.5;
        camera.people.push_back(person);
    }
    return camera;
}

void referenceScene(const CameraScenario& camera, uint64_t frame, std::vector<float>& temperatures,
                    std::vector<uint16_t>& codes) {
    drawScene(camera, 0.0, 1.0 + frame / 60.0, frame, temperatures);
    codes.resize(temperatures.size());
    for (std::size_t i = 0; i < temperatures.size(); ++i)
        codes[i] = offsetCode(temperatures[i]);
}

void referencePicture(const std::vector<uint16_t>& codes, std::size_t width, std::size_t height,
                      unsigned char* bgr) {
    for (std::size_t y = 0; y < height; ++y) {
        const uint16_t* row = codes.data() + (height - 1 - y) * width;
        for (std::size_t x = 0; x < width; ++x) {
            const int index = std::clamp((int(row[x]) - 1180) * 255 / 220, 0, 255);
            cameraPaletteColour(3, index, bgr + (y * width + x) * 3);
        }
    }
}

// One frame as the simulator makes it for format 110, the camera's picture included.
struct Frame {
    explicit Frame(const CameraScenario& scene)
        : camera(scene), pixelCount(std::size_t(scene.width) * std::size_t(scene.height)),
          picture(pixelCount * 3) {}
    void make(uint64_t index) {
        drawer.draw(camera, 0.0, 1.0 + index / 60.0, index, codes);
        layoutFramePixels(codes.data(), pixelCount, SVK_PIXEL_FORMAT_RGB_CODE32, pixels);
        renderer.render(drawer.layout(), std::size_t(camera.width), std::size_t(camera.height), 3,
                        picture.data());
    }
    void makeAsFirstWritten(uint64_t index) {
        referenceScene(camera, index, temperatures, codes);
        layoutFramePixels(codes.data(), pixelCount, SVK_PIXEL_FORMAT_RGB_CODE32, pixels);
        referencePicture(codes, std::size_t(camera.width), std::size_t(camera.height), picture.data());
    }

    CameraScenario camera;
    std::size_t pixelCount;
    SceneCodeDrawer drawer;
    ScenePictureRenderer renderer;
    std::vector<float> temperatures;
    std::vector<uint16_t> codes;
    std::vector<uint8_t> pixels;
    std::vector<unsigned char> picture;
};

// Both ways must give the same frame before either is timed: the same people and objects (the
// noise of the background is drawn differently), and the picture made from the frame's layout the
// same as the one made from every code.
bool sameFrames(const CameraScenario& camera) {
    CameraScenario still = camera;
    still.noiseCelsius = 0.0;
    Frame fast(still), reference(still);
    Frame noisy(camera);
    for (uint64_t index = 0; index < 3; ++index) {
        fast.make(index);
        reference.makeAsFirstWritten(index);
        noisy.make(index);
        std::vector<unsigned char> picture(noisy.picture.size());
        referencePicture(noisy.codes, std::size_t(camera.width), std::size_t(camera.height), picture.data());
        if (fast.codes != reference.codes || fast.picture != reference.picture || noisy.picture != picture)
            return false;
    }
    return true;
}

void wholeFrame(benchmark::State& state, bool asFirstWritten) {
    const CameraScenario camera = tenPeople(int(state.range(0)), int(state.range(1)));
    if (!sameFrames(camera)) {
        state.SkipWithError("the two ways draw different frames");
        return;
    }
    Frame frame(camera);
    uint64_t index = 0;
    for (auto _ : state) {
        if (asFirstWritten)
            frame.makeAsFirstWritten(index++);
        else
            frame.make(index++);
        benchmark::DoNotOptimize(frame.picture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations())); // items per second: frames per second
}

void scene(benchmark::State& state, bool asFirstWritten) {
    const CameraScenario camera = tenPeople(int(state.range(0)), int(state.range(1)));
    SceneCodeDrawer drawer;
    std::vector<float> temperatures;
    std::vector<uint16_t> codes;
    uint64_t index = 0;
    for (auto _ : state) {
        if (asFirstWritten)
            referenceScene(camera, index, temperatures, codes);
        else
            drawer.draw(camera, 0.0, 1.0 + index / 60.0, index, codes);
        ++index;
        benchmark::DoNotOptimize(codes.data());
        benchmark::ClobberMemory();
    }
}

void picture(benchmark::State& state, bool asFirstWritten) {
    const CameraScenario camera = tenPeople(int(state.range(0)), int(state.range(1)));
    std::vector<uint16_t> codes;
    SceneCodeDrawer drawer;
    drawer.draw(camera, 0.0, 1.0, 0, codes);
    ScenePictureRenderer renderer;
    std::vector<unsigned char> bgr(codes.size() * 3);
    for (auto _ : state) {
        if (asFirstWritten)
            referencePicture(codes, std::size_t(camera.width), std::size_t(camera.height), bgr.data());
        else
            renderer.render(drawer.layout(), std::size_t(camera.width), std::size_t(camera.height), 3,
                            bgr.data());
        benchmark::DoNotOptimize(bgr.data());
        benchmark::ClobberMemory();
    }
}

void layout(benchmark::State& state) {
    const CameraScenario camera = tenPeople(int(state.range(0)), int(state.range(1)));
    std::vector<uint16_t> codes;
    SceneCodeDrawer().draw(camera, 0.0, 1.0, 0, codes);
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        layoutFramePixels(codes.data(), codes.size(), SVK_PIXEL_FORMAT_RGB_CODE32, pixels);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

void sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({384, 288})->Args({1280, 1024})->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(wholeFrame, fast, false)->Apply(sizes);
BENCHMARK_CAPTURE(wholeFrame, asFirstWritten, true)->Apply(sizes);
BENCHMARK_CAPTURE(scene, fast, false)->Apply(sizes);
BENCHMARK_CAPTURE(scene, asFirstWritten, true)->Apply(sizes);
BENCHMARK_CAPTURE(picture, fast, false)->Apply(sizes);
BENCHMARK_CAPTURE(picture, asFirstWritten, true)->Apply(sizes);
BENCHMARK(layout)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
