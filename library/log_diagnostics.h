#pragma once
// The library's diagnostics sink: every line goes to the caller's log callback, or nowhere
// when there is none.

#include <string_view>

#include "common/diagnostics.h"
#include "genshoku.h"

namespace genshoku::library {

class LogDiagnostics final : public Diagnostics {
 public:
  explicit LogDiagnostics(const genshoku_context& context);
  void Write(DiagnosticStream stream, std::string_view text) override;

 private:
  genshoku_log_callback callback_;
  void* userData_;
};

}  // namespace genshoku::library
