/* A C caller that closes its camera from inside the frame callback, then
 * shuts the library down. The library must neither touch the closed session
 * afterwards nor deliver another frame; run under AddressSanitizer, a session
 * freed while its frame thread still runs is reported here. */
#include "svk.h"

#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static atomic_int callbacks;
static atomic_int closeResult = 1;
static SvkHandle handle;

static void onFrame(const SvkFrameRecord* frame, void* context) {
    (void)frame;
    (void)context;
    if (atomic_fetch_add(&callbacks, 1) == 0) {
        atomic_store(&closeResult, svkClose(handle));
    }
}

static void sleepMs(long milliseconds) {
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

static int fail(const char* message) {
    fprintf(stderr, "close_from_callback_test: %s\n", message);
    svkUninit();
    return 1;
}

int main(void) {
    char folder[] = "/tmp/close_from_callback.XXXXXX";
    if (mkdtemp(folder) == NULL) {
        return 1;
    }
    char path[64];
    snprintf(path, sizeof path, "%s/scenario.json", folder);
    FILE* file = fopen(path, "w");
    if (file == NULL) {
        return 1;
    }
    fputs("{ \"cameras\": [ { \"width\": 32, \"height\": 24, \"fps\": 500 } ] }", file);
    fclose(file);
    setenv("SORVIK_SIM_SCENARIO", path, 1);
    unsetenv("SORVIK_CONFIG");

    if (svkInit() != 0) {
        return fail("svkInit failed");
    }
    int count = 0;
    SvkCameraInfo record;
    if (svkGetCameraCount(&count) != 0 || count != 1 || svkGetCameraInfo(&record, 1) != 0) {
        return fail("no simulated camera");
    }
    if (svkOpen(record.openKey, &handle, 0) != 0 || svkSetFrameCallback(handle, onFrame, NULL) != 0 ||
        svkSetAcquisition(handle, 1) != 0) {
        return fail("cannot start the camera");
    }
    for (int i = 0; i < 500 && atomic_load(&callbacks) == 0; ++i) {
        sleepMs(10);
    }
    /* Time for a frame thread that outlived its session to run into freed memory. */
    sleepMs(100);
    const int seen = atomic_load(&callbacks);
    svkUninit();
    remove(path);
    remove(folder);
    if (seen == 0) {
        fprintf(stderr, "close_from_callback_test: no frame arrived\n");
        return 1;
    }
    if (atomic_load(&closeResult) != 0) {
        fprintf(stderr, "close_from_callback_test: svkClose from the callback failed\n");
        return 1;
    }
    if (seen != 1) {
        fprintf(stderr, "close_from_callback_test: %d callbacks after close\n", seen - 1);
        return 1;
    }
    return 0;
}
