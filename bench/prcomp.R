# The same analysis in R for the whole-run benchmark: read the data file
# (title and counts lines skipped) with data.table::fread and run
# prcomp(scale. = TRUE). Prints the seconds taken as the last line.
suppressPackageStartupMessages(library(data.table))
args <- commandArgs(trailingOnly = TRUE)
t <- system.time({
  x <- fread(args[1], skip = 2, header = FALSE)
  pc <- prcomp(x, scale. = TRUE)
})
cat(t[["elapsed"]], "\n")
