#include <array>
#include <string>

#include "analysis/records/table_layouts.hpp"
#include "analysis/records/table_text.hpp"

namespace oskev::records::table_layouts {

using table_text::CountFault;
using table_text::Place;
using table_text::TextCursor;

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
    std::int32_t value = 0;
    const CountFault fault = table_text::parse_count(token, value);
    const std::size_t field = values % 4;
    if (fault != CountFault::kNone) {
      const std::string where =
          "(" + std::string(kCountNames[field]) + " of study " + std::to_string(values / 4 + 1) + ")";
      throw TableError(file, place.line, place.column, table_text::count_fault_message(fault, token, where));
    }
    switch (field) {
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
