# The test of extreme low homogeneity for R: argument handling in the manner of metafor, the
# analysis itself in the engine of the command-line program (src/oskev_glue.cpp).
oskev <- function(ai, n1i, ci, n2i, data, slab, runs = 10000, cc.one = 0.5, cc.both = 0.5,
                  model = c("fixed", "random"), seed = NULL, bi, di) {
  call <- match.call()
  if (missing(data)) {
    data <- NULL
  } else if (!is.null(data) && !is.list(data)) {
    stop("'data' must be a data frame or a list.", call. = FALSE)
  }
  env <- parent.frame()

  # The counts, by name within 'data' or as vectors, as metafor's functions take them.
  ai <- .column(call, "ai", data, env)
  bi <- .column(call, "bi", data, env)
  ci <- .column(call, "ci", data, env)
  di <- .column(call, "di", data, env)
  n1i <- .column(call, "n1i", data, env)
  n2i <- .column(call, "n2i", data, env)
  slab <- .column(call, "slab", data, env)

  if (is.null(ai) || is.null(ci)) {
    stop("the events of both arms must be given: 'ai' and 'ci'.", call. = FALSE)
  }
  n1i <- .arm_size(ai, bi, n1i, "ai", "bi", "n1i")
  n2i <- .arm_size(ci, di, n2i, "ci", "di", "n2i")
  counts <- list(ai = ai, n1i = n1i, ci = ci, n2i = n2i)
  k <- length(ai)
  if (any(lengths(counts) != k)) {
    stop("'ai', 'n1i', 'ci' and 'n2i' (or 'bi', 'di') differ in length: ",
         paste(lengths(counts), collapse = ", "), ".", call. = FALSE)
  }
  if (k == 0L) stop("no studies given.", call. = FALSE)
  for (name in names(counts)) counts[[name]] <- .check_counts(counts[[name]], name)
  .check_arm(counts$ai, counts$n1i, 1L)
  .check_arm(counts$ci, counts$n2i, 2L)
  slab <- .labels(slab, k)

  runs <- .check_whole(runs, "runs", 1, 2147483647)
  cc.one <- .check_correction(cc.one, "cc.one")
  cc.both <- .check_correction(cc.both, "cc.both")
  type <- .model_type(model)
  if (is.null(seed)) {
    seed <- .clock_seed()
  } else {
    seed <- .check_whole(seed, "seed", 1, 2147483646)
  }

  out <- .oskev_analyse(counts$ai, counts$n1i, counts$ci, counts$n2i, runs, cc.one, cc.both,
                        type, seed)
  if (out$status != 0L) .signal_stop(out$status, out$message, call)

  studies <- data.frame(study = slab, ai = counts$ai, n1i = counts$n1i, ci = counts$ci,
                        n2i = counts$n2i, out$studies, stringsAsFactors = FALSE)
  res <- c(list(call = call, k = k,
                settings = list(runs = runs, cc.one = .as_single(cc.one),
                                cc.both = .as_single(cc.both),
                                model = c("fixed", "random")[type], type = type, seed = seed)),
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

# Arm size from 'n' or from events plus non-events; never both, which could disagree.
.arm_size <- function(events, nonevents, size, ename, nename, sname) {
  if (!is.null(size) && !is.null(nonevents)) {
    stop("give either '", sname, "' or '", nename, "', not both.", call. = FALSE)
  }
  if (!is.null(size)) return(size)
  if (is.null(nonevents)) {
    stop("the subjects of arm ", if (sname == "n1i") 1 else 2, " are missing: give '", sname,
         "' (subjects) or '", nename, "' (subjects without events).", call. = FALSE)
  }
  nonevents <- .check_counts(nonevents, nename)
  events <- .check_counts(events, ename)
  if (length(nonevents) != length(events)) return(nonevents)  # the length check reports it
  size <- as.double(events) + as.double(nonevents)
  .check_counts(size, paste0(ename, " + ", nename))
}

# Counts as the engine takes them: whole numbers 0 ... 2147483647.
.check_counts <- function(x, name) {
  if (is.factor(x) || !(is.numeric(x) || is.logical(x) && all(is.na(x)))) {
    stop("'", name, "' must be numeric (counts).", call. = FALSE)
  }
  x <- as.vector(x)
  bad <- function(which, what) {
    stop("'", name, "' ", what, " in ", .studies(which), ".", call. = FALSE)
  }
  if (anyNA(x)) bad(is.na(x), "is missing (NA)")
  if (any(!is.finite(x))) bad(!is.finite(x), "is not finite")
  if (any(x != round(x))) bad(x != round(x), "is not a whole number")
  if (any(x < 0)) bad(x < 0, "is negative")
  if (any(x > 2147483647)) bad(x > 2147483647, "is above 2147483647")
  as.integer(x)
}

.check_arm <- function(events, subjects, arm) {
  over <- events > subjects
  if (any(over)) {
    stop("arm ", arm, " has more events than subjects in ", .studies(over), ".", call. = FALSE)
  }
}

.studies <- function(which) {
  i <- which(which)
  shown <- if (length(i) > 5) c(i[1:5], "...") else i
  paste0(if (length(i) == 1) "study " else "studies ", paste(shown, collapse = ", "))
}

.labels <- function(slab, k) {
  if (is.null(slab)) return(paste("Study", seq_len(k)))
  if (length(slab) != k) {
    stop("'slab' has ", length(slab), " labels for ", k, " studies.", call. = FALSE)
  }
  slab <- as.character(slab)
  slab[is.na(slab)] <- paste("Study", which(is.na(slab)))
  slab
}

.check_whole <- function(x, name, lowest, highest) {
  ok <- is.numeric(x) && length(x) == 1L && !is.na(x) && is.finite(x) && x == round(x)
  if (!ok) stop("'", name, "' must be one whole number.", call. = FALSE)
  if (x < lowest || x > highest) {
    stop("'", name, "' must be within ", format(lowest, scientific = FALSE), " ... ",
         format(highest, scientific = FALSE), ", not ", format(x, scientific = FALSE), ".",
         call. = FALSE)
  }
  as.integer(x)
}

# Continuity corrections are single-precision numbers in the engine.
.check_correction <- function(x, name) {
  ok <- is.numeric(x) && length(x) == 1L && !is.na(x) && is.finite(x)
  if (!ok) stop("'", name, "' must be one finite number.", call. = FALSE)
  if (x < 0) stop("'", name, "' must be 0 or more, not ", format(x), ".", call. = FALSE)
  if (!is.finite(.as_single(x))) {
    stop("'", name, "' is too large for single precision: ", format(x), ".", call. = FALSE)
  }
  as.double(x)
}

.model_type <- function(model) {
  if (is.numeric(model) && length(model) == 1L && !is.na(model) && model %in% c(1, 2)) {
    return(as.integer(model))
  }
  if (is.character(model) && length(model) >= 1L && !is.na(model[1])) {
    if (length(model) > 1L) model <- model[1]
    i <- pmatch(model, c("fixed", "random"))
    if (!is.na(i)) return(i)
  }
  stop("'model' must be \"fixed\" (1, fixed prevalence of total events) or \"random\" ",
       "(2, random prevalence of total events).", call. = FALSE)
}

# A library stop (status 1) or a refusal (status 3) as an R condition carrying the library's
# own message, so that callers can tell them apart with tryCatch().
.signal_stop <- function(status, message, call) {
  kind <- switch(as.character(status),
                 "1" = "oskev_library_stop",
                 "3" = "oskev_refused",
                 "oskev_internal_error")
  message <- sub("\n+$", "", message)
  cond <- structure(list(message = message, call = call, status = status),
                    class = c(kind, "oskev_error", "error", "condition"))
  stop(cond)
}
