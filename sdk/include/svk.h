/* Camera library contract: the C interface every camera library of this
 * station implements (today the simulated camera in sdk/src).
 * Every operation returns an int, 0 = success, anything else an error code.
 * Compiles as C11 and as C++17. */
#ifndef SVK_H
#define SVK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define SVK_API __attribute__((visibility("default")))
#else
#define SVK_API
#endif

/* Opaque camera handle; 0 = none. */
typedef void* SvkHandle;

/* Result codes. */
enum {
    SVK_OK = 0,
    SVK_ERROR_NOT_INITIALIZED = -1,
    SVK_ERROR_INVALID_ARGUMENT = -2,
    SVK_ERROR_INVALID_HANDLE = -3,
    SVK_ERROR_NOT_FOUND = -4,
    SVK_ERROR_UNKNOWN_NODE = -5,
    SVK_ERROR_ACCESS = -6,
    SVK_ERROR_SCENARIO = -7,
    SVK_ERROR_DEVICE_GONE = -8,
    SVK_ERROR_BUFFER_TOO_SMALL = -9
};

/* Pixel formats. */
enum {
    SVK_PIXEL_FORMAT_OFFSET16 = 103,  /* 16-bit code, offset scale */
    SVK_PIXEL_FORMAT_DIRECT16 = 104,  /* 16-bit code, direct scale */
    SVK_PIXEL_FORMAT_RGB_CODE32 = 110 /* two 16-bit words, the second the code (offset scale) */
};

/* Camera information record, 4128 bytes. */
typedef struct SvkCameraInfo {
    char label[128]; /* offset 0 */
    int32_t kind;    /* offset 128; -1 empty, 2 eligible for automatic connection */
    char reserved1[380];
    char model[512];     /* offset 512 */
    char identity[2592]; /* offset 1024 */
    char openKey[512];   /* offset 3616 */
} SvkCameraInfo;

/* Image size record: four ints, the third the width, the fourth the height. */
typedef struct SvkImageSize {
    int32_t offsetX;
    int32_t offsetY;
    int32_t width;
    int32_t height;
} SvkImageSize;

#pragma pack(push, 1)
/* Node information record. The caller presets the three ints to -1, 5, -1
 * and zeroes the rest; afterwards accessMode 2, 3 or 4 means the node is usable. */
typedef struct SvkNodeInfo {
    int32_t nodeType;
    int32_t accessMode;
    int32_t visibility;
    unsigned char reserved[1537];
} SvkNodeInfo;

/* Frame record handed to the frame callback. Packed: the data pointer at
 * offset 12 is not 8-byte aligned and must be read as an unaligned value. */
typedef struct SvkFrameRecord {
    uint32_t width;    /* offset 0 */
    uint32_t height;   /* offset 4 */
    uint32_t reserved; /* offset 8, not used */
    const void* data;  /* offset 12 */
} SvkFrameRecord;
#pragma pack(pop)

/* Enumeration record, 16392 bytes. The caller sets capacity to 64 and zeroes
 * the rest; afterwards currentIndex is the index of the current entry. */
#define SVK_ENUM_CAPACITY 64
#define SVK_ENUM_ENTRY_LENGTH 256
typedef struct SvkEnumRecord {
    int32_t capacity;
    char entries[SVK_ENUM_CAPACITY][SVK_ENUM_ENTRY_LENGTH];
    int32_t currentIndex;
} SvkEnumRecord;

/* Float node record; the caller presets 0, 0, 0.001 and 5. */
typedef struct SvkFloatRecord {
    double value;
    double minimum;
    double increment;
    int32_t representation;
    int32_t reserved;
} SvkFloatRecord;

typedef void (*SvkFrameCallback)(const SvkFrameRecord* frame, void* context);
typedef void (*SvkUnplugCallback)(void* context);
/* state 0 = a device was added, anything else = removed */
typedef void (*SvkDeviceCheckCallback)(int state, void* context);

SVK_API int svkInit(void);
SVK_API int svkUninit(void);
SVK_API int svkGetCameraCount(int* count);
SVK_API int svkGetCameraInfo(SvkCameraInfo* records, int count);
SVK_API int svkOpen(const char* openKey, SvkHandle* handle, int flags);
SVK_API int svkClose(SvkHandle handle);
SVK_API int svkSetFrameCallback(SvkHandle handle, SvkFrameCallback callback, void* context);
SVK_API int svkSetUnplugCallback(SvkHandle handle, SvkUnplugCallback callback, void* context);
SVK_API int svkSetDeviceCheckCallback(SvkDeviceCheckCallback callback, void* context);
SVK_API int svkSetAcquisition(SvkHandle handle, int enable);
SVK_API int svkGetImageSize(SvkHandle handle, SvkImageSize* size);
SVK_API int svkSetPixelFormat(SvkHandle handle, int format);
SVK_API int svkGetPixelFormat(SvkHandle handle, int* format);
SVK_API int svkGetRGBData(SvkHandle handle, unsigned char* buffer, int bytes);
SVK_API int svkGetNodeInfo(SvkHandle handle, const char* node, SvkNodeInfo* info);
SVK_API int svkGetNodeEnum(SvkHandle handle, const char* node, SvkEnumRecord* record);
SVK_API int svkGetNodeFloat(SvkHandle handle, const char* node, SvkFloatRecord* record);
SVK_API int svkSetNodeInt(SvkHandle handle, const char* node, int value);
SVK_API int svkSetNodeFloat(SvkHandle handle, const char* node, double value);
SVK_API int svkSetNodeEnum(SvkHandle handle, const char* node, const char* entry);
SVK_API int svkSetNodeCommand(SvkHandle handle, const char* node);
SVK_API int svkShowControlDialog(SvkHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* SVK_H */
