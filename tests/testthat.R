library(testthat)
library(HestorTools)

test_check("HestorTools")
