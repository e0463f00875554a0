test_that("test returns the epoch as POSIXct without a time zone", {
  x <- .Call("_HestorTools_test")
  expect_identical(class(x), c("POSIXct", "POSIXt"))
  expect_identical(unclass(x)[[1]], 0)
  expect_null(attr(x, "tzone"))
  expect_length(x, 1)
  expect_identical(test(), x)
})

# The routine table, in order.
all_routines <- c(
  "openHSFile", "getHeader", "pointElem", "pointElemNearest", "layerNo", "readItemData",
  "readItemDataElem", "readTimeseries", "readTimeseriesProfile", "readLayer", "readProfile",
  "getStaticItem", "getBottomLayerIdx", "botlayerIdx", "cellDepth", "cellVolume", "elemArea",
  "nodeArea", "facebotlayerIdx", "circumferenceNodes", "verticalFaces", "totalTimesteps",
  "elemInfo", "nodeInfo", "bndElems", "nivfpe", "nbvfpe", "test", "intersectionVMesh",
  "writeHSFile", "writeHSData", "writeHSDataClose")
registered <- function() {
  sub("^_HestorTools_", "", names(getDLLRegisteredRoutines("HestorTools")$.Call))
}

test_that("only the 32 routines are registered, in the table's order", {
  routines <- names(getDLLRegisteredRoutines("HestorTools")$.Call)
  expect_true(all(startsWith(routines, "_HestorTools_")))
  expect_identical(registered(), all_routines)
  # Dynamic symbol lookup is off: an R-facing function's own symbol is not found.
  expect_error(.Call("test", PACKAGE = "HestorTools"))
  expect_error(.Call("_Z4testv", PACKAGE = "HestorTools"))
  expect_error(.Call("R_init_HestorTools", PACKAGE = "HestorTools"))
  expect_setequal(getNamespaceExports("HestorTools"), registered())
})
