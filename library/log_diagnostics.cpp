#include "library/log_diagnostics.h"

#include <string>

#include "library/handles.h"

namespace genshoku::library {

LogDiagnostics::LogDiagnostics(const genshoku_context& context, LogSource source)
    : callback_(context.log), userData_(context.logData), source_(source) {}

void LogDiagnostics::Write(DiagnosticStream stream, std::string_view text) {
  if (callback_ == nullptr) return;
  // The callback takes a C string; the pieces are short lines.
  const std::string line(text);
  const bool failure = source_ == LogSource::Library && stream == DiagnosticStream::Err;
  callback_(failure ? GENSHOKU_LOG_ERROR : GENSHOKU_LOG_INFO, line.c_str(), userData_);
}

}  // namespace genshoku::library
