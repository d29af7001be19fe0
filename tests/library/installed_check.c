/* A program outside the project, built against the installed library with a C compiler
 * alone: the header compiles as strict C, the functions link and behave. Prints one line per
 * failed check and "N passed, M failed" at the end; exits 1 when a check failed. */
#include <genshoku.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int passed, failed;

#define CHECK(condition)                                      \
  do {                                                        \
    if (condition) {                                          \
      passed++;                                               \
    } else {                                                  \
      failed++;                                               \
      printf("failed: %s (line %d)\n", #condition, __LINE__); \
    }                                                         \
  } while (0)

struct progress {
  int calls;
  int stop_at; /* 0: never */
  double last;
  int falling;
};

static int on_progress(double fraction, void* data) {
  struct progress* progress = data;
  progress->calls++;
  if (fraction < progress->last) progress->falling = 1;
  progress->last = fraction;
  return progress->stop_at != 0 && progress->calls >= progress->stop_at;
}

int main(void) {
  enum { WIDTH = 40, HEIGHT = 30, STRIDE = WIDTH * 4 + 8 };
  static unsigned char pixels[HEIGHT * STRIDE];
  genshoku_context* context;
  genshoku_result* result = NULL;
  struct progress progress = {0, 0, 0.0, 0};
  const genshoku_format formats[3] = {GENSHOKU_FORMAT_PNG, GENSHOKU_FORMAT_GIF,
                                      GENSHOKU_FORMAT_BMP};
  const char* signatures[3] = {"\x89PNG", "GIF8", "BM"};
  char version[32];
  double value = 0.0;
  int x, y, i, inside = 1;

  for (y = 0; y < HEIGHT; y++) {
    for (x = 0; x < WIDTH; x++) {
      unsigned char* p = pixels + y * STRIDE + 4 * x;
      p[0] = (unsigned char)(x * 6);
      p[1] = (unsigned char)(y * 8);
      p[2] = (unsigned char)((x + y) * 3);
      p[3] = 255;
    }
  }

  sprintf(version, "%d.%d.%d", GENSHOKU_VERSION_MAJOR, GENSHOKU_VERSION_MINOR,
          GENSHOKU_VERSION_PATCH);
  CHECK(strcmp(genshoku_version(), version) == 0);

  context = genshoku_context_new();
  CHECK(context != NULL);
  CHECK(genshoku_reduce(NULL, pixels, WIDTH, HEIGHT, STRIDE, &result) ==
        GENSHOKU_ERROR_NULL_ARGUMENT);
  CHECK(genshoku_reduce(context, pixels, WIDTH, HEIGHT, WIDTH * 4 - 1, &result) ==
        GENSHOKU_ERROR_BAD_STRIDE);
  CHECK(genshoku_set_palette_size(context, 300) == GENSHOKU_ERROR_OUT_OF_RANGE);
  CHECK(genshoku_set_setting(context, "diffusionStrength", 0.5) == GENSHOKU_OK);
  CHECK(genshoku_get_setting(context, "diffusionStrength", &value) == GENSHOKU_OK && value == 0.5);
  CHECK(genshoku_set_preset(context, "window") == GENSHOKU_OK);
  CHECK(genshoku_get_setting(context, "diffusionStrength", &value) == GENSHOKU_OK && value == 0.75);

  CHECK(genshoku_set_progress_callback(context, on_progress, &progress) == GENSHOKU_OK);
  CHECK(genshoku_reduce(context, pixels, WIDTH, HEIGHT, STRIDE, &result) == GENSHOKU_OK);
  CHECK(result != NULL);
  CHECK(progress.calls > 2 && !progress.falling && progress.last == 1.0);
  CHECK(genshoku_result_width(result) == WIDTH && genshoku_result_height(result) == HEIGHT);
  CHECK(genshoku_result_palette_size(result) == 256);
  for (i = 0; i < WIDTH * HEIGHT; i++) {
    if (genshoku_result_indices(result)[i] >= genshoku_result_palette_size(result)) inside = 0;
  }
  CHECK(inside);
  CHECK(genshoku_result_palette(result)[0].a == 255);

  for (i = 0; i < 3; i++) {
    void* bytes = NULL;
    size_t size = 0;
    CHECK(genshoku_encode(context, result, formats[i], &bytes, &size) == GENSHOKU_OK);
    CHECK(bytes != NULL && size > 100 && memcmp(bytes, signatures[i], strlen(signatures[i])) == 0);
    genshoku_free(bytes);
  }
  genshoku_result_free(result);

  progress.calls = 0;
  progress.stop_at = 3;
  result = NULL;
  CHECK(genshoku_reduce(context, pixels, WIDTH, HEIGHT, STRIDE, &result) == GENSHOKU_ERROR_STOPPED);
  CHECK(result == NULL && progress.calls == 3);
  CHECK(strcmp(genshoku_error_text(GENSHOKU_ERROR_STOPPED),
               "the progress callback asked to stop") == 0);
  genshoku_context_free(context);

  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
