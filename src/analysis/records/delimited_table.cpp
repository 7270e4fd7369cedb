#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/records/table_layouts.hpp"
#include "analysis/records/table_text.hpp"

namespace oskev::records::table_layouts {

namespace {

using table_text::Cell;
using table_text::CountFault;
using table_text::Row;
using table_text::TextCursor;

std::string listed(const CountSet& set) {
  return std::string(set.names[0]) + ", " + std::string(set.names[1]) + ", " + std::string(set.names[2]) + ", " +
         std::string(set.names[3]);
}

// The columns of a table that are read, as cell indices of a row.
struct Columns {
  std::array<std::size_t, 4> counts{};
  bool non_events = false;
  std::optional<std::size_t> label;
  std::optional<std::size_t> group;
  std::vector<std::string> written;  // every column's name as the header writes it, trimmed
  std::size_t width = 0;             // cells of the header
};

class HeaderReader {
 public:
  HeaderReader(const Row& header, const std::string& file) : header_(header), file_(file) {
    for (const Cell& cell : header.cells) names_.push_back(table_text::normal_name(cell.text));
  }

  Columns columns() const {
    Columns columns;
    columns.width = header_.cells.size();
    for (const Cell& cell : header_.cells) columns.written.push_back(trimmed_as_written(cell.text));
    const CountSet& set = count_set();
    columns.non_events = set.non_events;
    for (std::size_t k = 0; k < 4; ++k) columns.counts[k] = only(set.names[k]);
    columns.label = first_of(kLabelNames);
    columns.group = first_of(kGroupNames);
    return columns;
  }

 private:
  static std::string trimmed_as_written(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
  }

  std::optional<std::size_t> find(std::string_view name) const {
    const auto at = std::find(names_.begin(), names_.end(), name);
    if (at == names_.end()) return std::nullopt;
    return static_cast<std::size_t>(at - names_.begin());
  }

  // The one column of this name; a second one would leave it open which to read.
  std::size_t only(std::string_view name) const {
    const std::size_t first = *find(name);
    const auto second = std::find(names_.begin() + static_cast<std::ptrdiff_t>(first) + 1, names_.end(), name);
    if (second != names_.end()) {
      const Cell& cell = header_.cells[static_cast<std::size_t>(second - names_.begin())];
      throw TableError(file_, cell.place.line, cell.place.column,
                       "a second column named " + std::string(name) + "; keep one");
    }
    return first;
  }

  template <std::size_t N>
  std::optional<std::size_t> first_of(const std::array<std::string_view, N>& names) const {
    for (const std::string_view name : names) {
      if (find(name)) return only(name);
    }
    return std::nullopt;
  }

  std::size_t present(const CountSet& set) const {
    return static_cast<std::size_t>(std::count_if(set.names.begin(), set.names.end(),
                                                  [this](std::string_view name) { return find(name).has_value(); }));
  }

  const CountSet& count_set() const {
    std::vector<const CountSet*> complete;
    std::size_t most = 0;
    for (const CountSet& set : kCountSets) {
      if (present(set) == 4) complete.push_back(&set);
      most = std::max(most, present(set));
    }
    if (complete.size() == 1) return *complete.front();
    const std::size_t line = header_.start.line;
    if (complete.size() > 1) {
      std::string sets;
      for (const CountSet* set : complete) sets += (sets.empty() ? "" : " and ") + listed(*set);
      throw TableError(file_, line, 0, "the header has two sets of counts, " + sets + "; keep one");
    }
    if (most == 0) {
      std::string sets;
      for (const CountSet& set : kCountSets) sets += (sets.empty() ? "" : " or ") + listed(set);
      // Spreadsheets set to a decimal comma save "CSV" with semicolons between the cells.
      const bool semicolons = std::any_of(header_.cells.begin(), header_.cells.end(),
                                          [](const Cell& cell) { return cell.text.find(';') != std::string::npos; });
      const char* const hint = semicolons
                                   ? " (cells separated by semicolons are not read: separate them by commas or tabs)"
                                   : " (a file of counts without a header holds only whole numbers)";
      throw TableError(file_, line, 0, "the header has no count columns: expected " + sets + hint);
    }
    std::string missing;
    for (const CountSet& set : kCountSets) {
      if (present(set) != most) continue;
      std::string names;
      for (const std::string_view name : set.names) {
        if (!find(name)) names += (names.empty() ? "" : ", ") + std::string(name);
      }
      missing += (missing.empty() ? "" : " or ") + names + " (for the counts " + listed(set) + ")";
    }
    throw TableError(file_, line, 0, "the header lacks " + missing);
  }

  const Row& header_;
  const std::string& file_;
  std::vector<std::string> names_;  // normal names, one per cell
};

class RowReader {
 public:
  RowReader(const Columns& columns, const std::string& file) : columns_(columns), file_(file) {
    for (std::size_t index : columns.counts) needed_ = std::max(needed_, index + 1);
    if (columns.label) needed_ = std::max(needed_, *columns.label + 1);
    if (columns.group) needed_ = std::max(needed_, *columns.group + 1);
  }

  analysis::Study study(const Row& row) const {
    check_width(row);
    analysis::Study study;
    study.e1 = count(row, columns_.counts[0]);
    study.s1 = count(row, columns_.counts[1]);
    study.e2 = count(row, columns_.counts[2]);
    study.s2 = count(row, columns_.counts[3]);
    if (columns_.non_events) {
      study.s1 = arm_size(row, columns_.counts[0], columns_.counts[1], study.e1, study.s1, 1);
      study.s2 = arm_size(row, columns_.counts[2], columns_.counts[3], study.e2, study.s2, 2);
    }
    if (columns_.label) study.label = row.cells[*columns_.label].text;
    return study;
  }

  const std::string& group_name(const Row& row) const {
    const Cell& cell = row.cells[*columns_.group];
    if (table_text::normal_name(cell.text).empty()) {
      throw TableError(file_, cell.place.line, cell.place.column,
                       "empty name of a meta-analysis in column " + columns_.written[*columns_.group]);
    }
    return cell.text;
  }

 private:
  void check_width(const Row& row) const {
    if (row.cells.size() < needed_) {
      std::size_t first_missing = std::numeric_limits<std::size_t>::max();
      for (std::size_t index : columns_.counts) {
        if (index >= row.cells.size()) first_missing = std::min(first_missing, index);
      }
      for (const auto& index : {columns_.label, columns_.group}) {
        if (index && *index >= row.cells.size()) first_missing = std::min(first_missing, *index);
      }
      throw TableError(file_, row.end.line, row.end.column,
                       "the row ends after " + cells(row.cells.size()) + ", but column " +
                           columns_.written[first_missing] + " is cell " + std::to_string(first_missing + 1));
    }
    // More filled cells than the header has columns: most likely a label holding the separator
    // without quotes, which has moved every later cell one column on.
    for (std::size_t i = columns_.width; i < row.cells.size(); ++i) {
      const Cell& cell = row.cells[i];
      if (cell.quoted || !cell.text.empty()) {
        throw TableError(file_, cell.place.line, cell.place.column,
                         "the row has more cells than the header's " + std::to_string(columns_.width) +
                             " columns (a cell that holds the separator must be quoted)");
      }
    }
  }

  static std::string cells(std::size_t n) { return std::to_string(n) + (n == 1 ? " cell" : " cells"); }

  std::int32_t count(const Row& row, std::size_t index) const {
    const Cell& cell = row.cells[index];
    std::int32_t value = 0;
    const CountFault fault = table_text::parse_count(cell.text, value);
    if (fault != CountFault::kNone) {
      throw TableError(file_, cell.place.line, cell.place.column,
                       table_text::count_fault_message(fault, cell.text, "in column " + columns_.written[index]));
    }
    return value;
  }

  // An arm's size from its events and non-events; the sum must still be a 32-bit count.
  std::int32_t arm_size(const Row& row, std::size_t events_index, std::size_t non_events_index,
                        std::int32_t events, std::int32_t non_events, int arm) const {
    const std::int64_t size = std::int64_t{events} + non_events;
    const bool too_large = size > std::numeric_limits<std::int32_t>::max();
    if (too_large || size < std::numeric_limits<std::int32_t>::min()) {
      const Cell& cell = row.cells[non_events_index];
      throw TableError(file_, cell.place.line, cell.place.column,
                       columns_.written[events_index] + " + " + columns_.written[non_events_index] + " = " +
                           std::to_string(size) + " is too " + (too_large ? "large" : "small") +
                           " for the size of arm " + std::to_string(arm) +
                           (too_large ? " (the most is 2147483647)" : " (the least is -2147483648)"));
    }
    return static_cast<std::int32_t>(size);
  }

  const Columns& columns_;
  const std::string& file_;
  std::size_t needed_ = 0;
};

}  // namespace

StudyTables read_delimited_table(std::string_view text, std::size_t offset, std::size_t line, char separator,
                                 const std::string& file) {
  TextCursor cursor(text, offset, line);
  Row row;
  table_text::read_row(cursor, separator, file, row);
  const std::size_t header_line = row.start.line;
  const Columns columns = HeaderReader(row, file).columns();
  const RowReader reader(columns, file);

  StudyTables tables;
  tables.has_labels = columns.label.has_value();
  if (!columns.group) tables.groups.push_back({file, {}, {}});
  std::unordered_map<std::string, std::size_t> group_index;
  std::size_t studies = 0;
  while (table_text::read_row(cursor, separator, file, row)) {
    if (table_text::is_blank_row(row)) continue;
    analysis::Study study = reader.study(row);
    std::size_t group = 0;
    if (columns.group) {
      const std::string& name = reader.group_name(row);
      const auto [at, added] = group_index.try_emplace(name, tables.groups.size());
      if (added) tables.groups.push_back({name, {}, {}});
      group = at->second;
    }
    tables.groups[group].studies.push_back(std::move(study));
    tables.groups[group].lines.push_back(row.start.line);
    ++studies;
  }
  if (studies == 0) throw TableError(file, header_line, 0, "no studies: the header is followed by no rows");
  return tables;
}

}  // namespace oskev::records::table_layouts
