# The test of extreme low homogeneity for R: argument handling in the manner of metafor, the
# analysis itself in the engine of the command-line program (src/oskev_glue.cpp).
oskev <- function(ai, n1i, ci, n2i, data, slab, subset, by, runs = 10000, cc.one = 0.5,
                  cc.both = 0.5, prevalence = c("fixed", "random"), seed = NULL,
                  na.action = "na.omit", cores = NULL, bi, di, ...) {
  call <- match.call()
  .refuse_extra(call, list(...))
  if (missing(data)) {
    data <- NULL
  } else if (!is.null(data) && !is.list(data)) {
    .argument_error("'data' must be a data frame or a list.")
  }
  env <- parent.frame()

  # The counts, by name within 'data' or as vectors, as metafor's functions take them.
  values <- lapply(c(ai = "ai", bi = "bi", ci = "ci", di = "di", n1i = "n1i", n2i = "n2i",
                     slab = "slab", subset = "subset", by = "by"),
                   function(name) .column(call, name, data, env))
  if (is.null(values$ai) || is.null(values$ci)) {
    .argument_error("the events of both arms must be given: 'ai' and 'ci'.")
  }
  for (name in c("bi", "di", "n1i", "n2i")) {
    if (!is.null(values[[name]])) .check_type(values[[name]], name)
  }
  .check_type(values$ai, "ai")
  .check_type(values$ci, "ci")
  n1i <- .arm_size(values$ai, values$bi, values$n1i, "ai", "bi", "n1i")
  n2i <- .arm_size(values$ci, values$di, values$n2i, "ci", "di", "n2i")
  counts <- list(ai = as.vector(values$ai), n1i = n1i, ci = as.vector(values$ci), n2i = n2i)
  n <- length(counts$ai)
  if (any(lengths(counts) != n)) {
    .argument_error("'ai', 'n1i', 'ci' and 'n2i' (or 'bi', 'di') differ in length: ",
                    paste(lengths(counts), collapse = ", "), ".")
  }
  slab <- .labels(values$slab, n)
  group <- values$by
  if (!is.null(group) && length(group) != n) {
    .argument_error("'by' has ", length(group), " values for ", n, " studies.")
  }

  # subset first, then the rows with a missing count, as metafor does.
  rows <- .subset_rows(values$subset, n)
  k.all <- length(rows)
  missing_count <- Reduce(`|`, lapply(counts, function(x) is.na(x[rows])), rep(FALSE, length(rows)))
  not.na <- !missing_count
  if (any(missing_count)) {
    if (.na_fail(na.action)) {
      .argument_error("a count is missing (NA) in ", .studies(rows[missing_count]), ".")
    }
    warning(.missing_warning(rows[missing_count], slab[rows[missing_count]],
                             sum(not.na), length(rows)),
            call. = FALSE)
    rows <- rows[not.na]
  } else {
    .na_fail(na.action)  # checks the argument
  }
  if (length(rows) == 0L) {
    .argument_error(if (any(missing_count)) "no studies are left once those with a missing count are left out."
                    else "no studies given.")
  }
  counts <- lapply(counts, function(x) x[rows])
  for (name in names(counts)) counts[[name]] <- .check_counts(counts[[name]], name, rows)
  .check_arm(counts$ai, counts$n1i, 1L, rows)
  .check_arm(counts$ci, counts$n2i, 2L, rows)
  slab <- slab[rows]

  runs <- .check_whole(runs, "runs", 1, 2147483647)
  cc.one <- .check_correction(cc.one, "cc.one")
  cc.both <- .check_correction(cc.both, "cc.both")
  type <- .prevalence_type(prevalence)
  seed <- if (is.null(seed)) .seed_from_r() else .check_whole(seed, "seed", 1, 2147483646)
  settings <- list(runs = runs, cc.one = .as_single(cc.one), cc.both = .as_single(cc.both),
                   prevalence = c("fixed", "random")[type], type = type, seed = seed)

  if (!is.null(group)) {
    return(.analyse_groups(structure(counts, rows = rows), slab, group[rows], settings, .check_cores(cores),
                           .source_name(call)))
  }
  if (!is.null(cores)) .check_cores(cores)

  out <- .oskev_analyse(counts$ai, counts$n1i, counts$ci, counts$n2i, runs, cc.one, cc.both,
                        type, seed)
  if (out$status != 0L) {
    .signal_stop(out$status, out$message, out$why, structure(counts, rows = rows), settings)
  }

  studies <- data.frame(study = slab, ai = counts$ai, n1i = counts$n1i, ci = counts$ci,
                        n2i = counts$n2i, out$studies, stringsAsFactors = FALSE)
  studies$weight <- .percent(studies$w)
  res <- c(list(call = call, k = length(rows), k.all = k.all, not.na = not.na, rows = rows,
                settings = settings),
           out$observed, out$simulation,
           list(studies = studies, qsim = out$qsim))
  # metafor's name for the labels, so its users find them where they expect.
  res$slab <- slab
  structure(res, class = "oskev")
}

# One argument, looked up first among the columns of 'data', then where oskev() was called.
.column <- function(call, name, data, env) {
  expr <- call[[name]]
  if (is.null(expr)) return(NULL)
  eval(expr, data, env)
}

# Arguments oskev() does not have. metafor's words for the model are answered with what the
# test assumes instead.
.refuse_extra <- function(call, extra) {
  if (length(extra) == 0L) return(invisible())
  given <- names(extra)
  if (is.null(given)) given <- rep("", length(extra))
  for (name in given) {
    if (name %in% c("model", "method")) {
      .argument_error("oskev() has no argument '", name, "': ", .effects_explanation(),
                      " Say how the totals of events are simulated with ",
                      "prevalence = \"fixed\" or prevalence = \"random\".")
    }
  }
  unnamed <- sum(given == "")
  if (unnamed > 0L) {
    .argument_error(unnamed, " argument", if (unnamed > 1L) "s" else "", " without a name beyond ",
                    "those of oskev().")
  }
  .argument_error("oskev() has no argument", if (length(given) > 1L) "s " else " ",
                  paste0("'", given, "'", collapse = ", "), ".")
}

.effects_explanation <- function() {
  paste("the test has no fixed- or random-effects model: it always tests Q around one common",
        "risk ratio, the Mantel-Haenszel RRMH.")
}

# The rows that 'subset' keeps, as metafor takes it: a logical vector (NA counts as FALSE) or
# indices (negative ones leave out).
.subset_rows <- function(subset, n) {
  all_rows <- seq_len(n)
  if (is.null(subset)) return(all_rows)
  if (is.logical(subset)) {
    if (length(subset) != n) {
      .argument_error("'subset' has ", length(subset), " values for ", n, " studies.")
    }
    return(all_rows[!is.na(subset) & subset])
  }
  if (is.numeric(subset) && !anyNA(subset) && all(subset == round(subset)) &&
      all(abs(subset) <= n) && (all(subset >= 0) || all(subset <= 0))) {
    return(all_rows[subset])
  }
  .argument_error("'subset' must be a logical vector, or row numbers within 1 ... ", n,
                  " (negative ones leave rows out).")
}

.na_fail <- function(na.action) {
  if (is.function(na.action)) {
    if (identical(na.action, stats::na.omit) || identical(na.action, stats::na.exclude)) return(FALSE)
    if (identical(na.action, stats::na.fail)) return(TRUE)
  } else if (is.character(na.action) && length(na.action) == 1L && !is.na(na.action)) {
    if (na.action %in% c("na.omit", "na.exclude")) return(FALSE)
    if (na.action == "na.fail") return(TRUE)
  }
  .argument_error("'na.action' must be \"na.omit\" (leave out studies with a missing count) or ",
                  "\"na.fail\" (refuse them).")
}

.missing_warning <- function(rows, labels, used, given) {
  named <- paste0(rows, " (", labels, ")")
  if (length(named) > 10L) named <- c(named[1:10], paste("and", length(named) - 10L, "more"))
  paste0(if (length(rows) == 1L) "study " else "studies ", paste(named, collapse = ", "),
         if (length(rows) == 1L) " has" else " have", " a missing count (NA) and ",
         if (length(rows) == 1L) "is" else "are", " left out: ", used, " of ", given,
         " studies analysed.")
}

# Arm size from 'n' or from events plus non-events; never both, which could disagree.
.arm_size <- function(events, nonevents, size, ename, nename, sname) {
  if (!is.null(size) && !is.null(nonevents)) {
    .argument_error("give either '", sname, "' or '", nename, "', not both.")
  }
  if (!is.null(size)) return(as.vector(size))
  if (is.null(nonevents)) {
    .argument_error("the subjects of arm ", if (sname == "n1i") 1 else 2, " are missing: give '",
                    sname, "' (subjects) or '", nename, "' (subjects without events).")
  }
  if (length(nonevents) != length(events)) return(as.vector(nonevents))  # the length check reports it
  size <- as.double(events) + as.double(nonevents)
  # The parts are checked first, so a bad part is named rather than the sum.
  rows <- seq_along(size)
  fine <- !is.na(size)
  .check_counts(as.vector(nonevents)[fine], nename, rows[fine])
  .check_counts(as.vector(events)[fine], ename, rows[fine])
  .check_counts(size[fine], paste0(ename, " + ", nename), rows[fine])
  size
}

.check_type <- function(x, name) {
  if (is.factor(x) || !(is.numeric(x) || is.logical(x) && all(is.na(x)))) {
    .argument_error("'", name, "' must be numeric (counts).")
  }
}

# Counts as the engine takes them: whole numbers 0 ... 2147483647. `rows` are the studies'
# row numbers in the input, which the messages name.
.check_counts <- function(x, name, rows) {
  x <- as.vector(x)
  bad <- function(which, what) {
    .argument_error("'", name, "' ", what, " in ", .studies(rows[which]), ".")
  }
  if (any(!is.finite(x))) bad(!is.finite(x), "is not finite")
  if (any(x != round(x))) bad(x != round(x), "is not a whole number")
  if (any(x < 0)) bad(x < 0, "is negative")
  if (any(x > 2147483647)) bad(x > 2147483647, "is above 2147483647")
  as.integer(x)
}

.check_arm <- function(events, subjects, arm, rows) {
  over <- events > subjects
  if (any(over)) {
    .argument_error("arm ", arm, " has more events than subjects in ", .studies(rows[over]), ".")
  }
}

.studies <- function(rows) {
  shown <- if (length(rows) > 5) c(rows[1:5], "...") else rows
  paste0(if (length(rows) == 1) "study " else "studies ", paste(shown, collapse = ", "))
}

.labels <- function(slab, k) {
  if (is.null(slab)) return(paste("Study", seq_len(k)))
  if (length(slab) != k) .argument_error("'slab' has ", length(slab), " labels for ", k, " studies.")
  slab <- as.character(slab)
  slab[is.na(slab)] <- paste("Study", which(is.na(slab)))
  slab
}

.check_whole <- function(x, name, lowest, highest) {
  ok <- is.numeric(x) && length(x) == 1L && !is.na(x) && is.finite(x) && x == round(x)
  if (!ok) .argument_error("'", name, "' must be one whole number.")
  if (x < lowest || x > highest) {
    .argument_error("'", name, "' must be within ", format(lowest, scientific = FALSE), " ... ",
                    format(highest, scientific = FALSE), ", not ", format(x, scientific = FALSE), ".")
  }
  as.integer(x)
}

# Continuity corrections are single-precision numbers in the engine.
.check_correction <- function(x, name) {
  ok <- is.numeric(x) && length(x) == 1L && !is.na(x) && is.finite(x)
  if (!ok) .argument_error("'", name, "' must be one finite number.")
  if (x < 0) .argument_error("'", name, "' must be 0 or more, not ", format(x), ".")
  if (!is.finite(.as_single(x))) {
    .argument_error("'", name, "' is too large for single precision: ", format(x), ".")
  }
  as.double(x)
}

# The null model's prevalence of total events: "fixed" keeps each study's total of events as
# observed, "random" draws it. The command line's type codes 1 and 2 are taken too.
.prevalence_type <- function(prevalence) {
  if (is.numeric(prevalence) && length(prevalence) == 1L && !is.na(prevalence) &&
      prevalence %in% c(1, 2)) {
    return(as.integer(prevalence))
  }
  if (is.character(prevalence) && length(prevalence) >= 1L && !is.na(prevalence[1])) {
    if (length(prevalence) > 1L) prevalence <- prevalence[1]
    i <- pmatch(prevalence, c("fixed", "random"))
    if (!is.na(i)) return(i)
    effects <- grepl("effect", prevalence, ignore.case = TRUE) ||
      toupper(prevalence) %in% c("FE", "RE", "EE", "CE", "DL", "REML", "ML", "HE", "HS", "SJ",
                                 "PM", "EB", "MH")
    if (effects) {
      .argument_error("prevalence = \"", prevalence, "\" reads as a meta-analysis model, but ",
                      .effects_explanation(), " 'prevalence' says how the simulation draws each ",
                      "study's total of events under that common risk ratio: \"fixed\" keeps it ",
                      "as observed, \"random\" draws it (random prevalence of total events).")
    }
  }
  .argument_error("'prevalence' must be \"fixed\" (1, fixed prevalence of total events) or ",
                  "\"random\" (2, random prevalence of total events).")
}

# A seed from R's own generator: set.seed() makes a whole script repeatable, and successive
# calls differ.
.seed_from_r <- function() sample.int(2147483646L, 1L)

.check_cores <- function(cores) {
  if (is.null(cores)) return(max(1L, .default_cores()))
  .check_whole(cores, "cores", 1, 1024)
}

.default_cores <- function() {
  cores <- getOption("oskev.cores")
  if (!is.null(cores)) return(.check_whole(cores, "options(oskev.cores)", 1, 1024))
  detected <- parallel::detectCores()
  if (is.na(detected)) 1L else as.integer(detected)
}

# Study weights as percentages of their sum, as metafor's weights() gives them; not defined
# where a weight is not finite.
.percent <- function(w) {
  out <- rep(NaN, length(w))
  if (all(is.finite(w))) out <- 100 * w / sum(w)
  out
}
