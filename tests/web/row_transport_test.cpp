// The web page's transport of report rows: every row comes back bit for bit, so the table,
// CSV, JSON and pictures rendered from the rows that travelled are the very bytes of the rows
// themselves; anything but packed rows is refused.
#include "row_transport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/batch_picture.hpp"
#include "support/studies.hpp"

namespace oskev::web {
namespace {

using namespace oskev::analysis;

struct Batch {
  const char* what;
  std::vector<BatchItem> items;
  Model model;
  Run run;
};

Run runs(std::int32_t seed, std::int32_t n) {
  Run run;
  run.seed = seed;
  run.runs = n;
  return run;
}

std::vector<Batch> batches() {
  const std::vector<Study> common = testing::studies_of(testing::kCommonStudies);
  std::vector<Study> labelled = common;
  labelled[0].label = "Aronson \"1948\", <Chicago>";
  labelled[1].label = "K\xC3\xB6ln \xFF";  // a byte that is no UTF-8
  std::vector<Batch> all;
  all.push_back({"fixed prevalence, labels", {{"a.csv", "one", labelled}, {"a.csv", "two", common}}, {}, runs(7, 500)});
  Batch stopped{"random prevalence, stopped early", {{"b.csv", "sequential", common}}, {}, runs(11, 4000)};
  stopped.model.prevalence = Prevalence::kRandom;
  stopped.run.stop_after = 5;
  stopped.run.level = 0.9;
  all.push_back(stopped);
  Batch zeros{"a zero cell left uncorrected, and a refusal",
              {{"-", "zero", testing::studies_of("5 10 0 10 4 12 6 11")}, {"-", "bad", {{9, 5, 1, 10, ""}}}},
              {Prevalence::kFixed, 0.0f, 0.0f},
              runs(3, 300)};
  zeros.run.tuning.stated_studies = 3;
  zeros.run.tuning.zero_test = ZeroTest::kAtMostZero;
  zeros.run.tuning.redraw_limits = {17, 5'000'000'000LL};
  zeros.run.tuning.spread = false;
  zeros.run.tuning.tables_per_slice = 123;
  all.push_back(zeros);
  all.push_back({"a library stop", {{"c.csv", "road", testing::studies_of(testing::kRoadStudies)}},
                 {Prevalence::kFixed, 0.0f, 0.0f}, runs(5, 100)});
  return all;
}

struct Analysed {
  std::vector<ReportRow> rows;
  std::vector<std::optional<QDistribution>> distributions;
};

Analysed analyse_batch(const Batch& batch) {
  Analysed a;
  a.distributions.resize(batch.items.size());
  BatchOptions options;
  options.keep_distributions = true;
  options.done = [&](std::size_t i, const Outcome&, QDistribution* d) {
    if (d != nullptr) a.distributions[i] = *d;
  };
  const std::vector<Outcome> outcomes = run_batch(batch.items, batch.model, batch.run, options);
  for (std::size_t i = 0; i < outcomes.size(); ++i)
    a.rows.push_back(report_row(outcomes[i], batch.model, batch.run, batch.items[i].source, batch.items[i].name,
                                static_cast<std::int64_t>(batch.items[i].studies.size())));
  return a;
}

float float_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(RowTransport, EveryRowComesBackBitForBitAndRendersTheSameBytes) {
  for (const Batch& batch : batches()) {
    SCOPED_TRACE(batch.what);
    Analysed analysed = analyse_batch(batch);
    const std::string packed = pack_rows(analysed.rows);
    const std::vector<ReportRow> back = unpack_rows(packed);
    ASSERT_EQ(back.size(), analysed.rows.size());
    EXPECT_EQ(pack_rows(back), packed);
    const BatchInfo info{"oskev analyse", "1.0"};
    for (OutputFormat format : {OutputFormat::kTable, OutputFormat::kCsv, OutputFormat::kJson})
      EXPECT_EQ(render(format, back, info), render(format, analysed.rows, info));
    for (std::size_t i = 0; i < back.size(); ++i) {
      if (!analysed.distributions[i] || !back[i].result) continue;
      QDistribution copy = *analysed.distributions[i];
      EXPECT_EQ(batch_picture("OSKEV", batch.items[i], batch.model, *back[i].result, std::move(copy)),
                batch_picture("OSKEV", batch.items[i], batch.model, *analysed.rows[i].result,
                              std::move(*analysed.distributions[i])));
    }
  }
  // The statuses the batches give: each kind of row travels.
  std::vector<std::string> statuses;
  for (const Batch& batch : batches())
    for (const ReportRow& row : analyse_batch(batch).rows) statuses.push_back(row.status);
  EXPECT_EQ(statuses, (std::vector<std::string>{"ok", "ok", "ok", "Q undefined", "refused", "library stop"}));
}

TEST(RowTransport, RealsKeepTheirBitsAndPackingsJoinEndToEnd) {
  std::vector<ReportRow> rows = analyse_batch(batches()[0]).rows;
  Result& r = *rows[0].result;
  r.table.RR[1] = float_bits(0x7fc12345u);  // a not-a-number with a payload
  r.observed.Q = -0.0f;
  r.p_upper = -std::numeric_limits<double>::infinity();
  r.p_left_lower = std::numeric_limits<double>::denorm_min();
  rows[1].name = std::string("nul\0inside", 10);
  const std::string joined = pack_rows({rows[0]}) + pack_rows({rows[1]});
  EXPECT_EQ(joined, pack_rows(rows));
  const std::vector<ReportRow> back = unpack_rows(joined);
  ASSERT_EQ(back.size(), 2u);
  std::uint32_t bits;
  std::memcpy(&bits, &back[0].result->table.RR[1], sizeof bits);
  EXPECT_EQ(bits, 0x7fc12345u);
  EXPECT_TRUE(std::signbit(back[0].result->observed.Q));
  EXPECT_EQ(back[0].result->p_left_lower, std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(back[1].name, rows[1].name);
  EXPECT_TRUE(unpack_rows("").empty());
}

TEST(RowTransport, AnythingButPackedRowsIsRefused) {
  const std::vector<ReportRow> rows = analyse_batch(batches()[1]).rows;
  const std::string packed = pack_rows(rows);
  for (std::size_t cut = 1; cut < packed.size(); ++cut)
    EXPECT_THROW(unpack_rows(std::string_view(packed).substr(0, cut)), TransportError) << cut;
  // The first fields: the source's length (8 bytes), the source, and so on to the model's
  // type of estimation, an enumeration of two values.
  std::string bad = packed;
  const std::size_t prevalence = 8 + rows[0].source.size() + 8 + rows[0].name.size() + 8 + rows[0].status.size() +
                                 8 + rows[0].message.size() + 8;
  bad[prevalence] = 7;
  EXPECT_THROW(unpack_rows(bad), TransportError);
  bad = packed;
  bad[7] = '\x40';  // a source of 2^62 bytes
  EXPECT_THROW(unpack_rows(bad), TransportError);
}

}  // namespace
}  // namespace oskev::web
