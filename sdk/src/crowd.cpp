#include "crowd.h"

#include <cmath>
#include <random>

namespace calidra::simulator {

namespace {

// A standard normal value by Box–Muller from the engine's raw output: std::normal_distribution's
// algorithm differs between standard libraries, and a scenario must give the same people everywhere.
double standardNormal(std::mt19937& engine) {
    constexpr double twoToThe32 = 4294967296.0;
    const double first = (double(engine()) + 0.5) / twoToThe32; // in (0, 1): its logarithm is finite
    const double second = double(engine()) / twoToThe32;
    return std::sqrt(-2.0 * std::log(first)) * std::cos(2.0 * M_PI * second);
}

} // namespace

std::vector<Person> crowdPeople(const Crowd& crowd) {
    std::mt19937 engine(crowd.seed);
    std::vector<Person> people;
    people.reserve(std::size_t(crowd.count));
    for (int i = 0; i < crowd.count; ++i) {
        Person person;
        person.enterSeconds = crowd.startSeconds + crowd.everySeconds * i;
        person.leaveSeconds = person.enterSeconds + crowd.walkSeconds;
        // Every draw is made, feverish or not, so that changing feverEvery leaves the others alone.
        const double drawn = crowd.meanCelsius + crowd.deviationCelsius * standardNormal(engine);
        const bool feverish = crowd.feverEvery > 0 && i % crowd.feverEvery == 0;
        // To a hundredth, as a thermometer would tell it.
        person.temperatureCelsius =
            std::round((feverish ? crowd.meanCelsius + crowd.feverCelsius : drawn) * 100.0) / 100.0;
        const bool leftToRight = i % 2 == 0;
        person.fromX = leftToRight ? -0.1 : 1.1;
        person.toX = leftToRight ? 1.1 : -0.1;
        people.push_back(person);
    }
    return people;
}

} // namespace calidra::simulator
