#include "camera/camera_library.h"

namespace calidra {

bool cameraCallSucceeded(LogSink& log, int result, const QString& failureText) {
    if (result == 0)
        return true;
    log.WriteLog(LogType::Error, failureText, result);
    return false;
}

} // namespace calidra
