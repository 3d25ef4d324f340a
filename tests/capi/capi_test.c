/* A C host of the C interface: the library calls, images from and back to
 * caller's buffers, transformations, the simulated camera live, and every
 * kind of bad input, which must give its status and never crash. */
#include "ueye_grabber_c.h"

#include <math.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if !defined(_WIN32)
#include <pthread.h>
#endif

/* The simulated camera's switch, from the plug-in (the stand-in SDK library
 * on Windows). */
#if defined(_WIN32)
__declspec(dllimport)
#endif
    void SimulateOpenFailure(bool fail);

static int failures = 0;

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ++failures;                                                                            \
            fprintf(stderr, "%s:%d: failed: %s (last error: %s)\n", __FILE__, __LINE__,            \
                    #condition, ueye_last_error());                                                \
        }                                                                                          \
    } while (0)

#define EXPECT(status, call) CHECK((call) == (status))

/* A 5 x 3 grey picture, top row first: the byte at (x, y) is 10 * y + x. */
enum { W = 5, H = 3 };
static uint8_t picture[H][W];

static ueye_image grey_image(void) {
    ueye_image image = NULL;
    EXPECT(UEYE_OK,
           ueye_image_from_buffer(picture, sizeof picture, W, H, 8, W, UEYE_TOP_DOWN, &image));
    return image;
}

static void test_library(void) {
    CHECK(ueye_api_version() == UEYE_C_API_VERSION);
    CHECK(strcmp(ueye_plugin_version(), "FrameGrabber $Revision: 1.26 $") == 0);
    const char* level = ueye_simd_level();
    CHECK(strcmp(level, "none") == 0 || strcmp(level, "sse2") == 0 || strcmp(level, "avx2") == 0 ||
          strcmp(level, "avx512") == 0 || strcmp(level, "neon") == 0);
    EXPECT(UEYE_OK, ueye_set_thread_count(3));
    CHECK(ueye_get_thread_count() == 3);
    const int32_t bad_counts[] = {0, -1, 257, INT32_MIN};
    for (size_t i = 0; i < sizeof bad_counts / sizeof *bad_counts; ++i) {
        EXPECT(UEYE_E_ARGUMENT, ueye_set_thread_count(bad_counts[i]));
    }
    CHECK(ueye_get_thread_count() == 3);
    EXPECT(UEYE_OK, ueye_set_thread_count(1));
    CHECK(strstr(ueye_last_error(), "thread count") != NULL);
}

#if !defined(_WIN32)
static void* fail_elsewhere(void* unused) {
    (void)unused;
    ueye_image_free(NULL);
    return strstr(ueye_last_error(), "image") != NULL ? (void*)1 : NULL;
}

/* A failure on another thread leaves this thread's text alone. */
static void test_error_text_per_thread(void) {
    EXPECT(UEYE_E_ARGUMENT, ueye_set_thread_count(0));
    pthread_t thread;
    void* result = NULL;
    CHECK(pthread_create(&thread, NULL, fail_elsewhere, NULL) == 0);
    CHECK(pthread_join(thread, &result) == 0);
    CHECK(result != NULL);
    CHECK(strstr(ueye_last_error(), "thread count") != NULL);
}
#endif

static void test_image_round_trips(void) {
    uint8_t out[H][W + 3];
    ueye_image image = grey_image();
    uint32_t width = 0, height = 0, bpp = 0;
    size_t stride = 0;
    EXPECT(UEYE_OK, ueye_image_info(image, &width, &height, &bpp, &stride));
    CHECK(width == W && height == H && bpp == 8 && stride == 8);
    int32_t grey = 0;
    EXPECT(UEYE_OK, ueye_image_is_gray(image, &grey));
    CHECK(grey == 1);

    /* Read back into padded rows: the padding stays untouched. */
    memset(out, 0xEE, sizeof out);
    EXPECT(UEYE_OK, ueye_image_read(image, out, W + 3, sizeof out, UEYE_PIXELS_GRAY8));
    for (int y = 0; y < H; ++y) {
        CHECK(memcmp(out[y], picture[y], W) == 0);
        CHECK(out[y][W] == 0xEE);
    }
    /* The image's own rows: top row first with a negative step. */
    void* top = NULL;
    ptrdiff_t step = 0;
    EXPECT(UEYE_OK, ueye_image_pixels(image, &top, &step));
    CHECK(step == -8 && memcmp(top, picture[0], W) == 0 &&
          memcmp((uint8_t*)top + 2 * step, picture[2], W) == 0);

    /* Colour: each grey level three times, blue, green, red. */
    uint8_t bgr[H][3 * W];
    EXPECT(UEYE_OK, ueye_image_read(image, bgr, 3 * W, sizeof bgr, UEYE_PIXELS_BGR24));
    CHECK(bgr[2][3 * 4] == 24 && bgr[2][3 * 4 + 1] == 24 && bgr[2][3 * 4 + 2] == 24);
    EXPECT(UEYE_OK, ueye_image_free(image));

    /* The same rows given bottom-up make the same picture. */
    uint8_t upside_down[H][W];
    for (int y = 0; y < H; ++y) memcpy(upside_down[y], picture[H - 1 - y], W);
    EXPECT(UEYE_OK, ueye_image_from_buffer(upside_down, sizeof upside_down, W, H, 8, W,
                                           UEYE_BOTTOM_UP, &image));
    EXPECT(UEYE_OK, ueye_image_read(image, out, W, W * H, UEYE_PIXELS_GRAY8));
    CHECK(memcmp(out, picture, W * H) == 0);
    EXPECT(UEYE_OK, ueye_image_free(image));

    /* 24 bits: blue, green, red; a colour image has no grey reading. */
    const uint8_t colour[6] = {1, 2, 3, 4, 5, 6};
    EXPECT(UEYE_OK, ueye_image_from_buffer(colour, 6, 2, 1, 24, 6, UEYE_TOP_DOWN, &image));
    uint8_t colour_out[6] = {0};
    EXPECT(UEYE_OK, ueye_image_read(image, colour_out, 6, 6, UEYE_PIXELS_BGR24));
    CHECK(memcmp(colour, colour_out, 6) == 0);
    EXPECT(UEYE_E_ARGUMENT, ueye_image_read(image, colour_out, 2, 2, UEYE_PIXELS_GRAY8));
    EXPECT(UEYE_OK, ueye_image_free(image));
}

static void test_transforms(void) {
    uint8_t out[W * H];
    ueye_image image = grey_image();
    EXPECT(UEYE_OK, ueye_image_flip(image));
    EXPECT(UEYE_OK, ueye_image_read(image, out, W, sizeof out, UEYE_PIXELS_GRAY8));
    CHECK(out[0] == 20 && out[2 * W] == 0);
    EXPECT(UEYE_OK, ueye_image_mirror(image));
    EXPECT(UEYE_OK, ueye_image_negative(image));
    EXPECT(UEYE_OK, ueye_image_read(image, out, W, sizeof out, UEYE_PIXELS_GRAY8));
    CHECK(out[0] == 255 - 24 && out[W * H - 1] == 255);
    EXPECT(UEYE_OK, ueye_image_rotate_left(image));
    uint32_t width = 0, height = 0, bpp = 0;
    size_t stride = 0;
    EXPECT(UEYE_OK, ueye_image_info(image, &width, &height, &bpp, &stride));
    CHECK(width == H && height == W);
    EXPECT(UEYE_OK, ueye_image_rotate_right(image));
    EXPECT(UEYE_OK, ueye_image_rotate_180(image));
    EXPECT(UEYE_OK, ueye_image_crop(image, 1, 1, 4, 3));
    EXPECT(UEYE_OK, ueye_image_read(image, out, 3, 6, UEYE_PIXELS_GRAY8));
    CHECK(out[0] == 255 - 11 && out[5] == 255 - 23);
    EXPECT(UEYE_OK, ueye_image_resample2(image, 30, 20, UEYE_IM_LANCZOS, UEYE_OM_MIRROR));
    EXPECT(UEYE_OK, ueye_image_resample(image, 7, 9, 2));
    EXPECT(UEYE_OK, ueye_image_rotate2(image, 30.0f, UEYE_IM_BICUBIC, UEYE_OM_COLOR,
                                       (const uint8_t[]){9, 9, 9, 0}, 1));
    EXPECT(UEYE_OK, ueye_image_info(image, &width, &height, &bpp, &stride));
    CHECK(width == 7 && height == 9);
    EXPECT(UEYE_OK, ueye_image_rotate(image, -12.5f));
    EXPECT(UEYE_OK, ueye_image_increase_bpp(image, 24));
    EXPECT(UEYE_OK, ueye_image_grayscale(image));
    EXPECT(UEYE_OK, ueye_image_decrease_bpp(image, 4, 1));
    EXPECT(UEYE_OK, ueye_image_dither(image, 3));
    int32_t grey = 0;
    EXPECT(UEYE_OK, ueye_image_is_gray(image, &grey));
    EXPECT(UEYE_OK, ueye_image_info(image, &width, &height, &bpp, &stride));
    CHECK(grey == 1 && bpp == 1);
    /* Failures the library reports: a deeper image cannot be increased. */
    EXPECT(UEYE_OK, ueye_image_increase_bpp(image, 8));
    EXPECT(UEYE_E_OPERATION, ueye_image_increase_bpp(image, 4));
    EXPECT(UEYE_OK, ueye_image_save(image, "capi_test.bmp", UEYE_FILE_BMP));
    EXPECT(UEYE_OK, ueye_image_save(image, "capi_test.png", UEYE_FILE_PNG));
    EXPECT(UEYE_E_IO, ueye_image_save(image, "no/such/folder/x.png", UEYE_FILE_PNG));
    CHECK(strstr(ueye_last_error(), "no/such/folder/x.png") != NULL);
    EXPECT(UEYE_OK, ueye_image_free(image));
    remove("capi_test.bmp");
    remove("capi_test.png");
}

/* Every kind of bad argument, each with its status. */
static void test_bad_input(void) {
    ueye_image image = grey_image();
    ueye_image made = NULL;
    uint8_t buffer[64] = {0};
    uint32_t u = 0;
    size_t z = 0;
    int32_t i = 0;
    void* p = NULL;
    ptrdiff_t d = 0;
    const float nan = (float)NAN;
    const struct {
        int32_t expected, status;
        int line;
    } cases[] = {
#define CASE(expected, call) {expected, call, __LINE__}
        CASE(UEYE_E_ARGUMENT, ueye_image_create(0, 5, 8, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_create(5, 5, 16, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_create(5, 5, 8, NULL)),
        CASE(UEYE_E_ARGUMENT, ueye_image_create(100000, 100000, 24, &made)), /* too large */
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(NULL, 64, 2, 2, 8, 2, 0, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(buffer, 64, 2, 2, 12, 2, 0, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(buffer, 64, 2, 2, 8, 2, 2, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(buffer, 64, 2, 2, 24, 5, 0, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(buffer, 63, 8, 8, 8, 8, 0, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_from_buffer(buffer, 64, 0, 8, 8, 8, 0, &made)),
        CASE(UEYE_E_ARGUMENT,
             ueye_image_from_buffer(buffer, 64, 4, 0xFFFFFFFFu, 8, SIZE_MAX / 2, 0, &made)),
        CASE(UEYE_E_ARGUMENT,
             ueye_image_from_buffer(buffer, 64, 0xFFFFFFFFu, 0xFFFFFFFFu, 32, 4, 0, &made)),
        CASE(UEYE_E_ARGUMENT, ueye_image_read(image, buffer, W, W * H - 1, UEYE_PIXELS_GRAY8)),
        CASE(UEYE_E_ARGUMENT, ueye_image_read(image, buffer, W - 1, 64, UEYE_PIXELS_GRAY8)),
        CASE(UEYE_E_ARGUMENT, ueye_image_read(image, buffer, W, 64, 32)),
        CASE(UEYE_E_ARGUMENT, ueye_image_read(image, NULL, W, 64, UEYE_PIXELS_GRAY8)),
        CASE(UEYE_E_ARGUMENT, ueye_image_info(image, &u, &u, NULL, &z)),
        CASE(UEYE_E_ARGUMENT, ueye_image_pixels(image, &p, NULL)),
        CASE(UEYE_E_ARGUMENT, ueye_image_is_gray(image, NULL)),
        CASE(UEYE_E_ARGUMENT, ueye_image_save(image, NULL, UEYE_FILE_BMP)),
        CASE(UEYE_E_ARGUMENT, ueye_image_save(image, "x.gif", 3)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample(image, 0, 5, 0)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample(image, 5, 5, 3)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample2(image, -5, 5, UEYE_IM_BILINEAR, 1)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample2(image, 5, 5, 0, UEYE_OM_REPEAT)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample2(image, 5, 5, 17, UEYE_OM_REPEAT)),
        CASE(UEYE_E_ARGUMENT, ueye_image_resample2(image, 5, 5, UEYE_IM_BILINEAR, 7)),
        CASE(UEYE_E_OPERATION,
             ueye_image_resample2(image, INT32_MAX, INT32_MAX, UEYE_IM_BILINEAR, 1)),
        CASE(UEYE_E_ARGUMENT, ueye_image_rotate2(image, nan, UEYE_IM_BILINEAR, 1, NULL, 0)),
        CASE(UEYE_E_ARGUMENT, ueye_image_rotate2(image, 1.0f, UEYE_IM_BILINEAR, 1, NULL, 2)),
        CASE(UEYE_E_ARGUMENT, ueye_image_rotate(image, (float)INFINITY)),
        CASE(UEYE_E_ARGUMENT, ueye_image_crop(image, 3, 0, 3, 2)),
        CASE(UEYE_E_ARGUMENT, ueye_image_crop(image, -1, 0, 3, 2)),
        CASE(UEYE_E_ARGUMENT, ueye_image_increase_bpp(image, 16)),
        CASE(UEYE_E_ARGUMENT, ueye_image_decrease_bpp(image, 2, 0)),
        CASE(UEYE_E_ARGUMENT, ueye_image_decrease_bpp(image, 4, 5)),
        CASE(UEYE_E_ARGUMENT, ueye_image_dither(image, 8)),
        CASE(UEYE_E_ARGUMENT, ueye_image_dither(image, -1)),
        CASE(UEYE_E_ARGUMENT, ueye_grabber_open(0, NULL, (ueye_grabber*)&p)),
        CASE(UEYE_E_ARGUMENT, ueye_grabber_open(0, "capi_test", NULL)),
        CASE(UEYE_E_ARGUMENT, ueye_grabber_open(1, "capi_test", (ueye_grabber*)&p)),
        CASE(UEYE_E_ARGUMENT, ueye_grabber_open(0xFFFFFFFFu, "capi_test", (ueye_grabber*)&p)),
        /* Null and unknown handles, and an image handle given for a grabber. */
        CASE(UEYE_E_HANDLE, ueye_image_free(NULL)),
        CASE(UEYE_E_HANDLE, ueye_image_flip((ueye_image)(uintptr_t)0x7777777)),
        CASE(UEYE_E_HANDLE, ueye_image_info(NULL, &u, &u, &u, &z)),
        CASE(UEYE_E_HANDLE, ueye_image_pixels(NULL, &p, &d)),
        CASE(UEYE_E_HANDLE, ueye_grabber_close(NULL)),
        CASE(UEYE_E_HANDLE, ueye_grabber_close((ueye_grabber)image)),
        CASE(UEYE_E_HANDLE, ueye_grabber_start_live(NULL)),
        CASE(UEYE_E_HANDLE, ueye_grabber_set_negative(NULL, 1)),
        CASE(UEYE_E_HANDLE, ueye_grabber_get_exposure(NULL, &u)),
        CASE(UEYE_E_HANDLE, ueye_grabber_grab_image(NULL, image)),
        CASE(UEYE_E_HANDLE, ueye_grabber_copy_frame(NULL, buffer, 8, 64)),
        CASE(UEYE_E_HANDLE, ueye_grabber_size(NULL, &i, &i, &i)),
#undef CASE
    };
    for (size_t k = 0; k < sizeof cases / sizeof *cases; ++k) {
        if (cases[k].status != cases[k].expected) {
            ++failures;
            fprintf(stderr, "%s:%d: status %d, expected %d\n", __FILE__, cases[k].line,
                    (int)cases[k].status, (int)cases[k].expected);
        }
    }
    CHECK(made == NULL); /* no output written on failure */
    EXPECT(UEYE_OK, ueye_image_free(image));
    /* A freed handle is dead for good. */
    EXPECT(UEYE_E_HANDLE, ueye_image_free(image));
    EXPECT(UEYE_E_HANDLE, ueye_image_negative(image));
    CHECK(strstr(ueye_last_error(), "already freed") != NULL);
}

/* The frame's bytes are those of the simulated camera, (x + 2y + n) mod 256
 * for one frame number n, inverted when negative. */
static bool is_frame(const uint8_t* pixels, size_t width, size_t height, size_t stride,
                     bool negative) {
    const unsigned n = (negative ? 255u - pixels[0] : pixels[0]) & 255u;
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            unsigned expected = (unsigned)(x + 2 * y + n) & 255u;
            if (negative) expected = 255u - expected;
            if (pixels[y * stride + x] != expected) return false;
        }
    }
    return true;
}

static void test_grabber(void) {
    ueye_grabber grabber = NULL;
    SimulateOpenFailure(true);
    EXPECT(UEYE_E_CAMERA, ueye_grabber_open(0, "capi_test", &grabber));
    SimulateOpenFailure(false);
    CHECK(grabber == NULL);
    EXPECT(UEYE_OK, ueye_grabber_open(0, "capi_test", &grabber));

    int32_t width = 0, height = 0, bpp = 0, ready = 0;
    EXPECT(UEYE_OK, ueye_grabber_size(grabber, &width, &height, &bpp));
    CHECK(width == 1280 && height == 1024 && bpp == 8);
    EXPECT(UEYE_OK, ueye_grabber_status(grabber, &ready));
    char text[8];
    EXPECT(UEYE_OK, ueye_grabber_description(grabber, text, sizeof text));
    CHECK(strcmp(text, "Not imp") == 0); /* cut to the buffer */
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_description(grabber, text, 0));

    int32_t lowest = 0, highest = 0;
    uint32_t exposure = 0, taken = 0;
    EXPECT(UEYE_OK, ueye_grabber_exposure_range(grabber, &lowest, &highest));
    CHECK(lowest > 0 && lowest < highest);
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_set_exposure(grabber, 0, &taken));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_set_exposure(grabber, (uint32_t)highest + 1, &taken));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_set_exposure(grabber, 0xFFFFFFFFu, &taken));
    EXPECT(UEYE_OK, ueye_grabber_set_exposure(grabber, 20010, &taken));
    CHECK(taken == 20000); /* whole sensor lines */
    EXPECT(UEYE_OK, ueye_grabber_get_exposure(grabber, &exposure));
    CHECK(exposure == 20000);
    int32_t gain = 0;
    EXPECT(UEYE_E_UNSUPPORTED, ueye_grabber_get_gain(grabber, &gain));
    CHECK(strstr(ueye_last_error(), "Not implemented") != NULL);
    EXPECT(UEYE_E_UNSUPPORTED, ueye_grabber_set_gain(grabber, 3));
    EXPECT(UEYE_E_UNSUPPORTED, ueye_grabber_auto_gain(grabber));

    uint64_t frame = 0, missed = 0, first = 0;
    EXPECT(UEYE_E_STATE, ueye_grabber_wait_frame(grabber, 10, &frame, &missed));
    EXPECT(UEYE_OK, ueye_grabber_start_live(grabber));
    EXPECT(UEYE_OK, ueye_grabber_start_live(grabber)); /* already live */
    EXPECT(UEYE_OK, ueye_grabber_wait_frame(grabber, 3000, &first, &missed));
    EXPECT(UEYE_OK, ueye_grabber_wait_frame(grabber, 3000, &frame, &missed));
    CHECK(first >= 1 && frame == first + 1 + missed);

    EXPECT(UEYE_OK, ueye_grabber_stop_live(grabber));
    EXPECT(UEYE_E_STATE, ueye_grabber_wait_frame(grabber, 10, &frame, &missed));

    /* Copies with live video off, when the frame memory holds still: while
     * it runs, a copy that the machine delays may see the next frame come. */
    const size_t w = (size_t)width, h = (size_t)height, stride = w + 3;
    uint8_t* pixels = malloc(stride * h);
    CHECK(pixels != NULL);
    EXPECT(UEYE_OK, ueye_grabber_copy_frame(grabber, pixels, w, w * h));
    CHECK(is_frame(pixels, w, h, w, false));
    EXPECT(UEYE_OK, ueye_grabber_set_negative(grabber, 1));
    int32_t negative = 0;
    EXPECT(UEYE_OK, ueye_grabber_get_negative(grabber, &negative));
    CHECK(negative == 1);
    EXPECT(UEYE_OK, ueye_grabber_copy_frame(grabber, pixels, stride, stride * h));
    CHECK(is_frame(pixels, w, h, stride, true));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_copy_frame(grabber, pixels, stride, stride * h - 4));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_copy_frame(grabber, pixels, w - 1, stride * h));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_copy_frame(grabber, NULL, w, w * h));
    EXPECT(UEYE_E_ARGUMENT, ueye_grabber_set_negative(grabber, 2));
    EXPECT(UEYE_OK, ueye_grabber_set_negative(grabber, 0));

    /* Into an image, twice: the second grab reuses it. */
    ueye_image image = NULL;
    EXPECT(UEYE_OK, ueye_image_create(1, 1, 24, &image));
    for (int k = 0; k < 2; ++k) {
        EXPECT(UEYE_OK, ueye_grabber_grab_image(grabber, image));
        EXPECT(UEYE_OK, ueye_image_read(image, pixels, w, w * h, UEYE_PIXELS_GRAY8));
        CHECK(is_frame(pixels, w, h, w, false));
    }
    EXPECT(UEYE_E_HANDLE, ueye_grabber_grab_image(grabber, NULL));
    EXPECT(UEYE_OK, ueye_image_free(image));
    free(pixels);
    EXPECT(UEYE_OK, ueye_grabber_close(grabber));
    /* A call after close, and a second close. */
    EXPECT(UEYE_E_HANDLE, ueye_grabber_start_live(grabber));
    EXPECT(UEYE_E_HANDLE, ueye_grabber_close(grabber));

    /* Closing a grabber that is live stops it first. */
    EXPECT(UEYE_OK, ueye_grabber_open(0, "capi_test", &grabber));
    EXPECT(UEYE_OK, ueye_grabber_start_live(grabber));
    EXPECT(UEYE_OK, ueye_grabber_close(grabber));
}

int main(void) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) picture[y][x] = (uint8_t)(10 * y + x);
    test_library();
#if !defined(_WIN32)
    test_error_text_per_thread();
#endif
    test_image_round_trips();
    test_transforms();
    test_bad_input();
    test_grabber();
    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("C interface: all checks passed\n");
    return 0;
}
