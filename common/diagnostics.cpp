#include "common/diagnostics.h"

#include <cstdio>

namespace genshoku {

void Diagnostics::Print(DiagnosticStream stream, const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof small) {
    Write(stream, std::string_view(small, static_cast<size_t>(length)));
    return;
  }
  std::string large(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(large.data(), large.size(), format, args);
  large.resize(static_cast<size_t>(length));
  Write(stream, large);
}

void Diagnostics::Out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Print(DiagnosticStream::Out, format, args);
  va_end(args);
}

void Diagnostics::Err(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Print(DiagnosticStream::Err, format, args);
  va_end(args);
}

namespace {

class StandardStreams final : public Diagnostics {
 public:
  void Write(DiagnosticStream stream, std::string_view text) override {
    std::FILE* file = stream == DiagnosticStream::Out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
  }
};

class Silent final : public Diagnostics {
 public:
  void Write(DiagnosticStream, std::string_view) override {}
};

}  // namespace

Diagnostics& StandardDiagnostics() {
  static StandardStreams instance;
  return instance;
}

Diagnostics& SilentDiagnostics() {
  static Silent instance;
  return instance;
}

void CapturedDiagnostics::Write(DiagnosticStream stream, std::string_view text) {
  lines_.push_back({stream, std::string(text)});
}

std::string CapturedDiagnostics::Text(DiagnosticStream stream) const {
  std::string all;
  for (const Line& line : lines_) {
    if (line.stream == stream) all += line.text;
  }
  return all;
}

std::string CapturedDiagnostics::AllText() const {
  std::string all;
  for (const Line& line : lines_) all += line.text;
  return all;
}

}  // namespace genshoku
