// SorvikC.json: which cameras the library offers, and how a bad file is reported.
#include "svk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class LibraryConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/library_configuration_test.XXXXXX";
        folder_ = ::mkdtemp(pattern);
        path_ = folder_ + "/SorvikC.json";
        ::unsetenv("SORVIK_SIM_SCENARIO");
    }
    void TearDown() override {
        svkUninit();
        ::unsetenv("SORVIK_CONFIG");
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    int startWith(const std::string& json) {
        std::ofstream(path_, std::ios::binary) << json;
        ::setenv("SORVIK_CONFIG", path_.c_str(), 1);
        return svkInit();
    }

    int cameraCount() {
        int count = -1;
        EXPECT_EQ(svkGetCameraCount(&count), 0);
        return count;
    }

    std::string folder_;
    std::string path_;
};

} // namespace

TEST_F(LibraryConfigurationTest, AMistakeFailsStartUpWithOneLineNamingTheFileAndTheKey) {
    struct Case {
        const char* json;
        const char* named;
    };
    const Case cases[] = {
        {R"({ "simulator": true, "genicams": {} })", "\"genicams\""},
        {R"({ "genicam": { "adresses": ["127.0.0.1"] } })", "\"adresses\""},
        {R"({ "genicam": { "discover": "yes" } })", "\"discover\""},
        {R"({ "genicam": { "addresses": [127] } })", "\"addresses\""},
        {R"({ "genicam": { "cameras": [ { "kelvinPerKount": 0.01 } ] } })", "\"kelvinPerKount\""},
        {R"({ "genicam": { "cameras": [ { "match": { "serialNumber": "1" } } ] } })", "\"serialNumber\""},
        {R"({ "genicam": { "cameras": [ { "features": [ ["PixelFormat"] ] } ] } })", "\"features\""},
        {R"({ "genicam": { "cameras": [ {}, { "kelvinPerCount": 0 } ] } })", "camera 2"},
        {R"({ "genicam": { "answerWaitMilliseconds": 0 } })",
         "\"answerWaitMilliseconds\" in \"genicam\" must be"},
        {R"({ "genicam": { "listPeriodMilliseconds": 2.5 } })", "\"listPeriodMilliseconds\""},
        {R"({ "simulator": 1 })", "\"simulator\""},
        {R"({ "uvc": { "device": ["/dev/video0"] } })", "\"device\" in \"uvc\""},
        {R"({ "uvc": { "devices": ["video0"] } })", "absolute paths"},
        {R"({ "genicam": )", "not valid JSON"},
        // Only one camera's unicast address: a name, a port or an address that reaches more than one
        // host would have the library broadcast.
        {R"({ "genicam": { "addresses": ["camera.invalid"] } })", "\"camera.invalid\" is not"},
        {R"({ "genicam": { "addresses": ["127.0.0.1", "::1"] } })", "\"::1\" is not"},
        {R"({ "genicam": { "addresses": ["127.0.0.1:3956"] } })", "\"127.0.0.1:3956\" is not"},
        {R"({ "genicam": { "addresses": ["224.0.0.1"] } })", "\"224.0.0.1\" is not"},
        {R"({ "genicam": { "addresses": ["0.0.0.0"] } })", "\"0.0.0.0\" is not"},
        {R"({ "genicam": { "addresses": ["255.255.255.255"] } })", "\"255.255.255.255\" is not"},
        {R"({ "genicam": { "addresses": ["127.1"] } })", "\"127.1\" is not"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        testing::internal::CaptureStderr();
        EXPECT_NE(startWith(c.json), 0);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_EQ(printed.rfind("svkInit: configuration file " + path_ + ": ", 0), 0u) << printed;
        EXPECT_NE(printed.find(c.named), std::string::npos) << printed;
        int count = 0;
        EXPECT_NE(svkGetCameraCount(&count), 0) << "the library stays down";
    }
    ::setenv("SORVIK_CONFIG", (folder_ + "/absent.json").c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_NE(svkInit(), 0) << "a file named on purpose must exist";
    EXPECT_NE(testing::internal::GetCapturedStderr().find("absent.json: cannot be read"), std::string::npos);
}

TEST_F(LibraryConfigurationTest, TheSimulatedCameraIsOfferedOnlyWhenTheFileAsksForIt) {
    // Without addresses and discovery the GenICam side never touches the network.
    ASSERT_EQ(startWith(R"({ "genicam": { "addresses": [], "discover": false } })"), 0);
    EXPECT_EQ(cameraCount(), 0) << "a station with real cameras never falls back to a simulated one";
    svkUninit();

    ASSERT_EQ(startWith(R"({ "simulator": true, "genicam": { "cameras": [ { "match": { "model": "X" },
        "features": [ ["PixelFormat", "Mono16"], ["Gain", 2], ["ReverseX", false] ],
        "kelvinPerCount": 0.04, "nucCommand": "NUCAction" } ] } })"),
              0);
    ASSERT_EQ(cameraCount(), 1);
    SvkCameraInfo record;
    ASSERT_EQ(svkGetCameraInfo(&record, 1), 0);
    EXPECT_STREQ(record.identity, "16F0A001");
    svkUninit();

    ::unsetenv("SORVIK_CONFIG");
    ASSERT_EQ(svkInit(), 0);
    EXPECT_EQ(cameraCount(), 1) << "no file: the simulated camera alone";
}
