#pragma once
// Settings read and written by name, as the command line's --set does: the engine's 25
// settings of its reduction parameter table and the engine's options (a table of their own
// in settings_by_name.cpp). A name added to either table works through genshoku_set_setting
// without a new function in the C API.

#include <string>
#include <string_view>

#include "genshoku.h"
#include "pipeline/reduce_picture.h"

namespace genshoku::library {

// Sets one setting. On failure `settings` is unchanged and `message` says why: an unknown
// name, a value outside the range or not whole (GENSHOKU_ERROR_OUT_OF_RANGE), or an option in
// its range that the engine refuses (GENSHOKU_ERROR_UNSUPPORTED).
genshoku_error SetSettingByName(ReductionSettings& settings, std::string_view name, double value,
                                std::string* message);

genshoku_error GetSettingByName(const ReductionSettings& settings, std::string_view name,
                                double* value);

}  // namespace genshoku::library
