# The header list is checked as a whole before anything is built from it or
# any file is touched.

header_error <- function(h, file = file.path(fresh_dir(), "a.emb")) {
  e <- condition_of(writeHSFile(h, file, "emb"))
  expect_false(is.null(e))
  expect_false(file.exists(file))
  e
}

expect_header_refused <- function(h, message) {
  e <- header_error(h)
  expect_identical(conditionMessage(e), message)
  expect_false(inherits(e, "C++Error"))
}

hdr_with <- function(...) {
  h <- small_header()
  args <- list(...)
  h[names(args)] <- args
  h
}
without <- function(name) { h <- small_header(); h[[name]] <- NULL; h }

test_that("counts must not be negative or NA", {
  expect_header_refused(hdr_with(noNode = -1L), "header: noNode is NA or negative.")
  expect_header_refused(hdr_with(noNode = NA), "header: noNode is NA or negative.")
  expect_header_refused(hdr_with(noElem = NA_real_), "header: noElem is NA or negative.")
  expect_header_refused(hdr_with(noLayer = -3), "header: noLayer is NA or negative.")
})

test_that("vector lengths must match their counts", {
  expect_header_refused(hdr_with(nodeXCoor = 1:4), "header: nodeXCoor holds 4 values, but noNode is 5.")
  expect_header_refused(hdr_with(nodeYCoor = 1:6), "header: nodeYCoor holds 6 values, but noNode is 5.")
  expect_header_refused(hdr_with(nodeType = c(99, 99)), "header: nodeType holds 2 values, but noNode is 5.")
  expect_header_refused(hdr_with(elemVoronoiX = 1:4, elemVoronoiY = 1:3),
                        "header: elemVoronoiY holds 3 values, but noElem is 4.")
  expect_header_refused(hdr_with(dz = c(1, 2)), "header: dz holds 2 values, but noLayer is 3.")
  expect_header_refused(hdr_with(elemBathy = 1:5), "header: elemBathy holds 5 values, but noElem is 4.")
  expect_header_refused(hdr_with(noNode = 2000000000L),
                        "header: nodeXCoor holds 5 values, but noNode is 2000000000.")
  expect_header_refused(hdr_with(elemNodes = list(c(0, 1, 4))), "header2mesh: enLst.size()!=mesh->noe.")
  expect_header_refused(hdr_with(itemNames = c("a", "b", "c")),
                        "header: itemLengths holds 2 values, but itemNames holds 3.")
})

test_that("elements must be ones the mesh can hold", {
  bad <- function(nodes, text) {
    en <- small_header()$elemNodes
    en[[3]] <- nodes
    expect_header_refused(hdr_with(elemNodes = en), paste0("header: elemNodes: element 2 ", text))
  }
  bad(c(2, 3, 5), "refers to node 5, outside 0..4.")
  bad(c(2, -1, 4), "refers to node -1, outside 0..4.")
  bad(c(2, NA, 4), "refers to node NA.")
  # Such lists were once written, and the file then could not be opened.
  bad(integer(0), "has 0 nodes; an element needs at least 3.")
  bad(c(2, 3), "has 2 nodes; an element needs at least 3.")
  bad(c(0, 1, 2, 3, 4, 4), "has 6 nodes, more than the mesh's 5.")
  # An existing file of that name is left alone.
  f <- write_small(file.path(fresh_dir(), "kept.emb"))
  expect_error(writeHSFile(hdr_with(elemNodes = list(0:2, 1:2, 2:4, 3:4)), f, "emb"),
               "header: elemNodes: element 1 has 2 nodes", fixed = TRUE)
  expect_identical(getHeader(openHSFile(f))$noTimestep, 3L)
})

test_that("values must be usable", {
  expect_header_refused(hdr_with(startDT = NA), "header: startDT is not a finite date-time.")
  expect_header_refused(hdr_with(startDT = Inf), "header: startDT is not a finite date-time.")
  expect_header_refused(hdr_with(startDT = 1e19), "header: startDT is not a finite date-time.")
  expect_header_refused(hdr_with(timestep = NaN), "header: timestep is not a finite number of seconds.")
  expect_header_refused(hdr_with(itemLengths = c(9, NA)),
                        "header: itemLengths holds NA or a negative length for item 'level'.")
  expect_header_refused(hdr_with(itemLengths = c(-9, 4)),
                        "header: itemLengths holds NA or a negative length for item 'temp'.")
  expect_header_refused(hdr_with(modeltype = "ocean"),
                        "header: modeltype 'ocean' is none of water, sediment, abm.")
  # Values that would give a broken model: NaN depths, negative cell volumes.
  broken <- list(
    list(hdr_with(nodeXCoor = c(0, 100, 100, NaN, 50.1)), "nodeXCoor[3] (0-based) is NA or infinite."),
    list(hdr_with(elemVoronoiX = c(50, 80, 50, 20), elemVoronoiY = c(20, 50, NA, 50)),
         "elemVoronoiY[2] (0-based) is NA or infinite."),
    list(hdr_with(elemBathy = c(6, 2.5, NA, 5.3)), "elemBathy[2] (0-based) is NA or infinite."),
    list(hdr_with(dz = c(3, 2, -1)), "dz[2] (0-based) is -1; it must be above 0."),
    list(hdr_with(dz = c(NA, 2, 1)), "dz[0] (0-based) is NA or infinite."),
    list(hdr_with(timestep = 0), "timestep is 0; it must be above 0."),
    list(hdr_with(timestep = -1800.5), "timestep is -1800.5; it must be above 0."),
    list(hdr_with(startDT = as.Date(NA)), "startDT is not a finite date-time."),
    list(hdr_with(offsetDepth = NA), "offsetDepth is NA or infinite."),
    list(hdr_with(itemNames = c("temp", NA)), "itemNames[1] (0-based) is NA."))
  for (case in broken) expect_header_refused(case[[1]], paste("header:", case[[2]]))
})

test_that("missing and unconvertible elements give Rcpp's messages in reading order", {
  e <- header_error(without("dz"))
  expect_identical(conditionMessage(e), "Index out of bounds: [index='dz'].")
  h <- small_header()
  h$itemNames <- NULL
  h$itemLengths <- NULL
  expect_identical(conditionMessage(header_error(h)), "Index out of bounds: [index='itemLengths'].")
  expect_identical(conditionMessage(header_error(unname(small_header()))),
                   "Object was created without names.")
  expect_identical(conditionMessage(header_error(hdr_with(noNode = 1:2))),
                   "Expecting a single value: [extent=2].")
  expect_identical(conditionMessage(header_error(hdr_with(itemNames = list("a", "b")))),
                   "Not compatible with STRSXP: [type=list].")
})

test_that("optional elements are read when present", {
  d <- fresh_dir()
  h0 <- hdr_with(nodeType = c(99, 99, 99, 99, 0.7), elemVoronoiX = c(50, 80, 50, 20))
  h <- getHeader(openHSFile(write_small(file.path(d, "a.emb"), header = h0)))
  expect_identical(h$nodeType[5], 0)
  expect_false(identical(h$eVoronoiX, f32(c(50, 80, 50, 20))))
  expect_identical(h$offsetDepth, f32(0.25))
  h1 <- without("offsetDepth")
  h1$elemNodes <- lapply(h1$elemNodes, as.integer)
  h <- getHeader(openHSFile(write_small(file.path(d, "b.emb"), header = h1)))
  expect_identical(h$offsetDepth, 0)
  expect_identical(h$elemNodes, lapply(h1$elemNodes, as.numeric))
  # The Voronoi points are used only when both coordinates are given.
  vx <- c(40, 70, 50, 30); vy <- c(30, 50, 70, 50)
  h <- getHeader(openHSFile(write_small(file.path(d, "c.emb"),
                                        header = hdr_with(elemVoronoiX = vx, elemVoronoiY = vy))))
  expect_identical(h$eVoronoiX, f32(vx))
  expect_identical(h$eVoronoiY, f32(vy))
})

test_that("a bad list leaves an existing file alone", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  before <- readBin(f, "raw", file.size(f))
  expect_error(writeHSFile(hdr_with(dz = 1), f, "emb"), "dz holds 1 values", fixed = TRUE)
  expect_identical(readBin(f, "raw", file.size(f)), before)
})
