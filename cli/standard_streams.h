#pragma once
// Pictures through pipes: `-` as the input reads standard input, `-o -` writes standard
// output. Standard input is read whole into memory, up to a cap; standard output receives
// the finished file's bytes and nothing else (the diagnostic lines go to standard error).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"

namespace genshoku::cli {

// The name that stands for standard input (as an input) and standard output (after -o).
inline constexpr std::string_view kStandardStreamName = "-";
// How messages name standard input.
inline constexpr const char* kStandardInputName = "standard input";

// The most bytes read from standard input: a picture of the largest size the readers take
// (100,000,000 pixels) fits in a file of this size in every format; more is refused, not
// held.
inline constexpr size_t kMaxStandardInputBytes = size_t{1} << 30;

enum class StandardInputStatus {
  Ok,
  Terminal,  // standard input is a terminal, not a file or pipe
  TooLarge,  // more than the cap: nothing is kept
  Failed,    // reading failed (with the reason in `why`)
};

// Reads standard input to its end into `bytes`, refusing more than `limit` bytes.
StandardInputStatus ReadStandardInput(size_t limit, std::vector<uint8_t>* bytes, std::string* why);

// Writes every byte to standard output; false with the reason in `why`.
bool WriteStandardOutput(const std::vector<uint8_t>& bytes, std::string* why);

// Whether standard output is a terminal, where a picture's bytes are never written.
bool StandardOutputIsTerminal();

// Whether standard output is the file at `path` itself (`-o - > input.png` would have
// emptied it; `-o - 1<>input.png` would overwrite it while it is read).
bool StandardOutputIsFile(const std::string& path);

// Passes every line on to `next` as a line of standard error: while standard output
// carries a picture, nothing else may go there.
class StandardErrorOnly final : public Diagnostics {
 public:
  explicit StandardErrorOnly(Diagnostics& next) : next_(next) {}
  void Write(DiagnosticStream, std::string_view text) override {
    next_.Write(DiagnosticStream::Err, text);
  }

 private:
  Diagnostics& next_;
};

}  // namespace genshoku::cli
