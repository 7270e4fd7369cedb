# Argument forms and checks: everything is checked in R, with a message that names the argument
# and the studies, before the engine is called.

test_that("columns of data, vectors, and events with non-events give the same analysis", {
  skip_if_not_installed("metadat")
  dat <- metadat::dat.bcg
  by_name <- oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = dat, runs = 300, seed = 90001)
  by_parts <- oskev(ai = tpos, bi = tneg, ci = cpos, di = cneg, data = dat, runs = 300,
                    seed = 90001)
  by_vector <- oskev(ai = dat$tpos, n1i = dat$tpos + dat$tneg, ci = dat$cpos,
                     n2i = dat$cpos + dat$cneg, runs = 300, seed = 90001)
  strip <- function(res) res[setdiff(names(res), "call")]
  expect_identical(strip(by_parts), strip(by_name))
  expect_identical(strip(by_vector), strip(by_name))
  # dat.bcg holds the BCG trials of the recorded run
  expect_identical(by_name$q, run(bcg, runs = 300, seed = 90001)$q)
})

test_that("study labels come from slab, looked up in data, or default to Study i", {
  skip_if_not_installed("metadat")
  dat <- metadat::dat.bcg
  res <- oskev(ai = tpos, bi = tneg, ci = cpos, di = cneg, data = dat,
               slab = paste(author, year), runs = 10, seed = 3)
  expect_identical(res$studies$study, paste(dat$author, dat$year))
  expect_identical(res$slab, paste(dat$author, dat$year))
  expect_identical(run(road, runs = 10, seed = 3)$studies$study, paste("Study", 1:3))
  expect_identical(run(road, slab = c("a", NA, "c"), runs = 10, seed = 3)$studies$study,
                   c("a", "Study 2", "c"))
  expect_error(run(road, slab = c("a", "b"), runs = 10, seed = 3), "'slab' has 2 labels for 3")
})

test_that("counts as given stay in the study table and as.data.frame returns it", {
  res <- run(road, runs = 10, seed = 5)
  df <- as.data.frame(res)
  expect_s3_class(df, "data.frame")
  expect_identical(names(df), c("study", "ai", "n1i", "ci", "n2i", "ai.c", "n1i.c", "ci.c",
                                "n2i.c", "rr", "rr.lb", "rr.ub", "var.logrr", "weight"))
  expect_identical(df$ai, c(15L, 0L, 0L))
  expect_identical(df$n2i, c(118L, 60L, 38L))
  expect_identical(df$weight, oskev:::.as_single(1 / df$var.logrr))
})

test_that("bad counts are refused with the argument and the studies named", {
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10, 10), ci = c(1, 2), n2i = c(10, 10)),
               "differ in length: 2, 3, 2, 2")
  expect_error(oskev(ai = c(1, NA), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10)),
               "'ai' is missing \\(NA\\) in study 2")
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10.5), ci = c(1, 2), n2i = c(10, 10)),
               "'n1i' is not a whole number in study 2")
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10), ci = c(-1, 2), n2i = c(10, 10)),
               "'ci' is negative in study 1")
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10), ci = c(1, 2), n2i = c(Inf, 10)),
               "'n2i' is not finite in study 1")
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 3e9), ci = c(1, 2), n2i = c(10, 10)),
               "'n1i' is above 2147483647 in study 2")
  expect_error(oskev(ai = c(11, 2, 12), n1i = c(10, 10, 10), ci = c(1, 2, 3), n2i = c(10, 10, 10)),
               "arm 1 has more events than subjects in studies 1, 3")
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10), ci = c(1, 20), n2i = c(10, 10)),
               "arm 2 has more events than subjects in study 2")
  expect_error(oskev(ai = c("1", "2"), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10)),
               "'ai' must be numeric")
  expect_error(oskev(ai = factor(1:2), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10)),
               "'ai' must be numeric")
  expect_error(oskev(ai = c(1, 2), bi = c(9, -1), ci = c(1, 2), n2i = c(10, 10)),
               "'bi' is negative in study 2")
  expect_error(oskev(ai = 2e9, bi = 2e9, ci = 1, n2i = 10),
               "'ai \\+ bi' is above 2147483647")
  expect_error(oskev(ai = 1, n1i = 10, bi = 9, ci = 1, n2i = 10), "either 'n1i' or 'bi'")
  expect_error(oskev(ai = 1, ci = 1, n2i = 10), "subjects of arm 1 are missing")
  expect_error(oskev(n1i = 10, ci = 1, n2i = 10), "'ai' and 'ci'")
  expect_error(oskev(ai = numeric(0), n1i = numeric(0), ci = numeric(0), n2i = numeric(0)),
               "no studies")
  expect_error(oskev(tpos, n1i = 10, ci = 1, n2i = 10, data = 1:3), "'data' must be")
})

test_that("bad settings are refused", {
  args <- list(ai = c(1, 2), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10))
  call_with <- function(...) do.call(oskev, c(args, list(...)))
  expect_error(call_with(runs = 0), "'runs' must be within 1 ... 2147483647, not 0")
  expect_error(call_with(runs = 2147483648), "'runs' must be within")
  expect_error(call_with(runs = 10.5), "'runs' must be one whole number")
  expect_error(call_with(runs = NA), "'runs' must be one whole number")
  expect_error(call_with(runs = c(10, 20)), "'runs' must be one whole number")
  expect_error(call_with(runs = "100"), "'runs' must be one whole number")
  expect_error(call_with(cc.one = -0.5), "'cc.one' must be 0 or more")
  expect_error(call_with(cc.both = NA_real_), "'cc.both' must be one finite number")
  expect_error(call_with(cc.both = Inf), "'cc.both' must be one finite number")
  expect_error(call_with(cc.one = 1e39), "'cc.one' is too large for single precision")
  expect_error(call_with(model = "mixed"), "'model' must be \"fixed\"")
  expect_error(call_with(model = 3), "'model' must be \"fixed\"")
  expect_error(call_with(model = NA), "'model' must be \"fixed\"")
  expect_error(call_with(seed = 0), "'seed' must be within 1 ... 2147483646, not 0")
  expect_error(call_with(seed = 2147483647), "'seed' must be within")
  expect_error(call_with(seed = 1.5), "'seed' must be one whole number")
})

test_that("model names may be abbreviated and the settings are reported as used", {
  res <- run(road, runs = 20, model = "rand", cc.one = 0.1, cc.both = 0.25, seed = 77)
  expect_identical(res$settings$model, "random")
  expect_identical(res$settings$type, 2L)
  expect_identical(res$settings$runs, 20L)
  expect_identical(res$settings$seed, 77L)
  expect_identical(res$settings$cc.one, oskev:::.as_single(0.1))
  expect_identical(res$settings$cc.both, 0.25)
})

test_that("without a seed the clock's seed is used and reported, and repeats the analysis", {
  res <- run(road, runs = 200)
  seed <- res$settings$seed
  expect_true(seed == 123457L || seed >= 2L && seed <= 235960L)
  again <- run(road, runs = 200, seed = seed)
  expect_identical(again$qsim, res$qsim)
  expect_identical(again$b, res$b)
})

test_that("the same seed gives the same analysis, another seed other draws", {
  a <- run(road, runs = 300, seed = 12345)
  b <- run(road, runs = 300, seed = 12345)
  c <- run(road, runs = 300, seed = 12346)
  expect_identical(a$qsim, b$qsim)
  expect_false(identical(a$qsim, c$qsim))
})

test_that(".as_single rounds to the nearest single and keeps NA and NaN", {
  expect_identical(oskev:::.as_single(c(1, 0.1, -2.5)),
                   c(1, 0.100000001490116119384765625, -2.5))
  expect_identical(oskev:::.as_single(c(1e39, -1e39)), c(Inf, -Inf))
  expect_identical(oskev:::.as_single(3.4028235e38), 340282346638528859811704183484516925440)
  expect_true(is.na(oskev:::.as_single(NA_real_)))
  expect_true(is.nan(oskev:::.as_single(NaN)))
})
