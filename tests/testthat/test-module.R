test_that("test returns the epoch as POSIXct without a time zone", {
  x <- .Call("_HestorTools_test")
  expect_identical(class(x), c("POSIXct", "POSIXt"))
  expect_identical(unclass(x)[[1]], 0)
  expect_null(attr(x, "tzone"))
  expect_length(x, 1)
  expect_identical(test(), x)
})

test_that("only the registered routines can be called", {
  routines <- names(getDLLRegisteredRoutines("HestorTools")$.Call)
  expect_true(all(startsWith(routines, "_HestorTools_")))
  built <- c("openHSFile", "getHeader", "readItemData", "readItemDataElem",
             "readTimeseries", "readTimeseriesProfile", "readLayer", "readProfile",
             "getStaticItem", "totalTimesteps", "test",
             "writeHSFile", "writeHSData", "writeHSDataClose")
  expect_setequal(routines, paste0("_HestorTools_", built))
  # Dynamic symbol lookup is off: an R-facing function's own symbol is not found.
  expect_error(.Call("test", PACKAGE = "HestorTools"))
  expect_error(.Call("_Z4testv", PACKAGE = "HestorTools"))
  expect_error(.Call("R_init_HestorTools", PACKAGE = "HestorTools"))
  expect_setequal(getNamespaceExports("HestorTools"), built)
})
