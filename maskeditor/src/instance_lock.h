#pragma once
// One running mask editor per machine, held through a shared-memory segment.

#include <QSharedMemory>
#include <QString>

namespace zonara {

inline const QString kInstanceKey = QStringLiteral("quro_Zonara");

// True when the caller is the only editor and now holds the segment. A
// segment left behind by an editor that was killed (the segment outlives its
// process here) is removed first, so it cannot block every later start.
bool lockInstance(QSharedMemory& segment);

} // namespace zonara
