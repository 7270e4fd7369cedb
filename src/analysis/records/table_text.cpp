#include "analysis/records/table_text.hpp"

#include "analysis/records/tables.hpp"

namespace oskev::records::table_text {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space_or_tab(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_space_or_tab(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space_or_tab(text.back())) text.remove_suffix(1);
  return text;
}

// Reads a quoted cell's content from its opening quote to its closing quote.
void read_quoted(TextCursor& cursor, const std::string& file, Cell& cell) {
  cursor.advance();  // the opening quote
  for (;;) {
    if (cursor.at_end()) {
      throw TableError(file, cell.place.line, cell.place.column,
                       "the quote that opens this cell is never closed");
    }
    const char c = cursor.peek();
    if (c == '"') {
      cursor.advance();
      if (cursor.at_end() || cursor.peek() != '"') return;
      cell.text += '"';  // "" inside quotes is one quote
      cursor.advance();
    } else if (is_line_end(c)) {
      // One line end whatever the file's convention, so a label reads the same from a file
      // written on any system.
      cell.text += '\n';
      cursor.skip_line_end();
    } else {
      cell.text += c;
      cursor.advance();
    }
  }
}

}  // namespace

bool read_row(TextCursor& cursor, char separator, const std::string& file, Row& row) {
  if (cursor.at_end()) return false;
  // Tabs are blanks around a cell unless they separate the cells.
  const auto is_blank = [separator](char c) { return c == ' ' || (c == '\t' && separator != '\t'); };
  const auto ends_cell = [&cursor, separator] {
    return cursor.at_end() || cursor.peek() == separator || cursor.at_line_end();
  };
  row.cells.clear();
  row.start = cursor.place();
  for (;;) {
    Cell cell;
    cell.place = cursor.place();
    while (!cursor.at_end() && is_blank(cursor.peek())) cursor.advance();
    if (!ends_cell()) cell.place = cursor.place();
    if (!cursor.at_end() && cursor.peek() == '"') {
      cell.quoted = true;
      read_quoted(cursor, file, cell);
      while (!cursor.at_end() && is_blank(cursor.peek())) cursor.advance();
      if (!ends_cell()) {
        const Place place = cursor.place();
        throw TableError(file, place.line, place.column,
                         "text after the closing quote of a quoted cell (a quote inside quotes is written twice)");
      }
    } else {
      const std::size_t begin = cursor.offset();
      std::size_t end = begin;
      while (!ends_cell()) {
        if (!is_blank(cursor.peek())) end = cursor.offset() + 1;
        cursor.advance();
      }
      cell.text = cursor.slice(begin, end);
    }
    row.cells.push_back(std::move(cell));
    if (!cursor.at_end() && cursor.peek() == separator) {
      cursor.advance();
      continue;
    }
    row.end = cursor.place();
    if (cursor.at_line_end()) cursor.skip_line_end();
    return true;
  }
}

bool is_blank_row(const Row& row) {
  for (const Cell& cell : row.cells) {
    if (cell.quoted || !cell.text.empty()) return false;
  }
  return true;
}

CountFault parse_count(std::string_view text, std::int32_t& value) {
  text = trimmed(text);
  if (text.empty()) return CountFault::kEmpty;
  std::size_t i = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '+' || text[0] == '-') ++i;
  if (i == text.size()) return CountFault::kNotWhole;
  // The magnitude stops growing just past the 32-bit range, so any number of digits is read
  // to the end (a letter after many digits is still "not a whole number").
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!is_digit(text[i])) return CountFault::kNotWhole;
    if (magnitude <= 2147483648LL) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (negative && magnitude > 2147483648LL) return CountFault::kTooSmall;
  if (!negative && magnitude > 2147483647LL) return CountFault::kTooLarge;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return CountFault::kNone;
}

std::string count_fault_message(CountFault fault, std::string_view text, std::string_view where) {
  const std::string prefix = shown(trimmed(text)) + " " + std::string(where);
  switch (fault) {
    case CountFault::kNone: return {};
    case CountFault::kEmpty: return "empty count " + std::string(where);
    case CountFault::kNotWhole: return prefix + " is not a whole number";
    case CountFault::kTooLarge: return prefix + " is too large for a count (the most is 2147483647)";
    case CountFault::kTooSmall: return prefix + " is too small for a count (the least is -2147483648)";
  }
  return {};
}

std::string shown(std::string_view text) {
  constexpr std::size_t kMostCharacters = 40;
  std::string out = "\"";
  std::size_t characters = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool starts_character = (byte & 0xC0) != 0x80;
    if (starts_character && characters++ == kMostCharacters) {
      out += "...";
      break;
    }
    out += (byte < 0x20 || byte == 0x7F) ? '?' : c;
  }
  return out + "\"";
}

std::string normal_name(std::string_view name) {
  std::string out(trimmed(name));
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace oskev::records::table_text
