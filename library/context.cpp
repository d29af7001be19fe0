// Contexts: creation, presets, settings by name, threads and the caller's callbacks.

#include <new>
#include <string>

#include "library/errors.h"
#include "library/handles.h"
#include "library/log_diagnostics.h"
#include "library/settings_by_name.h"
#include "pipeline/presets.h"

using genshoku::library::Guarded;

namespace {

// Tells the caller's log why a setting was refused.
void LogRefusal(const genshoku_context& context, const std::string& message) {
  genshoku::library::LogDiagnostics log(context, genshoku::library::LogSource::Library);
  log.Err("%s\n", message.c_str());
}

}  // namespace

extern "C" {

#define GENSHOKU_TEXT(number) #number
#define GENSHOKU_NUMBER_TEXT(number) GENSHOKU_TEXT(number)

const char* genshoku_version(void) {
  return GENSHOKU_NUMBER_TEXT(GENSHOKU_VERSION_MAJOR) "." GENSHOKU_NUMBER_TEXT(
      GENSHOKU_VERSION_MINOR) "." GENSHOKU_NUMBER_TEXT(GENSHOKU_VERSION_PATCH);
}

genshoku_context* genshoku_context_new(void) {
  try {
    genshoku_context* context = new genshoku_context;
    context->settings = genshoku::PresetSettings(genshoku::Preset::Best);
    return context;
  } catch (...) {
    return nullptr;
  }
}

void genshoku_context_free(genshoku_context* context) { delete context; }

genshoku_error genshoku_set_preset(genshoku_context* context, const char* name) {
  if (context == nullptr || name == nullptr) return GENSHOKU_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    const std::optional<genshoku::Preset> preset = genshoku::PresetFromName(name);
    if (!preset) {
      LogRefusal(*context, "unknown preset '" + std::string(name) + "' (best or window)");
      return GENSHOKU_ERROR_UNKNOWN_NAME;
    }
    context->settings = genshoku::PresetSettings(*preset);
    return GENSHOKU_OK;
  });
}

genshoku_error genshoku_set_setting(genshoku_context* context, const char* name, double value) {
  if (context == nullptr || name == nullptr) return GENSHOKU_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    std::string message;
    const genshoku_error error =
        genshoku::library::SetSettingByName(context->settings, name, value, &message);
    if (error != GENSHOKU_OK) LogRefusal(*context, message);
    return error;
  });
}

genshoku_error genshoku_get_setting(const genshoku_context* context, const char* name,
                                    double* value) {
  if (context == nullptr || name == nullptr || value == nullptr) {
    return GENSHOKU_ERROR_NULL_ARGUMENT;
  }
  return genshoku::library::GetSettingByName(context->settings, name, value);
}

genshoku_error genshoku_set_palette_size(genshoku_context* context, unsigned int size) {
  return genshoku_set_setting(context, "paletteSize", static_cast<double>(size));
}

genshoku_error genshoku_set_threads(genshoku_context* context, unsigned int threads) {
  if (context == nullptr) return GENSHOKU_ERROR_NULL_ARGUMENT;
  // The engine uses at most two; larger requests mean "as many as it uses".
  context->threads = threads > 2 ? 2 : static_cast<int>(threads);
  return GENSHOKU_OK;
}

genshoku_error genshoku_set_progress_callback(genshoku_context* context,
                                              genshoku_progress_callback callback,
                                              void* user_data) {
  if (context == nullptr) return GENSHOKU_ERROR_NULL_ARGUMENT;
  context->progress = callback;
  context->progressData = callback ? user_data : nullptr;
  return GENSHOKU_OK;
}

genshoku_error genshoku_set_log_callback(genshoku_context* context, genshoku_log_callback callback,
                                         void* user_data) {
  if (context == nullptr) return GENSHOKU_ERROR_NULL_ARGUMENT;
  context->log = callback;
  context->logData = callback ? user_data : nullptr;
  return GENSHOKU_OK;
}

}  // extern "C"
