#include "analysis/batch/batch_output.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/batch/batch_text.hpp"

namespace oskev::analysis {
namespace {

using nlohmann::json;

// 37 of 1000 runs not above Q; the interval is R's binom.test(37, 1000).
ReportRow ok_row() {
  ReportRow row;
  row.source = "trials.csv";
  row.name = "K\xC3\xB6lner Studien";  // "Kölner Studien": 14 code points, 15 bytes
  row.status = "ok";
  row.studies = 3;
  row.run.seed = 12345;
  row.run.runs = 1000;
  Result& r = row.result.emplace();
  r.observed.RRMH = 0.5470545f;
  r.rrmh_lower = 0.4123457f;
  r.rrmh_upper = 0.7234568f;
  r.log_rrmh_variance = 0.0625;
  r.observed.Q = 0.1234568f;
  r.observed.DF = 2.0;
  r.i_squared = 0.0;
  r.observed.PASYM = 0.9401234567890123;
  r.p_upper = 0.9401234567890124;
  r.p_lower = 0.05987654321098765;
  r.runs = 1000;
  r.not_above = 37;
  r.undefined = 2;
  r.pemp = r.p_left = 0.037f;
  r.p_left_plus_one = 38.0 / 1001.0;
  r.mc_standard_error = 0.005969;
  r.p_left_lower = 0.026182708843737346;
  r.p_left_upper = 0.050641123059924853;
  return row;
}

ReportRow failed_row() {
  ReportRow row;
  row.source = "more, trials.csv";
  row.name = "Aspirin";
  row.status = "input error";
  row.message = "line 4: expected 4 counts,\n found \"3\"";
  row.run.seed = 12345;
  row.run.runs = 1000;
  return row;
}

TEST(BatchTable, OneAnalysedAndOneFailedMetaAnalysis) {
  ReportRow failed = failed_row();
  failed.source = "trials.csv";  // one source: no column for it
  EXPECT_EQ(render_table({ok_row(), failed}),
            "Type of estimation:                      fixed prevalence of total events\n"
            "Correction for zero events in one arm:   0.5\n"
            "Correction for zero events in both arms: 0.5\n"
            "Seed:                                    12345\n"
            "Runs:                                    1000\n"
            "Rule:                                    fixed runs (every run is made)\n"
            "Level of the intervals:                  95%\n"
            "limits: of RRMH, from the Greenland-Robins variance of ln RRMH.\n"
            "P upper, P lower: the chi-squared tails P(X > Q) and P(X <= Q) with df degrees of freedom.\n"
            "P left = b/m: b of the m runs have a simulated Q not above the observed Q; its CI is exact "
            "(Clopper-Pearson).\n"
            "undefined: runs whose simulated Q is not a number (never counted in b).\n"
            "\n"
            "name            k       RRMH                  limits          Q  df  I\xC2\xB2 (%)    P upper     P lower"
            "      b/m  P left  (b+1)/(m+1)     MC SE              CI of P left  undefined\n"
            "--------------  -  ---------  ----------------------  ---------  --  ------  ---------  ----------"
            "  -------  ------  -----------  --------  ------------------------  ---------\n"
            "K\xC3\xB6lner Studien  3  0.5470545  [0.4123457, 0.7234568]  0.1234568   2       0  0.9401235  0.05987654"
            "  37/1000   0.037   0.03796204  0.005969  [0.02618271, 0.05064112]          2\n"
            "Aspirin         0  input error: line 4: expected 4 counts, found \"3\"\n");
}

// Every line from the titles down has the same number of code points (the last column is
// right-aligned), though names with umlauts take more bytes.
TEST(BatchTable, AlignsByCodePointsNotBytes) {
  std::vector<ReportRow> rows(3, ok_row());
  rows[0].name = "\xC3\x84rzte \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC";  // "Ärzte – 日本"
  rows[1].name = "plain";
  rows[2].name = "\xF0\x9F\x92\x8A pills";  // an emoji outside the basic plane
  rows[2].result->not_above = 123;
  rows[2].result->runs = 80000;
  std::istringstream table(render_table(rows));
  std::string line;
  while (std::getline(table, line) && !line.empty()) {
  }
  std::vector<std::string> lines;
  while (std::getline(table, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  for (const std::string& l : lines) EXPECT_EQ(display_width(l), display_width(lines[0])) << l;
  // The longest name sets the column: k follows it after two blanks.
  EXPECT_EQ(lines[2].find("  3  "), rows[0].name.size());
  // Right-aligned: both counts end in the same column.
  EXPECT_EQ(display_width(lines[3].substr(0, lines[3].rfind("37/1000") + 7)),
            display_width(lines[4].substr(0, lines[4].rfind("123/80000") + 9)));
}

TEST(BatchTable, NamesAndMessagesAreCutToOneLine) {
  ReportRow row = failed_row();
  row.name = "\xC3\x9C" "bersicht aller Studien bis 2024";  // "Übersicht ..." (33 code points)
  row.status = "library stop";
  row.message = " *** TERMINAL ERROR 2 from DCHIDF.  The number\n ***\tof degrees\r\n";
  ReportRow invalid = failed_row();
  invalid.name = "bad\xFF\xC3name";  // not UTF-8: each bad byte shows as U+FFFD
  invalid.message.clear();
  const std::string table = render_table({row, invalid});
  EXPECT_NE(table.find("\n\xC3\x9C" "bersicht aller Stu\xE2\x80\xA6  0  library stop: *** TERMINAL ERROR 2 from "
                       "DCHIDF. The number *** of degrees\n"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("\nbad\xEF\xBF\xBD\xEF\xBF\xBDname             0  input error\n"), std::string::npos) << table;
}

TEST(BatchTable, SourcesThatDifferGetAColumnKeepingTheirEnds) {
  std::vector<ReportRow> rows = {ok_row(), failed_row()};
  rows[1].source = "/data/meta-analyses/2024/aspirin.csv";
  const std::string table = render_table(rows);
  EXPECT_NE(table.find("\nsource                name            k       RRMH"), std::string::npos) << table;
  EXPECT_NE(table.find("\ntrials.csv            K\xC3\xB6lner Studien  3  0.5470545"), std::string::npos) << table;
  EXPECT_NE(table.find("\n\xE2\x80\xA6""es/2024/aspirin.csv  Aspirin         0  input error"), std::string::npos)
      << table;
}

TEST(BatchTable, SettingsThatDifferGetColumns) {
  std::vector<ReportRow> rows = {ok_row(), failed_row()};
  rows[1].source = rows[0].source;
  rows[1].model.prevalence = Prevalence::kRandom;
  rows[1].run.stop_after = 10;
  const std::string table = render_table(rows);
  EXPECT_NE(table.find("Type of estimation:                      varies (see the column \"type\")\n"), std::string::npos);
  EXPECT_NE(table.find("Rule:                                    varies (see the column \"stop after\")\n"),
            std::string::npos);
  EXPECT_NE(table.find("\nname            k  type    stop after       RRMH"), std::string::npos) << table;
  EXPECT_NE(table.find("\nAspirin         0  random          10  input error"), std::string::npos) << table;
  EXPECT_NE(table.find("\nK\xC3\xB6lner Studien  3  fixed            -  0.5470545"), std::string::npos) << table;

  rows[0].run.stop_after = 10;
  rows[0].result->stopped_early = true;
  rows[1].model.prevalence = Prevalence::kFixed;
  const std::string sequential = render_table(rows);
  EXPECT_NE(sequential.find("Rule:                                    Besag-Clifford (stop as soon as 10 runs "
                            "have a simulated Q not above the observed Q)\n"),
            std::string::npos);
  // Each P-value says which rule gave it.
  EXPECT_NE(sequential.find("  undefined  rule\n"), std::string::npos) << sequential;
  EXPECT_NE(sequential.find("  Besag-Clifford\n"), std::string::npos) << sequential;
}

TEST(BatchTable, NonFiniteValuesAndEmptyBatch) {
  ReportRow row = ok_row();
  row.result->observed.RRMH = std::numeric_limits<float>::infinity();
  row.result->rrmh_lower = std::numeric_limits<float>::quiet_NaN();
  row.result->rrmh_upper = -std::numeric_limits<float>::infinity();
  row.result->p_left = 1.234567890e-5f;
  const std::string table = render_table({row});
  EXPECT_NE(table.find("  Infinity  [NaN, -Infinity]  "), std::string::npos) << table;
  EXPECT_NE(table.find("  1.234568E-05  "), std::string::npos) << table;
  EXPECT_EQ(render_table({}), "No meta-analyses.\n");
}

TEST(BatchCsv, OneAnalysedAndOneFailedMetaAnalysis) {
  EXPECT_EQ(render_csv({ok_row(), failed_row()}),
            "source,name,status,message,studies,type,cc_one,cc_both,seed,max_runs,stop_after,level,rrmh,"
            "rrmh_lower,rrmh_upper,q,df,i_squared,p_asymptotic,p_asymptotic_upper,p_asymptotic_lower,runs,"
            "not_above,undefined,p_left,p_left_plus_one,mc_standard_error,p_left_lower,p_left_upper,"
            "p_left_interval,rule,log_rrmh_variance,stopped_early\n"
            "trials.csv,K\xC3\xB6lner Studien,ok,,3,fixed,0.5,0.5,12345,1000,,0.95,0.5470545,0.4123457,0.7234568,"
            "0.1234568,2,0,0.9401234567890123,0.9401234567890124,0.05987654321098765,1000,37,2,0.037,"
            "0.03796203796203796,0.005969,0.026182708843737346,0.05064112305992485,Clopper-Pearson,fixed runs,"
            "0.0625,false\n"
            "\"more, trials.csv\",Aspirin,input error,\"line 4: expected 4 counts,\n found \"\"3\"\"\",0,fixed,"
            "0.5,0.5,12345,1000,,0.95,,,,,,,,,,,,,,,,,,,,,\n");
}

TEST(BatchCsv, QuotesOnlyWhereNeeded) {
  const struct {
    const char* name;
    const char* field;
  } cases[] = {
      {"plain text", "plain text"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"lf\nhere", "\"lf\nhere\""},
      {" blanks kept ", " blanks kept "},
      {"", ""},
  };
  for (const auto& c : cases) {
    ReportRow row = ok_row();
    row.name = c.name;
    const std::string text = render_csv({row});
    const std::string line = text.substr(text.find('\n') + 1);
    EXPECT_EQ(line.substr(0, line.find(",ok,")), "trials.csv," + std::string(c.field)) << c.name;
  }
  // Empty fields keep their place, at the start of a line too.
  ReportRow unnamed = failed_row();
  unnamed.source.clear();
  unnamed.name.clear();
  unnamed.message.clear();
  const std::string text = render_csv({unnamed});
  EXPECT_EQ(text.substr(text.find('\n') + 1), ",,input error,,0,fixed,0.5,0.5,12345,1000,,0.95,,,,,,,,,,,,,,,,,,,,,\n");
}

TEST(BatchCsv, NonFiniteValuesAndSequentialStopping) {
  ReportRow row = ok_row();
  Result& r = *row.result;
  r.observed.RRMH = std::numeric_limits<float>::quiet_NaN();
  r.rrmh_lower = -std::numeric_limits<float>::infinity();
  r.rrmh_upper = std::numeric_limits<float>::infinity();
  r.observed.Q = -std::numeric_limits<float>::quiet_NaN();
  r.i_squared = std::numeric_limits<double>::quiet_NaN();
  row.run.stop_after = 10;
  const std::string text = render_csv({row});
  EXPECT_NE(text.find(",1000,10,0.95,NaN,-Infinity,Infinity,NaN,2,NaN,0.9401234567890123,"), std::string::npos)
      << text;
}

TEST(BatchJson, OneAnalysedAndOneFailedMetaAnalysis) {
  EXPECT_EQ(render_json({ok_row(), failed_row()}, {"oskev analyse", "1.0"}),
            R"({
  "program": "oskev analyse",
  "version": "1.0",
  "meta_analyses": [
    {
      "source": "trials.csv",
      "name": "K)" "\xC3\xB6" R"(lner Studien",
      "status": "ok",
      "studies": 3,
      "settings": {
        "type": "fixed",
        "type_code": 1,
        "cc_one": 0.5,
        "cc_both": 0.5,
        "seed": 12345,
        "runs": 1000,
        "stop_after": null,
        "level": 0.95
      },
      "results": {
        "rrmh": 0.5470545,
        "rrmh_ci": [
          0.4123457,
          0.7234568
        ],
        "log_rrmh_variance": 0.0625,
        "q": 0.1234568,
        "df": 2.0,
        "i2": 0.0,
        "p_asymptotic": 0.9401234567890123,
        "p_asymptotic_upper": 0.9401234567890124,
        "p_asymptotic_lower": 0.05987654321098765,
        "runs": 1000,
        "not_above": 37,
        "undefined_runs": 2,
        "p_left": 0.037,
        "p_left_plus_one": 0.03796203796203796,
        "mc_se": 0.005969,
        "p_left_ci": [
          0.026182708843737346,
          0.05064112305992485
        ],
        "p_left_interval": "Clopper-Pearson",
        "rule": "fixed runs",
        "stopped_early": false
      }
    },
    {
      "source": "more, trials.csv",
      "name": "Aspirin",
      "status": "input error",
      "message": "line 4: expected 4 counts,\n found \"3\"",
      "studies": 0,
      "settings": {
        "type": "fixed",
        "type_code": 1,
        "cc_one": 0.5,
        "cc_both": 0.5,
        "seed": 12345,
        "runs": 1000,
        "stop_after": null,
        "level": 0.95
      },
      "results": null
    }
  ]
}
)");
}

TEST(BatchJson, ParsesBackWithNumbersAsNumbersAndNonFiniteAsStrings) {
  ReportRow row = ok_row();
  row.result->observed.RRMH = std::numeric_limits<float>::infinity();
  row.result->rrmh_lower = std::numeric_limits<float>::quiet_NaN();
  row.result->rrmh_upper = -std::numeric_limits<float>::infinity();
  row.run.stop_after = 25;
  row.model.prevalence = Prevalence::kRandom;
  const json document = json::parse(render_json({row, failed_row()}, {"oskev analyse", "1.0"}));
  const json& ok = document["meta_analyses"][0];
  EXPECT_EQ(ok["results"]["rrmh"], "Infinity");
  EXPECT_EQ(ok["results"]["rrmh_ci"], json::array({"NaN", "-Infinity"}));
  EXPECT_TRUE(ok["results"]["q"].is_number_float());
  EXPECT_EQ(ok["results"]["q"].get<float>(), 0.1234568f);
  EXPECT_EQ(ok["results"]["p_left"].get<float>(), 0.037f);
  EXPECT_EQ(ok["results"]["p_asymptotic"].get<double>(), 0.9401234567890123);
  EXPECT_TRUE(ok["results"]["runs"].is_number_integer());
  EXPECT_EQ(ok["results"]["not_above"].get<std::int64_t>(), 37);
  EXPECT_EQ(ok["settings"]["type"], "random");
  EXPECT_EQ(ok["settings"]["type_code"], 2);
  EXPECT_EQ(ok["settings"]["stop_after"], 25);
  EXPECT_FALSE(ok.contains("message"));
  const json& failed = document["meta_analyses"][1];
  EXPECT_TRUE(failed["results"].is_null());
  EXPECT_EQ(failed["message"], "line 4: expected 4 counts,\n found \"3\"");
}

TEST(BatchJson, TextThatIsNotUtf8IsReplacedNotLost) {
  ReportRow row = failed_row();
  row.name = "caf\xE9";  // Latin-1
  const json document = json::parse(render_json({row}, {"oskev analyse", "1.0"}));
  EXPECT_EQ(document["meta_analyses"][0]["name"], "caf\xEF\xBF\xBD");
}

TEST(OutputFormatNames, OnlyTheThreeFormats) {
  EXPECT_EQ(parse_output_format("table"), OutputFormat::kTable);
  EXPECT_EQ(parse_output_format("csv"), OutputFormat::kCsv);
  EXPECT_EQ(parse_output_format("json"), OutputFormat::kJson);
  EXPECT_EQ(parse_output_format("JSON"), std::nullopt);
  EXPECT_EQ(parse_output_format(""), std::nullopt);
  EXPECT_EQ(render(OutputFormat::kCsv, {ok_row()}, {}), render_csv({ok_row()}));
}

}  // namespace
}  // namespace oskev::analysis
