#include "library/errors.h"

namespace genshoku::library {

genshoku_error ErrorOfReduction(ReduceResult result) {
  switch (result) {
    case ReduceResult::Ok: return GENSHOKU_OK;
    case ReduceResult::Stopped: return GENSHOKU_ERROR_STOPPED;
    case ReduceResult::JacobiNotConverged: return GENSHOKU_ERROR_NOT_CONVERGED;
    case ReduceResult::OutOfMemory: return GENSHOKU_ERROR_OUT_OF_MEMORY;
    // The library checks the picture and every setting before the engine sees them, so the
    // engine refuses only what the library let through by mistake.
    case ReduceResult::InvalidArguments: return GENSHOKU_ERROR_INTERNAL;
  }
  return GENSHOKU_ERROR_INTERNAL;
}

}  // namespace genshoku::library

extern "C" {

const char* genshoku_error_text(genshoku_error error) {
  switch (error) {
    case GENSHOKU_OK: return "no error";
    case GENSHOKU_ERROR_NULL_ARGUMENT: return "a handle or pointer the call needs is NULL";
    case GENSHOKU_ERROR_BAD_SIZE:
      return "the picture's width or height is 0, or it has more than 100000000 pixels";
    case GENSHOKU_ERROR_BAD_STRIDE: return "the row stride is smaller than 4 bytes per pixel";
    case GENSHOKU_ERROR_UNKNOWN_NAME: return "there is no setting or preset of that name";
    case GENSHOKU_ERROR_OUT_OF_RANGE: return "the value is outside the setting's range";
    case GENSHOKU_ERROR_UNSUPPORTED: return "the engine does not support this value yet";
    case GENSHOKU_ERROR_BAD_FORMAT: return "not a file format the library writes";
    case GENSHOKU_ERROR_TOO_LARGE: return "the picture is too large for the file format";
    case GENSHOKU_ERROR_STOPPED: return "the progress callback asked to stop";
    case GENSHOKU_ERROR_NOT_CONVERGED: return "the colour statistics did not converge";
    case GENSHOKU_ERROR_OUT_OF_MEMORY: return "not enough memory";
    case GENSHOKU_ERROR_ENCODING: return "the file's bytes could not be made";
    case GENSHOKU_ERROR_INTERNAL: return "an internal fault of the library";
    case GENSHOKU_ERROR_INT_: break;
  }
  return "unknown error code";
}

}  // extern "C"
