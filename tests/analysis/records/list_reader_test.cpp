#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "analysis/records/list_reader.hpp"

namespace oskev::records {
namespace {

// Reads `count` integers in one read operation.
std::vector<std::int32_t> read_integers(ListReader& reader, std::size_t count, std::int32_t initial = -7) {
  std::vector<std::int32_t> values(count, initial);
  std::vector<ListReader::Target> targets;
  for (auto& v : values) targets.emplace_back(&v);
  reader.read(targets);
  return values;
}

using Ints = std::vector<std::int32_t>;

TEST(Reading, SeparatorsAndLayouts) {
  std::istringstream in("1 2,3\n\n  4 ,  5 6\n7\t8\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 8), (Ints{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Reading, EachReadStartsOnANewLineAndSkipsTheRest) {
  std::istringstream in("10 20\n5,7\n\n   42   \n");
  ListReader reader(in, 5, "stdin");
  EXPECT_EQ(read_integers(reader, 1), (Ints{10}));
  EXPECT_EQ(read_integers(reader, 1), (Ints{5}));
  EXPECT_EQ(read_integers(reader, 1), (Ints{42}));  // the empty line supplies nothing
}

TEST(Reading, StudiesSpreadOverLinesReadLikeOneStudyALine) {
  std::istringstream a("15 120 25 118\n0 54\n3 60\n0 40 0 38\nextra line ignored\n");
  std::istringstream b("15 120 25 118\n0 54 3 60\n0 40 0 38\n");
  ListReader ra(a, 10, "study.txt"), rb(b, 10, "study.txt");
  EXPECT_EQ(read_integers(ra, 12), read_integers(rb, 12));
}

TEST(Reading, SlashEndsTheReadAndNullValuesKeepTheVariable) {
  std::istringstream in("/\n1,,3\n,5\n4 / 9\n");
  ListReader reader(in, 5, "stdin");
  EXPECT_EQ(read_integers(reader, 1, 0), (Ints{0}));             // slash: unchanged
  EXPECT_EQ(read_integers(reader, 3), (Ints{1, -7, 3}));         // ,, is a null value
  EXPECT_EQ(read_integers(reader, 2), (Ints{-7, 5}));            // a leading comma too
  EXPECT_EQ(read_integers(reader, 3), (Ints{4, -7, -7}));        // slash after a value
}

TEST(Reading, CommaAfterAValueAndAtALineEndIsNoNullValue) {
  std::istringstream in("1 , 2,\n3\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 3), (Ints{1, 2, 3}));
}

TEST(Reading, RepeatCounts) {
  std::istringstream in("3*5 6\n2* 8\n4*1\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{5, 5, 5, 6}));
  EXPECT_EQ(read_integers(reader, 3), (Ints{-7, -7, 8}));
  EXPECT_EQ(read_integers(reader, 2), (Ints{1, 1}));  // the rest of the repeat is dropped
}

TEST(Reading, RealsTakeIntegersDecimalsAndExponents) {
  std::istringstream in("1\n.5\n-2.5e1\n1.5D-1\n+3.\n");
  ListReader reader(in, 5, "stdin");
  float x = 0;
  reader.read({&x});
  EXPECT_EQ(x, 1.0f);
  reader.read({&x});
  EXPECT_EQ(x, 0.5f);
  reader.read({&x});
  EXPECT_EQ(x, -25.0f);
  reader.read({&x});
  EXPECT_EQ(x, 0.15f);
  reader.read({&x});
  EXPECT_EQ(x, 3.0f);
}

TEST(Reading, WindowsLineEndsAndByteOrderMark) {
  std::istringstream in("\xEF\xBB\xBF" "1 2\r\n3 4\r\n");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{1, 2, 3, 4}));
}

TEST(Reading, ABlankLastLineWithoutLineEndEndsTheInput) {
  std::istringstream in(" ");
  ListReader reader(in, 5, "stdin");
  EXPECT_THROW(read_integers(reader, 1), InputError);
  std::istringstream two("1\n ");
  ListReader second(two, 5, "stdin");
  EXPECT_EQ(read_integers(second, 1), (Ints{1}));
  EXPECT_THROW(read_integers(second, 1), InputError);
}

TEST(Reading, LastLineWithoutLineEnd) {
  std::istringstream in("1 2\n3 4");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 4), (Ints{1, 2, 3, 4}));
}

// Runs a read expected to fail and returns the error.
template <typename Read>
InputError failure(Read&& read) {
  try {
    read();
  } catch (const InputError& error) {
    return error;
  }
  ADD_FAILURE() << "no input error";
  return InputError(ReadCondition::kSyntax, 0, "", "");
}

TEST(ReadFailures, EndOfFile) {
  std::istringstream in("1 2 3 4 5\n6 7 8 9 10\n");
  ListReader reader(in, 10, "study.txt");
  auto error = failure([&] { read_integers(reader, 12); });
  EXPECT_EQ(error.condition(), ReadCondition::kEndOfFile);
  EXPECT_EQ(error.condition_text(), "end-of-file during read, unit 10, file study.txt");
  EXPECT_EQ(std::string(error.what()),
            "end-of-file during read, unit 10, file study.txt (12 values needed, 10 found)");

  std::istringstream empty("");
  ListReader console(empty, 5, "stdin");
  EXPECT_EQ(failure([&] { read_integers(console, 1); }).condition_text(),
            "end-of-file during read, unit 5, file stdin");
  // A read that asks for nothing still takes a line.
  std::istringstream none("");
  ListReader nothing(none, 10, "study.txt");
  EXPECT_EQ(failure([&] { read_integers(nothing, 0); }).condition(), ReadCondition::kEndOfFile);
}

TEST(ReadFailures, ConversionErrors) {
  for (const char* text : {"12.0", "x", "1e3", "+", "2147483648", "-2147483649", "99999999999999", "1-2"}) {
    std::istringstream in(text);
    ListReader reader(in, 10, "study.txt");
    auto error = failure([&] { read_integers(reader, 1); });
    EXPECT_EQ(error.condition(), ReadCondition::kConversion) << text;
    EXPECT_EQ(error.condition_text(), "input conversion error, unit 10, file study.txt");
  }
  for (const char* text : {"abc", "1.0e", "1e40", ".", "1.5x", "nan", "inf", "1.0+5"}) {
    std::istringstream in(text);
    ListReader reader(in, 5, "stdin");
    float x = 0;
    auto error = failure([&] { reader.read({&x}); });
    EXPECT_EQ(error.condition(), ReadCondition::kConversion) << text;
  }
}

TEST(ReadFailures, IntegerLimitsAreExact) {
  std::istringstream in("2147483647 -2147483648");
  ListReader reader(in, 10, "study.txt");
  EXPECT_EQ(read_integers(reader, 2), (Ints{2147483647, -2147483647 - 1}));
}

TEST(ReadFailures, MalformedRepeatIsASyntaxError) {
  for (const char* text : {"0*5", "*5", "-2*5", "x*5", "99999999999*1"}) {
    std::istringstream in(text);
    ListReader reader(in, 10, "study.txt");
    auto error = failure([&] { read_integers(reader, 1); });
    EXPECT_EQ(error.condition(), ReadCondition::kSyntax) << text;
    EXPECT_EQ(error.condition_text(), "list-directed I/O syntax error, unit 10, file study.txt");
  }
}

}  // namespace
}  // namespace oskev::records
