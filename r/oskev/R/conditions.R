# The conditions of oskev(), all of class "oskev_error", so that R code can catch them by class:
#
#   oskev_argument_error   an argument oskev() refuses before anything is computed
#   oskev_library_stop     the numerical library stopped the analysis (the command line's status 1)
#   oskev_refused          the engine refused the analysis (status 3)
#   oskev_internal_error   a fault of this package or the engine, never bad input
#
# Their call is the user's call of oskev(), whatever helper raised them.

.user_call <- function() {
  for (i in rev(seq_len(sys.nframe()))) {
    if (identical(sys.function(i), oskev)) return(sys.call(i))
  }
  NULL
}

.oskev_condition <- function(class, message, ...) {
  structure(class = c(class, "oskev_error", "error", "condition"),
            list(message = message, call = .user_call(), ...))
}

.argument_error <- function(...) {
  stop(.oskev_condition("oskev_argument_error", paste0(...)))
}

# A stop of the engine as an R condition: the plain words first, then the library's own message,
# which the condition also keeps as `library.message` beside the command line's `status`.
.signal_stop <- function(status, message, why, counts, settings) {
  message <- sub("^[ \n]+", "", sub("[ \n]+$", "", message))
  kind <- switch(as.character(status), "1" = "oskev_library_stop", "3" = "oskev_refused",
                 "oskev_internal_error")
  # The engine's own account in plain words where it gives one, else this package's.
  plain <- if (length(why) == 1L && nzchar(why)) paste0(why, ".") else
    .plain_words(kind, message, counts, settings)
  text <- if (identical(plain, message)) message else paste0(plain, "\nThe library's message:\n", message)
  stop(.oskev_condition(kind, text, status = as.integer(status), library.message = message))
}

# What a library stop means for the studies at hand.
.plain_words <- function(kind, message, counts, settings) {
  if (kind != "oskev_library_stop") return(message)
  k <- length(counts$ai)
  if (grepl("from DCHIDF", message, fixed = TRUE) && k < 2L) {
    return(paste0("at least two studies are needed: with k = ", k,
                  " the heterogeneity statistic Q has no degrees of freedom."))
  }
  if (grepl("from RNBIN", message, fixed = TRUE)) {
    empty <- counts$n1i == 0L | counts$n2i == 0L
    if (any(empty)) return(paste0(.studies(.rows_of(counts, empty)), .has(empty), " an arm without subjects."))
    none <- counts$ai == 0L & counts$ci == 0L
    if (any(none) && settings$cc.both == 0) {
      return(paste0(.studies(.rows_of(counts, none)), .has(none), " no events in either arm and ",
                    "cc.both = 0: an event probability of 0 cannot be simulated."))
    }
    one <- counts$ai == 0L | counts$ci == 0L
    if (any(one & !none) && settings$cc.one == 0) {
      return(paste0(.studies(.rows_of(counts, one & !none)), .has(one & !none),
                    " no events in one arm and cc.one = 0: an event probability of 0 cannot ",
                    "be simulated."))
    }
    every <- counts$ai == counts$n1i | counts$ci == counts$n2i
    if (any(every)) {
      return(paste0(.studies(.rows_of(counts, every)), .has(every), " an arm where every ",
                    "subject has an event: an event probability of 1 cannot be simulated."))
    }
    return("an arm's event probability under the common risk ratio is 0 or 1, which cannot be simulated.")
  }
  "the numerical library stopped the analysis."
}

.rows_of <- function(counts, which) {
  rows <- attr(counts, "rows")
  if (is.null(rows)) rows <- seq_along(which)
  rows[which]
}

.has <- function(which) if (sum(which) == 1L) " has" else " have"
