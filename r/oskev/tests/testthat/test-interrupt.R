# Ctrl-C: an analysis of many runs returns within a second of the interrupt, under either
# prevalence, and leaves the session usable. The interrupt is sent from a child process.

interrupt_after <- function(seconds, expr) {
  skip_on_os("windows")
  signaller <- tempfile(fileext = ".R")
  sent <- tempfile()
  on.exit(unlink(c(signaller, sent)), add = TRUE)
  writeLines(sprintf(paste("Sys.sleep(%f); writeLines(format(as.numeric(Sys.time()), digits = 17), %s);",
                           "tools::pskill(%d, tools::SIGINT)"),
                     seconds, deparse(sent), Sys.getpid()), signaller)
  system2(file.path(R.home("bin"), "Rscript"), shQuote(signaller), wait = FALSE)
  interrupted <- tryCatch({
    force(expr)
    FALSE
  }, interrupt = function(i) TRUE)
  returned <- as.numeric(Sys.time())
  list(interrupted = interrupted, after = returned - as.numeric(readLines(sent)))
}

many_studies <- function() {
  set.seed(11)
  n <- rep(200, 100)
  list(ai = rbinom(100, 200, 0.2), n1i = n, ci = rbinom(100, 200, 0.25), n2i = n)
}

test_that("an interrupt stops a long simulation under fixed and random prevalence", {
  studies <- many_studies()
  # Under random prevalence the interrupt comes while the engine walks through the drawn
  # totals, before the first run.
  for (prevalence in c("fixed", "random")) {
    # Started, the simulation would take far longer than the seconds waited here.
    took <- interrupt_after(2, run(studies, runs = 2e7, prevalence = prevalence, seed = 1))
    expect_true(took$interrupted, label = paste(prevalence, "prevalence interrupted"))
    # within a second of the interrupt (with room for a busy machine)
    expect_lt(took$after, 1.5)
    # The session goes on: the next analysis runs as usual.
    expect_identical(run(road, runs = 100, seed = 3)$runs, 100)
  }
})

test_that("an interrupt stops many meta-analyses at once", {
  studies <- many_studies()
  group <- rep(c("a", "b", "c"), length.out = 100)
  took <- interrupt_after(2, oskev(studies$ai, studies$n1i, studies$ci, studies$n2i, by = group,
                                   runs = 2e7, seed = 1, cores = 2))
  expect_true(took$interrupted)
  expect_lt(took$after, 1.5)
})
