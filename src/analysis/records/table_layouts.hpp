#pragma once

// The two layouts a file of studies may have; read_study_tables decides which one a file has.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "analysis/records/tables.hpp"

namespace oskev::records::table_layouts {

// The column names a table's header may use (the one list of them; the layout is told by them).
// A set of count columns, in the order e1, s1, e2, s2 of the study; `non_events` when the
// second and fourth are the arms' non-events, so that a size is events plus non-events.
struct CountSet {
  std::array<std::string_view, 4> names;
  bool non_events;
};

inline constexpr std::array<CountSet, 4> kCountSets = {{
    {{"e1", "s1", "e2", "s2"}, false},
    {{"ai", "n1i", "ci", "n2i"}, false},              // metafor: events and size per arm
    {{"ai", "bi", "ci", "di"}, true},                 // metafor: events and non-events per arm
    {{"event.e", "n.e", "event.c", "n.c"}, false},    // meta: experimental arm, control arm
}};
// In order of preference when a table has more than one of them.
inline constexpr std::array<std::string_view, 7> kLabelNames = {"study", "studlab", "label", "slab",
                                                         "author", "trial", "name"};
inline constexpr std::array<std::string_view, 7> kGroupNames = {"meta", "meta_analysis", "meta.analysis", "analysis",
                                                         "group", "review", "dataset"};

// Bare counts as in study.txt: four whole numbers per study in any arrangement over lines,
// one meta-analysis named `file`, no labels.
StudyTables read_bare_counts(std::string_view text, const std::string& file);

// A table whose header is the line starting at byte `offset` of `text`, line number `line`;
// everything before it is blank. Cells are separated by `separator` (',' or '\t').
StudyTables read_delimited_table(std::string_view text, std::size_t offset, std::size_t line, char separator,
                                 const std::string& file);

}  // namespace oskev::records::table_layouts
