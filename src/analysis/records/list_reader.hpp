#pragma once

#include <cstdint>
#include <initializer_list>
#include <istream>
#include <span>
#include <stdexcept>
#include <string>
#include <variant>

namespace oskev::records {

// The three ways a list-directed read can fail; each stops the run.
enum class ReadCondition { kEndOfFile, kConversion, kSyntax };

class InputError : public std::runtime_error {
 public:
  InputError(ReadCondition condition, std::int32_t unit, std::string file, std::string detail);

  ReadCondition condition() const noexcept { return condition_; }
  std::int32_t unit() const noexcept { return unit_; }
  const std::string& file() const noexcept { return file_; }
  const std::string& detail() const noexcept { return detail_; }
  // "end-of-file during read, unit 10, file study.txt" and its two siblings.
  std::string condition_text() const;

 private:
  ReadCondition condition_;
  std::int32_t unit_;
  std::string file_;
  std::string detail_;
};

// Reads list-directed input from a text unit: values separated by commas, blanks or line
// ends; empty lines supply nothing; a slash ends the read; ",," gives a null value (the
// variable keeps its value); r*v repeats a value and r* gives r null values. Each read
// starts on a new line and skips the rest of the line after its last value.
//
// Files written on Windows read the same: a carriage return before the line end and a
// UTF-8 byte-order mark at the start of the unit are not part of the data.
class ListReader {
 public:
  using Target = std::variant<std::int32_t*, float*>;

  ListReader(std::istream& in, std::int32_t unit, std::string file_name);

  void read(std::initializer_list<Target> targets);
  void read(std::span<const Target> targets);

  std::int32_t unit() const noexcept { return unit_; }
  const std::string& file_name() const noexcept { return file_name_; }

 private:
  bool next_line();
  [[noreturn]] void fail(ReadCondition condition, std::string detail) const;
  void assign(const Target& target, std::string_view text) const;

  std::istream& in_;
  std::int32_t unit_;
  std::string file_name_;
  std::string line_;
  long line_number_ = 0;
};

// Strict conversions of one list-directed value (exposed for their tests).
bool parse_integer(std::string_view text, std::int32_t& value);
bool parse_real(std::string_view text, float& value);

}  // namespace oskev::records
