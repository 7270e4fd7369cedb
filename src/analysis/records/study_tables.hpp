#pragma once

#include <istream>
#include <string>

#include "analysis/records/tables.hpp"

namespace oskev::records {

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
