#pragma once
// A crowd of a scenario camera: the walkers it adds to the camera's people.

#include "scenario.h"

#include <vector>

namespace calidra::simulator {

// The crowd's people in the order they enter, the same on every platform for the same seed.
std::vector<Person> crowdPeople(const Crowd& crowd);

} // namespace calidra::simulator
