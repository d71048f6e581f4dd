// Timings of the frame pipeline's stages on made-up scenes, one core. Each stage is a case run on
// every scene; a new stage (the whole processFrame behind a host that answers from the scene, say)
// is one more entry in stageCases(), with whatever it needs kept in BenchScene.
//
//   pipeline_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   pipeline_bench --benchmark_filter=/104/384x288/3people        the case the station is sized for

#include "testsupport/literal_detection.h"
#include "synthetic_scene.h"

#include "camera/frame_record_decoding.h"

#include "pipeline/frame_buffers.h"
#include "pipeline/frame_pipeline.h"
#include "pipeline/people_tracker.h"
#include "pipeline/frame_settings.h"
#include "pipeline/human_detection.h"
#include "pipeline/intake_kernels.h"
#include "pipeline/overlays.h"
#include "pipeline/palette_rendering.h"
#include "pipeline/palettes.h"
#include "pipeline/snapshot_writer.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace calidra::bench {
namespace {

// The whole frame procedure's host, answering from the scene: the camera's picture for
// RgbCode32, the operator's usual values, a window whose show costs nothing and no stream server.
class SceneHost : public FramePipelineHost {
public:
    explicit SceneHost(const std::vector<unsigned char>& cameraPicture) : cameraPicture_(cameraPicture) {
        settings_.frame.detectionCelsius = 30.0;
        settings_.frame.alarmCelsius = 37.5;
        settings_.frame.alarmSavePeriodMs = 2000;
        settings_.frame.minimumRegionArea = 40;
    }
    uint32_t tickMs() override { return ++tick_; }
    int cameraRgbData(unsigned char* buffer, int bytes) override {
        std::memcpy(buffer, cameraPicture_.data(),
                    std::min<std::size_t>(std::size_t(bytes), cameraPicture_.size()));
        return 0;
    }
    bool cameraUserOffset(double& value) override {
        value = 0.0;
        return true;
    }
    OperatorSettings operatorSettings() override { return settings_; }
    void alarmChanged(bool) override {}
    void startAlarmSound(const std::string&) override {}
    void stopAlarmSound() override {}
    bool viewWindowExists() override { return true; }
    void showFrame(const cv::Mat& image, bool, const std::string&) override {
        benchmark::DoNotOptimize(image.data);
    }
    void offsetMeasured(const std::string&) override {}
    std::string programFolder() override { return "/nonexistent-bench-folder"; }

private:
    const std::vector<unsigned char>& cameraPicture_;
    OperatorSettings settings_;
    uint32_t tick_ = 0;
};

// One scene with everything its stages work on, built once and kept for all cases.
struct BenchScene {
    explicit BenchScene(const SceneSpec& sceneSpec)
        : spec(sceneSpec), frame(makeSyntheticFrame(sceneSpec)), host(frame.cameraPicture), pipeline(host) {
        buffers.allocate(spec.width, spec.height);
        settings.alarmCelsius = 37.5;
        pipeline.allocateBuffers(spec.width, spec.height);
        pipeline.setStreamSocketPath("/nonexistent-bench-folder/stream");
    }

    void processFrame() { pipeline.processFrame(frame.view()); }

    // The steps of the frame procedure with the detection as first described.
    void processFrameLiterally() {
        intake();
        detectLiterally();
        render();
        buffers.renderImage.copyTo(buffers.cleanCopy);
        drawOverlays(buffers.renderImage, results.detections, 1, TemperatureUnit::Celsius);
        benchmark::ClobberMemory();
    }

    void intake() { benchmark::DoNotOptimize(intakeFrame(frame.view(), buffers)); }

    // The intake's per-pixel work as the plain loop its vector form is tested against.
    void intakePlainly() {
        CodeRange range;
        const uint16_t ceilingCode = usesOffsetScale(spec.format) ? 1450 : 450; // 45 degrees
        takePixelsPlainly(spec.format, frame.pixels.data(), buffers.detectionImage.total(),
                          buffers.detectionImage.ptr<uint8_t>(), buffers.codePlane.ptr<uint16_t>(),
                          ceilingCode, range);
        benchmark::DoNotOptimize(range);
    }

    void detect() {
        detector.detectAndMeasure(
            buffers, spec.format, settings, masks, [this] { return ++tick; }, results);
        benchmark::DoNotOptimize(results.trackingTemperature);
    }

    // The frame's regions matched to the people followed; the same people stand still frame after frame.
    void follow() {
        finished.clear();
        tick += 33;
        PeopleTracker::FrameInput input{&results.detections,        spec.width,           spec.height, tick,
                                        settings.minimumRegionArea, settings.alarmCelsius};
        tracker.update(input, finished);
        benchmark::DoNotOptimize(finished.data());
    }

    void drawOverlaysWithFootprint() {
        overlayFootprint(results.detections, 1, TemperatureUnit::Celsius, buffers.renderImage.size(),
                         footprint);
        drawOverlays(buffers.renderImage, results.detections, 1, TemperatureUnit::Celsius);
        benchmark::DoNotOptimize(footprint.data());
        benchmark::ClobberMemory();
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
            renderOwnPalette(frame.view(), paletteTable(0), picture);
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
    SceneHost host;
    FramePipeline pipeline;
    FrameBuffers buffers;
    FrameSettings settings = emptyFieldFallbacks();
    maskfile::MaskRecords masks{};
    HumanDetector detector;
    test::LiteralDetector literal;
    DetectionResults results;
    PeopleTracker tracker;
    std::vector<PersonResult> finished;
    std::vector<cv::Rect> footprint;
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
        {"intake_plain", nothing, [](BenchScene& scene) { scene.intakePlainly(); }},
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
        // The rectangles and labels, with the footprint kept for the clean picture, as each frame
        // draws them: labels placed inside the picture and clear of each other.
        {"overlays",
         [](BenchScene& scene) {
             scene.intake();
             scene.detect();
             scene.render();
         },
         [](BenchScene& scene) { scene.drawOverlaysWithFootprint(); }},
        {"following_people",
         [](BenchScene& scene) {
             scene.intake();
             scene.detect();
             for (int frame = 0; frame < PeopleTracker::confirmFrames; ++frame)
                 scene.follow(); // everyone confirmed, as in a steady scene
         },
         [](BenchScene& scene) { scene.follow(); }},
        {"process_frame", nothing, [](BenchScene& scene) { scene.processFrame(); }},
        {"process_frame_reference", nothing, [](BenchScene& scene) { scene.processFrameLiterally(); }},
    };
}

// Encoding and writing one alarm snapshot of the station's usual frame size.
void snapshotJpeg(benchmark::State& state) {
    BenchScene& scene = sceneFor({384, 288, PixelFormat::Direct16, 3});
    scene.processFrame();
    const std::string path = "/tmp/pipeline_bench_snapshot.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(
            writeJpegAtomically(path, scene.pipeline.buffers().renderImage, snapshotJpegQuality));
    std::remove(path.c_str());
}

void registerAll() {
    const std::vector<cv::Size> sizes = {{384, 288}, {640, 512}, {1280, 1024}};
    const std::vector<PixelFormat> formats = {PixelFormat::Direct16, PixelFormat::RgbCode32};
    for (const StageCase& stage : stageCases())
        for (PixelFormat format : formats)
            for (const cv::Size& size : sizes)
                for (int people : {0, 3, 10}) {
                    const SceneSpec spec{size.width, size.height, format, people};
                    // Named by the camera's format code, as the guide's figures are.
                    const std::string name = stage.name + "/" + std::to_string(pixelFormatCode(format)) +
                                             "/" + std::to_string(size.width) + "x" +
                                             std::to_string(size.height) + "/" + std::to_string(people) +
                                             "people";
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
    benchmark::RegisterBenchmark("snapshot_jpeg/384x288", snapshotJpeg)->Unit(benchmark::kMicrosecond);
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
