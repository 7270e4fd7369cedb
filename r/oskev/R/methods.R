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
  if (x$k < x$k.all) {
    cat(x$k.all - x$k, " of ", x$k.all, " studies left out (missing counts)\n", sep = "")
  }
  cat("\n")
  cat("Mantel-Haenszel Summary Risk Ratio (95% limits after Greenland-Robins):\n\n")
  summary_rr <- data.frame(RRMH = .fmt(x$rrmh, digits), ci.lb = .fmt(x$ci.lb, digits),
                           ci.ub = .fmt(x$ci.ub, digits))
  print(summary_rr, row.names = FALSE, quote = FALSE, right = TRUE)
  cat("\n")
  cat("Test for Heterogeneity (asymptotic, chi-squared):\n")
  cat("Q(df = ", x$df, ") = ", .fmt(x$q, digits), ", p-val ",
      if (!is.na(x$p.asym) && x$p.asym < 10^(-digits)) "" else "= ", .pval(x$p.asym, digits),
      "; I^2 = ", .fmt(x$I2, 2), "%\n", sep = "")
  cat("\n")
  cat("Left-Sided Test for Q (extreme homogeneity; ", format(x$runs, scientific = FALSE),
      " simulated runs, seed ", x$settings$seed, "):\n", sep = "")
  if (isTRUE(x$q.undefined)) {
    cat(.no_p_value(x), "\n", sep = "")
  } else {
    cat("b = ", format(x$not.above, scientific = FALSE), " of m = ",
        format(x$runs, scientific = FALSE), " runs with a simulated Q not above Q\n", sep = "")
    cat("p-val = b/m = ", .fmt(x$p.left, digits), " (95% CI ", .fmt(x$p.left.lb, digits), " to ",
        .fmt(x$p.left.ub, digits), ", Monte Carlo SE ", .fmt(x$p.left.se, digits),
        "); (b+1)/(m+1) = ", .fmt(x$p.left.plus1, digits), "\n", sep = "")
  }
  if (x$undefined > 0) {
    cat("Runs with an undefined simulated Q (not counted in b): ",
        format(x$undefined, scientific = FALSE), "\n", sep = "")
  }
  cat("\n")
  invisible(x)
}

# Why there is no left-sided P-value: the observed Q is not a number.
.no_p_value <- function(x) {
  s <- x$studies
  open <- !is.finite(s$var.logrr)
  which <- if (any(open)) paste0(" (", paste(s$study[open], collapse = ", "), ")") else ""
  paste0("No P-value: the observed Q is not a number, because a study", which, " has a risk ",
         "ratio or variance that is not finite",
         if (x$settings$cc.one == 0 || x$settings$cc.both == 0)
           " (a zero cell left uncorrected by a continuity correction of 0)" else "",
         ". No simulated Q can be compared with it.")
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
                      weight = paste0(.fmt(studies$weight, 2), "%"))
  corrected <- studies$ai.c != studies$ai | studies$n1i.c != studies$n1i |
    studies$ci.c != studies$ci | studies$n2i.c != studies$n2i
  corrected[is.na(corrected)] <- TRUE
  if (any(corrected)) shown$cc <- ifelse(corrected, "*", "")
  cat("\n")
  cat("Studies (risk ratio arm 1 over arm 2 with 95% limits; weight = share of 1 / variance of ln RR):\n\n")
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

# The study weights in percent, as metafor's weights() gives them.
weights.oskev <- function(object, ...) {
  w <- object$studies$weight
  names(w) <- object$studies$study
  w
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

# Each study's risk ratio with its 95% limits on a log axis, as metafor's forest() draws them:
# square area by weight, the summary diamond, ticks at round risk ratios, each study's RR and
# limits written beside its line, and an arrow where an interval runs beyond the axis. Values
# that are not finite are left out of the drawing but written as they are.
.forest <- function(x, digits = 2) {
  s <- x$studies
  k <- nrow(s)
  ys <- rev(seq_len(k)) + 1
  rr <- .log_or_na(s$rr)
  lb <- .log_or_na(s$rr.lb)
  ub <- .log_or_na(s$rr.ub)
  centre <- .log_or_na(x$rrmh)
  lower <- .log_or_na(x$ci.lb)
  upper <- .log_or_na(x$ci.ub)
  xlim <- .forest_limits(c(rr, centre, lower, upper), c(lb, ub))
  width <- diff(xlim)
  label_room <- 0.7 * width
  text_room <- 0.75 * width
  plot(NA, xlim = c(xlim[1] - label_room, xlim[2] + text_room), ylim = c(0.5, k + 1.5),
       axes = FALSE, xlab = "Risk ratio (log scale)", ylab = "", main = "Studies and RRMH")
  ticks <- .round_ticks(xlim)
  axis(1, at = log(ticks), labels = format(ticks, drop0trailing = TRUE, trim = TRUE,
                                           scientific = FALSE), cex.axis = 0.75)
  segments(0, 0.5, 0, k + 1.5, lty = 3, col = "grey40")
  if (!is.na(centre)) segments(centre, 0.5, centre, k + 1.5, lty = 2, col = "grey40")
  graphics::text(xlim[1] - label_room, ys, s$study, adj = 0, cex = 0.7, xpd = TRUE)
  graphics::text(xlim[2] + text_room, ys, .rr_text(s$rr, s$rr.lb, s$rr.ub, digits), adj = 1,
                 cex = 0.7, xpd = TRUE)
  graphics::text(xlim[2] + text_room, k + 1.5, "RR [95% CI]", adj = 1, cex = 0.7, font = 2,
                 xpd = TRUE)

  # Intervals: clipped to the axis, with an arrow where the interval goes on.
  from <- ifelse(is.na(lb), ifelse(!is.na(s$rr.lb) & s$rr.lb == 0, -Inf, NA), lb)
  to <- ifelse(is.na(ub), ifelse(is.infinite(s$rr.ub), Inf, NA), ub)
  drawn <- !is.na(from) & !is.na(to)
  left <- pmax(from, xlim[1])
  right <- pmin(to, xlim[2])
  for (i in which(drawn)) {
    segments(left[i], ys[i], right[i], ys[i])
    if (from[i] < xlim[1]) arrows(left[i] + 0.03 * width, ys[i], left[i], ys[i], length = 0.05)
    if (to[i] > xlim[2]) arrows(right[i] - 0.03 * width, ys[i], right[i], ys[i], length = 0.05)
  }
  w <- s$w
  size <- rep(1, k)
  fine <- is.finite(w) & w > 0
  if (any(fine)) size[fine] <- 0.6 + 2 * sqrt(w[fine] / max(w[fine]))
  inside <- !is.na(rr) & rr >= xlim[1] & rr <= xlim[2]
  points(rr[inside], ys[inside], pch = 15, cex = size[inside])
  if (!any(is.na(c(centre, lower, upper)))) {
    polygon(c(max(lower, xlim[1]), centre, min(upper, xlim[2]), centre), c(1, 1.25, 1, 0.75),
            col = "black")
  }
  graphics::text(xlim[1] - label_room, 1, "RRMH", adj = 0, cex = 0.7, font = 2, xpd = TRUE)
  graphics::text(xlim[2] + text_room, 1, .rr_text(x$rrmh, x$ci.lb, x$ci.ub, digits), adj = 1,
                 cex = 0.7, font = 2, xpd = TRUE)
}

# The axis in log units: every risk ratio and the summary limits, and the studies' limits as far
# as they stay within a few times that range (beyond it they end in an arrow).
.forest_limits <- function(centres, limits) {
  centres <- centres[!is.na(centres)]
  limits <- limits[!is.na(limits)]
  core <- range(centres, 0)
  if (diff(core) < log(4)) core <- mean(core) + c(-1, 1) * log(4) / 2
  reach <- diff(core)
  lo <- min(core[1], max(min(limits, core[1]), core[1] - reach))
  hi <- max(core[2], min(max(limits, core[2]), core[2] + reach))
  c(lo, hi)
}

# Ticks at round risk ratios (..., 0.1, 0.2, 0.5, 1, 2, 5, 10, ...), thinned to powers of ten
# when there are too many, finer when the axis is narrow.
.round_ticks <- function(xlim) {
  within <- function(t) t[log(t) >= xlim[1] - 1e-9 & log(t) <= xlim[2] + 1e-9]
  decades <- 10^(seq(floor(xlim[1] / log(10)) - 1, ceiling(xlim[2] / log(10)) + 1))
  ticks <- within(sort(unique(signif(c(decades, 2 * decades, 5 * decades), 6))))
  if (length(ticks) > 7) ticks <- within(decades)
  if (length(ticks) < 3) ticks <- within(unique(c(pretty(exp(xlim), n = 4), 1)))
  ticks[ticks > 0]
}

.rr_text <- function(rr, lb, ub, digits) {
  f <- function(v) ifelse(is.finite(v), formatC(v, digits = digits, format = "f"),
                          ifelse(is.na(v), "NaN", ifelse(v > 0, "Inf", "-Inf")))
  paste0(f(rr), " [", f(lb), ", ", f(ub), "]")
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
