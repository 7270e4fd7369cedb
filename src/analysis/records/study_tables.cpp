#include "analysis/records/study_tables.hpp"

#include <iterator>
#include <string_view>

#include "analysis/records/table_layouts.hpp"
#include "analysis/records/table_text.hpp"

namespace oskev::records {

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Splits a line at blanks, tabs and commas.
std::vector<std::string_view> tokens_of(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_separator(line[i])) ++i;
    const std::size_t begin = i;
    while (i < line.size() && !is_separator(line[i])) ++i;
    if (i > begin) tokens.push_back(line.substr(begin, i - begin));
  }
  return tokens;
}

// Looks like a number, whole or not: a decimal point or a letter in it is then reported as a
// bad count at its place rather than taken for a column name.
bool looks_numeric(std::string_view token) {
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) token.remove_prefix(1);
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return !token.empty() && (digit(token[0]) || (token[0] == '.' && token.size() > 1 && digit(token[1])));
}

bool is_whole_number(std::string_view token) {
  std::int32_t value = 0;
  const auto fault = table_text::parse_count(token, value);
  return fault == table_text::CountFault::kNone || fault == table_text::CountFault::kTooLarge ||
         fault == table_text::CountFault::kTooSmall;
}

bool is_known_name(std::string_view token) {
  if (token.size() >= 2 && token.front() == '"' && token.back() == '"') token = token.substr(1, token.size() - 2);
  const std::string name = table_text::normal_name(token);
  for (const table_layouts::CountSet& set : table_layouts::kCountSets) {
    for (const std::string_view known : set.names) {
      if (name == known) return true;
    }
  }
  for (const auto& names : {table_layouts::kLabelNames, table_layouts::kGroupNames}) {
    for (const std::string_view known : names) {
      if (name == known) return true;
    }
  }
  return false;
}

// Whether the line starting at `offset` separates its cells by tabs: it does when it holds a
// tab outside quotes. Quotes count as the rows are read: one opens a quoted cell only at the
// start of a cell, and the scan follows it across line ends, as a quoted header cell may hold
// one.
char separator_of(std::string_view text, std::size_t offset) {
  bool quoted = false;
  bool cell_start = true;
  for (std::size_t i = offset; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') ++i;
      else if (c == '"') quoted = false;
    } else if (c == '\t') {
      return '\t';
    } else if (table_text::is_line_end(c)) {
      break;
    } else if (c == ',') {
      cell_start = true;
    } else if (c == '"' && cell_start) {
      quoted = true;
      cell_start = false;
    } else if (c != ' ') {
      cell_start = false;
    }
  }
  return ',';
}

}  // namespace

StudyTables read_study_tables(std::istream& in, const std::string& file_name) {
  // Millions of studies fit in far less; a file larger than this is no table of studies (a
  // device without end, say), refused before it exhausts memory.
  constexpr std::size_t kMostBytes = std::size_t{64} << 20;
  std::string content;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    content.append(block, static_cast<std::size_t>(in.gcount()));
    if (content.size() > kMostBytes) {
      throw TableError(file_name, 0, 0, "the file is larger than 64 MB, too large for a table of studies");
    }
  }
  if (in.bad()) throw TableError(file_name, 0, 0, "the file could not be read");
  std::string_view text = content;
  // A byte-order mark is no character of the first line: columns count from after it.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  // The first line holding anything but blanks and commas decides the layout.
  std::size_t offset = 0;
  std::size_t line = 1;
  std::vector<std::string_view> tokens;
  while (offset < text.size()) {
    std::size_t end = offset;
    while (end < text.size() && !table_text::is_line_end(text[end])) ++end;
    tokens = tokens_of(text.substr(offset, end - offset));
    if (!tokens.empty()) break;
    offset = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    ++line;
  }
  bool bare = true;
  for (const std::string_view token : tokens) bare = bare && looks_numeric(token);
  // A first line of numbers with a stray word in it and no column name the tables know is a
  // file of counts with a fault in it, better reported at that word than as a header that
  // names no counts.
  if (!bare) {
    bool any_whole = false;
    bool any_name = false;
    for (const std::string_view token : tokens) {
      any_whole = any_whole || is_whole_number(token);
      any_name = any_name || is_known_name(token);
    }
    bare = any_whole && !any_name;
  }
  if (bare) return table_layouts::read_bare_counts(text, file_name);
  return table_layouts::read_delimited_table(text, offset, line, separator_of(text, offset), file_name);
}

}  // namespace oskev::records
