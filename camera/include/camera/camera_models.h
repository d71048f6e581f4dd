#pragma once
// Every rule that depends on which camera is connected, in one table: what the station asks of
// each model at acquisition start, and which cameras it may connect to on its own.

#include "cameraframe/camera_frame.h"

#include <QString>

namespace calidra {

struct CameraModelRules {
    // Asked for at acquisition start. RgbCode32: the camera paints its own picture, the station
    // only reads the codes; otherwise the station paints the codes with the operator's palette.
    PixelFormat pixelFormat = PixelFormat::RgbCode32;
    // The camera's automatic NUC is switched to manual, with its period and temperature.
    bool nucSwitchedToManual = true;
};

// By the start of the model's name; a model the table does not name gets the defaults.
CameraModelRules rulesForModel(const QString& model);

// Whether a camera of this kind, as the library reports it, may be connected automatically.
bool kindConnectsAutomatically(int kind);

} // namespace calidra
