# Many meta-analyses in one call, as `oskev analyse` runs the groups of a file: one row per
# meta-analysis with the columns of `oskev analyse -f csv`, failing ones as rows with their
# status and message. The counts have been checked as in a single analysis.
.analyse_groups <- function(counts, slab, group, settings, cores, source) {
  if (anyNA(group)) {
    .argument_error("'by' is missing (NA) in ", .studies(attr(counts, "rows")[is.na(group)]), ".")
  }
  # A factor's groups in the order of its levels, any other grouping in order of appearance, as
  # the groups of a file.
  levels <- if (is.factor(group)) levels(droplevels(group)) else unique(as.character(group))
  index <- match(as.character(group), levels)
  out <- .oskev_analyse_groups(counts$ai, counts$n1i, counts$ci, counts$n2i, index, levels,
                               settings$runs, settings$cc.one, settings$cc.both, settings$type,
                               settings$seed, cores, source)
  if (is.numeric(out$status)) {
    stop(.oskev_condition("oskev_internal_error", out$message, status = out$status))
  }
  rows <- data.frame(out, stringsAsFactors = FALSE, check.names = FALSE)
  rows$stopped_early <- rows$stopped_early == "true"
  attr(rows, "seed") <- settings$seed
  rows
}

# What the rows name as their source: the data frame's name, as `oskev analyse` names the file.
.source_name <- function(call) {
  data <- call[["data"]]
  if (is.null(data)) return("R")
  text <- paste(deparse(data, width.cutoff = 500L), collapse = " ")
  if (nchar(text) > 60L) paste0(substr(text, 1L, 57L), "...") else text
}
