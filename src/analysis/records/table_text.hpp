#pragma once

// Character-level pieces shared by the two layouts of study tables: a cursor that knows the
// line and column of every character, delimited rows with quoting, and the strict reading of
// one count.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace oskev::records::table_text {

// Where something is in the file: 1-based line, and 1-based column counted in characters
// (UTF-8 sequences count once) so that an editor's column display agrees.
struct Place {
  std::size_t line = 0;
  std::size_t column = 0;
};

inline bool is_line_end(char c) { return c == '\n' || c == '\r'; }

class TextCursor {
 public:
  // Starts at byte `offset` of `text`, which is the first character of line `line`.
  TextCursor(std::string_view text, std::size_t offset = 0, std::size_t line = 1)
      : text_(text), offset_(offset), line_(line) {}

  bool at_end() const { return offset_ >= text_.size(); }
  char peek() const { return text_[offset_]; }
  bool at_line_end() const { return !at_end() && is_line_end(peek()); }
  Place place() const { return {line_, column_}; }
  std::size_t offset() const { return offset_; }
  std::string_view slice(std::size_t begin, std::size_t end) const { return text_.substr(begin, end - begin); }

  // Moves past one byte that is not a line end.
  void advance() {
    const auto byte = static_cast<unsigned char>(text_[offset_++]);
    // A continuation byte of a UTF-8 sequence does not start a character.
    if ((byte & 0xC0) != 0x80) ++column_;
  }

  // Moves past one line end: LF, CRLF or a lone CR.
  void skip_line_end() {
    if (text_[offset_] == '\r' && offset_ + 1 < text_.size() && text_[offset_ + 1] == '\n') ++offset_;
    ++offset_;
    ++line_;
    column_ = 1;
  }

 private:
  std::string_view text_;
  std::size_t offset_;
  std::size_t line_;
  std::size_t column_ = 1;
};

struct Cell {
  std::string text;  // blanks around an unquoted cell trimmed; a quoted cell's content as is
  Place place;       // where the cell starts: its first non-blank character (the opening
                     // quote of a quoted cell), or just after the separator when it is empty
  bool quoted = false;
};

struct Row {
  std::vector<Cell> cells;
  Place start;  // the row's first character
  Place end;    // just after the row's last character, before its line end
};

// Reads the next row of a table separated by `separator` (',' or '\t'), or returns false at
// the end of the text. Inside quotes, "" is one quote and separators and line ends are
// content (any line end inside quotes is kept as "\n"). Throws TableError naming `file` for a
// quote that is never closed or text after a closing quote.
bool read_row(TextCursor& cursor, char separator, const std::string& file, Row& row);

// A row of nothing but empty unquoted cells: an empty line, blanks, or only separators.
bool is_blank_row(const Row& row);

enum class CountFault { kNone, kEmpty, kNotWhole, kTooLarge, kTooSmall };

// A count: blanks around it allowed, an optional sign, decimal digits, within the 32-bit
// signed range. Anything else (a decimal point, an exponent, a letter) is not a whole number.
CountFault parse_count(std::string_view text, std::int32_t& value);

// The message for a count that could not be read, `where` saying which value it was
// ("in column n1i", "(s1 of study 2)"). Empty for kNone.
std::string count_fault_message(CountFault fault, std::string_view text, std::string_view where);

// Text from the file as it appears in a message: in double quotes, control characters shown
// as '?', and cut short after 40 characters.
std::string shown(std::string_view text);

// ASCII lower case with blanks (spaces and tabs) around removed: how column names compare.
std::string normal_name(std::string_view name);

}  // namespace oskev::records::table_text
