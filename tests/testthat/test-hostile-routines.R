# Every routine with NA, negative, huge and wrong-type arguments, on every
# kind of handle: a result file, a mesh file, a writer halfway through a
# timestep, a closed writer and a handle restored from a saved workspace (a
# null external pointer). Each call is an R error or the documented result,
# and no value holds a number that was not written (the suite also runs under
# AddressSanitizer, which sees any read outside the data).

outcome <- function(fn, args) {
  tryCatch(suppressWarnings(do.call(fn, args)), error = function(e) e)
}
refused <- function(x) inherits(x, "error")
show <- function(x) if (refused(x)) paste("error:", conditionMessage(x)) else
  paste(class(x)[1], "of length", length(x))

in_dir <- function(d, expr) {
  old <- setwd(d)
  on.exit(setwd(old))
  expr
}

# A fresh set per routine: the writing routines change the writers.
make_handles <- function() {
  r <- openHSFile(write_small("run.emb"))
  writeLines(c("5 4", "0 0", "100 0", "100 100", "0 100", "50 50 0",
               "0 1 4", "1 2 4", "2 3 4", "3 0 4"), "grid.mesh")
  closed <- writeHSFile(small_header(), "closed.emb", "emb")
  writing <- writeHSFile(small_header(), "writing.emb", "emb")
  for (w in list(closed, writing)) {
    writeHSData(w, temp_values(0))
    writeHSData(w, level_values(0))
  }
  writeHSDataClose(closed)
  writeHSData(writing, temp_values(1))
  list(result = r, mesh = openHSFile("grid.mesh"), writing = writing, closed = closed,
       restored = unserialize(serialize(r, NULL)))
}

# The routines and a valid call of each; the handle under test takes H's place.
H <- structure(list(), class = "handle_slot")
routines <- list(
  openHSFile = list(fileName = "run.emb"),
  getHeader = list(f = H),
  pointElem = list(f = H, x = 50, y = 10),
  pointElemNearest = list(f = H, x = 50, y = 10, mode = 0),
  layerNo = list(f = H, element = 0, depth = 1),
  readItemData = list(f = H, item = 0, timestep = 0),
  readItemDataElem = list(f = H, item = 0, timestep = 0, elements = c(2, 1)),
  readTimeseries = list(f = H, item = 0, element = 0, layer = 999),
  readTimeseriesProfile = list(f = H, item = 0, element = 0, fromTimestep = 0, toTimestep = -1),
  readLayer = list(f = H, item = 0, timestep = 0, layer = 0),
  readProfile = list(f = H, item = 0, timestep = 0, element = 0),
  getStaticItem = list(f = H, name = "x"),
  getBottomLayerIdx = list(f = H), botlayerIdx = list(f = H), cellDepth = list(f = H),
  cellVolume = list(f = H), elemArea = list(f = H), nodeArea = list(f = H),
  facebotlayerIdx = list(f = H), circumferenceNodes = list(f = H), verticalFaces = list(f = H),
  totalTimesteps = list(f = H), elemInfo = list(f = H), nodeInfo = list(f = H),
  bndElems = list(f = H), nivfpe = list(f = H), nbvfpe = list(f = H),
  test = list(),
  intersectionVMesh = list(f = H, x = c(0, 100), y = c(10, 90)),
  writeHSFile = list(header = small_header(), fileName = "new.emb", format = "emb"),
  writeHSData = list(f = H, values = level_values(1)),
  writeHSDataClose = list(f = H))

test_that("the table holds every routine of the module", {
  expect_setequal(names(routines), getNamespaceExports("HestorTools"))
})

# Hostile values by the kind of argument. A vector argument gets each number
# as its first entry, keeping its length.
numbers <- list(`NA` = NA, `NA_real_` = NA_real_, `NaN` = NaN, `-1` = -1, `-2^31` = -2^31,
                `2^31` = 2^31, `1e300` = 1e300, `-Inf` = -Inf, int_max = .Machine$integer.max)
wrong_types <- list(string = "0", `NULL` = NULL, list = list(0), pair = c(0, 0),
                    empty = numeric(0), closure = identity, environment = globalenv())
# R coerces these to 1.
coercible <- list(`TRUE` = TRUE, complex = 1 + 0i, raw = as.raw(1))
# Only names inside the test's own folder: the writer writes what it is given.
texts <- list(`NA_character_` = NA_character_, empty = "", folder = ".", long = strrep("x", 1e5),
              latin1 = "\xff.emb", missing_folder = "no/such/folder/a.emb")
not_texts <- list(number = 1, `NULL` = NULL, list = list("a"), pair = c("a", "b"),
                  none = character(0), closure = identity)
not_handles <- list(number = 1, text = "run.emb", `NULL` = NULL, list = list(), `NA` = NA)

# The hostile numbers and texts each routine accepts, by argument: all others
# are refused. Coordinates are any double; a point in no element gives -1.
all_numbers <- names(numbers)
accepted <- list(
  pointElem = list(x = all_numbers, y = all_numbers),
  # Every mode but 0 asks for the nearest centroid: NA is such a mode.
  pointElemNearest = list(x = all_numbers, y = all_numbers, mode = all_numbers),
  layerNo = list(depth = c("-1", "int_max")),
  # A negative element contributes nothing; -Inf and -2^31 are negative.
  readItemDataElem = list(elements = c("-1", "-2^31", "-Inf", "long")),
  # 999 and above: the uppermost cell that holds a value.
  readTimeseries = list(layer = "int_max"),
  # A negative end reads to the end of the series.
  readTimeseriesProfile = list(toTimestep = "-1"),
  # -1: every element's uppermost value.
  readLayer = list(layer = "-1"),
  # A polyline far outside the mesh crosses no element.
  intersectionVMesh = list(x = c("-1", "-2^31", "2^31", "1e300", "int_max"),
                           y = c("-1", "-2^31", "2^31", "1e300", "int_max")),
  # Written as 32-bit floats: huge values become infinite, NA a NaN.
  writeHSData = list(values = all_numbers),
  # A name no static item has.
  getStaticItem = list(name = names(texts)),
  # Rcpp hands NA on as the text "NA": a file of that name.
  writeHSFile = list(fileName = c("NA_character_", "latin1")))

# Every value a reader may give: what was written (as 32-bit floats), the
# missing-value marker below an element's bottom, and NA from readLayer.
known <- f32(c(sapply(0:2, temp_values), sapply(0:2, level_values), -1e-30))

# Whether a value is one the routine documents for the handles of this model
# (four elements, three layers); tables of the writers' model are those of the
# result file, which holds the same model.
plausible <- function(fn, v, kind, reference) {
  in_data <- function(x) is.double(x) && all(is.na(x) | x %in% known)
  one_int <- function(x, lo, hi) is.integer(x) && length(x) == 1 && x >= lo && x <= hi
  switch(fn,
    readItemData = , readItemDataElem = , readLayer = , readTimeseries = in_data(v),
    readProfile = is.data.frame(v) && in_data(v$value),
    readTimeseriesProfile = is.data.frame(v) && in_data(v[[3]]),
    pointElem = , pointElemNearest = one_int(v, -1, 3),
    layerNo = one_int(v, 0, 2),
    totalTimesteps = one_int(v, 0, 3),
    getHeader = is.list(v) && identical(v$noElem, 4L),
    getStaticItem = identical(v, numeric(0)),
    intersectionVMesh = identical(names(v), c("IntersecElem", "IntersecDist", "IntersecHeader")) &&
      all(v$IntersecElem %in% -1:3),
    openHSFile = , writeHSFile = typeof(v) == "externalptr",
    writeHSData = one_int(v, -Inf, Inf),
    writeHSDataClose = , test = TRUE,
    # The file keeps the bathymetry and thicknesses as 32-bit floats.
    if (kind %in% c("writing", "closed")) isTRUE(all.equal(v, reference[[fn]], tolerance = 1e-6)) else
      is.numeric(v) || is.list(v))
}

# A writer's handle, open or closed, is refused by the data readers with one
# message; the header, the mesh and model tables still answer from it.
writer_kinds <- c("writing", "closed")
data_readers <- c("readItemData", "readItemDataElem", "readTimeseries", "readTimeseriesProfile",
                  "readLayer", "readProfile")
writer_refusal <- function(fn) {
  paste0(fn, ": the handle was made by writeHSFile; open the file with openHSFile to read it.")
}
answers_writers <- setdiff(names(routines), c(data_readers, "openHSFile", "test", "writeHSFile",
                                              "writeHSData", "writeHSDataClose"))

null_pointer <- function(x) grepl(": external pointer is not valid: ", conditionMessage(x), fixed = TRUE)

# Refused by a failure deep in the library rather than by a check of the call.
below_checks <- function(x) {
  refused(x) && identical(x$message, "c++ exception (unknown reason)")
}

with_arg <- function(args, name, value) {
  args[name] <- list(value)
  args
}

# Calls fn on every handle with each hostile value of each argument; returns
# what went wrong, one line per case.
sweep_routine <- function(fn, reference) {
  problems <- character()
  report <- function(what, got) {
    problems <<- c(problems, sprintf("%s %s: %s", fn, what, show(got)))
  }
  handles <- make_handles()
  valid <- routines[[fn]]
  slot <- names(valid)[vapply(valid, inherits, logical(1), "handle_slot")]
  kinds <- if (length(slot)) names(handles) else "none"
  for (kind in kinds) {
    base <- if (length(slot)) with_arg(valid, slot, handles[[kind]]) else valid
    # A refused NA, negative or huge number on the result file must be refused
    # by the routine's own checks, not by a failure deep in the library.
    check <- function(what, args, accept, number = FALSE) {
      got <- outcome(fn, args)
      if (kind == "restored") {
        if (!refused(got) || (identical(args, base) && !null_pointer(got)))
          report(paste(kind, what), got)
      } else if (kind %in% writer_kinds && fn %in% data_readers) {
        if (!refused(got) || (identical(args, base) &&
                              !identical(conditionMessage(got), writer_refusal(fn))))
          report(paste(kind, what, "is not refused as a writer's handle"), got)
      } else if (kind %in% writer_kinds && fn %in% answers_writers && identical(args, base) &&
                 refused(got)) {
        report(paste(kind, what, "is refused"), got)
      } else if (!accept && !refused(got)) {
        report(paste(kind, what, "is not refused"), got)
      } else if (number && kind == "result" && below_checks(got)) {
        report(paste(kind, what, "is refused below the argument checks"), got)
      } else if (!refused(got) && !plausible(fn, got, kind, reference)) {
        report(paste(kind, what, "gives a value outside the data"), got)
      }
      got
    }
    check("with valid arguments", base, TRUE)
    for (arg in setdiff(names(valid), slot)) {
      ok <- accepted[[fn]][[arg]]
      v <- valid[[arg]]
      if (is.character(v)) {
        for (k in names(texts)) check(paste(arg, k), with_arg(base, arg, texts[[k]]), k %in% ok)
        for (k in names(not_texts)) check(paste(arg, k), with_arg(base, arg, not_texts[[k]]), FALSE)
        next
      }
      if (is.list(v))
        next # the header list has a sweep of its own
      for (k in names(numbers)) {
        bad <- if (length(v) > 1) c(numbers[[k]], v[-1]) else numbers[[k]]
        check(paste(arg, k), with_arg(base, arg, bad), k %in% ok, number = TRUE)
      }
      for (k in names(wrong_types)) {
        # Empty and two-value vectors are vectors like any other.
        is_vector <- k %in% c("empty", "pair") && length(v) > 1
        check(paste(arg, k), with_arg(base, arg, wrong_types[[k]]), is_vector)
      }
      if (length(v) > 1)
        check(paste(arg, "long"), with_arg(base, arg, rep_len(v, 1e4)), "long" %in% ok)
      for (k in names(coercible)) {
        as_coerced <- outcome(fn, with_arg(base, arg, 1))
        got <- check(paste(arg, k), with_arg(base, arg, coercible[[k]]), TRUE)
        same <- if (refused(got)) identical(show(got), show(as_coerced)) else identical(got, as_coerced)
        if (!same)
          report(paste(kind, arg, k, "differs from 1"), got)
      }
    }
  }
  if (length(slot)) {
    for (k in names(not_handles)) {
      got <- outcome(fn, with_arg(valid, slot, not_handles[[k]]))
      if (!refused(got) || !startsWith(conditionMessage(got), "Expecting an external pointer"))
        report(paste("handle", k), got)
    }
  }
  problems
}

test_that("every routine refuses hostile arguments or gives the documented result", {
  d <- fresh_dir()
  problems <- in_dir(d, {
    h <- make_handles()
    reference <- lapply(setNames(nm = names(routines)), function(fn) {
      args <- routines[[fn]]
      slot <- vapply(args, inherits, logical(1), "handle_slot")
      args[slot] <- list(h$result)
      outcome(fn, args)
    })
    # A writer holds its file until closed; the sweeps write these names again.
    writeHSDataClose(h$writing)
    writeHSDataClose(reference$writeHSFile)
    unlist(lapply(names(routines), sweep_routine, reference = reference))
  })
  expect(length(problems) == 0, paste(c("", problems), collapse = "\n"))
  gc()
})

# The header list of writeHSFile, field by field: each hostile field is refused,
# or the writer makes a file that opens and reads back what was written.
header_cases <- function(v) {
  if (is.character(v))
    return(c(texts, not_texts))
  first <- function(x) {
    if (is.list(v)) {
      v[[1]][1] <- x
      return(v)
    }
    if (length(v) > 1) c(x, unclass(v)[-1]) else x
  }
  c(lapply(numbers, first), wrong_types, coercible)
}

write_and_read_back <- function(h) {
  w <- outcome("writeHSFile", list(h, "h.emb", "emb"))
  if (refused(w))
    return(NULL)
  lengths <- getHeader(w)$itemLengths
  values <- lapply(lengths, function(n) seq_len(n) + 0.25)
  for (v in values) writeHSData(w, v)
  writeHSDataClose(w)
  r <- outcome("openHSFile", list("h.emb"))
  if (refused(r))
    return(paste("the written file does not open:", conditionMessage(r)))
  for (i in seq_along(values)) {
    got <- outcome("readItemData", list(r, i - 1, 0))
    if (refused(got) || !identical(got, f32(values[[i]])))
      return(paste("item", i - 1, "reads back", show(got)))
  }
  NULL
}

test_that("hostile header fields are refused or give a file that reads back", {
  problems <- in_dir(fresh_dir(), {
    out <- character()
    h0 <- small_header()
    for (field in names(h0)) {
      cases <- c(header_cases(h0[[field]]), list(absent = NULL))
      for (k in names(cases)) {
        h <- h0
        h[field] <- if (k == "absent") NULL else list(cases[[k]])
        bad <- write_and_read_back(h)
        if (!is.null(bad))
          out <- c(out, paste(field, k, bad))
      }
    }
    out
  })
  expect(length(problems) == 0, paste(c("", problems), collapse = "\n"))
  gc()
})
