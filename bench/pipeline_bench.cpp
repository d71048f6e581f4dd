// Timings of the frame pipeline's stages on made-up scenes, one core. Each stage is a case run on
// every scene; a new stage (the whole processFrame behind a host that answers from the scene, say)
// is one more entry in stageCases(), with whatever it needs kept in BenchScene.
//
//   pipeline_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   pipeline_bench --benchmark_filter=/104/384x288/3people        the case the station is sized for

#include "literal_detection.h"
#include "synthetic_scene.h"

#include "pipeline/frame_buffers.h"
#include "pipeline/human_detection.h"
#include "pipeline/palette_rendering.h"
#include "pipeline/palettes.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace calidra::bench {
namespace {

// One scene with everything its stages work on, built once and kept for all cases.
struct BenchScene {
    explicit BenchScene(const SceneSpec& sceneSpec) : spec(sceneSpec), frame(makeSyntheticFrame(sceneSpec)) {
        buffers.allocate(spec.width, spec.height);
        settings.alarmCelsius = 37.5;
    }

    void intake() { benchmark::DoNotOptimize(intakeFrame(frame.record(), spec.format, buffers)); }

    void detect() {
        detector.detectAndMeasure(
            buffers, spec.format, settings, masks, [this] { return ++tick; }, results);
        benchmark::DoNotOptimize(results.trackingTemperature);
    }

    void detectLiterally() {
        literal.detectAndMeasure(buffers, spec.format, settings, masks, results);
        benchmark::DoNotOptimize(results.trackingTemperature);
    }

    void render() {
        cv::Mat& picture = buffers.renderImage;
        if (spec.format == PixelFormat::RgbCode32) {
            // Stands in for the camera library writing its own picture, then turned upright.
            std::memcpy(picture.data, frame.cameraPicture.data(), frame.cameraPicture.size());
            flipCameraPicture(picture);
        } else {
            renderOwnPalette(frame.record(), spec.format, paletteTable(0), picture);
        }
        benchmark::ClobberMemory();
    }

    // Empty when both detections agree and find every figure of the scene.
    std::string checkDetections() {
        intake();
        detect();
        const DetectionResults fast = results;
        detectLiterally();
        if (int(fast.detections.size()) != spec.people)
            return "found " + std::to_string(fast.detections.size()) + " of " + std::to_string(spec.people) +
                   " figures";
        for (std::size_t index = 0; index < fast.detections.size(); ++index) {
            const Detection& a = fast.detections[index];
            const Detection& b = results.detections.at(index);
            if (std::tie(a.left, a.top, a.right, a.bottom, a.temperature, a.alarm) !=
                std::tie(b.left, b.top, b.right, b.bottom, b.temperature, b.alarm))
                return "detection differs from the literal one";
        }
        return {};
    }

    SceneSpec spec;
    SyntheticFrame frame;
    FrameBuffers buffers;
    FrameSettings settings;
    maskfile::MaskRecords masks{};
    HumanDetector detector;
    LiteralDetector literal;
    DetectionResults results;
    uint32_t tick = 0;
};

BenchScene& sceneFor(const SceneSpec& spec) {
    static std::map<std::tuple<int, int, int, int>, std::unique_ptr<BenchScene>> scenes;
    auto& scene = scenes[{spec.width, spec.height, int(spec.format), spec.people}];
    if (!scene)
        scene = std::make_unique<BenchScene>(spec);
    return *scene;
}

struct StageCase {
    std::string name;
    // Brings the scene's buffers into the state the timed step expects.
    std::function<void(BenchScene&)> prepare;
    std::function<void(BenchScene&)> run;
};

std::vector<StageCase> stageCases() {
    const auto nothing = [](BenchScene&) {};
    const auto afterIntake = [](BenchScene& scene) { scene.intake(); };
    return {
        {"intake", nothing, [](BenchScene& scene) { scene.intake(); }},
        {"detection", afterIntake, [](BenchScene& scene) { scene.detect(); }},
        {"detection_reference", afterIntake, [](BenchScene& scene) { scene.detectLiterally(); }},
        {"rendering", nothing, [](BenchScene& scene) { scene.render(); }},
        {"frame", nothing,
         [](BenchScene& scene) {
             scene.intake();
             scene.detect();
             scene.render();
         }},
        {"frame_reference", nothing,
         [](BenchScene& scene) {
             scene.intake();
             scene.detectLiterally();
             scene.render();
         }},
    };
}

void registerAll() {
    const std::vector<cv::Size> sizes = {{384, 288}, {640, 512}, {1280, 1024}};
    const std::vector<PixelFormat> formats = {PixelFormat::Direct16, PixelFormat::RgbCode32};
    for (const StageCase& stage : stageCases())
        for (PixelFormat format : formats)
            for (const cv::Size& size : sizes)
                for (int people : {0, 3, 10}) {
                    const SceneSpec spec{size.width, size.height, format, people};
                    const std::string name = stage.name + "/" + std::to_string(int(format)) + "/" +
                                             std::to_string(size.width) + "x" + std::to_string(size.height) +
                                             "/" + std::to_string(people) + "people";
                    benchmark::RegisterBenchmark(name.c_str(), [stage, spec](benchmark::State& state) {
                        BenchScene& scene = sceneFor(spec);
                        const std::string problem = scene.checkDetections();
                        if (!problem.empty()) {
                            state.SkipWithError(problem.c_str());
                            return;
                        }
                        stage.prepare(scene);
                        for (auto _ : state)
                            stage.run(scene);
                        state.SetItemsProcessed(state.iterations());
                    })->Unit(benchmark::kMicrosecond);
                }
}

} // namespace
} // namespace calidra::bench

int main(int argc, char** argv) {
    // The station processes each frame on the camera's one callback thread.
    cv::setNumThreads(1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    calidra::bench::registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
