#pragma once
// Where the program's diagnostic lines go.
//
// Every component that prints (the engine's counts and k-means passes, the codecs'
// messages, the PNG writer's block statistics) prints through a Diagnostics object instead
// of calling printf directly. The window program uses the standard one, which writes each
// line to standard output or standard error exactly as formatted; the command line tool
// silences them unless asked to be verbose; tests capture them.

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace genshoku {

enum class DiagnosticStream { Out, Err };

class Diagnostics {
 public:
  virtual ~Diagnostics() = default;

  // Receives one formatted piece of text (usually one line, with its line feed).
  virtual void Write(DiagnosticStream stream, std::string_view text) = 0;

  // printf-style helpers; the format strings are the program's own texts.
  void Out(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Err(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Print(DiagnosticStream stream, const char* format, va_list args)
      __attribute__((format(printf, 3, 0)));
};

// Writes to the process's standard output and standard error streams.
Diagnostics& StandardDiagnostics();

// Discards everything.
Diagnostics& SilentDiagnostics();

// Keeps everything in memory, in order; for tests and for callers that show the lines
// somewhere else.
class CapturedDiagnostics final : public Diagnostics {
 public:
  struct Line {
    DiagnosticStream stream;
    std::string text;
  };
  void Write(DiagnosticStream stream, std::string_view text) override;

  const std::vector<Line>& lines() const { return lines_; }
  // All text written to one stream, concatenated.
  std::string Text(DiagnosticStream stream) const;
  // All text of both streams in the order written.
  std::string AllText() const;
  void Clear() { lines_.clear(); }

 private:
  std::vector<Line> lines_;
};

}  // namespace genshoku
