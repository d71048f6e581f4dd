// The simulated camera's physics on its own: the drift, the reference source, walkers' paths, the
// crowd and the scenario keys that describe them.
#include "camera_drift.h"
#include "crowd.h"
#include "reference_source.h"
#include "scenario.h"
#include "scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace calidra::simulator;

namespace {

DriftSettings drift(double start, double settle, double ramp, double walk, double every, double residual) {
    DriftSettings settings;
    settings.startCelsius = start;
    settings.settleSeconds = settle;
    settings.rampCelsiusPerMinute = ramp;
    settings.walkCelsiusPerRootMinute = walk;
    settings.shutterEverySeconds = every;
    settings.shutterResidualCelsius = residual;
    return settings;
}

CameraScenario parsedCamera(const std::string& cameraJson) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(parseScenario(R"({ "cameras": [ )" + cameraJson + " ] }", "", scenario, error)) << error;
    return scenario.cameras.empty() ? CameraScenario{} : scenario.cameras[0];
}

} // namespace

TEST(CameraDriftTest, WarmUpRampAndShutterCyclesFollowTheFormula) {
    struct Case {
        const char* what;
        DriftSettings settings;
        std::vector<double> commanded;
        double seconds, expected;
    };
    const Case cases[] = {
        {"warm-up at power-on", drift(1.5, 480, 0, 0, 0, 0), {}, 0.0, 1.5},
        {"warm-up after one time constant", drift(1.5, 480, 0, 0, 0, 0), {}, 480.0, 0.551819},
        {"warm-up after two", drift(1.5, 480, 0, 0, 0, 0), {}, 960.0, 0.203003},
        {"ramp after five minutes", drift(0, 480, 0.02, 0, 0, 0), {}, 300.0, 0.1},
        {"ramp just before a timed cycle", drift(0, 480, 0.6, 0, 60, 0), {}, 59.0, 0.59},
        {"a timed cycle without residual restarts the ramp", drift(0, 480, 0.6, 0, 60, 0), {}, 90.0, 0.3},
        {"the timer restarts from a commanded cycle", drift(0, 480, 0.6, 0, 60, 0), {30.0}, 89.0, 0.59},
        {"warm-up goes on through shutter cycles", drift(1.5, 480, 0, 0, 60, 0), {}, 480.0, 0.551819},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CameraDrift cameraDrift(c.settings);
        for (double at : c.commanded) {
            cameraDrift.shutterCycle(at);
        }
        EXPECT_NEAR(cameraDrift.error(c.seconds), c.expected, 1e-6);
    }

    // A cycle pulls the error to a residual within its bound, from which the ramp starts again.
    CameraDrift cameraDrift(drift(0, 480, 0.6, 0, 60, 0.15));
    EXPECT_NEAR(cameraDrift.error(59.9), 0.599, 1e-9);
    const double residual = cameraDrift.error(60.0);
    EXPECT_LE(std::abs(residual), 0.15);
    EXPECT_NE(residual, 0.0);
    EXPECT_NEAR(cameraDrift.error(90.0), residual + 0.3, 1e-9);
    EXPECT_TRUE(cameraDrift.shutterClosed(60.4));
    EXPECT_FALSE(cameraDrift.shutterClosed(60.6));
    EXPECT_FALSE(cameraDrift.shutterClosed(10.0)) << "power-on is no shutter cycle";
    cameraDrift.shutterCycle(100.0);
    const double commanded = cameraDrift.error(100.0);
    EXPECT_LE(std::abs(commanded), 0.15);
    EXPECT_NE(commanded, residual) << "each cycle draws its own residual";
    EXPECT_TRUE(cameraDrift.shutterClosed(100.2));
    EXPECT_NEAR(cameraDrift.error(159.0), commanded + 0.59, 1e-9) << "the next timed cycle is at 160 s";
}

TEST(CameraDriftTest, TheRandomWalkGrowsWithTheRootOfTimeAndIsTheSameWhateverTheOrderOfQuestions) {
    // Cycles every minute without residual: the error a minute after each is the walk of one minute.
    const DriftSettings settings = drift(0, 480, 0, 0.6, 60, 0);
    CameraDrift forwards(settings), backwards(settings);
    std::vector<double> ends;
    for (int cycle = 0; cycle < 400; ++cycle) {
        ends.push_back(forwards.error(60.0 * cycle + 59.999));
    }
    double sumOfSquares = 0.0;
    for (double end : ends) {
        sumOfSquares += end * end;
    }
    EXPECT_NEAR(std::sqrt(sumOfSquares / double(ends.size())), 0.6, 0.1) << "0.6 degrees per root minute";
    for (int cycle = 399; cycle >= 0; cycle -= 7) {
        EXPECT_EQ(backwards.error(60.0 * cycle + 59.999), ends[std::size_t(cycle)]);
        EXPECT_EQ(backwards.error(60.0 * cycle + 12.5), forwards.error(60.0 * cycle + 12.5));
    }
}

TEST(CameraDriftTest, TheReadingAppliesGainDriftAndOffsetAroundTheAmbient) {
    const CameraReading reading{0.3, 0.2, 1.1};
    EXPECT_NEAR(reading.reported(36.0, 22.0), 22.0 + 14.0 * 1.1 + 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(reading.reported(22.0, 22.0), 22.5);
    std::vector<uint16_t> codes = {1360, 1220, 1000};
    applyReading(reading, 22.0, codes.data(), codes.size());
    EXPECT_EQ(codes, (std::vector<uint16_t>{1379, 1225, 983}));
}

TEST(SceneTest, TheReferenceSettlesAndAPersonStoppingOnItHidesIt) {
    const CameraScenario camera = parsedCamera(R"({ "width": 160, "height": 120, "noise": 0,
        "reference": { "x": 70, "y": 50, "w": 10, "h": 10, "temperature": 35.0, "settle": 5 },
        "people": [ { "enter": 100, "temperature": 37.0,
                      "path": [[0, 0.1, 0.55], [2, 0.46875, 0.4583], [5, 0.46875, 0.4583], [7, 0.9, 0.55]] } ],
        "events": [ { "at": 30, "reference": false }, { "at": 60, "reference": true },
                    { "at": 90, "referenceTemperature": 33.0 } ] })");
    ASSERT_EQ(camera.people.size(), 1u);
    EXPECT_DOUBLE_EQ(camera.people[0].leaveSeconds, 107.0) << "leaves at the path's last time";
    struct Case {
        double seconds, trueCelsius;
    };
    // Time constant 5 s: e^-1 of the way left after 5 s, e^-6 after 30 s.
    for (const Case& c : {Case{29, 35.0}, Case{35, 26.782433}, Case{60, 22.032224}, Case{65, 30.229422},
                          Case{95, 33.723934}}) {
        SCOPED_TRACE(c.seconds);
        EXPECT_NEAR(referenceTemperatureAt(camera, c.seconds), c.trueCelsius, 1e-5);
        std::vector<float> temperatures;
        drawScene(camera, CameraReading{}, c.seconds, 0, temperatures);
        EXPECT_NEAR(temperatures[55 * 160 + 75], c.trueCelsius, 1e-4);
        EXPECT_FLOAT_EQ(temperatures[0], 22.0f);
    }
    // The walker stands on the reference from 2 to 5 s after entering: its body hides it.
    double x = 0.0, y = 0.0, stoodX = 0.0, stoodY = 0.0;
    ASSERT_TRUE(personPosition(camera.people[0], 101.0, x, y));
    EXPECT_NEAR(x, (0.1 + 0.46875) / 2, 1e-9);
    ASSERT_TRUE(personPosition(camera.people[0], 102.0, stoodX, stoodY));
    for (double seconds : {103.0, 104.5, 105.0}) {
        ASSERT_TRUE(personPosition(camera.people[0], seconds, x, y));
        EXPECT_EQ(x, stoodX);
        EXPECT_EQ(y, stoodY);
        std::vector<float> temperatures;
        drawScene(camera, CameraReading{}, seconds, 0, temperatures);
        EXPECT_FLOAT_EQ(temperatures[55 * 160 + 75], 34.0f) << "the body (3 degrees below) in front";
    }
    EXPECT_TRUE(personPosition(camera.people[0], 106.99, x, y));
    EXPECT_FALSE(personPosition(camera.people[0], 107.0, x, y));
}

TEST(SceneTest, ACrowdIsTheSameEverywhereWithEveryNthFeverish) {
    Crowd crowd;
    crowd.count = 40;
    crowd.feverEvery = 10;
    const std::vector<Person> people = crowdPeople(crowd);
    ASSERT_EQ(people.size(), 40u);
    for (std::size_t i = 0; i < people.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(people[i].enterSeconds, 2.0 + 1.5 * double(i));
        EXPECT_DOUBLE_EQ(people[i].leaveSeconds - people[i].enterSeconds, 2.5);
        EXPECT_EQ(people[i].fromX < people[i].toX, i % 2 == 0) << "alternating directions";
        if (i % 10 == 0) {
            EXPECT_DOUBLE_EQ(people[i].temperatureCelsius, 38.1);
        } else {
            EXPECT_NEAR(people[i].temperatureCelsius, 36.6, 1.2) << "four deviations";
        }
    }
    // Drawn from the engine's raw numbers: any platform and library gives these.
    EXPECT_DOUBLE_EQ(people[1].temperatureCelsius, 36.73);
    EXPECT_DOUBLE_EQ(people[2].temperatureCelsius, 36.94);
}

TEST(ScenarioTest, PhysicsKeysWithWrongValuesFailWithOneLine) {
    struct Case {
        const char* camera;
        const char* error;
    };
    const Case cases[] = {
        {R"({ "drift": 3 })", "\"drift\" of camera 1 must be an object"},
        {R"({ "drift": { "sttle": 1 } })", "unknown key \"sttle\" in \"drift\" of camera 1"},
        {R"({ "drift": { "ramp": "fast" } })", "\"ramp\" in \"drift\" of camera 1 must be a number"},
        {R"({ "drift": { "settle": -1 } })", "must not be negative"},
        {R"({ "drift": { "gain": -1 } })", "\"gain\" in \"drift\" of camera 1 must be above -1"},
        {R"({ "drift": { "seed": 1.5 } })", "\"seed\" in \"drift\" of camera 1 must be an integer"},
        {R"({ "width": 100, "reference": { "x": 90, "w": 24 } })",
         "\"reference\" of camera 1 must lie inside"},
        {R"({ "reference": { "y": -1 } })", "\"reference\" of camera 1 must lie inside"},
        {R"({ "reference": { "settle": -5 } })",
         "\"settle\" in \"reference\" of camera 1 must not be negative"},
        {R"({ "events": [ { "at": 3, "reference": false } ] })", "changes the reference"},
        {R"({ "reference": {}, "events": [ { "at": 3, "reference": "off" } ] })", "must be true or false"},
        {R"({ "people": [ { "path": [[0, 0.1, 0.5], [0, 0.2, 0.5]] } ] })",
         "\"path\" in camera 1 person 1 must rise"},
        {R"({ "people": [ { "path": [[0, 0.1, 0.5], [1, 0.2]] } ] })", "at least two [seconds, x, y]"},
        {R"({ "people": [ { "path": [[0, 0.1, 0.5]] } ] })", "at least two [seconds, x, y]"},
        {R"({ "people": [ { "from": [0, 0], "path": [[0, 0.1, 0.5], [1, 0.2, 0.5]] } ] })", "replaces"},
        {R"({ "people": [ { "enter": 5, "leave": 4, "path": [[0, 0.1, 0.5], [1, 0.2, 0.5]] } ] })",
         "\"leave\" must come after \"enter\""},
        {R"({ "crowd": { "every": 0 } })", "\"every\" and \"walk\" in \"crowd\" of camera 1 must be above 0"},
        {R"({ "crowd": { "walk": -2 } })", "must be above 0"},
        {R"({ "crowd": { "count": -1 } })", "\"count\" in \"crowd\" of camera 1 must be 0 to 100000"},
        {R"({ "crowd": { "feverEvery": -1 } })", "must not be negative"},
        {R"({ "crowd": { "size": 4 } })", "unknown key \"size\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(
            parseScenario(std::string(R"({ "cameras": [ )") + c.camera + " ] }", "", scenario, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    const CameraScenario camera = parsedCamera(R"({ "drift": {}, "reference": {}, "crowd": { "count": 3 },
        "people": [ { "enter": 0, "leave": 1 } ] })");
    ASSERT_TRUE(camera.drift && camera.reference);
    EXPECT_EQ(camera.drift->shutterEverySeconds, 300.0) << "the documented defaults";
    EXPECT_EQ(camera.reference->x, 340);
    EXPECT_EQ(camera.people.size(), 4u) << "a crowd adds to the people";
}
