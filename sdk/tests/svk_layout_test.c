/* Record sizes and offsets of the camera library contract, compiled as C. */
#include "svk.h"

#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(SvkCameraInfo) == 4128, "camera information record is 4128 bytes");
_Static_assert(offsetof(SvkCameraInfo, label) == 0, "label at 0");
_Static_assert(offsetof(SvkCameraInfo, kind) == 128, "kind at 128");
_Static_assert(offsetof(SvkCameraInfo, model) == 512, "model at 512");
_Static_assert(offsetof(SvkCameraInfo, identity) == 1024, "identity at 1024");
_Static_assert(offsetof(SvkCameraInfo, openKey) == 3616, "openKey at 3616");
_Static_assert(sizeof(((SvkCameraInfo*)0)->openKey) == 512, "openKey is 512 bytes");

_Static_assert(sizeof(SvkImageSize) == 16, "image size record is four ints");
_Static_assert(offsetof(SvkImageSize, width) == 8, "width is the third int");
_Static_assert(offsetof(SvkImageSize, height) == 12, "height is the fourth int");

_Static_assert(sizeof(SvkNodeInfo) == 12 + 1537, "node information: three ints and 1537 bytes");
_Static_assert(offsetof(SvkNodeInfo, accessMode) == 4, "usability is the second int");

_Static_assert(sizeof(SvkEnumRecord) == 16392, "enumeration record is 16392 bytes");
_Static_assert(offsetof(SvkEnumRecord, capacity) == 0, "capacity first");
_Static_assert(offsetof(SvkEnumRecord, currentIndex) == 16388, "current index last");

_Static_assert(offsetof(SvkFloatRecord, value) == 0, "value first");
_Static_assert(sizeof(((SvkFloatRecord*)0)->value) == 8, "value is a double");

_Static_assert(offsetof(SvkFrameRecord, width) == 0, "width at 0");
_Static_assert(offsetof(SvkFrameRecord, height) == 4, "height at 4");
_Static_assert(offsetof(SvkFrameRecord, data) == 12, "data pointer at 12, unaligned");
_Static_assert(sizeof(SvkFrameRecord) == 20, "frame record is packed");

int main(void) {
    /* A frame record built byte by byte the way the camera lays it out must
     * read back through the struct. */
    unsigned char raw[20];
    uint32_t width = 384, height = 288;
    static const unsigned short pixels[4] = {1365, 1, 2, 3};
    const void* data = pixels;
    memcpy(raw + 0, &width, 4);
    memcpy(raw + 4, &height, 4);
    memset(raw + 8, 0xAB, 4);
    memcpy(raw + 12, &data, sizeof data);
    SvkFrameRecord record;
    memcpy(&record, raw, sizeof record);
    if (record.width != 384 || record.height != 288 || record.data != data) {
        fprintf(stderr, "frame record does not read back\n");
        return 1;
    }
    printf("1 passed, 0 failed\n");
    return 0;
}
