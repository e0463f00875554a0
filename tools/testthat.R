# Runs the testthat suite against the installed package and ends with a
# one-line summary; exits non-zero on any failure.
library(testthat)
res <- as.data.frame(test_dir("tests/testthat", package = "HestorTools",
                              load_package = "installed", reporter = "summary",
                              stop_on_failure = FALSE))
failed <- sum(res$failed) + sum(res$error)
passed <- sum(res$nb) - sum(res$failed) - sum(res$skipped)
cat(sprintf("testthat: %d passed, %d failed, %d skipped\n", passed, failed, sum(res$skipped)))
quit(status = if (failed > 0) 1 else 0)
