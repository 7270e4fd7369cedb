#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <istream>
#include <span>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
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
//
// The input is taken a character at a time, never a line at a time: what follows the last
// value of a read is passed over without being held, and a value longer than kLongestValue is
// refused as soon as it is seen. So memory does not grow with the length of a line, and a unit
// without end (a link to /dev/zero) stops after a few hundred bytes. A message quotes at most
// the first 40 characters of the offending value.
class ListReader {
 public:
  using Target = std::variant<std::int32_t*, float*>;

  // The longest value held: no count or correction needs more characters, even written with
  // every digit of a double and a repeat count. A longer value is a conversion error.
  static constexpr std::size_t kLongestValue = 256;

  ListReader(std::istream& in, std::int32_t unit, std::string file_name);

  void read(std::initializer_list<Target> targets);
  void read(std::span<const Target> targets);

  std::int32_t unit() const noexcept { return unit_; }
  const std::string& file_name() const noexcept { return file_name_; }

  // Room the reader holds for input: the value being read and the few bytes looked ahead at
  // a line end or a byte-order mark. It does not grow with the length of a line.
  std::size_t held_bytes() const noexcept { return value_.capacity() + ahead_.size(); }

 private:
  bool next_line();
  void skip_byte_order_mark();
  void skip_rest_of_line();
  int peek();
  void take();
  void keep_ahead(char c);
  bool take_value();
  long long repeat_count(std::string_view count, std::string_view token, bool cut) const;
  [[noreturn]] void fail(ReadCondition condition, std::string detail) const;
  void assign(const Target& target, std::string_view text) const;

  std::istream& in_;
  std::streambuf* source_ = nullptr;
  std::int32_t unit_;
  std::string file_name_;
  std::string value_;                 // the value being read, at most kLongestValue bytes
  std::array<char, 3> ahead_{};       // bytes taken to look past them, still to be read
  std::size_t ahead_first_ = 0;
  std::size_t ahead_count_ = 0;
  long line_number_ = 0;
  bool in_line_ = false;              // a line is started and its end not yet passed
};

// Strict conversions of one list-directed value (exposed for their tests).
bool parse_integer(std::string_view text, std::int32_t& value);
bool parse_real(std::string_view text, float& value);

}  // namespace oskev::records
