# Values against recorded runs of the command-line program: every single-precision value must
# be a float the program's printed digits stand for (bit for bit where the digits identify it),
# and the counts b and m must be exact.

test_that("the BCG trials (fixed prevalence, 2000 runs, 09:00:00) give the program's values", {
  res <- run(bcg, runs = 2000, cc.one = 0.5, cc.both = 0.5, prevalence = "fixed", seed = 90001)
  expect_identical(res$k, 13L)
  expect_console(res$rrmh, "0.6352672")
  expect_console(res$q, "152.5676")
  expect_identical(res$df, 12)
  expect_lt(res$p.asym, 5e-16)  # printed as 0.000000000000000E+000
  expect_identical(res$p.left, 1)
  expect_identical(c(res$not.above, res$runs, res$undefined), c(2000, 2000, 0))
  # the per-study risk ratios and limits of the console table
  table <- c("0.4109387", "0.1342988", "1.257424", "0.2048682", "8.6296074E-02", "0.4863600",
             "0.2597403", "7.3440887E-02", "0.9186301", "0.2365605", "0.1792800", "0.3121424",
             "0.8044896", "0.5162889", "1.253568", "0.4556111", "0.3871312", "0.5362046",
             "0.1977210", "7.8355245E-02", "0.4989277", "1.012024", "0.8945699", "1.144899",
             "0.6253663", "0.3925729", "0.9962049", "0.2537655", "0.1494195", "0.4309807",
             "0.7122268", "0.5725114", "0.8860384", "1.561916", "0.3736793", "6.528546",
             "0.9828351", "0.5821319", "1.659357")
  values <- as.vector(t(as.matrix(res$studies[, c("rr", "rr.lb", "rr.ub")])))
  identified <- mapply(expect_console, values, table)
  expect_true(any(identified))
  # no study needed a correction
  expect_identical(res$studies$ai.c, as.double(bcg$ai))
  expect_identical(res$studies$n2i.c, as.double(bcg$n2i))
  # output.txt, 6 decimals
  expect_identical(sprintf("%.6f", c(res$rrmh, res$q, res$p.asym, res$p.left)),
                   c("0.635267", "152.567566", "0.000000", "1.000000"))
})

test_that("three studies with zero cells (fixed prevalence, 1000 runs, 10:30:15)", {
  res <- run(road, runs = 1000, seed = 103016)
  expect_console(res$rrmh, "0.5470545")
  expect_console(res$q, "0.8231456")
  expect_equal(res$p.asym, 0.662607272160123, tolerance = 1e-14)
  expect_console(res$p.left, "0.5290000")
  expect_identical(c(res$not.above, res$runs), c(529, 1000))
  expect_identical(unlist(res$studies[2, c("ai.c", "n1i.c", "ci.c", "n2i.c")], use.names = FALSE),
                   c(0.5, 55, 3.5, 61))
  expect_identical(unlist(res$studies[3, c("ai.c", "n1i.c", "ci.c", "n2i.c")], use.names = FALSE),
                   c(0.5, 41, 0.5, 39))
  mapply(expect_console, unlist(res$studies[, c("rr", "rr.lb", "rr.ub")]),
         c("0.5900000", "0.1584416", "0.9512195", "0.3278591", "8.3698994E-03", "1.9343127E-02",
           "1.061736", "2.999287", "46.77726"))
  expect_identical(sprintf("%.6f", c(res$rrmh, res$q, res$p.asym, res$p.left)),
                   c("0.547055", "0.823146", "0.662607", "0.529000"))
})

test_that("random prevalence of total events (1000 runs, 14:05:59)", {
  res <- run(road, runs = 1000, prevalence = "random", seed = 140560)
  expect_identical(res$settings$type, 2L)
  expect_console(res$rrmh, "0.5470545")
  expect_console(res$q, "0.8231456")
  expect_console(res$p.left, "0.5320000")
  expect_identical(res$not.above, 532)
  # type 2 given as a number is the same analysis
  expect_identical(run(road, runs = 1000, prevalence = 2, seed = 140560)$qsim, res$qsim)
})

test_that("zero events in one and in both arms (fixed prevalence, 500 runs, 11:11:11)", {
  studies <- counts(0, 10, 5, 10, 1, 8, 0, 9, 2, 12, 3, 11, 0, 6, 0, 7)
  res <- run(studies, runs = 500, seed = 111112)
  expect_console(res$rrmh, "0.4728268")
  expect_console(res$q, "3.221245")
  expect_equal(res$p.asym, 0.358755164372569, tolerance = 1e-14)
  expect_console(res$p.left, "0.8840000")
  expect_identical(res$not.above, 442)
})

test_that("zero corrections leave runs with an undefined Q, reported and never counted", {
  studies <- counts(1, 10, 2, 10, 2, 9, 1, 11, 1, 12, 1, 10)
  res <- run(studies, runs = 400, cc.one = 0, cc.both = 0, prevalence = "random", seed = 162001)
  expect_console(res$rrmh, "1.029613")
  expect_console(res$q, "1.001946")
  expect_equal(res$p.asym, 0.605940872980564, tolerance = 1e-14)
  expect_console(res$p.left, "9.2500001E-02")
  expect_identical(c(res$not.above, res$undefined, res$runs), c(37, 338, 400))
  expect_length(res$qsim, 400)
  expect_identical(sum(is.nan(res$qsim)), 338L)
  expect_false(anyNA(res$qsim[!is.nan(res$qsim)]))
  expect_identical(sum(res$qsim <= res$q, na.rm = TRUE), 37L)
})

test_that("a study with an infinite risk ratio completes with values that are not finite", {
  studies <- counts(5, 10, 0, 10, 4, 12, 6, 11)
  res <- run(studies, runs = 100, cc.one = 0, cc.both = 0, seed = 100001)
  expect_console(res$rrmh, "1.409722")
  expect_identical(res$studies$rr[1], Inf)
  expect_true(is.nan(res$studies$rr.lb[1]))
  expect_true(is.nan(res$q))
  expect_true(is.nan(res$p.asym))
  # no simulated Q can be compared with a Q that is not a number: no left-sided P-value
  expect_true(res$q.undefined)
  expect_identical(c(res$p.left, res$p.left.lb, res$p.left.ub, res$p.left.se, res$p.left.plus1),
                   rep(NA_real_, 5))
  expect_output(print(res), "No P-value: the observed Q is not a number, because a study \\(Study 1\\)")
  expect_output(print(summary(res)), "No P-value")
})

test_that("the P-values, standard error and interval follow from b and m", {
  res <- run(road, runs = 1000, seed = 103016)
  b <- res$not.above
  m <- res$runs
  expect_identical(res$not.above, as.double(sum(res$qsim <= res$q, na.rm = TRUE)))
  expect_identical(res$p.left, oskev:::.as_single(b / m))
  expect_identical(res$p.left.plus1, (b + 1) / (m + 1))
  expect_equal(res$p.left.se, sqrt(b / m * (1 - b / m) / m), tolerance = 1e-14)
  expect_equal(c(res$p.left.lb, res$p.left.ub),
               c(qbeta(0.025, b, m - b + 1), qbeta(0.975, b + 1, m - b)), tolerance = 1e-10)
  # every run not above Q: the upper limit is 1 and the lower one 0.025^(1/m)
  all_runs <- run(bcg, runs = 2000, seed = 90001)
  expect_identical(all_runs$p.left.ub, 1)
  expect_equal(all_runs$p.left.lb, 0.025^(1 / 2000), tolerance = 1e-12)
  expect_identical(all_runs$p.left.se, 0)
  expect_identical(all_runs$p.left.plus1, 1)
})

test_that("RRMH, its Greenland-Robins limits and Q agree with metafor's Mantel-Haenszel model", {
  skip_if_not_installed("metafor")
  res <- run(bcg, runs = 10, seed = 1)
  mh <- metafor::rma.mh(ai = bcg$ai, n1i = bcg$n1i, ci = bcg$ci, n2i = bcg$n2i, measure = "RR")
  # metafor works in double precision, the engine keeps these values in single precision
  expect_equal(res$rrmh, exp(as.numeric(mh$beta)), tolerance = 1e-6)
  # the engine's limits use the normal quantile of the 95% level, as metafor's do
  expect_equal(c(res$ci.lb, res$ci.ub), exp(as.numeric(mh$beta) + qnorm(c(0.025, 0.975)) * mh$se),
               tolerance = 1e-6)
  expect_equal(res$var.logrrmh, mh$se^2, tolerance = 1e-6)
  expect_equal(res$q, mh$QE, tolerance = 1e-6)
  expect_equal(res$p.asym, mh$QEp, tolerance = 1e-6)
  expect_equal(res$I2, max(0, (mh$QE - 12) / mh$QE) * 100, tolerance = 1e-6)
})
