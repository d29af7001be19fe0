#include "cli/step_lines.h"

namespace genshoku::cli {

void StepLines::Fail(const std::string& name, const std::string& fallback) {
  const CapturedDiagnostics::Line* named = nullptr;
  for (const CapturedDiagnostics::Line& line : captured_.lines()) {
    if (line.stream == DiagnosticStream::Err && line.text.find(name) != std::string::npos) {
      named = &line;
      break;
    }
  }
  // With --verbose that line was shown already.
  if (named == nullptr) {
    streams_.errors->Err("%s\n", fallback.c_str());
  } else if (!verbose_) {
    streams_.errors->Err("%s", named->text.c_str());
  }
  captured_.Clear();
}

}  // namespace genshoku::cli
