#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>

#include "analysis/records/study_tables.hpp"

namespace oskev::records {
namespace {

std::string error_of(const std::string& text, const std::string& file = "trials.csv") {
  std::istringstream in(text);
  try {
    read_study_tables(in, file);
  } catch (const TableError& e) {
    return e.what();
  }
  return "no error";
}

TEST(StudyTablesErrors, BadCountsAtTheirCell) {
  EXPECT_EQ(error_of("study,ai,n1i,ci,n2i\nA,1,2,3,4\nB,1,2,3,4\n\nC,1,2,3,4\n\nJones 20,3,twelve,4,40\n"),
            "trials.csv:7:12: \"twelve\" in column n1i is not a whole number");
  EXPECT_EQ(error_of("e1,S1,e2,s2\n1,12.0,3,4\n"), "trials.csv:2:3: \"12.0\" in column S1 is not a whole number");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3,1e3\n"), "trials.csv:2:7: \"1e3\" in column s2 is not a whole number");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3,3000000000\n"),
            "trials.csv:2:7: \"3000000000\" in column s2 is too large for a count (the most is 2147483647)");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n-2147483649,2,3,4\n"),
            "trials.csv:2:1: \"-2147483649\" in column e1 is too small for a count (the least is -2147483648)");
  // Characters, not bytes, count towards the column.
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\nM\xC3\xBCller,1,x,3,4\n"),
            "trials.csv:2:10: \"x\" in column s1 is not a whole number");
}

TEST(StudyTablesErrors, EmptyCountsAreRefused) {
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,,3,4\n"), "trials.csv:2:3: empty count in column s1");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,   ,3,4\n"), "trials.csv:2:3: empty count in column s1");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,\"\",3,4\n"), "trials.csv:2:3: empty count in column s1");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3,\n"), "trials.csv:2:7: empty count in column s2");
}

TEST(StudyTablesErrors, CellLineIsWhereTheCellStarts) {
  // After a quoted label holding a line end, the next cells are on the following line.
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\n\"two\nlines\",1,x,3,4\n"),
            "trials.csv:3:10: \"x\" in column s1 is not a whole number");
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\r\n\"two\r\nlines\",1,x,3,4\r\n"),
            "trials.csv:3:10: \"x\" in column s1 is not a whole number");
  // A quoted count holding a line end is reported where its quote opens.
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1, \"2\n0\",3,4\n"), "trials.csv:2:4: \"2?0\" in column s1 is not a whole number");
}

TEST(StudyTablesErrors, LongOrControlTextIsShownShortened) {
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3,abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGH\n"),
            "trials.csv:2:7: \"abcdefghijklmnopqrstuvwxyz0123456789ABCD...\" in column s2 is not a whole number");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3,4\x01\n"), "trials.csv:2:7: \"4?\" in column s2 is not a whole number");
}

TEST(StudyTablesErrors, SizeFromNonEventsMustStayA32BitCount) {
  EXPECT_EQ(error_of("ai,bi,ci,di\n2147483647,1,1,1\n"),
            "trials.csv:2:12: ai + bi = 2147483648 is too large for the size of arm 1 (the most is 2147483647)");
  EXPECT_EQ(error_of("AI,BI,CI,DI\n1,1,-2147483648,-1\n"),
            "trials.csv:2:17: CI + DI = -2147483649 is too small for the size of arm 2 (the least is -2147483648)");
}

TEST(StudyTablesErrors, RowsWithTooFewOrTooManyCells) {
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,2,3\n"), "trials.csv:2:6: the row ends after 3 cells, but column s2 is cell 4");
  EXPECT_EQ(error_of("e1,s1,e2,s2,study\n1,2,3,4\n"),
            "trials.csv:2:8: the row ends after 4 cells, but column study is cell 5");
  // Ignored columns may be missing from a row.
  EXPECT_EQ(error_of("e1,s1,e2,s2,year\n1,2,3,4\n"), "no error");
  // A label holding an unquoted comma would move every count one column on.
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\nSmith, 2001,1,2,3,4\n"),
            "trials.csv:2:19: the row has more cells than the header's 5 columns (a cell that holds the separator "
            "must be quoted)");
}

TEST(StudyTablesErrors, BrokenQuoting) {
  EXPECT_EQ(error_of("e1,s1,e2,s2\n1,\"2,3,4\n5,6,7,8\n"),
            "trials.csv:2:3: the quote that opens this cell is never closed");
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\n\"A\" B,1,2,3,4\n"),
            "trials.csv:2:5: text after the closing quote of a quoted cell (a quote inside quotes is written twice)");
}

TEST(StudyTablesErrors, EmptyGroupName) {
  EXPECT_EQ(error_of("meta,e1,s1,e2,s2\nA,1,2,3,4\n,1,2,3,4\n"),
            "trials.csv:3:1: empty name of a meta-analysis in column meta");
  EXPECT_EQ(error_of("e1,s1,e2,s2,Group\n1,2,3,4,\"  \"\n"),
            "trials.csv:2:9: empty name of a meta-analysis in column Group");
}

TEST(StudyTablesErrors, HeaderFaults) {
  EXPECT_EQ(error_of("study,e1,s1,e2,n\n1,2,3,4,5\n"),
            "trials.csv:1: the header lacks s2 (for the counts e1, s1, e2, s2)");
  EXPECT_EQ(error_of("study,ai,ci\nA,2,3\n"),
            "trials.csv:1: the header lacks n1i, n2i (for the counts ai, n1i, ci, n2i) or bi, di (for the counts ai, "
            "bi, ci, di)");
  EXPECT_EQ(error_of("e1,s1,e2,s2,ai,n1i,ci,n2i\n1,2,3,4,1,2,3,4\n"),
            "trials.csv:1: the header has two sets of counts, e1, s1, e2, s2 and ai, n1i, ci, n2i; keep one");
  EXPECT_EQ(error_of("\n\nai,bi,ci,di,n1i,n2i\n1,1,1,1,2,2\n"),
            "trials.csv:3: the header has two sets of counts, ai, n1i, ci, n2i and ai, bi, ci, di; keep one");
  EXPECT_EQ(error_of("id,x,y\n1,2,3\n"),
            "trials.csv:1: the header has no count columns: expected e1, s1, e2, s2 or ai, n1i, ci, n2i or ai, bi, "
            "ci, di or event.e, n.e, event.c, n.c (a file of counts without a header holds only whole numbers)");
  EXPECT_EQ(error_of("study;e1;s1;e2;s2\nA;1;2;3;4\n"),
            "trials.csv:1: the header has no count columns: expected e1, s1, e2, s2 or ai, n1i, ci, n2i or ai, bi, "
            "ci, di or event.e, n.e, event.c, n.c (cells separated by semicolons are not read: separate them by "
            "commas or tabs)");
  EXPECT_EQ(error_of("e1,s1, E1 ,e2,s2\n1,2,3,4,5\n"), "trials.csv:1:8: a second column named e1; keep one");
  EXPECT_EQ(error_of("meta,e1,s1,e2,s2,META\n"), "trials.csv:1:18: a second column named meta; keep one");
}

TEST(StudyTablesErrors, HeaderWithoutRows) {
  EXPECT_EQ(error_of("study,e1,s1,e2,s2\n\n , ,\n"), "trials.csv:1: no studies: the header is followed by no rows");
  EXPECT_EQ(error_of("\r\n\r\nmeta,e1,s1,e2,s2"), "trials.csv:3: no studies: the header is followed by no rows");
  EXPECT_EQ(error_of("e1,s1,e2,s2\n", "-"), "-:1: no studies: the header is followed by no rows");
}

// Whatever the text, a read gives studies or a TableError with a place inside the text;
// never anything else. Texts are pieced together from cells that are mostly good, so that
// both outcomes occur often.
TEST(StudyTablesErrors, AnyTextReadsOrFailsWithATableError) {
  static const char* const kCells[] = {"1", "0", "-3", "\"4\"", " 5 ", "17", "", "x", "\"a,\nb\"", "2147483648",
                                       "1.5", "\"a\"\"b\"", "\"", "\xEF\xBB\xBF", ";"};
  static const char* const kEnds[] = {"\n", "\r\n", "\r", "\n\n", ""};
  static const char* const kHeaders[] = {"", "meta,e1,s1,e2,s2\n", "study\tai\tbi\tci\tdi\r\n",
                                         "\xEF\xBB\xBF" "e1,s1,e2,s2,\n"};
  std::uint32_t state = 12345;
  const auto next = [&state](std::uint32_t n) { return (state = state * 1103515245u + 12345u, (state >> 16) % n); };
  int read = 0;
  int refused = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text = kHeaders[next(4)];
    const char separator = (text.find('\t') != std::string::npos) ? '\t' : ',';
    for (std::uint32_t row = next(4); row > 0; --row) {
      for (std::uint32_t cell = 0; cell < 5; ++cell) {
        text += kCells[next(3) == 0 ? next(std::size(kCells)) : next(6)];
        if (cell < 4) text += next(20) == 0 ? ' ' : separator;
      }
      text += kEnds[next(std::size(kEnds))];
    }
    std::istringstream in(text);
    try {
      const StudyTables tables = read_study_tables(in, "f");
      std::size_t studies = 0;
      for (const TableGroup& group : tables.groups) {
        ASSERT_FALSE(group.studies.empty()) << text;
        ASSERT_EQ(group.lines.size(), group.studies.size()) << text;
        for (const std::size_t line : group.lines) ASSERT_GE(line, 1u) << text;
        studies += group.studies.size();
      }
      ASSERT_GT(studies, 0u) << text;
      ++read;
    } catch (const TableError& e) {
      const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n') +
                                                  std::count(text.begin(), text.end(), '\r'));
      ASSERT_LE(e.line(), lines + 1) << text;
      ASSERT_LE(e.column(), text.size() + 1) << text;
      ASSERT_EQ(e.file(), "f");
      ++refused;
    }
  }
  EXPECT_GT(read, 500);
  EXPECT_GT(refused, 2000);
}

// A file without end (a device such as /dev/zero) is refused once it has grown past any table
// of studies, instead of filling memory.
TEST(StudyTablesErrors, AnEndlessFileIsRefusedAfterABoundedRead) {
  struct Endless : std::streambuf {
    char block[4096] = {};
    std::size_t served = 0;
    int_type underflow() override {
      served += sizeof block;
      setg(block, block, block + sizeof block);
      return traits_type::to_int_type(block[0]);
    }
  } endless;
  std::istream in(&endless);
  try {
    read_study_tables(in, "/dev/zero");
    FAIL() << "an endless file was read to its end";
  } catch (const TableError& e) {
    EXPECT_EQ(std::string(e.what()), "/dev/zero: the file is larger than 64 MB, too large for a table of studies");
  }
  EXPECT_LE(endless.served, (std::size_t{64} << 20) + (std::size_t{1} << 17));
}

}  // namespace
}  // namespace oskev::records
