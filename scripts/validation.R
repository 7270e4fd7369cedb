# How far a small left-sided P-value can be trusted: level and power of the Monte Carlo test
# of oskev analyse, on meta-analyses drawn by R's own generator, and the coverage of the
# intervals of P left under the sequential rule. Run by scripts/validation, which names the
# program, the mode (full or quick) and the folder of the report.
#
#   Rscript scripts/validation.R OSKEV OUT_DIR full|quick
#
# Every number is reproducible: R's generator is fixed (Mersenne-Twister, inversion) and seeded
# per cell; the engine gets a seed per block of meta-analyses.

suppressPackageStartupMessages(library(ggplot2))

args <- commandArgs(trailingOnly = TRUE)
if (length(args) != 3 || !(args[3] %in% c("full", "quick"))) {
  stop("usage: Rscript scripts/validation.R OSKEV OUT_DIR full|quick")
}
oskev <- normalizePath(args[1], mustWork = TRUE)
out_dir <- args[2]
quick <- args[3] == "quick"
dir.create(file.path(out_dir, "validation"), recursive = TRUE, showWarnings = FALSE)
work <- tempfile("oskev-validation-")
dir.create(work)
on.exit(unlink(work, recursive = TRUE), add = TRUE)
started <- Sys.time()
RNGkind("Mersenne-Twister", "Inversion", "Rejection")

# ---- the design ----

design <- if (quick) {
  list(meta = 100, power_meta = 100, runs = 2000, stop_after = 25, block = 100,
       k = c(5, 20), sizes = "large", risks = "moderate", rr = 1,
       power_k = 10, power_f = c(1, 0.5, 0),
       coverage_reps = 20000, coverage_p = c(0.01, 0.2), coverage_h = c(1, 20))
} else {
  list(meta = 1000, power_meta = 500, runs = 2000, stop_after = 25, block = 250,
       k = c(2, 3, 5, 10, 20, 50), sizes = c("small", "medium", "large"),
       risks = c("rare", "moderate", "common"), rr = c(1, 0.7),
       power_k = c(3, 5, 10, 20), power_f = c(1, 0.75, 0.5, 0.25, 0),
       coverage_reps = 200000, coverage_p = c(0.001, 0.01, 0.05, 0.2, 0.5), coverage_h = c(1, 5, 10, 50))
}
size_range <- list(small = c(10, 50), medium = c(50, 500), large = c(1000, 5000))
risk_range <- list(rare = c(0.01, 0.05), moderate = c(0.10, 0.30), common = c(0.40, 0.60))
levels_tested <- c(0.01, 0.05, 0.10)
types <- c("fixed", "random")

# ---- data: independent of the engine's own stream ----

# `meta` meta-analyses of k two-arm studies under a common risk ratio `rr`: arm sizes uniform
# over the size range (each arm drawn apart), the baseline (arm 2) risk uniform over the risk
# range, arm 1's risk rr times it, and each arm's events binomial.
draw_meta_analyses <- function(meta, k, size, risk, rr) {
  n <- meta * k
  s <- size_range[[size]]
  r <- risk_range[[risk]]
  s1 <- sample.int(s[2] - s[1] + 1, n, replace = TRUE) + s[1] - 1
  s2 <- sample.int(s[2] - s[1] + 1, n, replace = TRUE) + s[1] - 1
  p2 <- runif(n, r[1], r[2])
  data.frame(meta = rep(seq_len(meta), each = k),
             e1 = rbinom(n, s1, pmin(1, rr * p2)), s1 = s1,
             e2 = rbinom(n, s2, p2), s2 = s2)
}

# Agreement better than chance: in the chosen studies of each meta-analysis the deviation of
# e1 from its expected count under the meta-analysis's common risk ratio (Mantel-Haenszel,
# from the drawn tables), with each study's total of events kept, is multiplied by `f` before
# rounding; `f` = 0 puts those tables on their expected counts.
shrink_tables <- function(d, f, scope) {
  for (m in unique(d$meta)) {
    i <- which(d$meta == m)
    n <- d$s1[i] + d$s2[i]
    num <- sum(d$e1[i] * d$s2[i] / n)
    den <- sum(d$e2[i] * d$s1[i] / n)
    theta <- if (num > 0 && den > 0) num / den else 1
    chosen <- if (scope == "all") i else i[seq_len(ceiling(length(i) / 2))]
    t <- d$e1[chosen] + d$e2[chosen]
    expected <- t * d$s1[chosen] * theta / (d$s1[chosen] * theta + d$s2[chosen])
    e1 <- round(expected + f * (d$e1[chosen] - expected))
    e1 <- pmin(pmax(e1, pmax(0, t - d$s2[chosen])), pmin(d$s1[chosen], t))
    d$e1[chosen] <- e1
    d$e2[chosen] <- t - e1
  }
  d
}

# ---- the engine, through its command line ----

# Runs `oskev analyse -f csv` on the meta-analyses of `d`, a block of them per seed, and gives
# one row per meta-analysis; columns are read by name.
analyse <- function(d, type, seed) {
  blocks <- split(unique(d$meta), ceiling(seq_along(unique(d$meta)) / design$block))
  rows <- lapply(seq_along(blocks), function(b) {
    input <- file.path(work, "cell.csv")
    output <- file.path(work, "result.csv")
    write.csv(d[d$meta %in% blocks[[b]], ], input, row.names = FALSE, quote = FALSE)
    status <- system2(oskev, c("analyse", "-f", "csv", "--jobs", "2", "--type", type,
                               "--seed", seed + b - 1, "--runs", design$runs,
                               "--stop-after", design$stop_after, "-o", output, input),
                      stdout = FALSE, stderr = FALSE)
    if (!(status %in% c(0, 3))) stop("oskev analyse failed with status ", status)
    read.csv(output, stringsAsFactors = FALSE)
  })
  r <- do.call(rbind, rows)
  ok <- r$status == "ok"
  # The accurate lower tail P(chi-squared_df <= Q) when the program reports it; otherwise R's.
  lower <- if ("p_asymptotic_lower" %in% names(r)) r$p_asymptotic_lower else pchisq(r$q, r$df)
  data.frame(ok = ok, p_left = ifelse(ok, r$p_left, NA), p_plus_one = ifelse(ok, r$p_left_plus_one, NA),
             p_lower = ifelse(ok, lower, NA), runs = ifelse(ok, r$runs, NA),
             stopped = ok & r$rule == "Besag-Clifford")
}

cell_seed <- function(...) {
  # A seed per cell from its position in the design, the same in every mode.
  key <- paste(..., sep = "/")
  sum(utf8ToInt(key) * seq_along(utf8ToInt(key))) %% 1000000 + 1
}

share <- function(p, alpha) {
  p <- p[!is.na(p)]
  r <- mean(p <= alpha)
  c(rate = r, se = sqrt(r * (1 - r) / length(p)))
}

# ---- level ----

level_rows <- list()
calibration <- list()
for (rr in design$rr) for (size in design$sizes) for (risk in design$risks) for (k in design$k) {
  seed <- cell_seed("level", rr, size, risk, k)
  set.seed(seed)
  d <- draw_meta_analyses(design$meta, k, size, risk, rr)
  for (type in types) {
    r <- analyse(d, type, seed)
    row <- data.frame(rr = rr, size = size, risk = risk, k = k, type = type,
                      analysed = sum(r$ok & !is.na(r$p_left)), failed = sum(!r$ok),
                      mean_runs = mean(r$runs, na.rm = TRUE))
    for (alpha in levels_tested) {
      mc <- share(r$p_left, alpha)
      asym <- share(r$p_lower, alpha)
      row[[sprintf("mc_%g", alpha)]] <- mc[["rate"]]
      row[[sprintf("mc_se_%g", alpha)]] <- mc[["se"]]
      row[[sprintf("asym_%g", alpha)]] <- asym[["rate"]]
      row[[sprintf("asym_se_%g", alpha)]] <- asym[["se"]]
    }
    level_rows[[length(level_rows) + 1]] <- row
    if (rr == 1) {
      calibration[[length(calibration) + 1]] <- rbind(
        data.frame(size = size, risk = risk, k = k, method = paste("Monte Carlo,", type), p = r$p_left),
        if (type == "fixed") data.frame(size = size, risk = risk, k = k, method = "asymptotic lower tail",
                                        p = r$p_lower))
    }
  }
}
level <- do.call(rbind, level_rows)
calibration <- do.call(rbind, calibration)
write.csv(level, file.path(out_dir, "validation", "level.csv"), row.names = FALSE)

# ---- power ----

power_rows <- list()
for (k in design$power_k) for (scope in c("all", "half")) for (f in design$power_f) {
  if (f == 1 && scope == "half") next  # f = 1 changes nothing: one null cell per k
  seed <- cell_seed("power", k)
  set.seed(seed)  # the same drawn tables for every shrink factor of a k
  d <- shrink_tables(draw_meta_analyses(design$power_meta, k, "medium", "moderate", 1), f, scope)
  for (type in types) {
    r <- analyse(d, type, seed)
    for (s in if (f == 1) c("all", "half") else scope) {
      power_rows[[length(power_rows) + 1]] <- data.frame(
        k = k, scope = s, f = f, type = type, analysed = sum(!is.na(r$p_left)),
        mc_0.05 = share(r$p_left, 0.05)[["rate"]], asym_0.05 = share(r$p_lower, 0.05)[["rate"]],
        mc_0.01 = share(r$p_left, 0.01)[["rate"]], asym_0.01 = share(r$p_lower, 0.01)[["rate"]])
    }
  }
}
power <- do.call(rbind, power_rows)
write.csv(power, file.path(out_dir, "validation", "power.csv"), row.names = FALSE)

# ---- intervals of P left under the sequential rule ----

# Runs until the h-th success or the m-th run, as --stop-after h --runs m does: stopped at
# run L <= m the interval is the inverse binomial one, otherwise Clopper-Pearson for b of m.
# Clopper-Pearson for h of a fixed L is the interval a row would carry without the rule.
inverse_binomial <- function(h, L, level = 0.95) {
  a <- (1 - level) / 2
  cbind(qbeta(a, h, L - h + 1), ifelse(L == h, 1, qbeta(1 - a, h, pmax(L - h, 1e-300))))
}
clopper_pearson <- function(x, n, level = 0.95) {
  a <- (1 - level) / 2
  cbind(ifelse(x == 0, 0, qbeta(a, pmax(x, 1e-300), n - x + 1)),
        ifelse(x == n, 1, qbeta(1 - a, x + 1, pmax(n - x, 1e-300))))
}
coverage_rows <- list()
set.seed(cell_seed("coverage"))
m <- design$runs
for (p in design$coverage_p) for (h in design$coverage_h) {
  n <- design$coverage_reps
  L <- h + rnbinom(n, h, p)  # run of the h-th success, were the runs never to end
  stopped <- L <= m
  # Not stopped: the h - 1 successes before run L lie at random among its first L - 1 runs.
  b <- ifelse(stopped, h, rhyper(n, m, pmax(L - 1 - m, 0), h - 1))
  rule <- clopper_pearson(b, m)
  rule[stopped, ] <- inverse_binomial(h, L[stopped])
  naive <- clopper_pearson(b, ifelse(stopped, L, m))
  covers <- function(ci) mean(ci[, 1] <= p & p <= ci[, 2])
  coverage_rows[[length(coverage_rows) + 1]] <- data.frame(
    p = p, h = h, stopped = mean(stopped), inverse_binomial = covers(rule), clopper_pearson_at_L = covers(naive),
    width_inverse = mean(rule[, 2] - rule[, 1]), width_clopper = mean(naive[, 2] - naive[, 1]),
    se = sqrt(0.95 * 0.05 / n))
}
coverage <- do.call(rbind, coverage_rows)
write.csv(coverage, file.path(out_dir, "validation", "coverage.csv"), row.names = FALSE)

# ---- figures ----

theme_set(theme_bw(base_size = 10))
size_label <- function(x) factor(paste(x, "arms"), levels = paste(c("small", "medium", "large"), "arms"))
risk_label <- function(x) factor(paste(x, "risk"), levels = paste(c("rare", "moderate", "common"), "risk"))
figure <- function(name, plot, width, height) {
  ggsave(file.path(out_dir, "validation", name), plot, width = width, height = height)
}

long <- do.call(rbind, lapply(levels_tested, function(alpha) {
  rbind(data.frame(level[, c("rr", "size", "risk", "k", "type")], alpha = alpha,
                   method = paste("Monte Carlo,", level$type),
                   rate = level[[sprintf("mc_%g", alpha)]], se = level[[sprintf("mc_se_%g", alpha)]]),
        data.frame(level[level$type == "fixed", c("rr", "size", "risk", "k", "type")], alpha = alpha,
                   method = "asymptotic lower tail",
                   rate = level[level$type == "fixed", sprintf("asym_%g", alpha)],
                   se = level[level$type == "fixed", sprintf("asym_se_%g", alpha)]))
}))
for (alpha in c(0.05, 0.01)) {
  sub <- long[long$alpha == alpha & long$rr == 1, ]
  figure(sprintf("level-%g.svg", alpha),
         ggplot(sub, aes(k, rate, colour = method)) +
           geom_hline(yintercept = alpha, linetype = "dashed") +
           geom_pointrange(aes(ymin = pmax(0, rate - 2 * se), ymax = rate + 2 * se),
                           position = position_dodge(width = 0.15), size = 0.2) +
           geom_line(position = position_dodge(width = 0.15), linewidth = 0.3) +
           scale_x_log10(breaks = design$k) +
           facet_grid(size_label(size) ~ risk_label(risk)) +
           labs(x = "studies per meta-analysis (k)", y = sprintf("share with P <= %g", alpha),
                colour = NULL,
                title = sprintf("Rejection rate at %g under a common risk ratio of 1 (+/- 2 SE)", alpha)) +
           theme(legend.position = "bottom"),
         8, 7)
}

cal <- calibration[!is.na(calibration$p) & calibration$k %in% range(design$k), ]
grid <- seq(0, 0.2, by = 0.0025)
cal_curve <- do.call(rbind, lapply(split(cal, list(cal$size, cal$risk, cal$k, cal$method), drop = TRUE), function(g) {
  data.frame(g[1, c("size", "risk", "k", "method")], nominal = grid, row.names = NULL,
             actual = vapply(grid, function(a) mean(g$p <= a), 0))
}))
figure("calibration.svg",
       ggplot(cal_curve, aes(nominal, actual, colour = method, linetype = factor(k))) +
         geom_abline(slope = 1, intercept = 0, colour = "grey50") +
         geom_line(linewidth = 0.4) +
         facet_grid(size_label(size) ~ risk_label(risk)) +
         coord_equal(xlim = c(0, 0.2), ylim = c(0, 0.2)) +
         labs(x = "nominal level", y = "share of P-values at or below it", colour = NULL, linetype = "k",
              title = "Calibration of small P-values under a common risk ratio of 1") +
         theme(legend.position = "bottom", legend.box = "vertical"),
       8, 8.5)

power_long <- rbind(data.frame(power[, c("k", "scope", "f")], method = paste("Monte Carlo,", power$type),
                               rate = power$mc_0.05),
                    data.frame(power[power$type == "fixed", c("k", "scope", "f")], method = "asymptotic lower tail",
                               rate = power$asym_0.05[power$type == "fixed"]))
power_long$scope <- factor(ifelse(power_long$scope == "all", "all studies shrunk", "half the studies shrunk"),
                           levels = c("all studies shrunk", "half the studies shrunk"))
figure("power.svg",
       ggplot(power_long, aes(f, rate, colour = factor(k), linetype = method)) +
         geom_hline(yintercept = 0.05, linetype = "dashed", colour = "grey50") +
         geom_line(linewidth = 0.4) + geom_point(size = 0.8) +
         scale_x_reverse(breaks = design$power_f) +
         facet_wrap(~scope) +
         labs(x = "shrink factor of the deviations from the expected counts (1: none)",
              y = "share with P <= 0.05", colour = "k", linetype = NULL,
              title = "Power against too-good agreement (medium arms, moderate risk)") +
         theme(legend.position = "bottom", legend.box = "vertical"),
       8, 4.5)

# ---- the report ----

elapsed <- as.numeric(difftime(Sys.time(), started, units = "mins"))
fmt <- function(x, digits = 3) formatC(x, format = "f", digits = digits)
md_table <- function(df) {
  c(paste("|", paste(names(df), collapse = " | "), "|"),
    paste("|", paste(rep("---", ncol(df)), collapse = " | "), "|"),
    apply(df, 1, function(r) paste("|", paste(r, collapse = " | "), "|")))
}
rate_se <- function(rate, se) paste0(fmt(rate), " (", fmt(se), ")")

level_table <- function(rr) {
  l <- level[level$rr == rr, ]
  data.frame(arms = l$size, risk = l$risk, k = l$k, type = l$type, n = l$analysed,
             `MC 0.01` = rate_se(l$mc_0.01, l$mc_se_0.01), `MC 0.05` = rate_se(l$mc_0.05, l$mc_se_0.05),
             `MC 0.10` = rate_se(l$mc_0.1, l$mc_se_0.1),
             `asym 0.01` = rate_se(l$asym_0.01, l$asym_se_0.01), `asym 0.05` = rate_se(l$asym_0.05, l$asym_se_0.05),
             `asym 0.10` = rate_se(l$asym_0.1, l$asym_se_0.1), `mean runs` = round(l$mean_runs),
             check.names = FALSE)
}

# Summaries for the text: worst cells of each method at 0.05 under a risk ratio of 1.
null <- level[level$rr == 1, ]
z <- function(rate, alpha, n) (rate - alpha) / sqrt(alpha * (1 - alpha) / n)
within <- function(rate, n) mean(abs(z(rate, 0.05, n)) <= 2.58)
large <- null[null$size == "large", ]
summary_lines <- c(
  sprintf("- Monte Carlo test, fixed prevalence: share with P left <= 0.05 from %s to %s over the %d cells (%s of them within 2.58 standard errors of 0.05); at 0.01 from %s to %s.",
          fmt(min(null$mc_0.05[null$type == "fixed"])), fmt(max(null$mc_0.05[null$type == "fixed"])),
          sum(null$type == "fixed"), fmt(within(null$mc_0.05[null$type == "fixed"], null$analysed[null$type == "fixed"]), 2),
          fmt(min(null$mc_0.01[null$type == "fixed"])), fmt(max(null$mc_0.01[null$type == "fixed"]))),
  sprintf("- Monte Carlo test, random prevalence: at 0.05 from %s to %s (%s within 2.58 SE); at 0.01 from %s to %s.",
          fmt(min(null$mc_0.05[null$type == "random"])), fmt(max(null$mc_0.05[null$type == "random"])),
          fmt(within(null$mc_0.05[null$type == "random"], null$analysed[null$type == "random"]), 2),
          fmt(min(null$mc_0.01[null$type == "random"])), fmt(max(null$mc_0.01[null$type == "random"]))),
  sprintf("- Asymptotic lower tail P(chi-squared <= Q): at 0.05 from %s to %s over all cells, from %s to %s with large arms.",
          fmt(min(null$asym_0.05)), fmt(max(null$asym_0.05)), fmt(min(large$asym_0.05)), fmt(max(large$asym_0.05))),
  sprintf("- Large arms, both types: the Monte Carlo test's share at 0.05 from %s to %s.",
          fmt(min(large$mc_0.05)), fmt(max(large$mc_0.05))),
  sprintf("- Meta-analyses the engine could not analyse (a row with a status other than ok) or whose Q is undefined: %d of %d.",
          sum(level$failed) + sum(design$meta - level$analysed - level$failed), nrow(level) * design$meta))

cov_table <- data.frame(p = coverage$p, h = coverage$h, `share stopped` = fmt(coverage$stopped),
                        `inverse binomial` = fmt(coverage$inverse_binomial, 4),
                        `Clopper-Pearson at L` = fmt(coverage$clopper_pearson_at_L, 4),
                        `width, inverse` = signif(coverage$width_inverse, 3),
                        `width, Clopper-Pearson` = signif(coverage$width_clopper, 3), check.names = FALSE)
power_table <- reshape(power[, c("k", "scope", "f", "type", "mc_0.05", "asym_0.05")],
                       idvar = c("k", "scope", "type"), timevar = "f", direction = "wide")
power_table <- power_table[order(power_table$scope, power_table$type, power_table$k), ]
names(power_table) <- sub("mc_0.05.", "MC f=", sub("asym_0.05.", "asym f=", names(power_table)), fixed = TRUE)
power_table[] <- lapply(power_table, function(x) if (is.numeric(x) && any(x < 1 & x > 0)) fmt(x, 2) else x)

report <- c(
  "# How far can a small left-sided P-value be trusted?",
  "",
  sprintf("Generated by `scripts/validation%s` (%s; %.1f minutes on this machine, 2 cores shared with other work). Do not edit by hand.",
          if (quick) " --quick" else "", format(Sys.Date()), elapsed),
  "",
  "## Method",
  "",
  sprintf(paste(
    "**Data.** Every meta-analysis is drawn by R's own generator (%s, `rbinom`), never by the engine's stream,",
    "with a fixed seed per cell. A meta-analysis has k two-arm studies; each arm's size is uniform over",
    "10-50 (small), 50-500 (medium) or 1000-5000 (large) subjects, drawn for each arm apart; each study's",
    "baseline risk (arm 2) is uniform over 1-5%% (rare), 10-30%% (moderate) or 40-60%% (common), arm 1's",
    "risk is the common risk ratio (1 or 0.7) times it, and the events of each arm are binomial. The grid",
    "crosses k = %s with the three arm sizes and the three risks: %d meta-analyses per cell, each analysed",
    "under both types of estimation (fixed and random prevalence of total events) with the default",
    "corrections (0.5 for zero events in one arm and in both)."),
    paste(RNGkind()[1:2], collapse = ", "), paste(design$k, collapse = ", "), design$meta),
  "",
  sprintf(paste(
    "**Test.** Each cell's file goes to `oskev analyse -f csv --jobs 2` (the built program, read by column",
    "name), %d meta-analyses per engine seed, with `--runs %d --stop-after %d`: a P left above about",
    "%g is decided as H/L after L runs by the Besag-Clifford rule, a smaller one is b/m of %d runs, so the",
    "Monte Carlo standard error of a P left near 0.05 is about %s and near 0.01 about %s, small against",
    "the level (the rule's P-value is valid in its own right). The share of meta-analyses with P left at",
    "or below 0.01, 0.05 and 0.10 is the rejection rate; its standard error is the binomial one over the",
    "meta-analyses of the cell. The asymptotic lower tail is P(chi-squared_df <= Q), df = k - 1, from the",
    "same Q (%s)."),
    design$block, design$runs, design$stop_after, design$stop_after / design$runs, design$runs,
    fmt(sqrt(0.05 * 0.95 / (design$stop_after / 0.05)), 4), fmt(sqrt(0.01 * 0.99 / design$runs), 4),
    "the program's `p_asymptotic_lower` column when it has one, otherwise R's `pchisq(q, df)`"),
  "",
  sprintf(paste(
    "**Power.** Tables that agree better than chance are made from drawn ones (medium arms, moderate",
    "risk, k = %s, %d meta-analyses per cell, risk ratio 1): in every study, or in the first half of the",
    "studies, the deviation of arm 1's events from its expected count under the meta-analysis's",
    "Mantel-Haenszel risk ratio (each study's total of events kept) is multiplied by a factor f",
    "(%s) before rounding, the way fabricated or copied tables look."),
    paste(design$power_k, collapse = ", "), design$power_meta, paste(design$power_f, collapse = ", ")),
  "",
  sprintf(paste(
    "**Intervals under the rule.** Runs are Bernoulli trials with success probability p (a simulated Q not",
    "above Q) made until the h-th success or the %d-th run. Stopped at run L, the exact interval for",
    "inverse binomial sampling has its lower limit where P(X_L >= h) = 0.025 and its upper limit where",
    "P(X_{L-1} <= h - 1) = 0.025 (X_n binomial); a simulation that reached its last run carries the",
    "Clopper-Pearson interval of b of m. %d replicates per (p, h), drawn from the negative binomial",
    "distribution of L (`rnbinom`) and, when L > m, the hypergeometric count of the first m runs."),
    m, design$coverage_reps),
  "",
  "## Findings",
  "",
  summary_lines,
  "",
  "## Level under a common risk ratio of 1",
  "",
  sprintf("![Rejection rate at 0.05](validation/level-0.05.svg)"),
  "",
  sprintf("![Rejection rate at 0.01](validation/level-0.01.svg)"),
  "",
  sprintf("![Calibration](validation/calibration.svg)"),
  "",
  "Share with P <= level (standard error); MC: P left = b/m or H/L, asym: asymptotic lower tail;",
  "n: meta-analyses with a defined Q; mean runs: runs the rule made on average.",
  "",
  md_table(level_table(1)),
  "")
if (0.7 %in% design$rr) {
  report <- c(report, "## Level under a common risk ratio of 0.7", "", md_table(level_table(0.7)), "")
}
report <- c(report,
  "## Power",
  "",
  "![Power](validation/power.svg)",
  "",
  "Share with P <= 0.05; f = 1 is the drawn tables themselves (the level).",
  "",
  md_table(power_table),
  "",
  "## Coverage of the 95% intervals of P left under the sequential rule",
  "",
  sprintf("Standard error of each coverage about %s.", fmt(coverage$se[1], 4)),
  "",
  md_table(cov_table),
  "")
writeLines(report, file.path(out_dir, "validation.md"))
cat(sprintf("validation: %s mode, %.1f minutes\n", if (quick) "quick" else "full", elapsed))
