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
                                "n2i.c", "rr", "rr.lb", "rr.ub", "var.logrr", "w", "weight"))
  expect_identical(df$ai, c(15L, 0L, 0L))
  expect_identical(df$n2i, c(118L, 60L, 38L))
  expect_identical(df$w, oskev:::.as_single(1 / df$var.logrr))
  # weights in percent, as metafor's weights() gives them
  expect_identical(df$weight, 100 * df$w / sum(df$w))
  expect_identical(weights(res), setNames(df$weight, df$study))
  expect_equal(sum(weights(res)), 100)
})

test_that("bad counts are refused with the argument and the studies named", {
  expect_error(oskev(ai = c(1, 2), n1i = c(10, 10, 10), ci = c(1, 2), n2i = c(10, 10)),
               "differ in length: 2, 3, 2, 2")
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
  expect_error(call_with(prevalence = "mixed"), "'prevalence' must be \"fixed\"")
  expect_error(call_with(prevalence = 3), "'prevalence' must be \"fixed\"")
  expect_error(call_with(prevalence = NA), "'prevalence' must be \"fixed\"")
  expect_error(call_with(seed = 0), "'seed' must be within 1 ... 2147483646, not 0")
  expect_error(call_with(seed = 2147483647), "'seed' must be within")
  expect_error(call_with(seed = 1.5), "'seed' must be one whole number")
})

test_that("prevalence names may be abbreviated and the settings are reported as used", {
  res <- run(road, runs = 20, prevalence = "rand", cc.one = 0.1, cc.both = 0.25, seed = 77)
  expect_identical(res$settings$prevalence, "random")
  expect_identical(res$settings$type, 2L)
  expect_identical(res$settings$runs, 20L)
  expect_identical(res$settings$seed, 77L)
  expect_identical(res$settings$cc.one, oskev:::.as_single(0.1))
  expect_identical(res$settings$cc.both, 0.25)
})

test_that("without a seed the seed comes from R's generator: set.seed() repeats, calls differ", {
  set.seed(2024)
  first <- run(road, runs = 200)
  second <- run(road, runs = 200)
  set.seed(2024)
  again <- run(road, runs = 200)
  expect_identical(again$settings$seed, first$settings$seed)
  expect_identical(again$qsim, first$qsim)
  expect_false(identical(second$settings$seed, first$settings$seed))
  set.seed(2024)
  expect_identical(first$settings$seed, sample.int(2147483646L, 1L))
  # the seed reported repeats the analysis
  expect_identical(run(road, runs = 200, seed = first$settings$seed)$qsim, first$qsim)
  expect_output(print(first), paste0("seed ", first$settings$seed, "\\)"))
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

test_that("the effects words of metafor are refused with what the test assumes instead", {
  args <- list(ai = c(1, 2), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10), runs = 10)
  call_with <- function(...) do.call(oskev, c(args, list(...)))
  for (word in c("FE", "RE", "fixed effects", "random-effects", "REML", "EE")) {
    expect_error(call_with(prevalence = word), "no fixed- or random-effects model",
                 class = "oskev_argument_error")
  }
  expect_error(call_with(model = "random"), "has no argument 'model'.*prevalence = \"random\"",
               class = "oskev_argument_error")
  expect_error(call_with(method = "FE"), "has no argument 'method'", class = "oskev_argument_error")
  expect_error(call_with(rums = 10), "has no argument 'rums'", class = "oskev_argument_error")
})

test_that("studies with a missing count are left out with a warning naming them", {
  dat <- data.frame(ai = c(15, NA, 0, 4), n1i = c(120, 54, 40, NA), ci = c(25, 3, 0, 6),
                    n2i = c(118, 60, 38, 50), lab = c("a", "b", "c", "d"))
  expect_warning(res <- oskev(ai, n1i, ci, n2i, data = dat, slab = lab, runs = 100, seed = 3),
                 "studies 2 \\(b\\), 4 \\(d\\) have a missing count \\(NA\\) and are left out: 2 of 4")
  expect_identical(c(res$k, res$k.all), c(2L, 4L))
  expect_identical(res$not.na, c(TRUE, FALSE, TRUE, FALSE))
  expect_identical(res$studies$study, c("a", "c"))
  complete <- oskev(ai, n1i, ci, n2i, data = dat[c(1, 3), ], runs = 100, seed = 3)
  expect_identical(res$qsim, complete$qsim)
  expect_output(print(res), "2 of 4 studies left out")
  expect_error(oskev(ai, n1i, ci, n2i, data = dat, na.action = "na.fail", runs = 10, seed = 1),
               "a count is missing \\(NA\\) in studies 2, 4", class = "oskev_argument_error")
  expect_error(suppressWarnings(oskev(NA, 10, 1, 10)), "no studies are left",
               class = "oskev_argument_error")
  expect_error(oskev(ai, n1i, ci, n2i, data = dat, na.action = "drop"), "'na.action' must be")
})

test_that("subset keeps rows as in metafor, and the messages name the rows of the data", {
  skip_if_not_installed("metadat")
  dat <- metadat::dat.bcg
  early <- oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = dat, subset = year < 1960,
                 runs = 100, seed = 8)
  direct <- oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = dat[dat$year < 1960, ],
                  runs = 100, seed = 8)
  expect_identical(early$qsim, direct$qsim)
  expect_identical(early$k, sum(dat$year < 1960))
  by_index <- oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = dat, subset = -(1:3),
                    runs = 100, seed = 8)
  expect_identical(by_index$rows, 4:13)
  bad <- dat
  bad$tpos[5] <- -1
  expect_error(oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = bad, subset = 4:6),
               "'ai' is negative in study 5")
  expect_error(oskev(tpos, tpos + tneg, cpos, cpos + cneg, data = dat, subset = 1:20),
               "'subset' must be", class = "oskev_argument_error")
})

test_that("every refused argument is an oskev_argument_error with the user's call", {
  err <- tryCatch(oskev(ai = c(1, 2), n1i = c(10, 10), ci = c(1, 2), n2i = c(10, 10), runs = 0),
                  error = function(e) e)
  expect_s3_class(err, c("oskev_argument_error", "oskev_error", "error", "condition"), exact = TRUE)
  expect_identical(conditionCall(err)[[1]], as.name("oskev"))
  for (bad in list(list(ai = NA), list(ai = 1.5), list(ai = -1), list(ai = 20),
                   list(ai = c(1, 2)), list(ai = factor(1)), list(seed = 0),
                   list(prevalence = "x"))) {
    args <- utils::modifyList(list(ai = 1, n1i = 10, ci = 1, n2i = 10, runs = 10, seed = 1), bad)
    expect_error(suppressWarnings(do.call(oskev, args)), class = "oskev_argument_error")
  }
})
