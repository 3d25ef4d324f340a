/* A host in C: camera 0 through the C interface library, three frames of
 * live video into a buffer, then the last one as an image, resampled and
 * saved as PNG. Every call returns a status; the text says why. */
#include "ueye_grabber_c.h"

#include <stdio.h>
#include <stdlib.h>

static int failed(const char* call) {
    fprintf(stderr, "%s: %s\n", call, ueye_last_error());
    return 1;
}

int main(void) {
    printf("C interface %d, plug-in \"%s\", SIMD %s\n", (int)ueye_api_version(),
           ueye_plugin_version(), ueye_simd_level());

    ueye_grabber camera = NULL;
    if (ueye_grabber_open(0, "c_example", &camera) != UEYE_OK) return failed("open");
    int32_t width = 0, height = 0, bpp = 0;
    ueye_grabber_size(camera, &width, &height, &bpp);
    size_t stride = (size_t)width; /* any stride of at least the width */
    unsigned char* frame = malloc(stride * (size_t)height);
    if (frame == NULL) return 1;

    int status = ueye_grabber_start_live(camera);
    for (int i = 0; i < 3 && status == UEYE_OK; ++i) {
        uint64_t number = 0, missed = 0;
        status = ueye_grabber_wait_frame(camera, 1000, &number, &missed);
        if (status == UEYE_OK) {
            status = ueye_grabber_copy_frame(camera, frame, stride, stride * (size_t)height);
            printf("frame %llu (%llu missed): first pixel %u\n", (unsigned long long)number,
                   (unsigned long long)missed, (unsigned)frame[0]);
        }
    }
    if (status != UEYE_OK) return failed("live video");
    ueye_grabber_stop_live(camera);

    /* The frame as an image (top row first in the buffer), half size, as PNG. */
    ueye_image image = NULL;
    if (ueye_image_from_buffer(frame, stride * (size_t)height, (uint32_t)width, (uint32_t)height, 8,
                               stride, UEYE_TOP_DOWN, &image) != UEYE_OK)
        return failed("from buffer");
    if (ueye_image_resample2(image, width / 2, height / 2, UEYE_IM_BICUBIC, UEYE_OM_REPEAT) !=
        UEYE_OK)
        return failed("resample2");
    if (ueye_image_save(image, "c_example.png", UEYE_FILE_PNG) != UEYE_OK) return failed("save");

    ueye_image_free(image);
    free(frame);
    ueye_grabber_close(camera); /* the camera stores its parameters */
    printf("saved c_example.png\n");
    return 0;
}
