#pragma once

// The two layouts a file of studies may have; read_study_tables decides which one a file has.

#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/records/study_tables.hpp"

namespace oskev::records::table_layouts {

// Bare counts as in study.txt: four whole numbers per study in any arrangement over lines,
// one meta-analysis named `file`, no labels.
StudyTables read_bare_counts(std::string_view text, const std::string& file);

// A table whose header is the line starting at byte `offset` of `text`, line number `line`;
// everything before it is blank. Cells are separated by `separator` (',' or '\t').
StudyTables read_delimited_table(std::string_view text, std::size_t offset, std::size_t line, char separator,
                                 const std::string& file);

}  // namespace oskev::records::table_layouts
