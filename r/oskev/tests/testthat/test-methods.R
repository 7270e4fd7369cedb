# print, summary, as.data.frame and plot on ordinary and on awkward results.

results <- function() {
  list(road = run(road, runs = 300, seed = 103016),
       undefined = run(counts(1, 10, 2, 10, 2, 9, 1, 11, 1, 12, 1, 10), runs = 100,
                       cc.one = 0, cc.both = 0, prevalence = "random", seed = 162001),
       infinite = run(counts(5, 10, 0, 10, 4, 12, 6, 11), runs = 50, cc.one = 0, cc.both = 0,
                      seed = 100001))
}

test_that("print reports the summary, both tests and the seed", {
  res <- run(road, runs = 1000, seed = 103016)
  out <- capture.output(print(res))
  expect_true(any(grepl("k = 3; fixed prevalence of total events", out, fixed = TRUE)))
  expect_true(any(grepl("0.5471", out, fixed = TRUE)))
  expect_true(any(grepl("Q(df = 2) = 0.8231, p-val = 0.6626", out, fixed = TRUE)))
  expect_true(any(grepl("1000 simulated runs, seed 103016", out, fixed = TRUE)))
  expect_true(any(grepl("b = 529 of m = 1000 runs with a simulated Q not above Q", out, fixed = TRUE)))
  expect_true(any(grepl("p-val = b/m = 0.5290", out, fixed = TRUE)))
  expect_false(any(grepl("undefined", out)))
  capture.output(visible <- withVisible(print(res))$visible)
  expect_false(visible)
})

test_that("print, summary and plot handle undefined runs and values that are not finite", {
  for (res in results()) {
    expect_output(print(res), "Left-Sided Test")
    expect_output(print(summary(res)), "Studies")
    expect_s3_class(summary(res), "summary.oskev")
    path <- tempfile(fileext = ".pdf")
    grDevices::pdf(path)
    expect_identical(withVisible(plot(res))$visible, FALSE)
    grDevices::dev.off()
    unlink(path)
  }
  expect_output(print(results()$undefined), "undefined simulated Q \\(not counted in b\\): [0-9]+")
  expect_output(print(results()$infinite), "Q\\(df = 1\\) = NaN, p-val = NA")
})

test_that("summary marks the continuity-corrected studies", {
  out <- capture.output(print(summary(run(road, runs = 10, seed = 2))))
  expect_true(any(grepl("continuity-corrected (0.50 for zero events in one arm", out, fixed = TRUE)))
})

test_that("plot leaves the graphics settings as they were", {
  path <- tempfile(fileext = ".pdf")
  grDevices::pdf(path)
  before <- par("mfrow", "mar")
  plot(run(road, runs = 50, seed = 4))
  expect_identical(par("mfrow", "mar"), before)
  grDevices::dev.off()
  unlink(path)
})

test_that("the forest plot's axis has round risk ratios and each study's RR written beside it", {
  ticks <- oskev:::.round_ticks
  expect_identical(ticks(log(c(0.07, 6.5))), c(0.1, 0.2, 0.5, 1, 2, 5))
  expect_identical(ticks(log(c(0.002, 400))), c(0.01, 0.1, 1, 10, 100))
  expect_equal(ticks(log(c(0.8, 1.3))), seq(0.8, 1.3, by = 0.1))
  expect_identical(oskev:::.rr_text(c(0.41094, Inf), c(0.1343, NaN), c(1.2574, Inf), 2),
                   c("0.41 [0.13, 1.26]", "Inf [NaN, Inf]"))
  # the axis keeps to a few times the range of the risk ratios: wider limits end in arrows
  limits <- oskev:::.forest_limits(log(c(0.5, 0.6, 0.7)), log(c(0.4, 1e-4, 1e4)))
  expect_equal(exp(limits), sqrt(0.5) * c(1 / 8, 8), tolerance = 1e-12)
  # what the plot writes, from its display list
  res <- run(road, runs = 50, seed = 4)
  path <- tempfile(fileext = ".pdf")
  grDevices::pdf(path)
  grDevices::dev.control("enable")
  oskev:::.forest(res)
  recorded <- grDevices::recordPlot()
  grDevices::dev.off()
  unlink(path)
  drawn <- unlist(lapply(recorded[[1]], function(call) {
    Filter(is.character, unlist(call[[2]], recursive = TRUE))
  }))
  expect_true(all(c("0.59 [0.33, 1.06]", "0.16 [0.01, 3.00]", "0.95 [0.02, 46.78]",
                    "RR [95% CI]", "0.55 [0.31, 0.96]", "Study 3") %in% drawn))
})
