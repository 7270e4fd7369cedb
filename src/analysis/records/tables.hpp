#pragma once

// The meta-analyses a file of studies holds, and the error of a file that cannot be read.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/records/study.hpp"

namespace oskev::records {

// One meta-analysis: its studies in file order.
struct TableGroup {
  std::string name;  // the grouping cell, or the file name when the file is not grouped
  // Only the syntax and the 32-bit range of the counts are checked here; whether the counts
  // make a study (no negative count, no more events than subjects) is the analysis's question.
  std::vector<analysis::Study> studies;
  std::vector<std::size_t> lines;  // 1-based line of the file where each study starts
};

struct StudyTables {
  std::vector<TableGroup> groups;  // in order of first appearance in the file
  bool has_labels = false;         // whether the file has a study label column
};

// A file that cannot be read as studies. what() is "FILE:LINE:COLUMN: message"; the column
// (1-based, in characters of the line) is left out when the fault is not in one cell, such
// as a missing column in the header, and the line too when the fault is the whole file's
// (no studies at all).
class TableError : public std::runtime_error {
 public:
  TableError(std::string file, std::size_t line, std::size_t column, std::string message);

  const std::string& file() const noexcept { return file_; }
  std::size_t line() const noexcept { return line_; }      // 0: not at one line
  std::size_t column() const noexcept { return column_; }  // 0: not at one cell
  const std::string& message() const noexcept { return message_; }

 private:
  std::string file_;
  std::size_t line_;
  std::size_t column_;
  std::string message_;
};

}  // namespace oskev::records
