#include "instance_lock.h"

namespace zonara {

namespace {

// Detaching the last attachment removes the segment; a live editor stays
// attached, so only a segment of a dead editor disappears here.
void removeLeftoverSegment(const QString& key) {
    QSharedMemory probe(key);
    if (probe.attach(QSharedMemory::ReadOnly)) {
        probe.detach();
    }
}

} // namespace

bool lockInstance(QSharedMemory& segment) {
    removeLeftoverSegment(segment.key());
    if (segment.attach(QSharedMemory::ReadOnly)) {
        segment.detach();
        return false;
    }
    // Fails too when another editor created the segment in the meantime.
    return segment.create(1, QSharedMemory::ReadWrite);
}

} // namespace zonara
