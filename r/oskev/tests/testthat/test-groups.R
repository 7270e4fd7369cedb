# Many meta-analyses in one call (by =): one row per meta-analysis with the columns of
# `oskev analyse -f csv`, the same whatever the number of cores.

screening <- function() {
  skip_if_not_installed("metadat")
  bcg <- metadat::dat.bcg
  rows <- data.frame(review = "bcg", ai = bcg$tpos, n1i = bcg$tpos + bcg$tneg, ci = bcg$cpos,
                     n2i = bcg$cpos + bcg$cneg, stringsAsFactors = FALSE)
  rows <- rbind(rows,
                data.frame(review = "road", ai = road$ai, n1i = road$n1i, ci = road$ci, n2i = road$n2i),
                data.frame(review = "alone", ai = 3, n1i = 30, ci = 5, n2i = 31),
                data.frame(review = "early bcg", ai = bcg$tpos[1:6], n1i = bcg$tpos[1:6] + bcg$tneg[1:6],
                           ci = bcg$cpos[1:6], n2i = bcg$cpos[1:6] + bcg$cneg[1:6]))
  rows
}

test_that("each row is the meta-analysis of its group, with the settings and seed of the call", {
  dat <- screening()
  out <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 500, seed = 424242, cores = 2)
  expect_s3_class(out, "data.frame")
  expect_identical(out$name, c("bcg", "road", "alone", "early bcg"))
  expect_identical(out$status, c("ok", "ok", "library stop", "ok"))
  expect_identical(out$studies, c(13, 3, 1, 6))
  expect_identical(out$seed, rep(424242, 4))
  expect_identical(out$source, rep("dat", 4))
  for (g in c("bcg", "road", "early bcg")) {
    one <- oskev(ai, n1i, ci, n2i, data = dat, subset = review == g, runs = 500, seed = 424242)
    row <- out[out$name == g, ]
    expect_identical(c(row$rrmh, row$rrmh_lower, row$rrmh_upper, row$q, row$df, row$i_squared,
                       row$p_asymptotic, row$runs, row$not_above, row$undefined, row$p_left,
                       row$p_left_plus_one, row$mc_standard_error, row$p_left_lower, row$p_left_upper,
                       row$p_asymptotic_upper, row$p_asymptotic_lower, row$log_rrmh_variance),
                     c(one$rrmh, one$ci.lb, one$ci.ub, one$q, one$df, one$I2, one$p.asym, one$runs,
                       one$not.above, one$undefined, one$p.left, one$p.left.plus1, one$p.left.se,
                       one$p.left.lb, one$p.left.ub, one$p.upper, one$p.lower, one$var.logrrmh))
    expect_identical(c(row$type, row$rule, row$p_left_interval), c("fixed", "fixed runs", "Clopper-Pearson"))
    expect_false(row$stopped_early)
  }
  failed <- out[out$name == "alone", ]
  expect_match(failed$message, "TERMINAL ERROR 2 from DCHIDF", fixed = TRUE)
  expect_true(all(is.na(unlist(failed[, c("rrmh", "q", "p_left", "p_left_upper", "stopped_early")]))))
  expect_true(is.na(failed$rule))
  expect_identical(out$message[out$status == "ok"], rep("", 3))
})

test_that("the rows do not depend on the number of cores", {
  dat <- screening()
  one <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 300, seed = 5, cores = 1)
  two <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 300, seed = 5, cores = 2)
  many <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 300, seed = 5, cores = 8)
  expect_identical(two, one)
  expect_identical(many, one)
  random <- lapply(1:2, function(cores) {
    oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 300, seed = 5, cores = cores,
          prevalence = "random")
  })
  expect_identical(random[[2]], random[[1]])
})

test_that("a factor's groups come in the order of its levels; NA groups are refused", {
  dat <- screening()
  dat$review <- factor(dat$review, levels = c("road", "unused", "early bcg", "bcg", "alone"))
  out <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 100, seed = 1)
  expect_identical(out$name, c("road", "early bcg", "bcg", "alone"))
  expect_error(oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 100, seed = 1, cores = 0),
               "'cores' must be within", class = "oskev_argument_error")
  dat$review[2] <- NA
  expect_error(oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 100, seed = 1),
               "'by' is missing \\(NA\\) in study 2", class = "oskev_argument_error")
})

test_that("the rows equal those of oskev analyse -f csv, column for column", {
  skip_if(Sys.getenv("OSKEV_CLI") == "", "OSKEV_CLI does not name the command-line program")
  dat <- screening()
  file <- tempfile(fileext = ".csv")
  on.exit(unlink(file))
  utils::write.csv(dat, file, row.names = FALSE)
  for (prevalence in c("fixed", "random")) {
    args <- c("analyse", "--runs", 700, "--type", prevalence, "--seed", 777, "--format", "csv",
              "--jobs", 2, file)
    text <- suppressWarnings(system2(Sys.getenv("OSKEV_CLI"), shQuote(args), stdout = TRUE))
    cli <- utils::read.csv(text = text, colClasses = "character", check.names = FALSE)
    out <- oskev(ai, n1i, ci, n2i, data = dat, by = review, runs = 700, seed = 777,
                 prevalence = prevalence)
    expect_identical(names(out), names(cli))
    expect_identical(out$name, cli$name)
    expect_identical(out$status, cli$status)
    expect_identical(out$message, cli$message)
    single <- c("rrmh", "rrmh_lower", "rrmh_upper", "q", "p_left", "cc_one", "cc_both")
    text <- c("source", "name", "status", "message", "type", "rule", "p_left_interval", "stopped_early")
    for (column in setdiff(names(cli), text)) {
      value <- as.numeric(ifelse(cli[[column]] == "", NA, cli[[column]]))
      if (column %in% single) value <- oskev:::.as_single(value)
      expect_identical(out[[column]], value, label = column)
    }
    for (column in c("type", "rule", "p_left_interval")) {
      expect_identical(ifelse(is.na(out[[column]]), "", out[[column]]), cli[[column]], label = column)
    }
    expect_identical(ifelse(is.na(out$stopped_early), "", tolower(out$stopped_early)), cli$stopped_early)
  }
})
