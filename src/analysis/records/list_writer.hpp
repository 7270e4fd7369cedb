#pragma once

// Records layer: list-directed records, their exact text on the console and in files, and the reading of answers and tables of studies.

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace oskev::records {

// Width of each numeric item of a list-directed record.
inline constexpr int kIntegerWidth = 12;
inline constexpr int kSingleWidth = 15;
inline constexpr int kDoubleWidth = 24;
inline constexpr std::size_t kRecordLength = 80;

// One item of a list-directed write. Only the four kinds the program writes exist; any
// other argument type is refused at compile time rather than silently converted.
class Item {
 public:
  enum class Kind { kText, kInteger, kSingle, kDouble };

  Item(std::string_view text) : kind_(Kind::kText), text_(text) {}
  Item(const char* text) : kind_(Kind::kText), text_(text) {}
  Item(const std::string& text) : kind_(Kind::kText), text_(text) {}
  Item(std::int32_t value) : kind_(Kind::kInteger), integer_(value) {}
  Item(float value) : kind_(Kind::kSingle), single_(value) {}
  Item(double value) : kind_(Kind::kDouble), double_(value) {}
  template <typename T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, std::int32_t> &&
             !std::is_same_v<T, float> && !std::is_same_v<T, double>)
  Item(T) = delete;

  Kind kind() const noexcept { return kind_; }
  // The item's characters: the text unchanged, or the numeric field at its full width.
  std::string field() const;

 private:
  Kind kind_;
  std::string_view text_;
  std::int32_t integer_ = 0;
  float single_ = 0.0f;
  double double_ = 0.0;
};

// The general numeric form of a real: w = 15, d = 7, e = 2 for single precision and
// w = 24, d = 15, e = 3 for double precision. NaN, Infinity and -Infinity are right-aligned.
std::string format_integer(std::int32_t value);
std::string format_single(float value);
std::string format_double(double value);

// Lays out one write operation as records (lines without their line ends): items follow
// each other with no separator, a text item at the start of a record gets one blank in
// front, and an item that does not fit in the 80 columns left starts the next record.
std::vector<std::string> layout_records(std::span<const Item> items);

// Writes list-directed records to a text unit.
class ListWriter {
 public:
  explicit ListWriter(std::ostream& out) : out_(out) {}
  void write(std::initializer_list<Item> items);
  void write(std::span<const Item> items);
  // A record whose only item is one blank: the line holds two blanks.
  void empty_line();
  std::ostream& stream() noexcept { return out_; }

 private:
  std::ostream& out_;
};

}  // namespace oskev::records
