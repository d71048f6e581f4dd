#pragma once
// The program's window icon, drawn at every size the desktop asks for instead of shipped bitmaps.

#include <QIcon>

namespace calidra {

QIcon stationIcon();

} // namespace calidra
