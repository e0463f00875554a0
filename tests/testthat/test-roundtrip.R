test_that("every header field survives writing and reading", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  h0 <- small_header()
  h <- getHeader(openHSFile(f))

  expect_identical(names(h), c("noElem", "noNode", "elemXCoor", "elemYCoor", "nodeXCoor",
                               "nodeYCoor", "nodeType", "eVoronoiX", "eVoronoiY", "proj",
                               "elemNodes", "modeltype", "startDT", "timestep", "noTimestep",
                               "noLayer", "length", "offsetDepth", "layerDepth", "dz",
                               "elemBathy", "itemNames", "itemLengths", "dateModified"))
  for (n in c("noElem", "noNode", "noTimestep", "noLayer", "length"))
    expect_true(is.integer(h[[n]]) && length(h[[n]]) == 1, info = n)
  expect_identical(h$noElem, 4L)
  expect_identical(h$noNode, 5L)
  expect_identical(h$nodeXCoor, f32(h0$nodeXCoor))
  expect_identical(h$nodeYCoor, f32(h0$nodeYCoor))
  cx <- vapply(h0$elemNodes, function(v) mean(f32(h0$nodeXCoor)[v + 1]), 0)
  cy <- vapply(h0$elemNodes, function(v) mean(f32(h0$nodeYCoor)[v + 1]), 0)
  expect_equal(h$elemXCoor, cx, tolerance = 1e-6)
  expect_equal(h$elemYCoor, cy, tolerance = 1e-6)
  expect_length(h$eVoronoiX, 4)
  expect_length(h$nodeType, 5)
  expect_identical(h$nodeType[5], 0)      # the centre node is interior
  expect_identical(h$proj, "UTM33")
  expect_identical(h$elemNodes, lapply(h0$elemNodes, as.numeric))
  expect_identical(h$modeltype, "sediment")
  expect_identical(class(h$startDT), c("POSIXct", "POSIXt"))
  expect_identical(attr(h$startDT, "tzone"), "GMT")
  expect_identical(unclass(h$startDT)[1], as.numeric(h0$startDT))
  expect_identical(h$timestep, f32(1800.5))
  expect_identical(h$noTimestep, 3L)
  expect_identical(h$noLayer, 3L)
  expect_identical(h$length, 9L)
  expect_identical(h$offsetDepth, f32(0.25))
  expect_identical(h$dz, f32(h0$dz))
  expect_equal(h$layerDepth, c(4.75, 2.25, 0.75))
  expect_identical(h$elemBathy, f32(h0$elemBathy))
  expect_identical(h$itemNames, c("temp", "level"))
  expect_identical(h$itemLengths, c(9, 4))
  expect_identical(attr(h$dateModified, "tzone"), "GMT")
  expect_lt(abs(as.numeric(h$dateModified) - as.numeric(Sys.time())), 3600)
})

test_that("a header list read back writes the same model again", {
  d <- fresh_dir()
  h <- getHeader(openHSFile(write_small(file.path(d, "a.emb"))))
  h2 <- getHeader(openHSFile(write_small(file.path(d, "b.emb"), header = h)))
  # The Voronoi points are not read from the list: they are computed afresh.
  same <- setdiff(names(h), c("dateModified", "eVoronoiX", "eVoronoiY"))
  expect_identical(h2[same], h[same])
  expect_equal(h2$eVoronoiX, h$eVoronoiX, tolerance = 1e-4)
  expect_equal(h2$eVoronoiY, h$eVoronoiY, tolerance = 1e-4)
})

test_that("lists without proj and modeltype give the defaults", {
  d <- fresh_dir()
  h0 <- small_header()
  h0$proj <- NULL
  h0$modeltype <- NULL
  h <- getHeader(openHSFile(write_small(file.path(d, "a.emb"), header = h0)))
  expect_identical(h$proj, "UTM32")
  expect_identical(h$modeltype, "water")
})

test_that("item values read back by timestep, element, layer and cell", {
  d <- fresh_dir()
  r <- openHSFile(write_small(file.path(d, "run.emb")))
  h0 <- small_header()
  bli <- bottom_layers(h0)
  expect_identical(bli, c(0L, 1L, 2L, 0L))
  ncell <- 3L - bli
  first <- c(0L, head(cumsum(ncell), -1))
  temp2 <- f32(temp_values(2))
  expect_identical(readItemData(r, 0, 2), temp2)
  expect_identical(readItemData(r, 1, 0), f32(level_values(0)))
  expect_identical(readItemData(r, 1.9, 2.7), f32(level_values(2)))

  cell <- function(e, k) temp2[first[e + 1] + k - bli[e + 1] + 1]
  for (layer in 0:2) {
    want <- vapply(0:3, function(e) if (bli[e + 1] > layer) NA_real_ else cell(e, layer), 0)
    expect_identical(readLayer(r, 0, 2, layer), want, info = layer)
  }
  expect_identical(readLayer(r, 0, 2, -1), vapply(0:3, function(e) cell(e, bli[e + 1]), 0))
  expect_identical(readLayer(r, 0, 2, 999), vapply(0:3, function(e) cell(e, 2), 0))
  # NA follows the bottom layers also for an item with one value per element.
  expect_identical(readLayer(r, 1, 1, 1), ifelse(bli > 1, NA, f32(level_values(1))))

  col <- function(e) first[e + 1] + seq_len(ncell[e + 1])
  expect_identical(readItemDataElem(r, 0, 2, c(3, -1, 1)), temp2[c(col(3), col(1))])
  expect_identical(readItemDataElem(r, 0, 2, -5), numeric(0))
  expect_identical(readItemDataElem(r, 0, 2, numeric(0)), numeric(0))
  # An item of one value per element: each listed element's own value, as
  # readItemData and readLayer give it.
  for (t in 0:2) {
    level <- f32(level_values(t))
    for (e in 0:3) {
      expect_identical(readItemDataElem(r, 1, t, e), level[e + 1], info = e)
      expect_identical(readItemDataElem(r, 1, t, e), readLayer(r, 1, t, -1)[e + 1])
    }
    expect_identical(readItemDataElem(r, 1, t, c(3, -1, 0, 3, 1)), level[c(4, 1, 4, 2)])
  }

  expect_identical(readTimeseries(r, 0, 1, 2),
                   vapply(0:2, function(t) f32(temp_values(t))[first[2] + 2], 0))
  expect_identical(readTimeseries(r, 0, 3, 5000),
                   vapply(0:2, function(t) f32(temp_values(t))[first[4] + 3], 0))
  expect_identical(readTimeseries(r, 1, 2, 2), f32(0:2 + 2 / 3))
  expect_error(readTimeseries(r, 1, 2, 0), "c++ exception (unknown reason)", fixed = TRUE)
  expect_identical(totalTimesteps(r), 3L)
})

test_that("a lon/lat mesh whose Voronoi points fall on faces opens again", {
  # Near-right triangles: as float32 the circumcentres lie on the outer faces.
  h <- small_header()
  h$nodeXCoor <- c(10, 10.001, 10.001, 10, 10.0005)
  h$nodeYCoor <- c(55, 55, 55.001, 55.001, 55.0005)
  h$proj <- "LONLAT"
  r <- openHSFile(write_small(file.path(fresh_dir(), "ll.emb"), header = h))
  g <- getHeader(r)
  expect_identical(g$proj, "LONLAT")
  expect_true(all(is.finite(c(g$eVoronoiX, g$eVoronoiY))))
  expect_identical(readItemData(r, 1, 2), f32(level_values(2)))
})

test_that("a series is read across, each file to its own length", {
  for (steps in list(list(0:2, 3:4), list(0:2, 3:6), list(0:2, 3:4, 5:7), list(0:3, 4, 5:9))) {
    n <- length(unlist(steps))
    f <- write_series(file.path(fresh_dir(), "run.emb"), steps)
    r <- openHSFile(f)
    expect_identical(totalTimesteps(r), n)
    expect_identical(readTimeseries(r, 1, 2, 999), f32(seq_len(n) - 1 + 2 / 3))
    expect_identical(readTimeseries(r, 0, 0, 1), f32(100 * (seq_len(n) - 1) + 1.1))
    # The timestep readers stay within the opened file.
    nt <- length(steps[[1]])
    expect_identical(readItemData(r, 1, nt - 1), f32(level_values(nt - 1)))
    expect_error(readItemData(r, 0, nt), "Invalid timestep number.", fixed = TRUE)
    for (fn in list(readLayer, readItemDataElem))
      expect_error(fn(r, 0, nt, 0), "Invalid timestep number.", fixed = TRUE)
  }
  # Starts round down as in R: -0.5 s is -1 s; a 1969 series written file by file reads whole.
  h <- small_header(); h$startDT <- as.POSIXct(-0.5, origin = "1970-01-01", tz = "GMT")
  expect_identical(as.numeric(getHeader(openHSFile(write_small(file.path(fresh_dir(), "m.emb"), header = h)))$startDT), -1)
  h$startDT <- as.POSIXct("1969-06-01", tz = "GMT")
  expect_identical(totalTimesteps(openHSFile(write_series(file.path(fresh_dir(), "s.emb"), list(0:2, 3:5), h))), 6L)
})

test_that("a new file replaces the whole series of its name", {
  d <- fresh_dir()
  f <- write_series(file.path(d, "run.emb"), list(0:2, 3:5, 6:8))
  expect_identical(totalTimesteps(openHSFile(f)), 9L)
  old1 <- readBin(file.path(d, "run^1.emb"), "raw", 1e6)
  # A shorter run of the same name reads back its own timesteps only.
  write_small(f, nt = 2)
  expect_false(any(file.exists(file.path(d, c("run^1.emb", "run^2.emb")))))
  r <- openHSFile(f)
  expect_identical(totalTimesteps(r), 2L)
  expect_identical(readTimeseries(r, 1, 2, 999), f32(0:1 + 2 / 3))
  # A file of the old run put back does not continue the new one.
  writeBin(old1, file.path(d, "run^1.emb"))
  r <- openHSFile(f)
  expect_identical(totalTimesteps(r), 2L)
  expect_identical(readTimeseries(r, 1, 2, 999), f32(0:1 + 2 / 3))
})

test_that("overwriting a file leaves only the new items", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  w <- writeHSFile(small_header(items = "salt", lengths = 9), f, "EmB")
  writeHSData(w, 1:9)
  writeHSDataClose(w)
  h <- getHeader(openHSFile(f))
  expect_identical(h$itemNames, "salt")
  expect_identical(h$noTimestep, 1L)
})

test_that("writing takes the lengths of the list and rounds to float32", {
  d <- fresh_dir()
  f <- file.path(d, "a.emb")
  w <- writeHSFile(small_header(items = c("a", "b"), lengths = c(9.9, 4, 7)), f, "emb")
  expect_identical(writeHSData(w, rep(0.1, 9)), 0L)
  expect_identical(writeHSData(w, 1:4), 0L)
  expect_null(writeHSDataClose(w))
  r <- openHSFile(f)
  expect_identical(getHeader(r)$itemLengths, c(9, 4))
  expect_identical(readItemData(r, 0, 0), rep(f32(0.1), 9))
})

test_that("a mesh file opens as a mesh, also when its name is just mesh", {
  d <- fresh_dir()
  text <- c("5 4", "0 0", "100 0", "100 100", "0 100", "50 50",
            "0 1 4", "1 2 4", "2 3 4", "3 0 4")
  sub <- file.path(d, "x.y")
  dir.create(sub)
  for (f in c(file.path(d, "grid.mesh"), file.path(sub, "mesh"))) {
    writeLines(text, f)
    h <- getHeader(openHSFile(f))
    expect_identical(h$noElem, 4L, info = f)
    expect_identical(h$noNode, 5L)
    expect_identical(h$noLayer, 0L)
    expect_identical(h$noTimestep, 0L)
    expect_identical(h$itemNames, character(0))
    expect_identical(h$itemLengths, numeric(0))
    expect_false(any(c("layerDepth", "dz", "elemBathy") %in% names(h)))
    expect_length(h, 21)
  }
  # The extension is that of the file name: a '.' in a folder name is not one.
  writeLines(text, file.path(sub, "grid"))
  expect_error(openHSFile(file.path(sub, "grid")), "c++ exception (unknown reason)",
               fixed = TRUE)
})
