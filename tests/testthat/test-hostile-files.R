# A table of damaged files: every case is an R error or data that agrees with
# itself, the session goes on, and a valid file still reads correctly after.
# Problems are collected per case and checked once, so the table stays fast.

attempt <- function(expr) tryCatch(expr, error = function(e) e)
failed <- function(x) inherits(x, "error")

# Every read an R user can make of a file, each the value or the error raised:
# all items at the first timesteps (whole, by layer, by element list) and a
# time series per item.
read_everything <- function(file) {
  r <- attempt(openHSFile(file))
  if (failed(r))
    return(list(open = r))
  h <- attempt(getHeader(r))
  out <- list(open = TRUE, header = h, nt = attempt(totalTimesteps(r)), reads = list())
  if (failed(h))
    return(out)
  items <- seq_len(min(length(h$itemNames), 3)) - 1
  steps <- seq_len(min(h$noTimestep, 4)) - 1
  layers <- unique(c(-1, 0, max(h$noLayer - 1, 0), 999))
  for (i in items) {
    for (t in steps) {
      key <- paste(i, t)
      out$reads[[paste("item", key)]] <- attempt(readItemData(r, i, t))
      out$reads[[paste("elem", key)]] <-
        attempt(readItemDataElem(r, i, t, seq_len(min(h$noElem, 3)) - 1))
      for (l in layers)
        out$reads[[paste("layer", key, l)]] <- attempt(readLayer(r, i, t, l))
    }
    out$reads[[paste("series", i)]] <- attempt(readTimeseries(r, i, 0, 999))
  }
  out
}

# Problems of a file that opened: lengths that do not fit the header.
inconsistencies <- function(x) {
  if (failed(x$open) || failed(x$header))
    return(character())
  h <- x$header
  bad <- character()
  for (key in names(x$reads)) {
    v <- x$reads[[key]]
    if (failed(v))
      next
    parts <- strsplit(key, " ")[[1]]
    i <- as.integer(parts[2]) + 1
    want <- switch(parts[1],
                   item = h$itemLengths[i],
                   layer = h$noElem,
                   series = if (!failed(x$nt)) x$nt else length(v),
                   length(v))
    if (!is.numeric(v) || length(v) != want)
      bad <- c(bad, sprintf("%s gives %d values, not %g", key, length(v), want))
  }
  bad
}

# The valid file reads as written: header, all timesteps of both items.
expect_valid_small <- function(file, nt = 3) {
  r <- openHSFile(file)
  h <- getHeader(r)
  expect_identical(h$noElem, 4L)
  expect_identical(h$itemNames, c("temp", "level"))
  expect_identical(totalTimesteps(r), as.integer(nt))
  for (t in seq_len(nt) - 1) {
    expect_identical(readItemData(r, 0, t), f32(temp_values(t)))
    expect_identical(readItemData(r, 1, t), f32(level_values(t)))
  }
}

file_bytes <- function(file) readBin(file, "raw", file.size(file))
word <- function(bytes, offset) readBin(bytes[offset + 1:4], "integer", size = 4, endian = "little")

test_that("a file cut at every byte is refused or reads what it holds", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  bytes <- file_bytes(f)
  header_size <- word(bytes, 28)
  want <- read_everything(f)
  record <- 4 * (9 + 4)
  before <- c(0, 4 * 9)
  lengths <- 4 * c(9, 4)
  # A series of element 0's uppermost value needs its column: the first cells
  # of the layered item, the first value of the other.
  h <- small_header()
  column <- 4 * c(h$noLayer - bottom_layers(h)[1], 1)
  cut <- file.path(d, "cut.emb")
  problems <- character()
  for (n in 0:(length(bytes) - 1)) {
    writeBin(bytes[seq_len(n)], cut)
    got <- read_everything(cut)
    if (n < header_size) {
      if (!failed(got$open))
        problems <- c(problems, sprintf("cut at %d: a header cut short opens", n))
      next
    }
    # Cut within the records: refused, or the same header and what the file holds.
    if (failed(got$open))
      next
    if (!identical(got$header[names(got$header) != "dateModified"],
                   want$header[names(want$header) != "dateModified"])) {
      problems <- c(problems, sprintf("cut at %d: the whole header does not read alike", n))
      next
    }
    for (key in names(want$reads)) {
      parts <- strsplit(key, " ")[[1]]
      i <- as.integer(parts[2])
      # The reads need the item's values at one timestep, or a column at every timestep.
      series <- parts[1] == "series"
      last <- if (series) 2 else as.integer(parts[3])
      needed <- if (series) column[i + 1] else lengths[i + 1]
      complete <- header_size + record * last + before[i + 1] + needed <= n
      v <- got$reads[[key]]
      ok <- if (complete) identical(v, want$reads[[key]]) else failed(v)
      if (!ok)
        problems <- c(problems, sprintf("cut at %d: %s %s", n, key,
                                        if (complete) "differs" else "is not refused"))
    }
  }
  expect_identical(problems, character())
  gc()
  expect_valid_small(f)
})

test_that("random byte changes in the header are refused or read consistently", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  bytes <- file_bytes(f)
  header_size <- word(bytes, 28)
  g <- file.path(d, "flipped.emb")
  set.seed(20240611)
  problems <- character()
  opened <- 0
  for (k in 1:300) {
    b <- bytes
    at <- sample(header_size, sample(1:3, 1))
    b[at] <- xor(b[at], as.raw(sample(255, length(at), replace = TRUE)))
    writeBin(b, g)
    got <- read_everything(g)
    opened <- opened + !failed(got$open)
    bad <- inconsistencies(got)
    if (length(bad))
      problems <- c(problems, paste0("bytes ", paste(at - 1, collapse = ","), ": ", bad))
  }
  expect_identical(problems, character())
  # Many changes hit names, coordinates or values that are not checked.
  expect_gt(opened, 0)
  gc()
  expect_valid_small(f)
})

test_that("huge and negative numbers at every header position are refused or read consistently", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  bytes <- file_bytes(f)
  header_size <- word(bytes, 28)
  g <- file.path(d, "patched.emb")
  problems <- character()
  for (at in 0:(header_size - 4)) {
    for (value in c(.Machine$integer.max, -1L, 268435456L)) {
      b <- bytes
      b[at + 1:4] <- writeBin(value, raw(), size = 4, endian = "little")
      writeBin(b, g)
      bad <- inconsistencies(read_everything(g))
      if (length(bad))
        problems <- c(problems, paste0(value, " at byte ", at, ": ", bad))
    }
  }
  expect_identical(problems, character())
  # A timestep count beyond the data: refused, or the missing timesteps are.
  b <- bytes
  b[44 + 1:4] <- writeBin(.Machine$integer.max, raw(), size = 4, endian = "little")
  writeBin(b, g)
  r <- attempt(openHSFile(g))
  if (!failed(r)) {
    expect_identical(readItemData(r, 0, 2), f32(temp_values(2)))
    expect_error(readItemData(r, 0, 3))
    expect_error(readTimeseries(r, 0, 1, 2))
  }
  gc()
  expect_valid_small(f)
})

test_that("folders, empty, text and foreign files are refused", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  cases <- list(
    folder = function(p) dir.create(p),
    empty = function(p) file.create(p),
    text = function(p) writeLines(c("header 1 2 3", "4 5 6", strrep("abc ", 80)), p),
    noise = function(p) { set.seed(7); writeBin(as.raw(sample(0:255, 2000, TRUE)), p) },
    zeros = function(p) writeBin(raw(1000), p),
    ones = function(p) writeBin(as.raw(rep(255, 1000)), p))
  problems <- character()
  for (ext in c("emb", "mesh")) {
    for (name in names(cases)) {
      p <- file.path(d, paste0(name, ".", ext))
      cases[[name]](p)
      got <- read_everything(p)
      bad <- inconsistencies(got)
      # Nothing of these is a model: they must not open, or open as no data.
      if (!failed(got$open) && !failed(got$header) && got$header$noElem > 0)
        bad <- c(bad, "opens as a model")
      if (length(bad))
        problems <- c(problems, paste0(basename(p), ": ", bad))
    }
  }
  expect_identical(problems, character())
  gc()
  expect_valid_small(f)
})

test_that("a series with a missing or damaged middle file ends or is refused", {
  d <- fresh_dir()
  f <- write_series(file.path(d, "run.emb"), list(0:2, 3:5, 6:8))
  h <- small_header()
  # The cell of element 1 in layer 2, and its values at timesteps t.
  b <- bottom_layers(h)
  cell <- (h$noLayer - b[1]) + (2 - b[2])
  series <- function(t) f32(100 * t + cell + 0.1)
  r <- openHSFile(f)
  expect_identical(totalTimesteps(r), 9L)
  expect_identical(readTimeseries(r, 0, 1, 2), series(0:8))

  # Without its middle file the series ends after the first.
  middle <- file.path(d, "run^1.emb")
  saved <- file_bytes(middle)
  unlink(middle)
  r <- openHSFile(f)
  expect_identical(totalTimesteps(r), 3L)
  expect_identical(readTimeseries(r, 0, 1, 2), series(0:2))
  expect_identical(readTimeseries(r, 1, 2, 999), f32(0:2 + 2 / 3))

  # A middle file cut within its first record, emptied, or replaced by a folder.
  header_size <- word(saved, 28)
  damaged <- list(cut = function() writeBin(saved[seq_len(header_size + 4 * cell)], middle),
                  empty = function() file.create(middle),
                  folder = function() dir.create(middle))
  for (name in names(damaged)) {
    damaged[[name]]()
    r <- attempt(openHSFile(f))
    expect_false(failed(r), info = name)
    n <- attempt(totalTimesteps(r))
    s <- attempt(readTimeseries(r, 0, 1, 2))
    # Either refused, or the values of the files that hold them.
    if (!failed(s))
      expect_identical(s, series(seq_along(s) - 1), info = name)
    if (!failed(n) && !failed(s))
      expect_identical(length(s), n, info = name)
    expect_true(failed(n) || failed(s) || n <= 3, info = name)
    unlink(middle, recursive = TRUE)
  }

  # A pipe, opened by each reader's extension or in a series' place, is refused
  # at once: in a child with a time limit, so that a read that blocks fails this
  # test instead of hanging the suite.
  pipes <- c(middle, file.path(d, paste0("p.", c("emb", "mesh", "text0d", "text1d", "restart", "decoupled"))))
  for (p in pipes) system2("mkfifo", p)
  out <- run_child(c(sprintf("r <- openHSFile('%s')", f), "cat(totalTimesteps(r), length(readTimeseries(r, 0, 1, 2)), '\\n')",
                     sprintf("cat(tryCatch(openHSFile('%s'), error = function(e) e$reason), '\\n')", pipes)), limit_s = 30)
  expect_identical(out, c("3 3 ", paste0("openHSFile: '", pipes, "' is not a regular file (a pipe, a device or a ",
                                         "socket); a result file cannot be read from it. ")))
  unlink(pipes)
  gc()
  expect_valid_small(write_small(file.path(d, "valid.emb")))
})

test_that("a writer collected without writeHSDataClose leaves a complete file", {
  d <- fresh_dir()
  f <- file.path(d, "run.emb")
  w <- writeHSFile(small_header(), f, "emb")
  for (t in 0:3) {
    writeHSData(w, temp_values(t))
    writeHSData(w, level_values(t))
  }
  rm(w)
  gc()
  r <- openHSFile(f)
  expect_identical(getHeader(r)$noTimestep, 4L)
  expect_valid_small(f, nt = 4)

  # A timestep left half-written is not counted.
  g <- file.path(d, "half.emb")
  w <- writeHSFile(small_header(), g, "emb")
  for (t in 0:1) {
    writeHSData(w, temp_values(t))
    writeHSData(w, level_values(t))
  }
  writeHSData(w, temp_values(2))
  rm(w)
  gc()
  expect_valid_small(g, nt = 2)
  expect_error(readItemData(openHSFile(g), 0, 2), "Invalid timestep number.", fixed = TRUE)
})
