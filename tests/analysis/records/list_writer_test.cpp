#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/records/list_writer.hpp"

namespace oskev::records {
namespace {

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

TEST(SingleItem, FixedForm) {
  EXPECT_EQ(format_single(1.0f), blanks(3) + "1.000000" + blanks(4));
  EXPECT_EQ(format_single(0.5f), blanks(2) + "0.5000000" + blanks(4));
  EXPECT_EQ(format_single(12345.67f), blanks(3) + "12345.67" + blanks(4));
  EXPECT_EQ(format_single(1234567.0f), blanks(3) + "1234567." + blanks(4));
  EXPECT_EQ(format_single(-2.5f), blanks(2) + "-2.500000" + blanks(4));
  EXPECT_EQ(format_single(0.1f), blanks(2) + "0.1000000" + blanks(4));
  EXPECT_EQ(format_single(9999999.0f), blanks(3) + "9999999." + blanks(4));
  EXPECT_EQ(format_single(1.0f / 11.0f), blanks(2) + "9.0909094E-02");
}

TEST(SingleItem, ExponentFormAndZero) {
  EXPECT_EQ(format_single(0.0f), blanks(2) + "0.0000000E+00");
  EXPECT_EQ(format_single(0.05f), blanks(2) + "5.0000001E-02");
  EXPECT_EQ(format_single(10000000.0f), blanks(2) + "1.0000000E+07");
  // The next single below 0.1 no longer rounds to 0.1000000 at seven digits.
  EXPECT_EQ(format_single(std::nextafter(0.1f, 0.0f)), blanks(2) + "9.9999994E-02");
  EXPECT_EQ(format_single(-1.0e-30f), " -1.0000000E-30");
  EXPECT_EQ(format_single(std::numeric_limits<float>::max()), blanks(2) + "3.4028235E+38");
  EXPECT_EQ(format_single(std::numeric_limits<float>::denorm_min()), blanks(2) + "1.4012985E-45");
}

TEST(GeneralForm, RoundingCarriesIntoTheNextForm) {
  // The double just below 0.1 rounds up to 0.1 at fifteen digits: fixed form, not exponent.
  EXPECT_EQ(format_double(std::nextafter(0.1, 0.0)), "  0.100000000000000     ");
  // Rounding to the fixed form's digits moves 99999.99 (single) no further than 99999.99.
  EXPECT_EQ(format_single(99999.99f), "   99999.99    ");
  // At fifteen digits this rounds to 10^15, so the exponent form is chosen; it shows sixteen.
  EXPECT_EQ(format_double(999999999999999.9), "  9.999999999999999E+014");
}

TEST(SingleItem, NonFiniteValuesAreRightAligned) {
  EXPECT_EQ(format_single(std::numeric_limits<float>::quiet_NaN()), blanks(12) + "NaN");
  EXPECT_EQ(format_single(std::numeric_limits<float>::infinity()), blanks(7) + "Infinity");
  EXPECT_EQ(format_single(-std::numeric_limits<float>::infinity()), blanks(6) + "-Infinity");
}

TEST(DoubleItem, GeneralForm) {
  EXPECT_EQ(format_double(0.5), blanks(2) + "0.500000000000000" + blanks(5));
  EXPECT_EQ(format_double(1.0), blanks(3) + "1.00000000000000" + blanks(5));
  EXPECT_EQ(format_double(0.00001), blanks(2) + "1.000000000000000E-005");
  EXPECT_EQ(format_double(0.5234), blanks(2) + "0.523400000000000" + blanks(5));
  EXPECT_EQ(format_double(0.0), blanks(2) + "0.000000000000000E+000");
  EXPECT_EQ(format_double(1.0e300), blanks(2) + "1.000000000000000E+300");
  EXPECT_EQ(format_double(std::numeric_limits<double>::quiet_NaN()), blanks(21) + "NaN");
  EXPECT_EQ(format_double(-std::numeric_limits<double>::infinity()), blanks(15) + "-Infinity");
}

TEST(IntegerItem, TwelveColumns) {
  EXPECT_EQ(format_integer(10), blanks(10) + "10");
  EXPECT_EQ(format_integer(-2147483647 - 1), " -2147483648");
  EXPECT_EQ(format_integer(0), blanks(11) + "0");
}

TEST(Record, TextAndNumbers) {
  std::ostringstream out;
  ListWriter writer(out);
  writer.write({"studies=", 10});
  writer.write({"continuity correction=", 0.5f});
  writer.write({"continuity correction=", 1.0f});
  writer.empty_line();
  EXPECT_EQ(out.str(), " studies=" + blanks(10) + "10\n" +
                           " continuity correction=  0.5000000    \n" +
                           " continuity correction=   1.000000    \n" +
                           "  \n");
  EXPECT_EQ(std::string(" studies=          10").size(), 21u);
}

TEST(Record, FourRealsAndIntegerWithThreeReals) {
  auto four = layout_records(std::vector<Item>{1.0f, 2.0f, 3.0f, 4.0f});
  ASSERT_EQ(four.size(), 1u);
  EXPECT_EQ(four[0].size(), 60u);

  auto table_row = layout_records(std::vector<Item>{std::int32_t{3}, 0.5f, 0.25f, 2.0f});
  ASSERT_EQ(table_row.size(), 1u);
  EXPECT_EQ(table_row[0].size(), 57u);
  EXPECT_EQ(table_row[0].substr(0, 12), blanks(11) + "3");
}

TEST(Record, SplitBeforeTheFirstNumberThatNoLongerFits) {
  // 5 singles: 75 columns fit; the sixth would end at 90 and starts the next record.
  auto records = layout_records(std::vector<Item>{1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 75u);
  EXPECT_EQ(records[1], format_single(6.0f));

  // A text of 70 characters leaves 9 columns: an integer (12) moves to the next record.
  const std::string text(70, 'x');
  auto split = layout_records(std::vector<Item>{text, std::int32_t{7}});
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[0], " " + text);
  EXPECT_EQ(split[1], format_integer(7));

  // Exactly filling the record does not split it: 71 + 9 would need a 9-wide item; a text
  // of 9 characters after 71 columns fits, one of 10 starts a new record with its blank.
  auto exact = layout_records(std::vector<Item>{text, "123456789"});
  ASSERT_EQ(exact.size(), 1u);
  EXPECT_EQ(exact[0].size(), 80u);
  auto over = layout_records(std::vector<Item>{text, "1234567890"});
  ASSERT_EQ(over.size(), 2u);
  EXPECT_EQ(over[1], " 1234567890");
}

TEST(Record, AsteriskBannerIsOneTextItem) {
  const std::string stars(57, '*');
  auto records = layout_records(std::vector<Item>{stars});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], " " + stars);
}

}  // namespace
}  // namespace oskev::records
