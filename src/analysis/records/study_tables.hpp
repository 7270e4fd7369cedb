#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace oskev::records {

// One study as a table file gives it: events and subjects of arm 1 (e1, s1), then of arm 2
// (e2, s2). Only the syntax and the 32-bit range of the counts are checked here; whether the
// counts make a study (no negative count, no more events than subjects) is the analysis's
// question.
struct TableStudy {
  std::string label;  // empty when the file has no label column
  std::int32_t e1 = 0;
  std::int32_t s1 = 0;
  std::int32_t e2 = 0;
  std::int32_t s2 = 0;
  std::size_t line = 0;  // 1-based line of the file where the study starts
};

// One meta-analysis: its studies in file order.
struct TableGroup {
  std::string name;  // the grouping cell, or the file name when the file is not grouped
  std::vector<TableStudy> studies;
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

// Reads a whole stream of studies. Two layouts are understood:
//
// - Bare counts, as in study.txt: no header, four whole numbers per study (e1 s1 e2 s2)
//   separated by blanks, tabs, commas or line ends in any arrangement. A file whose first
//   non-blank line holds only numbers has this layout. It is one meta-analysis without
//   labels.
//
// - A table with a header line, separated by commas, or by tabs when the header holds a tab,
//   with quoting as in RFC 4180. Column names are matched without regard to case or
//   surrounding blanks. Exactly one of these sets of counts must be present:
//     e1, s1, e2, s2;
//     ai, n1i, ci, n2i (metafor: events and size of each arm);
//     ai, bi, ci, di (metafor: events and non-events of each arm; sizes are ai+bi, ci+di);
//     event.e, n.e, event.c, n.c (meta: experimental arm first, control arm second).
//   A study label is taken from the first of study, studlab, label, slab, author, trial,
//   name that is present; the meta-analysis a row belongs to from the first of meta,
//   meta_analysis, meta.analysis, analysis, group, review, dataset. Other columns are
//   ignored. Without a grouping column the whole file is one meta-analysis.
//
// Line ends may be LF, CRLF or CR; a UTF-8 byte-order mark at the start and blank lines
// anywhere are skipped. `file_name` names the file in messages and names the meta-analysis
// of a file without a grouping column. Throws TableError for anything that cannot be read.
StudyTables read_study_tables(std::istream& in, const std::string& file_name);

}  // namespace oskev::records
