# Methods for results of oskev(): print, summary, the study table and the two-panel plot.

.model_text <- function(type) {
  c("fixed prevalence of total events", "random prevalence of total events")[type]
}

# A P-value as metafor prints it: 4 decimals, or "< .0001" below that.
.pval <- function(p, digits) {
  if (is.na(p)) return("NA")
  if (p < 10^(-digits)) return(paste0("< ", sub("^0", "", formatC(10^(-digits), digits = digits, format = "f"))))
  formatC(p, digits = digits, format = "f")
}

.fmt <- function(x, digits) trimws(formatC(x, digits = digits, format = "f"))

print.oskev <- function(x, digits = 4, ...) {
  cat("\n")
  cat("Test of Extreme Low Homogeneity (k = ", x$k, "; ", .model_text(x$settings$type), ")\n",
      sep = "")
  cat("\n")
  cat("Mantel-Haenszel Summary Risk Ratio (95% limits after Greenland-Robins):\n\n")
  summary_rr <- data.frame(RRMH = .fmt(x$rrmh, digits), ci.lb = .fmt(x$rrmh.lb, digits),
                           ci.ub = .fmt(x$rrmh.ub, digits))
  print(summary_rr, row.names = FALSE, quote = FALSE, right = TRUE)
  cat("\n")
  cat("Test for Heterogeneity (asymptotic, chi-squared):\n")
  cat("Q(df = ", x$df, ") = ", .fmt(x$q, digits), ", p-val ",
      if (!is.na(x$p.asym) && x$p.asym < 10^(-digits)) "" else "= ", .pval(x$p.asym, digits),
      "; I^2 = ", .fmt(x$I2, 2), "%\n", sep = "")
  cat("\n")
  cat("Left-Sided Test for Q (extreme homogeneity; ", format(x$runs, scientific = FALSE),
      " simulated runs, seed ", x$settings$seed, "):\n", sep = "")
  cat("b = ", format(x$b, scientific = FALSE), " of m = ", format(x$runs, scientific = FALSE),
      " runs with a simulated Q not above Q\n", sep = "")
  cat("p-val = b/m = ", .fmt(x$p.left, digits), " (95% CI ", .fmt(x$ci.lb, digits), " to ",
      .fmt(x$ci.ub, digits), ", Monte Carlo SE ", .fmt(x$se, digits), "); (b+1)/(m+1) = ",
      .fmt(x$p.left.plus1, digits), "\n", sep = "")
  if (x$undefined > 0) {
    cat("Runs with an undefined simulated Q (not counted in b): ",
        format(x$undefined, scientific = FALSE), "\n", sep = "")
  }
  cat("\n")
  invisible(x)
}

summary.oskev <- function(object, ...) {
  structure(object, class = c("summary.oskev", "oskev"))
}

print.summary.oskev <- function(x, digits = 4, ...) {
  studies <- x$studies
  shown <- data.frame(study = studies$study, ai = studies$ai, n1i = studies$n1i,
                      ci = studies$ci, n2i = studies$n2i,
                      rr = .fmt(studies$rr, digits), ci.lb = .fmt(studies$rr.lb, digits),
                      ci.ub = .fmt(studies$rr.ub, digits),
                      weight = .fmt(studies$weight, 2))
  corrected <- studies$ai.c != studies$ai | studies$n1i.c != studies$n1i |
    studies$ci.c != studies$ci | studies$n2i.c != studies$n2i
  corrected[is.na(corrected)] <- TRUE
  if (any(corrected)) shown$cc <- ifelse(corrected, "*", "")
  cat("\n")
  cat("Studies (risk ratio arm 1 over arm 2 with 95% limits; weight = 1 / variance of ln RR):\n\n")
  print(shown, row.names = FALSE, right = TRUE)
  if (any(corrected)) {
    cat("\n* continuity-corrected (", .fmt(x$settings$cc.one, 2), " for zero events in one arm, ",
        .fmt(x$settings$cc.both, 2), " in both arms)\n", sep = "")
  }
  print.oskev(x, digits = digits, ...)
  finite <- x$qsim[!is.nan(x$qsim)]
  if (length(finite) > 0) {
    cat("Simulated Q (defined runs):\n")
    print(summary(finite), digits = digits + 2)
    cat("\n")
  }
  invisible(x)
}

as.data.frame.oskev <- function(x, row.names = NULL, optional = FALSE, ...) {
  studies <- x$studies
  if (!is.null(row.names)) row.names(studies) <- row.names
  studies
}

plot.oskev <- function(x, breaks = "Sturges", ...) {
  old <- par(mfrow = c(1, 2), mar = c(4.5, 1, 3, 1))
  on.exit(par(old))
  .forest(x)
  par(mar = c(4.5, 4.5, 3, 1))
  .qsim_histogram(x, breaks)
  invisible(x)
}

# Each study's risk ratio with its 95% limits on a log axis, square area by weight, and the
# summary diamond; values that are not finite are left out of the drawing.
.forest <- function(x) {
  s <- x$studies
  k <- nrow(s)
  ys <- rev(seq_len(k)) + 1
  values <- c(s$rr, s$rr.lb, s$rr.ub, x$rrmh, x$rrmh.lb, x$rrmh.ub)
  values <- values[is.finite(values) & values > 0]
  if (length(values) == 0) values <- 1
  xlim <- range(log(values), 0)
  width <- diff(xlim)
  if (width == 0) width <- 1
  # Room on the left for the labels.
  label_room <- 0.6 * width
  plot(NA, xlim = c(xlim[1] - label_room, xlim[2] + 0.05 * width), ylim = c(0.5, k + 1.5),
       axes = FALSE, xlab = "Risk ratio (log scale)", ylab = "", main = "Studies and RRMH")
  ticks <- unique(c(signif(exp(pretty(xlim)), 2), 1))
  ticks <- ticks[log(ticks) >= xlim[1] - 1e-9 & log(ticks) <= xlim[2] + 1e-9]
  axis(1, at = log(ticks), labels = format(ticks, drop0trailing = TRUE))
  abline(v = 0, lty = 3, col = "grey40")
  if (is.finite(x$rrmh) && x$rrmh > 0) abline(v = log(x$rrmh), lty = 2, col = "grey40")
  text_x <- xlim[1] - label_room
  graphics::text(text_x, ys, s$study, adj = 0, cex = 0.75, xpd = TRUE)
  lb <- .log_or_na(s$rr.lb)
  ub <- .log_or_na(s$rr.ub)
  ok <- !is.na(lb) & !is.na(ub)
  segments(pmax(lb[ok], xlim[1]), ys[ok], pmin(ub[ok], xlim[2]), ys[ok])
  w <- s$weight
  size <- rep(1, k)
  fine <- is.finite(w) & w > 0
  if (any(fine)) size[fine] <- 0.6 + 2 * sqrt(w[fine] / max(w[fine]))
  rr <- .log_or_na(s$rr)
  points(rr, ys, pch = 15, cex = size)
  centre <- .log_or_na(x$rrmh)
  lower <- .log_or_na(x$rrmh.lb)
  upper <- .log_or_na(x$rrmh.ub)
  if (!any(is.na(c(centre, lower, upper)))) {
    polygon(c(lower, centre, upper, centre), c(1, 1.3, 1, 0.7), col = "black")
  }
  graphics::text(text_x, 1, "RRMH", adj = 0, cex = 0.75, font = 2, xpd = TRUE)
}

.log_or_na <- function(v) {
  out <- rep(NA_real_, length(v))
  fine <- is.finite(v) & v > 0
  out[fine] <- log(v[fine])
  out
}

# The simulated Q values of the defined runs against the chi-squared density with k - 1
# degrees of freedom, with the observed Q marked.
.qsim_histogram <- function(x, breaks) {
  q <- x$qsim[is.finite(x$qsim)]
  main <- paste0("Simulated Q (", format(length(q), scientific = FALSE), " runs)")
  if (length(q) == 0) {
    plot(NA, xlim = c(0, 1), ylim = c(0, 1), axes = FALSE, xlab = "Q", ylab = "", main = main)
    graphics::text(0.5, 0.5, "no run with a defined Q")
    return(invisible())
  }
  upper <- max(q, if (is.finite(x$q)) x$q)
  h <- hist(q, breaks = breaks, plot = FALSE)
  grid <- seq(0, upper, length.out = 201)
  density <- dchisq(grid, df = x$df)
  top <- max(h$density, density[is.finite(density) & grid > 0.02 * upper], na.rm = TRUE)
  hist(q, breaks = h$breaks, freq = FALSE, xlim = c(0, upper), ylim = c(0, top), col = "grey85",
       border = "grey55", xlab = "Q", main = main)
  lines(grid, density, lwd = 2)
  if (is.finite(x$q)) abline(v = x$q, col = "red", lwd = 2)
  legend("topright", bty = "n", cex = 0.75,
         legend = c(paste0("chi-squared, df = ", x$df),
                    paste0("observed Q = ", formatC(x$q, digits = 4, format = "f")),
                    paste0("left-sided p = ", formatC(x$p.left, digits = 4, format = "f"))),
         col = c("black", "red", NA), lwd = c(2, 2, NA))
}
