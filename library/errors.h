#pragma once
// How the library's C functions report what went wrong: the engine's results as error codes,
// and no C++ exception ever leaves a C function.

#include <new>

#include "engine/reduce_colors.h"
#include "genshoku.h"

namespace genshoku::library {

genshoku_error ErrorOfReduction(ReduceResult result);

// Runs `body`, which returns a genshoku_error, and turns an exception that escapes it into an
// error code: running out of memory into GENSHOKU_ERROR_OUT_OF_MEMORY, anything else (a fault
// of the library, or an exception thrown by a caller's callback) into GENSHOKU_ERROR_INTERNAL.
template <typename Body>
genshoku_error Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return GENSHOKU_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return GENSHOKU_ERROR_INTERNAL;
  }
}

}  // namespace genshoku::library
