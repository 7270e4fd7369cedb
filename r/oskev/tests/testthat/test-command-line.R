# R against `oskev analyse` itself: the same counts, settings and seed must give the same
# numbers, bit for bit. Its CSV writes each value in the shortest text that reads back exactly.
# Runs where OSKEV_CLI names the command-line program (scripts/r-package check builds it).

cli_row <- function(studies, runs, cc.one, cc.both, type, seed) {
  file <- tempfile(fileext = ".txt")
  on.exit(unlink(file))
  writeLines(sprintf("%d %d %d %d", studies$ai, studies$n1i, studies$ci, studies$n2i), file)
  args <- c("analyse", "--runs", runs, "--cc-one", cc.one, "--cc-both", cc.both, "--type", type,
            "--seed", seed, "--format", "csv", file)
  text <- system2(Sys.getenv("OSKEV_CLI"), shQuote(args), stdout = TRUE)
  utils::read.csv(text = text, colClasses = "character")
}

test_that("every value equals the command line's on the recorded cases", {
  skip_if(Sys.getenv("OSKEV_CLI") == "", "OSKEV_CLI does not name the command-line program")
  cases <- list(
    list(bcg, 2000, "0.5", "0.5", 1L, 90001L),
    list(road, 1000, "0.5", "0.5", 1L, 103016L),
    list(road, 1000, "0.5", "0.5", 2L, 140560L),
    list(counts(0, 10, 5, 10, 1, 8, 0, 9, 2, 12, 3, 11, 0, 6, 0, 7), 500, "0.5", "0.5", 1L, 111112L),
    list(counts(1, 10, 2, 10, 2, 9, 1, 11, 1, 12, 1, 10), 400, "0", "0", 2L, 162001L),
    list(road, 3000, "0.1", "0.3", 1L, 7L))
  single <- function(text) oskev:::.as_single(as.numeric(text))
  for (case in cases) {
    row <- cli_row(case[[1]], case[[2]], case[[3]], case[[4]], case[[5]], case[[6]])
    expect_identical(row$status, "ok")
    res <- run(case[[1]], runs = case[[2]], cc.one = as.numeric(case[[3]]),
               cc.both = as.numeric(case[[4]]), prevalence = case[[5]], seed = case[[6]])
    expect_identical(c(res$rrmh, res$ci.lb, res$ci.ub, res$q, res$p.left),
                     single(c(row$rrmh, row$rrmh_lower, row$rrmh_upper, row$q, row$p_left)))
    expect_identical(c(res$df, res$I2, res$p.asym, res$p.left.plus1, res$p.left.se, res$p.left.lb, res$p.left.ub),
                     as.numeric(c(row$df, row$i_squared, row$p_asymptotic, row$p_left_plus_one,
                                  row$mc_standard_error, row$p_left_lower, row$p_left_upper)))
    expect_identical(c(res$runs, res$not.above, res$undefined, res$settings$seed),
                     as.numeric(c(row$runs, row$not_above, row$undefined, row$seed)))
    expect_identical(res$settings$cc.one, single(row$cc_one))
    expect_identical(c(res$p.upper, res$p.lower),
                     as.numeric(c(row$p_asymptotic_upper, row$p_asymptotic_lower)))
  }
})
