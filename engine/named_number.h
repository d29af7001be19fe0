#pragma once
// A setting that is one number field of a settings record: its name, whether it is whole,
// its valid range and its meaning, with the reading, checking and writing every table of
// such settings needs. The engine's settings and its options are two tables of these; the
// command line's --set, its list of settings and the library's setters by name read them.

#include <string>
#include <string_view>

namespace genshoku {

// A maximum at least this large means the range has no upper end.
inline constexpr double kNoUpperBound = 1e300;

// True for a finite value in [minimum, maximum], and a whole one when isInteger.
bool NumberAccepted(double value, bool isInteger, double minimum, double maximum);

// "from 0 to 6", or "at least 0" for a range without an upper end.
std::string NumberRangeText(double minimum, double maximum);

// Reads `text` as a number the setting `name` accepts. False, with a message naming the
// setting, its kind, its range and the text, for anything else.
bool ParseNumberSetting(std::string_view name, bool isInteger, double minimum, double maximum,
                        std::string_view text, double* value, std::string* message);

template <typename Record>
struct NamedNumber {
  const char* name;  // as --set takes it
  bool isInteger;
  int Record::*intField;        // set when isInteger
  double Record::*doubleField;  // set otherwise
  double minimum;               // valid range, both ends included
  double maximum;
  const char* meaning;

  double Get(const Record& record) const {
    return isInteger ? record.*intField : record.*doubleField;
  }
  // Stores a value; whether it is acceptable is the caller's check (Accepts, Parse).
  void Put(Record& record, double value) const {
    if (isInteger) {
      record.*intField = static_cast<int>(value);
    } else {
      record.*doubleField = value;
    }
  }
  bool Accepts(double value) const { return NumberAccepted(value, isInteger, minimum, maximum); }
  bool Parse(std::string_view text, double* value, std::string* message) const {
    return ParseNumberSetting(name, isInteger, minimum, maximum, text, value, message);
  }
  // The value as text ("6", "1.1").
  std::string Format(const Record& record) const;
};

std::string FormatNumberSetting(bool isInteger, double value);

template <typename Record>
std::string NamedNumber<Record>::Format(const Record& record) const {
  return FormatNumberSetting(isInteger, Get(record));
}

// Integer and real entries of a table, in the order the tables are written.
template <typename Record>
constexpr NamedNumber<Record> IntSetting(const char* name, int Record::*field, double minimum,
                                         double maximum, const char* meaning) {
  return {name, true, field, nullptr, minimum, maximum, meaning};
}

template <typename Record>
constexpr NamedNumber<Record> RealSetting(const char* name, double Record::*field, double minimum,
                                          double maximum, const char* meaning) {
  return {name, false, nullptr, field, minimum, maximum, meaning};
}

}  // namespace genshoku
