/* The camera plug-in and its image library behind a plain C interface, for
 * hosts that are not written in C++ (Python through ctypes, C#, LabVIEW,
 * MATLAB, C).
 *
 * Objects are reached through opaque handles that the library checks on
 * every call: a null, unknown or already freed handle is refused with
 * UEYE_E_HANDLE, never dereferenced. Every function that can fail returns a
 * status, UEYE_OK (0) or one of the negative UEYE_E_ codes, and leaves the
 * reason in a text of the calling thread (ueye_last_error). Outputs are
 * written only on success. Flags are 32-bit integers (0 or 1).
 *
 * Pixel buffers exchanged with the caller hold rows top row first unless a
 * call says otherwise; colour pixels are three bytes in the order blue,
 * green, red. Strides are in bytes.
 *
 * Calls on one handle are serialised; calls on different handles may run on
 * different threads at the same time. */
#ifndef UEYE_GRABBER_C_H
#define UEYE_GRABBER_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define UEYE_C_CALL __cdecl
#if defined(UEYE_C_BUILDING)
#define UEYE_C_API __declspec(dllexport)
#else
#define UEYE_C_API __declspec(dllimport)
#endif
#else
#define UEYE_C_CALL
#define UEYE_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Version of this interface: major * 10000 + minor * 100 + patch. */
#define UEYE_C_API_VERSION 10100

/* Statuses. */
#define UEYE_OK 0
#define UEYE_E_ARGUMENT (-1)    /* null pointer, size, stride, enum or range refused */
#define UEYE_E_HANDLE (-2)      /* null, unknown or already freed handle */
#define UEYE_E_NO_MEMORY (-3)   /* memory ran out */
#define UEYE_E_CAMERA (-4)      /* the camera could not be opened or gave no frame */
#define UEYE_E_STATE (-5)       /* not possible now (live video off, camera closed) */
#define UEYE_E_TIMEOUT (-6)     /* no frame within the time given */
#define UEYE_E_OPERATION (-7)   /* the image operation failed; the text says why */
#define UEYE_E_IO (-8)          /* a file could not be written */
#define UEYE_E_UNSUPPORTED (-9) /* the camera family does not offer the operation */
#define UEYE_E_INTERNAL (-10)   /* an unexpected failure inside the library */

/* Interpolation methods (ueye_image_resample2, ueye_image_rotate2). */
#define UEYE_IM_NEAREST_NEIGHBOUR 1
#define UEYE_IM_BILINEAR 2
#define UEYE_IM_BSPLINE 3
#define UEYE_IM_BICUBIC 4
#define UEYE_IM_BICUBIC2 5
#define UEYE_IM_LANCZOS 6
#define UEYE_IM_BOX 7
#define UEYE_IM_HERMITE 8
#define UEYE_IM_HAMMING 9
#define UEYE_IM_SINC 10
#define UEYE_IM_BLACKMAN 11
#define UEYE_IM_BESSEL 12
#define UEYE_IM_GAUSSIAN 13
#define UEYE_IM_QUADRATIC 14
#define UEYE_IM_MITCHELL 15
#define UEYE_IM_CATROM 16

/* Overflow methods: how samples outside the picture are answered. */
#define UEYE_OM_COLOR 1
#define UEYE_OM_BACKGROUND 2
#define UEYE_OM_TRANSPARENT 3
#define UEYE_OM_WRAP 4
#define UEYE_OM_REPEAT 5
#define UEYE_OM_MIRROR 6

/* Row order of a caller's buffer (ueye_image_from_buffer). */
#define UEYE_TOP_DOWN 0
#define UEYE_BOTTOM_UP 1

/* Pixel formats of ueye_image_read. */
#define UEYE_PIXELS_GRAY8 8  /* one byte per pixel; the image must be grey */
#define UEYE_PIXELS_BGR24 24 /* three bytes per pixel, blue, green, red */

/* File types of ueye_image_save. */
#define UEYE_FILE_BMP 1
#define UEYE_FILE_PNG 2

typedef struct ueye_grabber_opaque* ueye_grabber;
typedef struct ueye_image_opaque* ueye_image;

/* ---- library ---- */

/* The text of the last failure on the calling thread ("" when none); valid
 * until the thread's next failing call. Never null. */
UEYE_C_API const char* UEYE_C_CALL ueye_last_error(void);
/* UEYE_C_API_VERSION of the library. */
UEYE_C_API int32_t UEYE_C_CALL ueye_api_version(void);
/* The plug-in's interface version text. Never null. */
UEYE_C_API const char* UEYE_C_CALL ueye_plugin_version(void);
/* The vector instruction set the image library uses: "none", "sse2",
 * "avx2" or "avx512"; "neon" on AArch64. Never null. */
UEYE_C_API const char* UEYE_C_CALL ueye_simd_level(void);
/* Threads an image operation may spread its rows over, 1 to 256 (results
 * are the same bits at every count). */
UEYE_C_API int32_t UEYE_C_CALL ueye_set_thread_count(int32_t threads);
UEYE_C_API int32_t UEYE_C_CALL ueye_get_thread_count(void);

/* ---- grabber ---- */

/* Opens camera `camera` (only 0 exists) with the parameter file `params`, a
 * name in the working directory (".ini" is added when the path has none). */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_open(uint32_t camera, const char* params,
                                                 ueye_grabber* grabber);
/* As ueye_grabber_open, on the camera `device` names: "sim" (the platform's
 * own camera), "genicam" (the first GenICam camera found) or "genicam:ID"
 * (the GenICam camera whose id, address or serial number is ID); null or ""
 * takes the environment variable UEYE_GRABBER_DEVICE, else "sim". An unknown
 * choice is UEYE_E_ARGUMENT, a camera that is not there UEYE_E_CAMERA. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_open_device(uint32_t camera, const char* params,
                                                        const char* device, ueye_grabber* grabber);
/* The cameras that can be opened now, one a line: the choice text for
 * ueye_grabber_open_device, a tab, what the camera is. `text` receives at
 * most `size` bytes with the NUL; `needed` (may be null) the whole length
 * with the NUL. */
UEYE_C_API int32_t UEYE_C_CALL ueye_list_devices(char* text, size_t size, size_t* needed);
/* Stops live video, stores the camera's parameters, closes the camera and
 * frees the handle. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_close(ueye_grabber grabber);

UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_status(ueye_grabber grabber, int32_t* ready);
/* The camera's description text, cut to `size` bytes with its NUL. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_description(ueye_grabber grabber, char* text,
                                                        size_t size);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_size(ueye_grabber grabber, int32_t* width,
                                                 int32_t* height, int32_t* bits_per_pixel);

/* Exposure in microseconds. A set takes effect before it returns (at least
 * 300 ms) and reports the exposure the camera took; requests outside the
 * range are refused. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_exposure_range(ueye_grabber grabber, int32_t* minimum,
                                                           int32_t* maximum);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_get_exposure(ueye_grabber grabber,
                                                         uint32_t* microseconds);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_set_exposure(ueye_grabber grabber,
                                                         uint32_t microseconds, uint32_t* taken);

/* Gain: UEYE_E_UNSUPPORTED where the camera family has none. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_get_gain(ueye_grabber grabber, int32_t* gain);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_set_gain(ueye_grabber grabber, int32_t gain);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_auto_gain(ueye_grabber grabber);

/* Frames delivered inverted (1) or as taken (0). */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_set_negative(ueye_grabber grabber, int32_t negative);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_get_negative(ueye_grabber grabber, int32_t* negative);

/* Live video with a thread that counts the camera's frames. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_start_live(ueye_grabber grabber);
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_stop_live(ueye_grabber grabber);
/* Waits up to `timeout_ms` for a frame newer than the last one this call
 * returned. `frame` receives its number (1 for the first frame counted since
 * the grabber was opened), `missed` how many frames the camera sent unseen
 * since the previous wait (incomplete ones, which are dropped, included).
 * UEYE_E_TIMEOUT when none arrived, UEYE_E_STATE without live video,
 * UEYE_E_CAMERA when the camera no longer answers. The frame stays in the
 * camera's memory until the next one. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_wait_frame(ueye_grabber grabber, uint32_t timeout_ms,
                                                       uint64_t* frame, uint64_t* missed);
/* Frames the camera has written whole into its memory and frames it dropped
 * because they arrived incomplete, since it was opened; `lost` is 1 when it
 * no longer answers (frame calls then fail with UEYE_E_CAMERA). */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_counters(ueye_grabber grabber, uint64_t* delivered,
                                                     uint64_t* dropped, int32_t* lost);
/* Copies the current frame into `buffer`: height rows of width bytes, top
 * row first, `stride` bytes apart (at least the width); `size` is the
 * buffer's length, at least stride * (height - 1) + width. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_copy_frame(ueye_grabber grabber, void* buffer,
                                                       size_t stride, size_t size);
/* The current frame into an image: 8 bits per pixel, grey palette. The
 * image's pixel block is reused when it has the frame's size. */
UEYE_C_API int32_t UEYE_C_CALL ueye_grabber_grab_image(ueye_grabber grabber, ueye_image image);

/* ---- images ---- */

/* A new image of 1, 4, 8 or 24 bits per pixel, pixels 0; indexed images
 * get a grey palette. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_create(uint32_t width, uint32_t height,
                                                 uint32_t bits_per_pixel, ueye_image* image);
/* A new image from a caller's pixels: 1, 4, 8 (grey palette), 24 (blue,
 * green, red) or 32 (blue, green, red, alpha) bits per pixel, rows `stride`
 * bytes apart in the given order (UEYE_TOP_DOWN or UEYE_BOTTOM_UP); `size`
 * is the buffer's length. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_from_buffer(const void* pixels, size_t size,
                                                      uint32_t width, uint32_t height,
                                                      uint32_t bits_per_pixel, size_t stride,
                                                      int32_t order, ueye_image* image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_free(ueye_image image);
/* Geometry; `stride` is the bytes of one stored row. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_info(ueye_image image, uint32_t* width, uint32_t* height,
                                               uint32_t* bits_per_pixel, size_t* stride);
/* 1 when every palette entry is a grey (indexed images only). */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_is_gray(ueye_image image, int32_t* grey);
/* The image's own pixels: `top_row` points at the top row of the picture
 * and `row_step` is the distance in bytes to the row below it (negative:
 * rows are stored bottom-up). Valid until the image is changed or freed. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_pixels(ueye_image image, void** top_row,
                                                 ptrdiff_t* row_step);
/* Copies the pixels into `buffer`, top row first, `stride` bytes apart, in
 * `format`: UEYE_PIXELS_GRAY8 (each pixel's grey level; refused for colour
 * images) or UEYE_PIXELS_BGR24. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_read(ueye_image image, void* buffer, size_t stride,
                                               size_t size, int32_t format);
/* Writes the image as a BMP or PNG file (UEYE_FILE_BMP, UEYE_FILE_PNG). */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_save(ueye_image image, const char* path,
                                               int32_t file_type);

/* Transformations, in place. Sizes are at least 1; methods are the UEYE_IM_
 * and UEYE_OM_ values; angles are finite degrees. */
/* mode 0 bilinear (box averaging when a 24-bit image shrinks), 1 nearest,
 * 2 bicubic B-spline. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_resample(ueye_image image, int32_t width, int32_t height,
                                                   int32_t mode);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_resample2(ueye_image image, int32_t width, int32_t height,
                                                    int32_t method, int32_t overflow);
/* `replacement` (blue, green, red, alpha) colours the corners outside the
 * picture; null takes the background. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_rotate2(ueye_image image, float degrees, int32_t method,
                                                  int32_t overflow, const uint8_t* replacement,
                                                  int32_t keep_size);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_rotate(ueye_image image, float degrees);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_rotate_left(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_rotate_right(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_rotate_180(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_flip(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_mirror(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_negative(ueye_image image);
UEYE_C_API int32_t UEYE_C_CALL ueye_image_grayscale(ueye_image image);
/* The rectangle from (left, top) up to, not including, (right, bottom), in
 * picture coordinates (top row 0). */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_crop(ueye_image image, int32_t left, int32_t top,
                                               int32_t right, int32_t bottom);
/* To 4, 8 or 24 bits per pixel, without loss. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_increase_bpp(ueye_image image, uint32_t bits_per_pixel);
/* To 1, 4 or 8 bits per pixel on the standard palette, with error diffusion
 * when `diffuse` is 1. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_decrease_bpp(ueye_image image, uint32_t bits_per_pixel,
                                                       int32_t diffuse);
/* Black and white, 1 bit per pixel: method 0 Floyd-Steinberg, 1 ordered,
 * 2 Burkes, 3 Stucki, 4 Jarvis-Judice-Ninke, 5 Sierra, 6 Stevenson-Arce,
 * 7 interleaved ordered. */
UEYE_C_API int32_t UEYE_C_CALL ueye_image_dither(ueye_image image, int32_t method);

#ifdef __cplusplus
}
#endif

#endif
