# Exact messages and condition classes. The argument checks raise plain R
# errors; failures below them reach R as Rcpp's conditions.

expect_plain_error <- function(expr, message) {
  e <- suppressWarnings(condition_of(expr))   # 3e9 becomes NA with a warning
  expect_s3_class(e, "error")
  expect_identical(e$message, message)
  expect_false(inherits(e, "C++Error"))
}

# A failure below the argument checks: the fixed message, and the library's
# reason, which the printed error shows after it.
expect_library_error <- function(expr, reason, message = "c++ exception (unknown reason)") {
  e <- condition_of(expr)
  expect_identical(class(e), c("hestorError", "error", "condition"))
  expect_identical(e$message, message)
  expect_identical(e$reason, reason)
  expect_identical(conditionMessage(e), paste0(message, "\n", reason))
}

# A handle restored from a saved workspace keeps its tag but not its object.
expect_gone <- function(expr, fn) {
  expect_plain_error(expr, paste0(fn, ": external pointer is not valid: the handle was ",
                                  "restored from a saved workspace or its object is gone; ",
                                  "open the file again."))
}

expect_cpp_error <- function(expr, message, class) {
  e <- condition_of(expr)
  expect_identical(conditionMessage(e), message)
  expect_identical(class(e)[1], class)
  expect_true(inherits(e, "C++Error"))
}

small_file <- function() write_small(file.path(fresh_dir(), "run.emb"))

test_that("index arguments are refused when negative, NA or too large", {
  r <- openHSFile(small_file())
  for (item in list(2, -1, NA, NA_integer_, NA_real_, -3e9, 3e9)) {
    expect_plain_error(readItemData(r, item, 0), "Invalid item number.")
    expect_plain_error(readItemDataElem(r, item, 0, 0), "Invalid item number.")
    expect_plain_error(readLayer(r, item, 0, 0), "Invalid item number.")
    expect_plain_error(readTimeseries(r, item, 0, 0), "Invalid item number.")
  }
  for (ts in list(3, -1, NA, NA_real_)) {
    expect_plain_error(readItemData(r, 0, ts), "Invalid timestep number.")
    expect_plain_error(readItemDataElem(r, 0, ts, 0), "Invalid timestep number.")
    expect_plain_error(readLayer(r, 0, ts, 0), "Invalid timestep number.")
  }
  for (layer in list(3, 998, 1000, -2, NA)) {
    expect_plain_error(readLayer(r, 0, 0, layer), "Invalid layer number.")
  }
  for (layer in list(3, 998, -1, NA)) {
    expect_plain_error(readTimeseries(r, 0, 0, layer), "Invalid layer number.")
  }
  for (element in list(4, -1, NA)) {
    expect_plain_error(readTimeseries(r, 0, element, 0), "Invalid element number.")
    expect_plain_error(readProfile(r, 0, 0, element), "Invalid element number.")
    expect_plain_error(readTimeseriesProfile(r, 0, element, 0, -1), "Invalid element number.")
  }
  for (item in list(2, -1, NA)) {
    expect_plain_error(readProfile(r, item, 0, 0), "Invalid item number.")
    expect_plain_error(readTimeseriesProfile(r, item, 0, 0, -1), "Invalid item number.")
  }
  for (ts in list(3, -1, NA)) {
    expect_plain_error(readProfile(r, 0, ts, 0), "Invalid timestep number.")
  }
  for (range in list(c(-1, 2), c(NA, 2), c(0, NA), c(0, 4), c(2, 1), c(4, -1))) {
    expect_plain_error(readTimeseriesProfile(r, 0, 0, range[1], range[2]),
                       "Invalid timestep number.")
  }
  # An item with one value per element has no profile, whatever the element
  # (the last ones' cells lie beyond the item's four values).
  for (fn in c("readProfile", "readTimeseriesProfile")) for (e in 0:3) {
    args <- if (fn == "readProfile") list(r, 1, 0, e) else list(r, 1, e, 0, -1)
    expect_plain_error(do.call(fn, args), paste0(
      fn, ": item 1 ('level') holds 4 values per timestep, not one per cell (9)."))
  }
  # An item of neither length is placed by no reader; readItemData gives it.
  w <- writeHSFile(small_header("odd", 10), f <- file.path(fresh_dir(), "odd.emb"), "emb")
  writeHSData(w, 1:10); writeHSDataClose(w); o <- openHSFile(f)
  expect_identical(readItemData(o, 0, 0), as.numeric(1:10))
  for (call in alist(readLayer(o, 0, 0, 999), readTimeseries(o, 0, 1, 0), readItemDataElem(o, 0, 0, 0),
                     readProfile(o, 0, 0, 0), readTimeseriesProfile(o, 0, 0, 0, -1)))
    expect_plain_error(eval(call), paste0(call[[1]], ": item 0 ('odd') holds 10 values per timestep, neither one per element (4) nor one per cell (9)."))
  for (elements in list(4, c(0, 4), c(1, NA), NaN, 1e300, NA_integer_)) {
    expect_plain_error(readItemDataElem(r, 0, 0, elements), "Invalid element number.")
  }
  # Truncation towards zero: -0.5 is element 0, 2.9 is item 2 (absent).
  expect_identical(readItemDataElem(r, 0, 0, -0.5), readItemDataElem(r, 0, 0, 0))
  expect_identical(readItemDataElem(r, 0, 0, -1e300), numeric(0))
  expect_plain_error(readItemData(r, 2.9, 0), "Invalid item number.")
})

test_that("the file name checks come first", {
  d <- fresh_dir()
  missing <- file.path(d, "missing.emb")
  expect_library_error(openHSFile(missing),
                       paste0("openHSFile: the file '", missing, "' does not exist."),
                       "readHeader failed.")
  expect_library_error(openHSFile(d), paste0("openHSFile: '", d, "' is a folder, not a file."),
                       "readHeader failed.")
  writeLines("x", file.path(d, "a.unknown"))
  expect_library_error(openHSFile(file.path(d, "a.unknown")),
                       "str2fileFmtEnum: invalid format definition (UNKNOWN).")
  expect_error(openHSFile(file.path(d, "a.unknown")), "invalid format definition", fixed = TRUE)
})

test_that("handles of the wrong kind are refused by the call frame", {
  expect_cpp_error(readItemData(1, 0, 0), "Expecting an external pointer: [type=double].",
                   "Rcpp::not_compatible")
  expect_cpp_error(getHeader("x"), "Expecting an external pointer: [type=character].",
                   "Rcpp::not_compatible")
  r <- unserialize(serialize(openHSFile(small_file()), NULL))
  for (call in list(quote(getHeader(r)), quote(readItemData(r, 0, 0)),
                    quote(totalTimesteps(r)), quote(writeHSData(r, 1)),
                    quote(writeHSDataClose(r)), quote(getStaticItem(r, "x")))) {
    expect_gone(eval(call), as.character(call[[1]]))
  }
  # External pointers that are not handles: run in a child R process, so that
  # a crash fails this test rather than the whole suite.
  script <- tempfile(fileext = ".R")
  writeLines(c(
    "library(HestorTools)",
    "foreign <- list(symbol = getNativeSymbolInfo('_HestorTools_test', 'HestorTools')$address,",
    "                dll = getLoadedDLLs()[['HestorTools']][['info']],",
    "                null = new('externalptr'))",
    "for (k in names(foreign)) for (fn in c('getHeader', 'elemArea', 'readItemData', 'pointElem',",
    "                                       'writeHSData', 'writeHSDataClose')) {",
    "  args <- switch(fn, readItemData = list(foreign[[k]], 0, 0),",
    "                 pointElem = list(foreign[[k]], 0, 0), writeHSData = list(foreign[[k]], 1),",
    "                 list(foreign[[k]]))",
    "  cat(k, tryCatch({ do.call(fn, args); 'returned' }, error = conditionMessage), sep = ': ')",
    "  cat('\\n')",
    "}"), script)
  out <- suppressWarnings(system2(file.path(R.home("bin"), "Rscript"), c("--vanilla", script),
                                  stdout = TRUE, stderr = TRUE))
  expect_null(attr(out, "status"))
  fns <- c("getHeader", "elemArea", "readItemData", "pointElem", "writeHSData", "writeHSDataClose")
  expect_identical(out, paste0(rep(c("symbol", "dll", "null"), each = length(fns)), ": ", fns,
                               ": the argument is an external pointer but not a handle of this ",
                               "package; open the file with openHSFile or writeHSFile."))

  e <- condition_of(readItemData(openHSFile(small_file()), 1:2, 0))
  expect_identical(conditionMessage(e), "Expecting a single value: [extent=2].")
})

test_that("results have the documented types", {
  d <- fresh_dir()
  w <- writeHSFile(small_header(), file.path(d, "a.emb"), "emb")
  res <- writeHSData(w, temp_values(0))
  expect_true(is.integer(res) && length(res) == 1)
  writeHSData(w, level_values(0))
  expect_null(writeHSDataClose(w))
  r <- openHSFile(file.path(d, "a.emb"))
  expect_identical(class(r), "externalptr")
  n <- totalTimesteps(r)
  expect_true(is.integer(n) && length(n) == 1)
  expect_type(readItemData(r, 0, 0), "double")
})

test_that("a failed argument check leaves handles collectable and the RNG alone", {
  collected <- new.env()
  collected$n <- 0
  local({
    r <- openHSFile(small_file())
    reg.finalizer(r, function(x) collected$n <- collected$n + 1)
    for (i in 1:3) tryCatch(readItemData(r, 5, 0), error = function(e) NULL)
    tryCatch(readLayer(r, 0, 0, -7), error = function(e) NULL)
  })
  invisible(gc())
  expect_identical(collected$n, 1)

  set.seed(1)
  want <- runif(3)
  r <- openHSFile(small_file())
  set.seed(1)
  tryCatch(readItemData(r, 5, 0), error = function(e) NULL)
  tryCatch(writeHSFile(list(), "x.emb", "bin"), error = function(e) NULL)
  expect_identical(runif(3), want)
})

test_that("writing checks the format, the value count and the handle's state", {
  d <- fresh_dir()
  f <- file.path(d, "keep.emb")
  writeLines("precious", f)
  for (fmt in c("bin", "emb ", "", "embx")) {
    expect_plain_error(writeHSFile(small_header(), f, fmt), "writeHSFile: invalid file format.")
  }
  expect_identical(readLines(f), "precious")
  # nc is a format name, but there is no writer for it.
  expect_plain_error(writeHSFile(small_header(), f, "NC"),
                     "writeHSFile: the format 'nc' cannot be written; only 'emb' files can.")
  expect_plain_error(
    writeHSFile(small_header(items = character(0), lengths = numeric(0)), f, "emb"),
    "writeHSFile: itemNames is empty; a file needs at least one item.")
  expect_identical(readLines(f), "precious")

  w <- writeHSFile(small_header(), f, "emb")
  expect_plain_error(writeHSData(w, 1:4), "writeHSData: item 0 ('temp') takes 9 values, not 4.")
  writeHSData(w, temp_values(0))
  expect_plain_error(writeHSData(w, numeric(0)),
                     "writeHSData: item 1 ('level') takes 4 values, not 0.")
  writeHSData(w, level_values(0))
  expect_null(writeHSDataClose(w))
  closed <- "writeHSData: the file is not open for writing (closed, or opened for reading)."
  expect_plain_error(writeHSData(w, temp_values(1)), closed)
  expect_null(writeHSDataClose(w))
  r <- openHSFile(f)
  expect_plain_error(writeHSData(r, temp_values(1)), closed)
  expect_null(writeHSDataClose(r))
  expect_identical(getHeader(openHSFile(f))$noTimestep, 1L)
  expect_identical(readItemData(r, 1, 0), f32(level_values(0)))
})

test_that("a closed writer's handle refuses the data readers; the file reads back", {
  # test-hostile-routines.R sweeps every reader and table over writers' handles.
  f <- file.path(fresh_dir(), "w.emb")
  w <- writeHSFile(small_header(), f, "emb")
  writeHSData(w, temp_values(0))
  writeHSData(w, level_values(0))
  writeHSDataClose(w)
  expect_plain_error(readProfile(w, 0, 0, 0), paste0("readProfile: the handle was made by ",
                     "writeHSFile; open the file with openHSFile to read it."))
  expect_identical(totalTimesteps(w), 1L)
  expect_identical(readProfile(openHSFile(f), 0, 0, 0)$value, f32(temp_values(0))[1:3])
})

test_that("closing a handle that was never written leaves an empty, valid file", {
  f <- file.path(fresh_dir(), "empty.emb")
  w <- writeHSFile(small_header(), f, "emb")
  expect_null(writeHSDataClose(w))
  expect_null(writeHSDataClose(w))
  h <- getHeader(openHSFile(f))
  expect_identical(h$noTimestep, 0L)
  expect_identical(h$itemNames, c("temp", "level"))
})

test_that("an existing file that cannot be removed is reported", {
  # A kernel file: a regular file that nobody, not even root, may remove. Its
  # name gives no format, which is refused first.
  skip_if_not(file.exists("/proc/version"))
  expect_plain_error(writeHSFile(small_header(), "/proc/version", "emb"),
                     paste("writeHSFile: the name '/proc/version' has no extension that names a",
                           "format (openHSFile could not open the file); end the name in '.emb'."))
  expect_true(file.exists("/proc/version"))
})

test_that("a file in a write-protected folder is not replaced", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  Sys.chmod(d, "0555")
  on.exit(Sys.chmod(d, "0755"))
  skip_if(file.access(d, 2) == 0, "the folder stays writable (running as root)")
  expect_plain_error(writeHSFile(small_header(), f, "emb"),
                     paste0("writeHSFile: the folder '", d, "' is not writable."))
  expect_identical(getHeader(openHSFile(f))$noTimestep, 3L)
})

test_that("an interrupt stops a long call with R's interrupt condition; handles stay usable", {
  skip_on_os("windows")
  d <- fresh_dir()
  # A text mesh of 718,000 triangles: opening it takes most of a second.
  n <- 600L
  a <- rep(0:(n - 2L), n - 1L) + n * rep(0:(n - 2L), each = n - 1L)
  k <- seq_len(n * n) - 1L
  big <- file.path(d, "big.mesh")
  writeLines(c(paste(n * n, 2L * length(a)), sprintf("%d %d", 10L * (k %% n), 10L * (k %/% n)),
               sprintf("%d %d %d", a, a + 1L, a + n + 1L), sprintf("%d %d %d", a, a + n + 1L, a + n)),
             big)
  small <- small_file()
  ready <- file.path(d, "ready"); done <- file.path(d, "done")
  run_child(c(
    sprintf("h <- openHSFile('%s'); writeLines(as.character(Sys.getpid()), '%s.tmp')", small, ready),
    sprintf("file.rename('%s.tmp', '%s')", ready, ready),
    sprintf("got <- tryCatch({ m <- openHSFile('%s'); 'returned' }, interrupt = function(e) class(e))", big),
    sprintf("saveRDS(list(got, exists('m'), readItemData(h, 1, 2), pointElem(h, 60, 50)), '%s.tmp')", done),
    sprintf("file.rename('%s.tmp', '%s')", done, done)), wait = FALSE)
  for (i in 1:1200) if (file.exists(ready)) break else Sys.sleep(0.05)
  Sys.sleep(0.1)
  tools::pskill(as.integer(readLines(ready)), tools::SIGINT)
  for (i in 1:1200) if (file.exists(done)) break else Sys.sleep(0.05)
  r <- openHSFile(small)
  expect_identical(readRDS(done), list(c("interrupt", "condition"), FALSE, readItemData(r, 1, 2),
                                       pointElem(r, 60, 50)))
})

test_that("mesh and model table routines refuse what does not exist", {
  f <- file.path(fresh_dir(), "grid.mesh")
  writeLines(c("5 4", "0 0", "100 0", "100 100", "0 100", "50 50 0",
               "0 1 4", "1 2 4", "2 3 4", "3 0 4"), f)
  m <- openHSFile(f)
  for (fn in c("getBottomLayerIdx", "botlayerIdx", "facebotlayerIdx")) {
    expect_plain_error(get(fn)(m), paste0(fn, ": the file holds only a mesh, no layers."))
  }
  expect_plain_error(layerNo(m, 0, 1), "layerNo: the file holds only a mesh, no layers.")
  expect_plain_error(intersectionVMesh(m, c(0, 1), c(0, 1)),
                     "intersectionVMesh: the file holds only a mesh, no layers.")
  expect_identical(cellDepth(m), numeric(0))
  expect_identical(cellVolume(m), numeric(0))
  expect_identical(lengths(list(elemArea(m), nodeArea(m), nivfpe(m), elemInfo(m), nodeInfo(m))),
                   c(4L, 5L, 4L, 4L, 5L))
  expect_identical(pointElem(m, 50, 10), 0L)
  txt <- file.path(fresh_dir(), "a.text0d")
  writeLines(c("time\ta", "2024-01-01 00:00:00\t1"), txt)
  expect_plain_error(getBottomLayerIdx(openHSFile(txt)),
                     "getBottomLayerIdx: the file holds no model layers.")

  r <- openHSFile(small_file())
  for (e in list(4, -1, NA, 1e10)) {
    expect_plain_error(layerNo(r, e, 1), "Invalid element number.")
  }
  expect_plain_error(layerNo(r, 0, NA), "layerNo: depth is NA.")
  expect_plain_error(intersectionVMesh(r, 1:3, 1:2),
                     "intersectionVMesh: x holds 3 values but y holds 2; give one y per x.")
  for (v in list(1, numeric(0))) {
    expect_plain_error(intersectionVMesh(r, v, v), paste0(
      "intersectionVMesh: the polyline needs at least two vertices; x and y hold ",
      length(v), "."))
  }
  expect_plain_error(intersectionVMesh(r, c(0, NA, 1), c(0, 1, 2)),
                     "intersectionVMesh: vertex 1 (0-based) has a missing or non-finite coordinate.")
  expect_plain_error(intersectionVMesh(r, c(0, 1), c(0, Inf)),
                     "intersectionVMesh: vertex 1 (0-based) has a missing or non-finite coordinate.")
  # Vertices apart by less than rounding give no section either: one rule.
  for (x in list(c(50, 50, 50), c(50, 50 + 1e-12, 50))) {
    expect_plain_error(intersectionVMesh(r, x, c(30, 30, 30)), paste(
      "intersectionVMesh: the polyline has no length; all its vertices lie at one point",
      "(or closer together than the rounding of their coordinates)."))
  }

  gone <- unserialize(serialize(r, NULL))
  for (fn in c("getBottomLayerIdx", "botlayerIdx", "cellDepth", "cellVolume", "elemArea",
               "nodeArea", "facebotlayerIdx", "circumferenceNodes", "verticalFaces", "elemInfo",
               "nodeInfo", "bndElems", "nivfpe", "nbvfpe")) {
    expect_gone(get(fn)(gone), fn)
  }
  for (call in list(quote(pointElem(gone, 1, 1)), quote(pointElemNearest(gone, 1, 1, 0)),
                    quote(layerNo(gone, 0, 1)), quote(intersectionVMesh(gone, 0:1, 0:1)))) {
    expect_gone(eval(call), as.character(call[[1]]))
  }
})
