#include "camera/camera_models.h"

namespace calidra {
namespace {

struct ModelEntry {
    const char* modelPrefix;
    CameraModelRules rules;
};

// The first entry whose prefix starts the model's name applies.
const ModelEntry models[] = {
    // Sends temperature codes on the direct scale; its NUC settings are left as they are.
    {"KVX-340TRA", {PixelFormat::Direct16, false}},
};

constexpr int automaticConnectionKind = 2;

} // namespace

CameraModelRules rulesForModel(const QString& model) {
    for (const ModelEntry& entry : models)
        if (model.startsWith(QLatin1String(entry.modelPrefix)))
            return entry.rules;
    return CameraModelRules{};
}

bool kindConnectsAutomatically(int kind) {
    return kind == automaticConnectionKind;
}

} // namespace calidra
