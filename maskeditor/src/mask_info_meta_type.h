#pragma once
// MaskInfo travels in the editor's signals; Qt needs to know the type to
// queue or spy on it.

#include "maskfile/maskinfo.h"

#include <QMetaType>

#include <cstdint>

Q_DECLARE_METATYPE(MaskInfo)
