# Recorded runs of the command-line program: the counts of study.txt, the five answers, and the
# seed equivalent to the time of day of the run (10000 hh + 100 mm + ss + 1).

counts <- function(...) {
  x <- matrix(c(...), ncol = 4, byrow = TRUE)
  list(ai = x[, 1], n1i = x[, 2], ci = x[, 3], n2i = x[, 4])
}

bcg <- counts(4, 123, 11, 139, 6, 306, 29, 303, 3, 231, 11, 220, 62, 13598, 248, 12867,
              33, 5069, 47, 5808, 180, 1541, 372, 1451, 8, 2545, 10, 629,
              505, 88391, 499, 88391, 29, 7499, 45, 7277, 17, 1716, 65, 1665,
              186, 50634, 141, 27338, 5, 2498, 3, 2341, 27, 16913, 29, 17854)
road <- counts(15, 120, 25, 118, 0, 54, 3, 60, 0, 40, 0, 38)

run <- function(studies, ...) {
  oskev(ai = studies$ai, n1i = studies$n1i, ci = studies$ci, n2i = studies$n2i, ...)
}

# The single-precision floats a console number stands for: the console prints 7 significant
# digits (8 in its E layout), which for many values fit two or more neighbouring floats.
floats_printed_as <- function(text) {
  value <- as.numeric(text)
  x <- oskev:::.as_single(value)
  bits <- readBin(writeBin(x, raw(), size = 4), "integer", size = 4)
  around <- vapply(bits + (-4:4), function(b) {
    readBin(writeBin(b, raw(), size = 4), "double", size = 4)
  }, numeric(1))
  digits <- nchar(gsub("[^0-9]", "", sub("^[0.]*", "", sub("[eE].*$", "", text))))
  around[as.numeric(formatC(around, digits = digits, format = "g")) == value]
}

# A single-precision result against the console: it prints as the console printed it, and where
# those digits identify one float, it is that float bit for bit.
expect_console <- function(value, text) {
  candidates <- floats_printed_as(text)
  expect_true(value %in% candidates,
              label = paste0(format(value, digits = 9), " printed as ", text))
  if (length(candidates) == 1L) expect_identical(value, oskev:::.as_single(as.numeric(text)))
  invisible(length(candidates) == 1L)
}
