#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/records/study_tables.hpp"

namespace oskev::records {
namespace {

StudyTables read(const std::string& text, const std::string& file = "trials.csv") {
  std::istringstream in(text);
  return read_study_tables(in, file);
}

// Every study as "group|label|e1 s1 e2 s2|line", groups in their order.
std::vector<std::string> listing(const StudyTables& tables) {
  std::vector<std::string> out;
  for (const TableGroup& group : tables.groups) {
    for (std::size_t k = 0; k < group.studies.size(); ++k) {
      const analysis::Study& s = group.studies[k];
      out.push_back(group.name + "|" + s.label + "|" + std::to_string(s.e1) + " " + std::to_string(s.s1) + " " +
                    std::to_string(s.e2) + " " + std::to_string(s.s2) + "|" + std::to_string(group.lines.at(k)));
    }
  }
  return out;
}

using Lines = std::vector<std::string>;

// ---- Bare counts, as in study.txt ---------------------------------------------------------

TEST(StudyTablesBareCounts, AnyArrangementOfBlanksTabsCommasAndLineEnds) {
  const StudyTables tables = read("15 120 25 118\n0 54\n3,60\n\n0\t40 , 0 38\n-1 5 9 3\n", "study.txt");
  EXPECT_FALSE(tables.has_labels);
  ASSERT_EQ(tables.groups.size(), 1u);
  EXPECT_EQ(listing(tables), (Lines{"study.txt||15 120 25 118|1", "study.txt||0 54 3 60|2",
                                    "study.txt||0 40 0 38|5", "study.txt||-1 5 9 3|6"}));
}

TEST(StudyTablesBareCounts, SeveralStudiesOnALineSignsAndTheWholeRange) {
  EXPECT_EQ(listing(read("+5 10 3 10 2147483647,-2147483648,007,0\n", "-")),
            (Lines{"-||5 10 3 10|1", "-||2147483647 -2147483648 7 0|1"}));
}

TEST(StudyTablesBareCounts, CommaAtALineEndIsASeparator) {
  EXPECT_EQ(listing(read("1,2,\n3,4,\n", "study.txt")), (Lines{"study.txt||1 2 3 4|1"}));
}

TEST(StudyTablesBareCounts, WindowsAndOldMacLineEndsAndAByteOrderMark) {
  EXPECT_EQ(listing(read("\xEF\xBB\xBF"
                         "1 2\r\n3 4\r5 6 7 8\r\n\r\n",
                         "study.txt")),
            (Lines{"study.txt||1 2 3 4|1", "study.txt||5 6 7 8|3"}));
}

TEST(StudyTablesBareCounts, ValuesNotAMultipleOfFour) {
  try {
    read("1 2 3 4\n\n5 6\n", "study.txt");
    FAIL() << "no error";
  } catch (const TableError& e) {
    EXPECT_STREQ(e.what(),
                 "study.txt:3: the file holds 6 values, not a multiple of 4: the last study has only 2 of its 4 counts");
    EXPECT_EQ(e.file(), "study.txt");
    EXPECT_EQ(e.line(), 3u);
    EXPECT_EQ(e.column(), 0u);
    EXPECT_EQ(e.message(), "the file holds 6 values, not a multiple of 4: the last study has only 2 of its 4 counts");
  }
}

std::string error_of(const std::string& text, const std::string& file = "trials.csv") {
  try {
    read(text, file);
  } catch (const TableError& e) {
    return e.what();
  }
  return "no error";
}

TEST(StudyTablesBareCounts, BadCellsAtTheirLineAndColumn) {
  EXPECT_EQ(error_of("7\n", "study.txt"),
            "study.txt:1: the file holds 1 value, not a multiple of 4: the last study has only 1 of its 4 counts");
  EXPECT_EQ(error_of("1 2 3 4\n5   12.0 7 8\n", "study.txt"),
            "study.txt:2:5: \"12.0\" (s1 of study 2) is not a whole number");
  // A stray word on the first line is a bad count, not a header.
  EXPECT_EQ(error_of("15 120 abc 118\n", "study.txt"), "study.txt:1:8: \"abc\" (e2 of study 1) is not a whole number");
  EXPECT_EQ(error_of("12.0 3 4 5\n", "study.txt"), "study.txt:1:1: \"12.0\" (e1 of study 1) is not a whole number");
  EXPECT_EQ(error_of("1 2 3 4\n2147483648 1 1 1\n", "study.txt"),
            "study.txt:2:1: \"2147483648\" (e1 of study 2) is too large for a count (the most is 2147483647)");
  EXPECT_EQ(error_of("1 2 3 -2147483649\n", "study.txt"),
            "study.txt:1:7: \"-2147483649\" (s2 of study 1) is too small for a count (the least is -2147483648)");
  // Neither repeat counts nor slashes of free-format reading are counts.
  EXPECT_EQ(error_of("3*5 1 2 3\n", "study.txt"), "study.txt:1:1: \"3*5\" (e1 of study 1) is not a whole number");
  EXPECT_EQ(error_of("1 2 3 4 /\n", "study.txt"), "study.txt:1:9: \"/\" (e1 of study 2) is not a whole number");
  EXPECT_EQ(error_of("1 2 3 4 - 5 6 7\n", "study.txt"), "study.txt:1:9: \"-\" (e1 of study 2) is not a whole number");
  // Columns count after a byte-order mark and from a lone CR.
  EXPECT_EQ(error_of("\xEF\xBB\xBF"
                     "1 2 x 4\n",
                     "study.txt"),
            "study.txt:1:5: \"x\" (e2 of study 1) is not a whole number");
  EXPECT_EQ(error_of("1 2 3 4\r\r 5 6 \"7\" 8\r", "study.txt"),
            "study.txt:3:6: \"\"7\"\" (e2 of study 2) is not a whole number");
}

TEST(StudyTablesBareCounts, AMissingValueBetweenCommasIsRefusedNotSkipped) {
  EXPECT_EQ(error_of("1,,2,3,4\n", "study.txt"), "study.txt:1:3: empty value between two commas");
  EXPECT_EQ(error_of("1, ,2,3,4\n", "study.txt"), "study.txt:1:4: empty value between two commas");
  EXPECT_EQ(error_of("1,2,3,4\n ,5,6,7,8\n", "study.txt"), "study.txt:2:2: empty value before this comma");
}

TEST(StudyTablesBareCounts, NoStudies) {
  EXPECT_EQ(error_of("", "study.txt"), "study.txt: no studies");
  EXPECT_EQ(error_of("\n  \r\n\t\n", "study.txt"), "study.txt: no studies");
  EXPECT_EQ(error_of("\xEF\xBB\xBF", "-"), "-: no studies");
}

// ---- Tables with a header: the sets of counts and the optional columns ---------------------

TEST(StudyTablesHeader, EachSetOfCounts) {
  EXPECT_EQ(listing(read("e1,s1,e2,s2\n1,10,2,20\n")), (Lines{"trials.csv||1 10 2 20|2"}));
  EXPECT_EQ(listing(read("ai,n1i,ci,n2i\n1,10,2,20\n")), (Lines{"trials.csv||1 10 2 20|2"}));
  // Non-events: a size is events plus non-events.
  EXPECT_EQ(listing(read("ai,bi,ci,di\n1,9,2,18\n0,0,2147483646,1\n")),
            (Lines{"trials.csv||1 10 2 20|2", "trials.csv||0 0 2147483646 2147483647|3"}));
  // meta: the experimental arm is arm 1.
  EXPECT_EQ(listing(read("event.c,n.c,event.e,n.e\n2,20,1,10\n")), (Lines{"trials.csv||1 10 2 20|2"}));
}

TEST(StudyTablesHeader, NamesIgnoreCaseAndBlanksAndOtherColumnsAreIgnored) {
  const StudyTables tables = read(" Year , Study ,E1,  s1 ,EVENT,e2,S2 ,notes\n2001,Smith,1,10,x,2,20,\n");
  EXPECT_TRUE(tables.has_labels);
  EXPECT_EQ(listing(tables), (Lines{"trials.csv|Smith|1 10 2 20|2"}));
}

TEST(StudyTablesHeader, LabelColumnByPreference) {
  EXPECT_EQ(listing(read("name,author,study,e1,s1,e2,s2\nN,A,S,1,2,3,4\n")), (Lines{"trials.csv|S|1 2 3 4|2"}));
  EXPECT_EQ(listing(read("name,trial,author,e1,s1,e2,s2\nN,T,A,1,2,3,4\n")), (Lines{"trials.csv|A|1 2 3 4|2"}));
  EXPECT_EQ(listing(read("slab,studlab,label,e1,s1,e2,s2\nS,L,B,1,2,3,4\n")), (Lines{"trials.csv|L|1 2 3 4|2"}));
  // An empty label is a label all the same.
  const StudyTables tables = read("e1,s1,e2,s2,name\n1,2,3,4,\n");
  EXPECT_TRUE(tables.has_labels);
  EXPECT_EQ(listing(tables), (Lines{"trials.csv||1 2 3 4|2"}));
}

TEST(StudyTablesHeader, GroupsInOrderOfFirstAppearanceRowsInFileOrder) {
  const StudyTables tables = read(
      "meta,study,e1,s1,e2,s2\n"
      "B,b1,1,10,2,20\n"
      "A,a1,3,30,4,40\n"
      "\n"
      "B,b2,5,50,6,60\n"
      " A ,a2,7,70,8,80\n"
      "\"B \",b3,9,90,1,10\n");
  ASSERT_EQ(tables.groups.size(), 3u);
  EXPECT_EQ(listing(tables), (Lines{"B|b1|1 10 2 20|2", "B|b2|5 50 6 60|5", "A|a1|3 30 4 40|3", "A|a2|7 70 8 80|6",
                                    "B |b3|9 90 1 10|7"}));
}

TEST(StudyTablesHeader, GroupColumnByPreference) {
  const StudyTables tables = read("dataset,group,analysis,e1,s1,e2,s2\nD,G,X,1,2,3,4\nD,G,Y,1,2,3,4\n");
  ASSERT_EQ(tables.groups.size(), 2u);
  EXPECT_EQ(tables.groups[0].name, "X");
  EXPECT_EQ(tables.groups[1].name, "Y");
  EXPECT_EQ(read("Meta.Analysis,e1,s1,e2,s2\nM,1,2,3,4\n").groups[0].name, "M");
  EXPECT_EQ(read("review,e1,s1,e2,s2\nR,1,2,3,4\n").groups[0].name, "R");
  EXPECT_EQ(read("meta_analysis,e1,s1,e2,s2\nQ,1,2,3,4\n").groups[0].name, "Q");
}

TEST(StudyTablesHeader, TabsSeparateWhenTheHeaderHoldsOne) {
  const StudyTables tables = read("study\te1\ts1\te2\ts2\nSmith, 2001\t1\t2\t3\t4\n Jones \t 5 \t6\t7\t8\t\n", "t.tsv");
  EXPECT_EQ(listing(tables), (Lines{"t.tsv|Smith, 2001|1 2 3 4|2", "t.tsv|Jones|5 6 7 8|3"}));
}

TEST(StudyTablesHeader, SeparatorIsATabOutsideQuotedCellsOnly) {
  // A tab inside a quoted name does not make a tab-separated table, even across a line end...
  EXPECT_EQ(listing(read("\"a\tb\",e1,s1,e2,s2\nx,1,2,3,4\n")), (Lines{"trials.csv||1 2 3 4|2"}));
  EXPECT_EQ(listing(read("\"a\n\tb\",e1,s1,e2,s2\nx,1,2,3,4\n")), (Lines{"trials.csv||1 2 3 4|3"}));
  // ...but a quote inside an unquoted name opens nothing.
  EXPECT_EQ(listing(read("note's \"x\tname\te1\ts1\te2\ts2\nA\tB\t1\t2\t3\t4\n")),
            (Lines{"trials.csv|B|1 2 3 4|2"}));
}

TEST(StudyTablesHeader, RWriteCsvOutputWithItsUnnamedRowNameColumn) {
  EXPECT_EQ(listing(read("\"\",\"author\",\"year\",\"ai\",\"n1i\",\"ci\",\"n2i\"\n"
                         "\"1\",\"Aronson\",1948,4,123,11,139\n"
                         "\"2\",\"Ferguson & Simes\",1949,6,306,29,303\n")),
            (Lines{"trials.csv|Aronson|4 123 11 139|2", "trials.csv|Ferguson & Simes|6 306 29 303|3"}));
}

// ---- Quoting, line ends, blank lines ------------------------------------------------------

TEST(StudyTablesQuoting, SeparatorsQuotesAndLineEndsInsideQuotes) {
  const StudyTables tables = read(
      "study,e1,s1,e2,s2\n"
      "\"Smith, J \"\"Jr\"\"\",1,\"10\", 2 ,\" 20 \"\n"
      "\"Line one\r\nline two\rthree\",3,30,4,40\n"
      "  \"  padded  \"  ,5,50,6,60\n"
      "\"\",7,70,8,80\n");
  EXPECT_EQ(listing(tables), (Lines{"trials.csv|Smith, J \"Jr\"|1 10 2 20|2",
                                    "trials.csv|Line one\nline two\nthree|3 30 4 40|3",
                                    "trials.csv|  padded  |5 50 6 60|6", "trials.csv||7 70 8 80|7"}));
}

TEST(StudyTablesQuoting, QuotedHeaderNames) {
  EXPECT_EQ(listing(read("\" E1 \",\"s1\",\"e2\",\"s,2\",\"s2\"\n1,2,3,x,4\n")), (Lines{"trials.csv||1 2 3 4|2"}));
}

TEST(StudyTablesLayout, CrLfLoneCrBlankLinesAndTrailingSeparators) {
  const Lines expected{"trials.csv||1 2 3 4|5", "trials.csv||5 6 7 8|8"};
  EXPECT_EQ(listing(read("\n  \n,,\ne1,s1,e2,s2,\n1,2,3,4,\n\n , , ,\n5,6,7,8,,,\n\n\n")), expected);
  EXPECT_EQ(listing(read("\r\n  \r\n,,\r\ne1,s1,e2,s2,\r\n1,2,3,4,\r\n\r\n , , ,\r\n5,6,7,8,,,\r\n\r\n")), expected);
  EXPECT_EQ(listing(read("\r  \r,,\re1,s1,e2,s2,\r1,2,3,4,\r\r , , ,\r5,6,7,8,,,\r\r")), expected);
  // No line end after the last row.
  EXPECT_EQ(listing(read("e1,s1,e2,s2\r\n1,2,3,4")), (Lines{"trials.csv||1 2 3 4|2"}));
}

TEST(StudyTablesLayout, ByteOrderMarkIsNoPartOfTheFirstName) {
  EXPECT_EQ(listing(read("\xEF\xBB\xBF"
                         "e1,s1,e2,s2\n1,2,3,4\n")),
            (Lines{"trials.csv||1 2 3 4|2"}));
  EXPECT_EQ(error_of("\xEF\xBB\xBF"
                     "x,e1,s1,e2,s2\r\n1,2,x,4,5"),
            "trials.csv:2:5: \"x\" in column s1 is not a whole number");
}

TEST(StudyTablesLayout, ManyRowsAndInterleavedGroups) {
  std::string text = "meta,e1,s1,e2,s2\n";
  for (int i = 0; i < 20000; ++i) {
    text += "g" + std::to_string(i % 100) + "," + std::to_string(i) + ",1,2,3\n";
  }
  const StudyTables tables = read(text);
  ASSERT_EQ(tables.groups.size(), 100u);
  for (std::size_t g = 0; g < 100; ++g) {
    ASSERT_EQ(tables.groups[g].name, "g" + std::to_string(g));
    ASSERT_EQ(tables.groups[g].studies.size(), 200u);
    for (std::size_t k = 0; k < 200; ++k) {
      ASSERT_EQ(tables.groups[g].studies[k].e1, static_cast<std::int32_t>(g + 100 * k));
      ASSERT_EQ(tables.groups[g].lines[k], g + 100 * k + 2);
    }
  }
}

// ---- Files as R writes them (the BCG vaccine trials of the metadat package) ----------------

StudyTables read_data_file(const std::string& name) {
  std::ifstream in(std::string(OSKEV_TEST_DATA_DIR) + "/tables/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return read_study_tables(in, name);
}

// write.csv: quoted texts, an unnamed column of row names, author preferred to trial as the
// label, metafor's events and non-events, and groups that interleave.
TEST(StudyTablesFromR, WriteCsvWithGroups) {
  const StudyTables tables = read_data_file("bcg_by_allocation.csv");
  EXPECT_TRUE(tables.has_labels);
  EXPECT_EQ(listing(tables), (Lines{
                                 "allocation: random|Aronson|4 123 11 139|2",
                                 "allocation: random|Ferguson & Simes|6 306 29 303|3",
                                 "allocation: random|Rosenthal et al|3 231 11 220|4",
                                 "allocation: random|Hart & Sutherland|62 13598 248 12867|5",
                                 "allocation: random|Vandiviere et al|8 2545 10 629|8",
                                 "allocation: random|TPT Madras|505 88391 499 88391|9",
                                 "allocation: random|Coetzee & Berjak|29 7499 45 7277|10",
                                 "allocation: alternate|Frimodt-Moller et al|33 5069 47 5808|6",
                                 "allocation: alternate|Stein & Aronson|180 1541 372 1451|7",
                                 "allocation: systematic|Rosenthal et al|17 1716 65 1665|11",
                                 "allocation: systematic|Comstock et al|186 50634 141 27338|12",
                                 "allocation: systematic|Comstock & Webster|5 2498 3 2341|13",
                                 "allocation: systematic|Comstock et al|27 16913 29 17854|14",
                             }));
}

// write.table with tabs and no quotes.
TEST(StudyTablesFromR, WriteTableWithTabs) {
  EXPECT_EQ(listing(read_data_file("bcg_first_three.tsv")),
            (Lines{"allocation: random|Aronson|4 123 11 139|2", "allocation: random|Ferguson & Simes|6 306 29 303|3",
                   "allocation: random|Rosenthal et al|3 231 11 220|4"}));
}

}  // namespace
}  // namespace oskev::records
