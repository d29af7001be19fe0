#pragma once
// The library's diagnostics sink: every line goes to the caller's log callback, or nowhere
// when there is none.
//
// The engine writes its diagnostic lines to both streams, as the window program prints them;
// for a caller they are all information. The writers and the library itself write to the
// error stream only why something failed.

#include <string_view>

#include "common/diagnostics.h"
#include "genshoku.h"

namespace genshoku::library {

enum class LogSource { Engine, Library };

class LogDiagnostics final : public Diagnostics {
 public:
  LogDiagnostics(const genshoku_context& context, LogSource source);
  void Write(DiagnosticStream stream, std::string_view text) override;

 private:
  genshoku_log_callback callback_;
  void* userData_;
  LogSource source_;
};

}  // namespace genshoku::library
