#include "station/station_host.h"

namespace calidra {

void StationHost::personFinished(const PersonResult& result) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(peopleLock_);
        first = finishedPeople_.empty();
        finishedPeople_.push_back(result);
    }
    // One notice for everything that waits: a crowd finishing at once posts one event.
    if (first)
        emit peopleFinished();
}

std::vector<PersonResult> StationHost::takeFinishedPeople() {
    std::lock_guard<std::mutex> lock(peopleLock_);
    std::vector<PersonResult> taken;
    taken.swap(finishedPeople_);
    return taken;
}

} // namespace calidra
