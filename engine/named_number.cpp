#include "engine/named_number.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace genshoku {

bool NumberAccepted(double value, bool isInteger, double minimum, double maximum) {
  return std::isfinite(value) && (!isInteger || value == std::floor(value)) && value >= minimum &&
         value <= maximum;
}

std::string NumberRangeText(double minimum, double maximum) {
  char text[96];
  if (maximum >= kNoUpperBound) {
    std::snprintf(text, sizeof text, "at least %g", minimum);
  } else {
    std::snprintf(text, sizeof text, "from %g to %g", minimum, maximum);
  }
  return text;
}

bool ParseNumberSetting(std::string_view name, bool isInteger, double minimum, double maximum,
                        std::string_view text, double* value, std::string* message) {
  const std::string copy(text);  // strtod needs the terminating zero
  char* end = nullptr;
  errno = 0;
  const double number = std::strtod(copy.c_str(), &end);
  const bool parsed = !copy.empty() && end == copy.c_str() + copy.size() && errno == 0;
  if (!parsed || !NumberAccepted(number, isInteger, minimum, maximum)) {
    if (message) {
      *message = std::string(name) + " must be " + (isInteger ? "a whole number " : "a number ") +
                 NumberRangeText(minimum, maximum) + ", not '" + copy + "'";
    }
    return false;
  }
  *value = number;
  return true;
}

std::string FormatNumberSetting(bool isInteger, double value) {
  char text[64];
  if (isInteger) {
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  } else {
    std::snprintf(text, sizeof text, "%g", value);
  }
  return text;
}

}  // namespace genshoku
