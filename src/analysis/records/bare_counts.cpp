#include <array>
#include <string>

#include "analysis/records/table_layouts.hpp"
#include "analysis/records/table_text.hpp"

namespace oskev::records::table_layouts {

using table_text::CountFault;
using table_text::Place;
using table_text::TextCursor;

namespace {

// The most values a file may stand for: a file of 64 MB, the most that is read, holds no more
// without repeats ("1 1 1 ..."), so a repeat cannot make the studies outgrow it either.
constexpr std::size_t kMostValues = 32 * 1024 * 1024;

// The r of a repeat r*v, read as the dialogue reads it: decimal digits only (no sign, no
// blank), at most 10 of them, 1 to 2147483647. 0 when it is none.
std::size_t repeat_count(std::string_view text) {
  if (text.empty() || text.size() > 10) return 0;
  long long count = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return 0;
    count = count * 10 + (digit - '0');
  }
  return count >= 1 && count <= 2147483647LL ? static_cast<std::size_t>(count) : 0;
}

}  // namespace

StudyTables read_bare_counts(std::string_view text, const std::string& file) {
  static constexpr std::array<const char*, 4> kCountNames = {"e1", "s1", "e2", "s2"};
  // Two commas with nothing between them, or a comma with nothing before it on its line,
  // stand for a value that is missing. Reading on would shift every later count into the
  // wrong place, so such a comma is refused; a comma at the end of a line is a separator.
  enum class Last { kLineStart, kValue, kComma };

  TableGroup group{file, {}, {}};
  analysis::Study study;
  std::size_t line = 0;  // where the study in hand starts
  std::size_t values = 0;
  Last last = Last::kLineStart;
  TextCursor cursor(text);
  while (!cursor.at_end()) {
    const char c = cursor.peek();
    if (cursor.at_line_end()) {
      cursor.skip_line_end();
      last = Last::kLineStart;
      continue;
    }
    if (c == ' ' || c == '\t') {
      cursor.advance();
      continue;
    }
    const Place place = cursor.place();
    if (c == ',') {
      if (last != Last::kValue) {
        throw TableError(file, place.line, place.column,
                         last == Last::kComma ? "empty value between two commas" : "empty value before this comma");
      }
      last = Last::kComma;
      cursor.advance();
      continue;
    }
    const std::size_t begin = cursor.offset();
    while (!cursor.at_end() && !cursor.at_line_end() && cursor.peek() != ' ' && cursor.peek() != '\t' &&
           cursor.peek() != ',') {
      cursor.advance();
    }
    const std::string_view token = cursor.slice(begin, cursor.offset());
    const std::size_t field = values % 4;
    const std::string where =
        "(" + std::string(kCountNames[field]) + " of study " + std::to_string(values / 4 + 1) + ")";
    auto refuse = [&](const std::string& why) {
      throw TableError(file, place.line, place.column, table_text::shown(token) + " " + where + " " + why);
    };
    // A repeat r*v stands for r values v, as the dialogue reads it.
    std::string_view count_text = token;
    std::size_t repeat = 1;
    if (const std::size_t star = token.find('*'); star != std::string_view::npos) {
      const std::string_view times = token.substr(0, star);
      count_text = token.substr(star + 1);
      repeat = repeat_count(times);
      if (repeat == 0) refuse("has a bad repeat count: r*v is r values v, r a whole number from 1 to 2147483647");
      // r* alone is r values left empty, which would shift every later count.
      if (count_text.empty()) refuse("repeats no value: r* (empty values) is not taken here, only r*v");
      if (values >= kMostValues || repeat > kMostValues - values) {
        refuse("repeats its value more often than a file of 64 MB could hold values (" + std::to_string(kMostValues) +
               ")");
      }
    }
    std::int32_t value = 0;
    const CountFault fault = table_text::parse_count(count_text, value);
    if (fault != CountFault::kNone) {
      throw TableError(file, place.line, place.column, table_text::count_fault_message(fault, token, where));
    }
    for (std::size_t r = 0; r < repeat; ++r) {
      switch (values % 4) {
        case 0: line = place.line, study.e1 = value; break;
        case 1: study.s1 = value; break;
        case 2: study.e2 = value; break;
        default:
          study.s2 = value;
          group.studies.push_back(study);
          group.lines.push_back(line);
          break;
      }
      ++values;
    }
    last = Last::kValue;
  }

  if (values == 0) throw TableError(file, 0, 0, "no studies");
  if (values % 4 != 0) {
    const std::size_t left = values % 4;
    throw TableError(file, line, 0,
                     "the file holds " + std::to_string(values) + (values == 1 ? " value" : " values") +
                         ", not a multiple of 4: the last study has only " + std::to_string(left) +
                         " of its 4 counts");
  }
  StudyTables tables;
  tables.groups.push_back(std::move(group));
  return tables;
}

}  // namespace oskev::records::table_layouts
