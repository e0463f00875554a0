# The profile frames against the values readItemData gives for the same cells.

h0 <- small_header()
bli <- bottom_layers(h0)
ncell <- 3L - bli
first <- c(0L, head(cumsum(ncell), -1))
column <- function(t, e) f32(temp_values(t))[first[e + 1] + seq_len(ncell[e + 1])]

test_that("readProfile gives an element's column, bottom layer first", {
  r <- openHSFile(write_small(file.path(fresh_dir(), "run.emb")))
  depth <- getHeader(r)$layerDepth
  for (t in 0:2) for (e in 0:3) {
    p <- readProfile(r, 0, t, e)
    expect_identical(names(p), c("depth", "value"))
    expect_identical(p, as.data.frame(list(depth = p$depth, value = p$value)))
    expect_identical(p$value, readItemData(r, 0, t)[first[e + 1] + seq_len(ncell[e + 1])])
    expect_identical(p$value, column(t, e))
    expect_identical(p$depth, depth[(bli[e + 1] + 1):3])
  }
  expect_identical(nrow(readProfile(r, 0, 1, 2)), 1L)  # bottom layer is the surface layer
})

test_that("readTimeseriesProfile lists each timestep surface first", {
  r <- openHSFile(write_small(file.path(fresh_dir(), "run.emb")))
  depth <- getHeader(r)$layerDepth
  for (e in 0:3) {
    p <- readTimeseriesProfile(r, 0, e, 1, -1)
    expect_identical(names(p), c("dt", "depth", "temp"))
    expect_identical(class(p$dt), c("POSIXct", "POSIXt"))
    expect_identical(attr(p$dt, "tzone"), "GMT")
    n <- ncell[e + 1]
    # Timestep t lies at the start plus t x 1800.5 s, truncated to whole seconds.
    expect_identical(as.numeric(p$dt), rep(as.numeric(h0$startDT) + c(1800, 3601), each = n))
    expect_identical(p$depth, rep(rev(depth[(bli[e + 1] + 1):3]), 2))
    expect_identical(p$temp, c(rev(column(1, e)), rev(column(2, e))))
  }
  expect_identical(readTimeseriesProfile(r, 0, 0, 0, 2), readTimeseriesProfile(r, 0, 0, 0, -1)[1:6, ])
  expect_identical(nrow(readTimeseriesProfile(r, 0, 0, 3, -1)), 0L)
})

test_that("both frames read every file of a series, each to its own length", {
  for (steps in list(list(0:2, 3:6), list(0:2, 3:4, 5:7), list(0:4, 5))) {
    n <- length(unlist(steps))
    r <- openHSFile(write_series(file.path(fresh_dir(), "s.emb"), steps))
    for (e in c(0, 3)) {
      for (t in seq_len(n) - 1)
        expect_identical(readProfile(r, 0, t, e)$value, column(t, e), info = t)
      p <- readTimeseriesProfile(r, 0, e, 0, -1)
      expect_identical(p$temp, unlist(lapply(seq_len(n) - 1, function(t) rev(column(t, e)))))
      expect_identical(readTimeseriesProfile(r, 0, e, n - 2, n)$temp,
                       c(rev(column(n - 2, e)), rev(column(n - 1, e))))
    }
    expect_error(readProfile(r, 0, n, 0), "Invalid timestep number.", fixed = TRUE)
    expect_error(readTimeseriesProfile(r, 0, 0, 0, n + 1), "Invalid timestep number.",
                 fixed = TRUE)
  }
})

test_that("both frames read into the later files of a series", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  write_series_file(f, 1, 3:4)
  r <- openHSFile(f)
  expect_identical(readProfile(r, 0, 4, 3)$value, column(4, 3))
  p <- readTimeseriesProfile(r, 0, 3, 2, -1)
  expect_identical(p$temp, unlist(lapply(2:4, function(t) rev(column(t, 3)))))
  expect_identical(nrow(readTimeseriesProfile(r, 0, 3, 1, 4)), 9L)
  expect_error(readProfile(r, 0, 5, 3), "Invalid timestep number.", fixed = TRUE)
  expect_error(readTimeseriesProfile(r, 0, 3, 0, 6), "Invalid timestep number.", fixed = TRUE)
})

test_that("the item name becomes the column name by R's rules", {
  f <- write_small(file.path(fresh_dir(), "run.emb"),
                   header = small_header(items = c("temp C", "level")))
  expect_identical(names(readTimeseriesProfile(openHSFile(f), 0, 0, 0, 1)),
                   c("dt", "depth", "temp.C"))
})
