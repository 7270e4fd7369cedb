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
