#include "analysis/batch/batch_numbers.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/batch_text.hpp"

namespace oskev::analysis {
namespace {

float float_from_bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

TEST(BatchNumbers, ShortestFloatTexts) {
  EXPECT_EQ(float_text(0.5470545f), "0.5470545");
  EXPECT_EQ(float_text(0.1f), "0.1");
  EXPECT_EQ(float_text(0.037f), "0.037");
  EXPECT_EQ(float_text(1.0f / 3.0f), "0.33333334");
  EXPECT_EQ(float_text(1e-5f), "1e-05");
  EXPECT_EQ(float_text(16777216.0f), "16777216");
  EXPECT_EQ(float_text(123456.7f), "123456.7");
  EXPECT_EQ(float_text(std::numeric_limits<float>::max()), "3.4028235e+38");
  EXPECT_EQ(float_text(std::numeric_limits<float>::denorm_min()), "1e-45");
  EXPECT_EQ(float_text(-0.0f), "-0");
  EXPECT_EQ(float_text(std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(float_text(-std::numeric_limits<float>::infinity()), "-Infinity");
  EXPECT_EQ(double_text(38.0 / 1001.0), "0.03796203796203796");
  EXPECT_EQ(double_text(2.0), "2");
  EXPECT_EQ(double_text(std::numeric_limits<double>::infinity()), "Infinity");
}

// 7.038531e-26 is the shortest decimal of this float, but read into a double it lands exactly
// on the midpoint to the next float and narrows (ties to even) to that neighbour.
TEST(BatchNumbers, OneDigitMoreWhereADoubleWouldRoundTwice) {
  const float value = float_from_bits(0x15AE43FDu);
  double as_double = 0.0;
  const std::string shortest = "7.038531e-26";
  std::from_chars(shortest.data(), shortest.data() + shortest.size(), as_double);
  ASSERT_NE(static_cast<float>(as_double), value);
  EXPECT_EQ(float_text(value), "7.0385307e-26");
  EXPECT_EQ(float_text(-value), "-7.0385307e-26");
  EXPECT_EQ(static_cast<float>(float_as_short_double(value)), value);
}

// Floats spread over the whole range, both signs, and the edges.
std::vector<float> sample_floats() {
  std::vector<float> values = {0.5470545f, 0.1f, 1e-5f, 0.0f, -0.0f, float_from_bits(0x15AE43FDu),
                               std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()};
  for (std::uint32_t bits = 0; bits < 0x7F800000u; bits += 214013) {  // a step prime to every power of two
    values.push_back(float_from_bits(bits));
    values.push_back(-float_from_bits(bits));
  }
  return values;
}

TEST(BatchNumbers, CsvFloatsReadBackBitIdentical) {
  std::vector<ReportRow> rows;
  for (const float value : sample_floats()) {
    ReportRow row;
    row.status = "ok";
    row.result.emplace().observed.RRMH = value;
    rows.push_back(row);
  }
  const std::string text = render_csv(rows);
  std::size_t line_start = text.find('\n') + 1;
  for (const ReportRow& row : rows) {
    // rrmh is the 13th field; no field before it is quoted here.
    std::size_t field = line_start;
    for (int i = 0; i < 12; ++i) field = text.find(',', field) + 1;
    const std::size_t end = text.find(',', field);
    float as_float = 0.0f;
    double as_double = 0.0;
    std::from_chars(text.data() + field, text.data() + end, as_float);
    std::from_chars(text.data() + field, text.data() + end, as_double);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(as_float), std::bit_cast<std::uint32_t>(row.result->observed.RRMH))
        << text.substr(field, end - field);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(as_double)), std::bit_cast<std::uint32_t>(row.result->observed.RRMH))
        << text.substr(field, end - field);
    line_start = text.find('\n', line_start) + 1;
  }
}

TEST(BatchNumbers, JsonFloatsReadBackBitIdenticalAndShort) {
  std::vector<ReportRow> rows;
  for (const float value : sample_floats()) {
    ReportRow row;
    row.status = "ok";
    row.result.emplace().observed.Q = value;
    row.model.cc_one = value;
    rows.push_back(row);
  }
  const nlohmann::json document = nlohmann::json::parse(render_json(rows, {}));
  ASSERT_EQ(document["meta_analyses"].size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const nlohmann::json& q = document["meta_analyses"][i]["results"]["q"];
    ASSERT_TRUE(q.is_number_float()) << i;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(q.get<float>()), std::bit_cast<std::uint32_t>(rows[i].result->observed.Q)) << q.dump();
    // The printed number is the float's own short decimal, not the double's 17 digits.
    double expected = 0.0;
    const std::string text = float_text(rows[i].result->observed.Q);
    std::from_chars(text.data(), text.data() + text.size(), expected);
    ASSERT_EQ(q.get<double>(), expected) << q.dump();
    ASSERT_EQ(document["meta_analyses"][i]["settings"]["cc_one"], q);
  }
  EXPECT_NE(render_json({rows.front()}, {}).find("\"q\": 0.5470545,"), std::string::npos);
}

TEST(BatchNumbers, SevenSignificantDigitsForPeople) {
  EXPECT_EQ(seven_digits(0.5470545f), "0.5470545");
  EXPECT_EQ(seven_digits(0.5f), "0.5");
  EXPECT_EQ(seven_digits(2.0), "2");
  EXPECT_EQ(seven_digits(0.0), "0");
  EXPECT_EQ(seven_digits(0.00012345678), "0.0001234568");
  EXPECT_EQ(seven_digits(1.234567890e-5), "1.234568E-05");
  EXPECT_EQ(seven_digits(123456.7f), "123456.7");
  EXPECT_EQ(seven_digits(12345678.0), "1.234568E+07");
  EXPECT_EQ(seven_digits(-3.25), "-3.25");
  EXPECT_EQ(seven_digits(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(seven_digits(std::numeric_limits<double>::infinity()), "Infinity");
}

TEST(BatchText, CharactersOneLineAndShorten) {
  EXPECT_EQ(display_width("K\xC3\xB6ln \xE6\x97\xA5 \xF0\x9F\x92\x8A"), 8u);  // "Köln 日 💊"
  // Bad bytes, an overlong form, a surrogate and a cut sequence each become one U+FFFD.
  EXPECT_EQ(characters("a\xFF" "b\xC0\xAF" "c\xED\xA0\x80" "d\xE6\x97"),
            (std::vector<std::string>{"a", "\xEF\xBF\xBD", "b", "\xEF\xBF\xBD", "\xEF\xBF\xBD", "c", "\xEF\xBF\xBD",
                                      "\xEF\xBF\xBD", "\xEF\xBF\xBD", "d", "\xEF\xBF\xBD", "\xEF\xBF\xBD"}));
  EXPECT_EQ(one_line("  first\r\n\tsecond \xC2\x85 third  "), "first second third");
  EXPECT_EQ(one_line("\n\n"), "");
  EXPECT_EQ(shorten("\xC3\x84rzte", 5), "\xC3\x84rzte");
  EXPECT_EQ(shorten("\xC3\x84rzteschaft", 5), "\xC3\x84rzt\xE2\x80\xA6");
  EXPECT_EQ(shorten("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 2), "\xE6\x97\xA5\xE2\x80\xA6");  // never half a character
  EXPECT_EQ(shorten_start("dir/\xC3\xA4.csv", 6), "\xE2\x80\xA6\xC3\xA4.csv");
  EXPECT_EQ(shorten_start("a.csv", 5), "a.csv");
}

}  // namespace
}  // namespace oskev::analysis
