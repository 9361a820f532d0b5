# Correspondence analysis in R for the engine benchmark: read the data file
# (title and counts lines skipped) with data.table::fread and run ade4's
# dudi.coa with three axes. Prints the seconds taken as the last line.
suppressPackageStartupMessages({library(data.table); library(ade4)})
args <- commandArgs(trailingOnly = TRUE)
t <- system.time({
  x <- as.data.frame(fread(args[1], skip = 2, header = FALSE))
  ca <- dudi.coa(x, scannf = FALSE, nf = 3)
})
cat(t[["elapsed"]], "\n")
