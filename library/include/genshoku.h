/* genshoku: reduces a picture to a palette of at most 256 colours, as a C library.
 *
 *   genshoku_context *context = genshoku_context_new();       settings: the "best" preset
 *   genshoku_set_setting(context, "diffusionStrength", 1.0);   optional changes
 *   genshoku_result *result = NULL;
 *   if (genshoku_reduce(context, rgba, width, height, stride, &result) == GENSHOKU_OK) {
 *     genshoku_result_palette(result), genshoku_result_indices(result): the reduced picture
 *     genshoku_encode(context, result, GENSHOKU_FORMAT_PNG, &bytes, &size): a palette PNG
 *     genshoku_free(bytes);
 *     genshoku_result_free(result);
 *   }
 *   genshoku_context_free(context);
 *
 * Build with: cc app.c $(pkg-config --cflags --libs genshoku)
 *
 * Every function that can fail returns a genshoku_error; nothing is printed unless a log
 * callback is set. The library keeps no state between calls outside its handles: different
 * handles may be used from different threads at the same time, one handle by one thread at a
 * time. The same picture and settings give the same palette, indices and bytes on any
 * number of threads.
 *
 * Transparency: with the setting "keepAlpha" at 1 (the best preset's value) a picture with
 * transparency keeps it: fully transparent pixels share one entry with a = 0, partly
 * transparent ones take entries of an alpha close to theirs, opaque ones opaque entries.
 * At 0 (the window preset) every pixel is reduced as if opaque and every entry is opaque
 * (a = 255). */
#ifndef GENSHOKU_H
#define GENSHOKU_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(GENSHOKU_BUILDING_LIBRARY) && defined(__GNUC__)
#define GENSHOKU_API __attribute__((visibility("default")))
#else
#define GENSHOKU_API
#endif

#define GENSHOKU_VERSION_MAJOR 0
#define GENSHOKU_VERSION_MINOR 1
#define GENSHOKU_VERSION_PATCH 0

/* The last value of each enum, named ..._INT_, is not one to use: it makes the type as wide
 * as an int whatever the compiler's options, so that any int a caller passes is a value of
 * the type and the binary interface keeps its size. */
typedef enum genshoku_error {
  GENSHOKU_OK = 0,
  GENSHOKU_ERROR_NULL_ARGUMENT = 1,  /* a handle or pointer the call needs is NULL */
  GENSHOKU_ERROR_BAD_SIZE = 2,       /* width or height 0, or over 100,000,000 pixels */
  GENSHOKU_ERROR_BAD_STRIDE = 3,     /* a row stride below 4 x width bytes */
  GENSHOKU_ERROR_UNKNOWN_NAME = 4,   /* no setting or preset of that name */
  GENSHOKU_ERROR_OUT_OF_RANGE = 5,   /* a value outside its setting's range, or not whole */
  GENSHOKU_ERROR_UNSUPPORTED = 6,    /* a value this version of the engine does not make */
  GENSHOKU_ERROR_BAD_FORMAT = 7,     /* not a genshoku_format */
  GENSHOKU_ERROR_TOO_LARGE = 8,      /* the picture does not fit the format (GIF: 65535) */
  GENSHOKU_ERROR_STOPPED = 9,        /* the progress callback asked to stop */
  GENSHOKU_ERROR_NOT_CONVERGED = 10, /* the colour statistics could not be solved */
  GENSHOKU_ERROR_OUT_OF_MEMORY = 11, /* the memory the work needs could not be had */
  GENSHOKU_ERROR_ENCODING = 12,      /* the file's bytes could not be made */
  GENSHOKU_ERROR_INTERNAL = 13,      /* a fault of the library itself */
  GENSHOKU_ERROR_INT_ = 0x7FFFFFFF
} genshoku_error;

/* A short English text for an error ("the progress callback asked to stop"); never NULL. */
GENSHOKU_API const char* genshoku_error_text(genshoku_error error);

/* The library's version, "MAJOR.MINOR.PATCH". */
GENSHOKU_API const char* genshoku_version(void);

/* ---- Contexts: the settings of a reduction and the caller's callbacks ---- */

typedef struct genshoku_context genshoku_context;

/* A context with the "best" preset, no callbacks and automatic threads; NULL when out of
 * memory. */
GENSHOKU_API genshoku_context* genshoku_context_new(void);
/* Releases the context; NULL is allowed. Results made with it stay valid. */
GENSHOKU_API void genshoku_context_free(genshoku_context* context);

/* Replaces every setting by those of a preset: "best" (the default, the best picture) or
 * "window" (exactly the genshoku window program's reduction). */
GENSHOKU_API genshoku_error genshoku_set_preset(genshoku_context* context, const char* name);

/* Changes one setting by name: the engine's settings, as genshoku-cli --set NAME=VALUE takes
 * them (genshoku-cli --list-settings lists them with their ranges), and its options
 * "paletteSize" (2 to 256) and "exactFewColours" (1: a picture of no more colours than the
 * palette keeps them exactly, in a palette of just those; set by the best preset). Integer
 * settings take whole values. An unknown name gives GENSHOKU_ERROR_UNKNOWN_NAME, a value
 * outside the range GENSHOKU_ERROR_OUT_OF_RANGE; either way the context keeps its settings. */
GENSHOKU_API genshoku_error genshoku_set_setting(genshoku_context* context, const char* name,
                                                 double value);
/* The current value of a setting. */
GENSHOKU_API genshoku_error genshoku_get_setting(const genshoku_context* context, const char* name,
                                                 double* value);

/* Entries of the palette, 2 to 256 (the setting "paletteSize"); 256 by default. */
GENSHOKU_API genshoku_error genshoku_set_palette_size(genshoku_context* context, unsigned int size);

/* Threads a reduction may use: 0 (the default) as many as help, at most 2. The result is the
 * same for any number. */
GENSHOKU_API genshoku_error genshoku_set_threads(genshoku_context* context, unsigned int threads);

/* Called on the thread that runs genshoku_reduce with the part of the work done, from 0.0 to
 * 1.0: it rises as the reduction's phases start and its refinement passes go on, and between
 * them the callback is called again with the same value, often, so that it can stop the work
 * soon. Returning non-zero stops the reduction, which then returns GENSHOKU_ERROR_STOPPED and
 * no result. Keep it cheap. */
typedef int (*genshoku_progress_callback)(double fraction, void* user_data);
/* Sets or (with NULL) removes the progress callback. */
GENSHOKU_API genshoku_error genshoku_set_progress_callback(genshoku_context* context,
                                                           genshoku_progress_callback callback,
                                                           void* user_data);

typedef enum genshoku_log_level {
  GENSHOKU_LOG_INFO = 0,  /* the engine's and writers' lines, as genshoku-cli --verbose */
  GENSHOKU_LOG_ERROR = 1, /* why a call failed */
  GENSHOKU_LOG_INT_ = 0x7FFFFFFF
} genshoku_log_level;
/* Receives one piece of text at a time, usually one line ending in a line feed. */
typedef void (*genshoku_log_callback)(genshoku_log_level level, const char* text, void* user_data);
/* Sets or (with NULL) removes the log callback; without one the library prints nothing. */
GENSHOKU_API genshoku_error genshoku_set_log_callback(genshoku_context* context,
                                                      genshoku_log_callback callback,
                                                      void* user_data);

/* ---- Reduction ---- */

typedef struct genshoku_result genshoku_result;

/* Reduces a picture of width x height pixels with the context's settings. `pixels` holds
 * red, green, blue and alpha bytes per pixel, rows top first, each row starting `stride`
 * bytes after the one before (at least 4 x width); the pixels are only read. On success
 * *result is a new result, to be released with genshoku_result_free; on failure it is NULL. */
GENSHOKU_API genshoku_error genshoku_reduce(genshoku_context* context, const void* pixels,
                                            uint32_t width, uint32_t height, size_t stride,
                                            genshoku_result** result);

/* Releases a result; NULL is allowed. */
GENSHOKU_API void genshoku_result_free(genshoku_result* result);

typedef struct genshoku_color {
  uint8_t r, g, b, a;
} genshoku_color;

/* The picture's size; 0 for NULL. */
GENSHOKU_API uint32_t genshoku_result_width(const genshoku_result* result);
GENSHOKU_API uint32_t genshoku_result_height(const genshoku_result* result);
/* The palette: genshoku_result_palette_size entries, the palette size or fewer (see
 * "exactFewColours"). NULL and 0 for NULL. */
GENSHOKU_API const genshoku_color* genshoku_result_palette(const genshoku_result* result);
GENSHOKU_API unsigned int genshoku_result_palette_size(const genshoku_result* result);
/* One palette index per pixel, width x height bytes, rows top first without gaps; NULL for
 * NULL. Valid as long as the result. */
GENSHOKU_API const uint8_t* genshoku_result_indices(const genshoku_result* result);

/* ---- Files in memory ---- */

typedef enum genshoku_format {
  GENSHOKU_FORMAT_PNG = 1, /* a palette PNG file */
  GENSHOKU_FORMAT_GIF = 2, /* a GIF file */
  GENSHOKU_FORMAT_BMP = 3, /* an 8-bit BMP file */
  GENSHOKU_FORMAT_INT_ = 0x7FFFFFFF
} genshoku_format;

/* The bytes of a file in `format` that holds the result. On success *bytes points to *size
 * bytes, to be released with genshoku_free; on failure *bytes is NULL and *size 0. */
GENSHOKU_API genshoku_error genshoku_encode(genshoku_context* context,
                                            const genshoku_result* result, genshoku_format format,
                                            void** bytes, size_t* size);

/* Releases bytes made by genshoku_encode; NULL is allowed. */
GENSHOKU_API void genshoku_free(void* bytes);

#ifdef __cplusplus
}
#endif

#endif /* GENSHOKU_H */
