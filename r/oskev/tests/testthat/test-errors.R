# Meta-analyses the engine cannot analyse: an R error carrying the library's own message, as a
# condition that callers can catch by class.

test_that("one study: the chi-squared distribution's library stop", {
  err <- tryCatch(oskev(10, 100, 20, 100, runs = 100, seed = 100001),
                  oskev_error = function(e) e)
  expect_s3_class(err, c("oskev_library_stop", "oskev_error", "error", "condition"), exact = TRUE)
  expect_identical(err$status, 1L)
  expect_match(conditionMessage(err), "^at least two studies are needed")
  expect_match(conditionMessage(err), "TERMINAL ERROR 2 from DCHIDF", fixed = TRUE)
  expect_match(err$library.message, "TERMINAL ERROR 2 from DCHIDF", fixed = TRUE)
  expect_false(grepl("at least two", err$library.message))
  expect_match(conditionMessage(err), "must be at least", fixed = TRUE)
  expect_false(grepl("\n$", conditionMessage(err)))
  expect_error(oskev(10, 100, 20, 100, runs = 100, seed = 1), class = "oskev_library_stop")
})

test_that("arm probabilities of zero under fixed prevalence: the binomial generator's stop", {
  expect_error(oskev(ai = c(0, 4), n1i = c(10, 12), ci = c(0, 6), n2i = c(10, 11), runs = 100,
                     cc.one = 0, cc.both = 0, seed = 100001),
               "^study 1 .*TERMINAL ERROR 3 from RNBIN",
               class = "oskev_library_stop")
})

test_that("a study random prevalence can never simulate is refused", {
  err <- tryCatch(oskev(ai = c(0, 5), n1i = c(1, 20), ci = c(1, 6), n2i = c(1, 20), runs = 100,
                        prevalence = "random", seed = 100001),
                  error = function(e) e)
  expect_s3_class(err, c("oskev_refused", "oskev_error", "error", "condition"), exact = TRUE)
  expect_identical(err$status, 3L)
  expect_match(conditionMessage(err), "study 1 cannot be simulated", fixed = TRUE)
})

test_that("the error carries the user's call of oskev()", {
  err <- tryCatch(oskev(10, 100, 20, 100, runs = 10, seed = 9), error = function(e) e)
  expect_identical(conditionCall(err), quote(oskev(10, 100, 20, 100, runs = 10, seed = 9)))
})

test_that("an arm without subjects is named in plain words", {
  err <- tryCatch(oskev(ai = c(0, 4, 0), n1i = c(10, 12, 0), ci = c(1, 6, 2), n2i = c(10, 11, 9),
                        runs = 100, seed = 1), error = function(e) e)
  expect_s3_class(err, "oskev_library_stop")
  expect_match(conditionMessage(err), "^study 3: arm 1 has no subjects.*\\.\nThe library's message:\n")
  expect_match(err$library.message, "TERMINAL ERROR 2 from RNBIN", fixed = TRUE)
})
