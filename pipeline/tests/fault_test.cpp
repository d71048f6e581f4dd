// The frame pipeline under faults of its surroundings: an alarm folder it cannot use, a disk
// that fills up mid-file, a mask file rewritten while frames run or replaced by a FIFO.

#include "pipeline/frame_pipeline.h"
#include "pipeline/palette_rendering.h"
#include "pipeline/palettes.h"
#include "pipeline/snapshot_writer.h"

#include "testsupport/fake_pipeline_host.h"

#include "files/file_io.h"
#include "files/station_layout.h"
#include "maskfile/maskinfo.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace calidra {
namespace {

namespace fs = std::filesystem;

class FaultTest : public ::testing::Test {
protected:
    FaultTest() : folder(fs::temp_directory_path() / ("pipeline-faults-" + std::to_string(::getpid()))) {
        fs::remove_all(folder);
        fs::create_directories(folder / "Zonara");
        host.folder = folder.string();
        host.tickStepMs = 200;
        host.settings.alarmEvent = 1;
        host.settings.frame.alarmSavePeriodMs = 0;
        pipeline.allocateBuffers(96, 80);
        feverish.fill(30, 10, 20, 50, 382);
    }
    ~FaultTest() override { fs::remove_all(folder); }

    std::size_t entriesIn(const fs::path& where) const {
        std::size_t count = 0;
        for (auto it = fs::directory_iterator(where); it != fs::directory_iterator(); ++it)
            ++count;
        return count;
    }

    fs::path folder;
    FakePipelineHost host;
    FramePipeline pipeline{host};
    PixelFrame feverish{96, 80, PixelFormat::Direct16, 250};
};

TEST_F(FaultTest, FileInPlaceOfTheAlarmFolderSkipsSnapshotsButNotTheAlarm) {
    std::ofstream(folder / "ThermalAlarm") << "not a folder";
    for (int frame = 0; frame < 5; ++frame)
        pipeline.processFrame(feverish.view());
    EXPECT_TRUE(pipeline.alarmOn());
    EXPECT_EQ(host.alarmChanges, std::vector<bool>{true});
    EXPECT_TRUE(pipeline.personPresent());
    EXPECT_EQ(host.shownFrames.size(), 5u);
    EXPECT_TRUE(fs::is_regular_file(folder / "ThermalAlarm"));
    EXPECT_EQ(entriesIn(folder), 2u); // the file and Zonara/, nothing half-written beside them
}

TEST_F(FaultTest, FullDiskLeavesNoPartialPictureUnderTheFinalName) {
    const fs::path target = folder / "big.jpg";
    cv::Mat noise(1024, 1280, CV_8UC3);
    cv::randu(noise, 0, 256); // compresses badly: far more than the limit below
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A disk with 64 KiB left: writes past that fail.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = writeJpegAtomically(target.string(), noise, 80);
        ::_exit(written ? 1 : errno == EFBIG ? 0 : 2); // the caller learns why
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << (WEXITSTATUS(status) == 1 ? "the write reported success" : "errno lost");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(entriesIn(folder), 1u); // only Zonara/: the temporary file is gone too
}

TEST_F(FaultTest, MaskFileRewrittenWhileFramesRunIsAlwaysReadWhole) {
    const std::string path = files::stationMaskFilePath(folder.string());
    maskfile::MaskRecords covering{};
    covering[0] = MaskInfo{0, 1, 25, 5, 30, 60, 96, 80};
    const maskfile::FileBytes on = maskfile::encodeRecords(covering);
    covering[0].bEnabled = 0;
    const maskfile::FileBytes off = maskfile::encodeRecords(covering);

    std::atomic<bool> done{false};
    std::thread editor([&] {
        for (int write = 0; !done.load(); ++write) {
            const maskfile::FileBytes& bytes = write % 2 == 0 ? on : off;
            files::writeFileAtomically(path, bytes.data(), bytes.size());
        }
    });
    // At least 400 frames, and on until both files were met (bounded: the editor rewrites all along).
    int masked = 0;
    int seen = 0;
    for (int frame = 0; frame < 20000 && (frame < 400 || masked == 0 || seen == 0); ++frame) {
        pipeline.processFrame(feverish.view());
        (pipeline.personPresent() ? seen : masked) += 1;
        // Whole files only: the person is either fully there or fully masked.
        if (pipeline.personPresent()) {
            ASSERT_EQ(pipeline.detectionResults().detections.size(), 1u);
            EXPECT_EQ(pipeline.detectionResults().detections[0].left, 30);
        }
    }
    done.store(true);
    editor.join();
    EXPECT_GT(masked, 0);
    EXPECT_GT(seen, 0);
    for (const auto& entry : fs::directory_iterator(folder / "Zonara"))
        EXPECT_EQ(entry.path().filename(), "maskinfo.cfg"); // no temporary left behind
}

// The mask editor asks for the clean picture while frames are being drawn: it gets the picture
// without overlays, whole, every time.
TEST_F(FaultTest, CleanPictureTakenWhileFramesRunNeverCarriesAnOverlay) {
    host.windowExists = false;
    host.settings.alarmEvent = 0;
    cv::Mat expected(80, 96, CV_8UC3);
    ASSERT_TRUE(renderOwnPalette(feverish.view(), paletteTable(0), expected));

    std::atomic<bool> done{false};
    std::thread frames([&] {
        for (int frame = 0; frame < 300; ++frame)
            pipeline.processFrame(feverish.view());
        done.store(true);
    });
    int drawn = 0;
    int differing = 0;
    const auto take = [&] {
        pipeline.withCleanCopy([&](const cv::Mat& clean) {
            // Black only before the first frame was drawn.
            if (cv::countNonZero(clean.reshape(1)) == 0)
                return;
            ++drawn;
            differing += cv::countNonZero(cv::Mat(clean != expected).reshape(1)) != 0 ? 1 : 0;
        });
    };
    for (int taken = 0; taken < 200000 && !done.load(); ++taken)
        take();
    frames.join();
    take();
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(differing, 0) << "of " << drawn;
    // The overlays are in the shown picture all the same.
    EXPECT_NE(cv::countNonZero(cv::Mat(pipeline.buffers().renderImage != expected).reshape(1)), 0);
}

TEST_F(FaultTest, MaskFileThatIsNoWholeRegularFileMeansNoMasksReportedOncePerChange) {
    const std::string path = files::stationMaskFilePath(folder.string());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    // A frame waiting on the FIFO is freed by a writer opening its other end: the test then fails
    // instead of hanging.
    std::atomic<bool> finished{false};
    std::atomic<int> rescues{0};
    std::thread rescuer([&] {
        while (!finished.load()) {
            // A period, not a wait for an event: how soon a stuck open is freed and the rescuer ends.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            // Only a FIFO counts: the test later puts a regular file in its place.
            const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            struct stat opened {};
            if (writer >= 0 && ::fstat(writer, &opened) == 0 && S_ISFIFO(opened.st_mode))
                rescues.fetch_add(1);
            if (writer >= 0)
                ::close(writer);
        }
    });
    maskfile::MaskRecords covering{};
    covering[0] = MaskInfo{0, 1, 25, 5, 30, 60, 96, 80};
    const maskfile::FileBytes whole = maskfile::encodeRecords(covering);
    const auto framesSeePerson = [&](int frames) {
        bool seen = true;
        for (int frame = 0; frame < frames; ++frame) {
            pipeline.processFrame(feverish.view());
            seen = seen && pipeline.personPresent();
        }
        return seen;
    };

    EXPECT_TRUE(framesSeePerson(3));
    ASSERT_TRUE(files::writeFileAtomically(path, whole.data(), whole.size()));
    EXPECT_FALSE(framesSeePerson(1));
    EXPECT_TRUE(pipeline.detectionResults().detections.empty());
    ASSERT_TRUE(files::writeFileAtomically(path, whole.data(), 48)); // three records only
    EXPECT_TRUE(framesSeePerson(2));
    fs::remove(path);
    EXPECT_TRUE(framesSeePerson(2));
    finished.store(true);
    rescuer.join();

    EXPECT_EQ(rescues.load(), 0) << "a frame waited on the FIFO";
    using State = maskfile::MaskFileState;
    EXPECT_EQ(host.maskFileChanges,
              (std::vector<State>{State::NotRegularFile, State::Read, State::WrongSize, State::Missing}));
}

} // namespace
} // namespace calidra
