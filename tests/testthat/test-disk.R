# The handle and the file on disk: a refused writer changes nothing, a writer
# that ends in any way leaves its complete timesteps, one writer per file and
# per process, a new run is a new file, a reader notices a file changed under
# it, a full disk is reported, and dropped handles give their memory back.

hdr_set <- function(...) { h <- small_header(); a <- list(...); h[names(a)] <- a; h }

test_that("a refused writeHSFile leaves every file byte for byte", {
  noext <- "no extension that names a format (openHSFile could not open the file); end the name in '.emb'."
  # name, header, file in the folder <d>, format, the message (or, for a failure
  # inside the library, its reason)
  cases <- list(
    list("nc", small_header(), "run.emb", "nc", "writeHSFile: the format 'nc' cannot be written; only 'emb' files can."),
    list("bin", small_header(), "run.emb", "bin", "writeHSFile: invalid file format."),
    list("folder", small_header(), "d.emb", "emb", "writeHSFile: '<d>/d.emb' is a folder, not a file."),
    list("no folder", small_header(), "no/run.emb", "emb", "writeHSFile: the folder '<d>/no' does not exist."),
    list("no extension", small_header(), "noext", "emb", paste0("writeHSFile: the name '<d>/noext' has ", noext)),
    list("dot in a folder", small_header(), "v1.0/result", "emb", paste0("writeHSFile: the name '<d>/v1.0/result' has ", noext)),
    list("other format", small_header(), "run.nc", "emb",
         "writeHSFile: the name '<d>/run.nc' ends in '.nc', which names another format; end the name in '.emb'."),
    list("no items", small_header(character(0), numeric(0)), "run.emb", "emb",
         "writeHSFile: itemNames is empty; a file needs at least one item."),
    list("NA coordinate", hdr_set(nodeYCoor = c(0, 0, NA, 100, 49.9)), "run.emb", "emb",
         "header: nodeYCoor[2] (0-based) is NA or infinite."),
    list("element on a line", hdr_set(nodeXCoor = c(0, 100, 100, 0, 50), nodeYCoor = c(0, 0, 100, 100, 0)),
         "run.emb", "emb", "header: elemNodes: element 0 has area 0: its nodes lie on one line or its sides cross."),
    list("Voronoi point on a face", hdr_set(elemVoronoiX = c(50, 80, 50, 20), elemVoronoiY = c(0, 50, 80, 50)),
         "run.emb", "emb", "Voronoi point on face."),
    list("pentagon at a northing of 9999900", hdr_set(noNode = 5L, noElem = 1L, nodeXCoor = 500000 + c(0, 100, 100, 0, 0), elemNodes = list(0:4),
         nodeYCoor = 9999900 + c(0, 0, 100, 99.9, 99.6), elemBathy = 6, itemLengths = c(3, 1)), "run.emb", "emb",
         paste("toBinary: element 0 (nodes 0, 1, 2, 3, 4) has a side of length 0: nodes 3 and 4 lie at one point",
               "once the coordinates are stored as 32-bit floats.")),
    list("node type 500", hdr_set(nodeType = c(500, 99, 99, 99, 0)), "run.emb", "emb",
         "hsMesh2D: initMesh: node 0 has type 500, outside -9999..99."),
    list("repeated node", hdr_set(elemNodes = list(c(0, 1, 1), c(1, 2, 4), c(2, 3, 4), c(3, 0, 4))),
         "run.emb", "emb", "header: elemNodes: element 0 holds node 1 twice."),
    list("zero area", hdr_set(noNode = 6L, nodeXCoor = c(0, 100, 100, 0, 50.1, 200),
                              nodeYCoor = c(0, 0, 100, 100, 49.9, 0), nodeType = rep(99, 6), noElem = 5L,
                              elemNodes = list(c(0, 1, 4), c(1, 2, 4), c(2, 3, 4), c(3, 0, 4), c(0, 1, 5)),
                              elemBathy = c(6, 2.5, 0.8, 5.3, 1)), "run.emb", "emb",
         "header: elemNodes: element 4 has area 0: its nodes lie on one line or its sides cross."),
    list("pipe", small_header(), "p.emb", "emb",
         "writeHSFile: '<d>/p.emb' is not a regular file (a pipe, a device or a socket); a result file cannot be written to it."),
    list("notes named as a series file", small_header(), "notes.emb", "emb",
         "writeHSFile: '<d>/notes^2.emb' is not a result file, but its name makes it file 2 of the series of '<d>/notes.emb', which a new run removes; move or rename it first."),
    list("notes beyond a gap in the series", small_header(), "gap.emb", "emb",
         "writeHSFile: '<d>/gap^2.emb' is not a result file, but its name makes it file 2 of the series of '<d>/gap.emb', which a new run removes; move or rename it first."),
    list("timestep 1e300", hdr_set(timestep = 1e300), "run.emb", "emb",
         "header: timestep is 1e+300; the file stores it as a 32-bit float, which holds magnitudes from 1.17549e-38 to 3.40282e+38 (it would read back as Inf)."),
    list("bathymetry 1e-50", hdr_set(elemBathy = c(6, 1e-50, 0.8, 5.3)), "run.emb", "emb",
         "header: elemBathy[1] (0-based) is 1e-50; the file stores it as a 32-bit float, which holds magnitudes from 1.17549e-38 to 3.40282e+38 (it would read back as 0)."))
  # A superuser may write any file, as R's own writers may.
  if (Sys.info()[["effective_user"]] != "root")
    cases <- c(cases, list(list("read-only", small_header(), "ro.emb", "emb",
                                "writeHSFile: the file '<d>/ro.emb' cannot be opened for writing: Permission denied.")))
  for (case in cases) {
    d <- normalizePath(fresh_dir())
    write_series(file.path(d, "run.emb"), list(0:1, 2:3))
    write_series(file.path(d, "notes.emb"), list(0, 1, 2))
    writeLines("my notes", file.path(d, "notes^2.emb"))
    write_small(file.path(d, "gap.emb"))
    writeLines("my notes", file.path(d, "gap^2.emb"))
    Sys.chmod(write_small(file.path(d, "ro.emb")), "0444", use_umask = FALSE)
    system2("mkfifo", file.path(d, "p.emb"))
    dir.create(file.path(d, "d.emb"))
    dir.create(file.path(d, "v1.0"))
    write_small(file.path(d, "d^1.emb"))
    before <- folder_bytes(d)
    e <- condition_of(writeHSFile(case[[2]], file.path(d, case[[3]]), case[[4]]))
    expect_s3_class(e, "error")
    text <- gsub("<d>", d, case[[5]], fixed = TRUE)
    if (inherits(e, "hestorError")) expect_match(e$reason, text, fixed = TRUE, label = case[[1]])
    else expect_identical(conditionMessage(e), text, label = case[[1]])
    expect_identical(folder_bytes(d), before, label = case[[1]])
  }
})

test_that("a list from getHeader writes back whole; a Date start is midnight UTC", {
  d <- fresh_dir()
  vx <- c(40, 70, 50, 30); vy <- c(30, 50, 70, 50.5)
  r <- openHSFile(write_small(file.path(d, "a.emb"), header = hdr_set(elemVoronoiX = vx, elemVoronoiY = vy)))
  h <- getHeader(r)
  h2 <- getHeader(openHSFile(write_small(file.path(d, "b.emb"), header = h)))
  same <- setdiff(names(h), "dateModified")
  expect_identical(h2[same], h[same])
  expect_identical(h2$eVoronoiY, f32(vy))
  # The writer's own names win over getHeader's.
  h3 <- c(h, list(elemVoronoiX = vx + 1, elemVoronoiY = vy + 1))
  expect_identical(getHeader(openHSFile(write_small(file.path(d, "c.emb"), header = h3)))$eVoronoiX, f32(vx + 1))
  for (day in list(as.Date("2024-01-01"), structure(19723.5, class = "Date"))) {
    start <- getHeader(openHSFile(write_small(file.path(d, "e.emb"), header = hdr_set(startDT = day))))$startDT
    expect_identical(as.numeric(start), as.numeric(as.POSIXct("2024-01-01", tz = "UTC")))
  }
})

expect_written <- function(f, nt) {
  r <- openHSFile(f)
  expect_identical(getHeader(r)$noTimestep, as.integer(nt))
  for (t in seq_len(nt) - 1) {
    expect_identical(readItemData(r, 0, t), f32(temp_values(t)))
    expect_identical(readItemData(r, 1, t), f32(level_values(t)))
  }
}

test_that("every way a writer ends leaves a file with its complete timesteps", {
  endings <- c(closed = "writeHSDataClose(w)", collected = "rm(w); invisible(gc())",
               quit = "quit(save = 'no')", error = "stop('the script failed')",
               killed = "tools::pskill(Sys.getpid(), 9)",
               # forked workers collect their copy of the dropped handle first
               forked = "rm(w); invisible(parallel::mclapply(1:2, function(i) gc(), mc.cores = 2)); invisible(gc())")
  for (how in names(endings)) {
    f <- file.path(fresh_dir(), "run.emb")
    run_child(c(sprintf("w <- writeHSFile(small_header(), '%s', 'emb')", f),
                "for (t in 0:4) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t)) }",
                "writeHSData(w, temp_values(5))  # an unfinished timestep",
                endings[[how]]))
    expect_written(f, 5)
  }
})

test_that("a reader refuses a file replaced, cut short, rewritten or deleted under it", {
  d <- fresh_dir()
  f <- file.path(d, "run.emb")
  other <- write_small(file.path(d, "other.emb"), header = hdr_set(elemBathy = c(6, 2.5, 0.8, 5.4)))
  why <- function(text) paste0("hsResultFile: the result file '", f, "' ", text)
  size <- file.size(write_small(f))
  cut <- function() {
    b <- readBin(f, "raw", file.size(f))
    writeBin(head(b, -10), f)
  }
  cases <- list(
    list("replaced", function() file.copy(other, file.path(d, "new.emb")) && file.rename(file.path(d, "new.emb"), f),
         why("was replaced by another file after this handle read it.")),
    list("rewritten", function() writeBin(readBin(other, "raw", file.size(other)), f),
         why("was rewritten: its header differs from the one this handle read.")),
    list("cut short", cut, why(sprintf("was cut short: it holds %d bytes, but the timesteps this handle counted end at byte %d.",
                                        size - 10, size))),
    list("deleted", function() unlink(f), why("is gone: it was deleted or renamed after this handle read it.")),
    list("a new run", function() write_small(f, 5), why("was replaced by another file after this handle read it.")),
    # A handle that has handed out only its header answers for that run too.
    list("a new run after the header", function() write_small(f, 5),
         why("was replaced by another file after this handle read it."), getHeader))
  for (case in cases) {
    write_small(f)
    r <- openHSFile(f)
    if (length(case) > 3) expect_identical(case[[4]](r)$noTimestep, 3L)
    else expect_identical(readItemData(r, 1, 2), f32(level_values(2)))
    case[[2]]()
    for (e in list(condition_of(totalTimesteps(r)), condition_of(readTimeseries(r, 1, 0, 0)),
                   condition_of(readItemData(r, 1, 0)))) {
      expect_s3_class(e, "hestorError")
      expect_identical(e$reason, case[[3]], label = case[[1]])
    }
  }
})

test_that("a reader of a file still being written reads what its header counted", {
  d <- fresh_dir()
  f <- file.path(d, "run.emb")
  w <- writeHSFile(small_header(), f, "emb")
  early <- openHSFile(f)   # counts 0 timesteps
  for (t in 0:2) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t)) }
  r <- openHSFile(f)
  expect_identical(getHeader(r)$noTimestep, 3L)
  for (t in 3:5) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t)) }
  expect_identical(readTimeseries(r, 1, 2, 2), f32(0:2 + 2 / 3))
  writeHSDataClose(w)
  expect_identical(readTimeseries(r, 1, 2, 2), f32(0:2 + 2 / 3))
  expect_identical(readTimeseries(early, 1, 2, 2), numeric(0))
  expect_written(f, 6)
})

test_that("a second writer on a file being written is refused, in this session or another", {
  d <- fresh_dir()
  f <- file.path(d, "run.emb")
  busy <- paste0("writeHSFile: the file '", f, "' is being written by another writer (in this ",
                 "or another R session); close that writer with writeHSDataClose first.")
  w <- writeHSFile(small_header(), f, "emb")
  for (t in 0:1) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t)) }
  expect_identical(conditionMessage(condition_of(writeHSFile(small_header(), f, "emb"))), busy)
  writeHSDataClose(w)
  expect_written(f, 2)

  ready <- file.path(d, "ready"); go <- file.path(d, "go")
  run_child(c(sprintf("w <- writeHSFile(small_header(), '%s', 'emb')", f),
              sprintf("file.create('%s')", ready),
              sprintf("while (!file.exists('%s')) Sys.sleep(0.05)", go),
              "for (t in 0:2) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t)) }",
              "writeHSDataClose(w)", sprintf("file.create('%s')", ready)), wait = FALSE)
  for (i in 1:400) if (file.exists(ready)) break else Sys.sleep(0.05)
  expect_true(file.exists(ready))
  expect_identical(conditionMessage(condition_of(writeHSFile(small_header(), f, "emb"))), busy)
  unlink(ready)
  file.create(go)
  for (i in 1:400) if (file.exists(ready)) break else Sys.sleep(0.05)
  expect_written(f, 3)
  writeHSDataClose(writeHSFile(small_header(), f, "emb"))
  expect_written(f, 0)

  # A forked worker neither writes through the parent's writer nor keeps its lock.
  out <- run_child(c(sprintf("f <- '%s'", f), "w <- writeHSFile(small_header(), f, 'emb')",
                     "job <- parallel::mcparallel(writeHSData(w, temp_values(0)))",
                     "cat(attr(parallel::mccollect(job)[[1]], 'condition')$message, '\\n')",
                     "job <- parallel::mcparallel(Sys.sleep(3))", "writeHSDataClose(w)",
                     "writeHSDataClose(writeHSFile(small_header(), f, 'emb')); cat('accepted\\n')"))
  expect_identical(sub("[0-9]+,", "N,", trimws(out)), c(
    "writeHSData: the writer belongs to another process (pid N, the R session that made it with writeHSFile); a forked worker can neither write through it nor close it.",
    "accepted"))
  expect_written(f, 0)
})

test_that("a new run replaces the file a link leads to, with its mode", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  Sys.chmod(f, "0604", use_umask = FALSE)
  file.symlink(f, file.path(d, "link.emb"))
  write_small(file.path(d, "link.emb"), 2)
  expect_identical(Sys.readlink(file.path(d, "link.emb")), f)
  expect_identical(format(file.mode(f)), "604")
  expect_written(f, 2)
})

test_that("on a full disk the system's reason is given and the file keeps its complete timesteps", {
  f <- write_small(file.path(fresh_dir(), "full.emb"))
  out <- run_child(c(sprintf("f <- '%s'", f), "h <- grid_header(30, 3)",
                     "was <- function() list(tools::md5sum(f), list.files(dirname(f), all.files = TRUE))",
                     "before <- was(); e <- condition_of(writeHSFile(grid_header(200), f, 'emb'))",
                     "cat(e$reason, '\\n', identical(was(), before), '\\n')",
                     "w <- writeHSFile(h, f, 'emb'); e <- NULL; t <- 0",
                     "while (is.null(e)) { e <- condition_of(writeHSData(w, rep(t, h$itemLengths))); t <- t + 1 }",
                     "cat(e$reason, '\\n'); withCallingHandlers(writeHSDataClose(w), warning = function(w) cat(conditionMessage(w), '\\n'))"),
                   limit_kb = 1024)
  r <- openHSFile(f)
  nt <- getHeader(r)$noTimestep
  expect_identical(trimws(out[1:4]), c(
    sprintf("hsResultFile::writeHeader: writing the header of %s failed: File too large.", f), "TRUE",
    sprintf("hsResultFile::writeData: writing to %s failed: File too large.", f),
    sprintf("writeHSDataClose: writing to %s failed (File too large); the file holds its %d complete timesteps, and the incomplete timestep %d was not kept.", f, nt, nt)))
  expect_gt(nt, 10)
  expect_identical(readItemData(r, 0, nt - 1), rep(nt - 1.0, 1682 * 3))
  expect_identical(file.size(f), readBin(f, "integer", 8)[8] + 4 * 1682 * 3 * nt)
})

test_that("handles dropped in a loop give their memory back without gc()", {
  # The sanitizer run holds freed memory in its quarantine; the plain run measures.
  skip_if(grepl("asan", Sys.getenv("LD_PRELOAD")), "AddressSanitizer keeps freed memory")
  f <- file.path(fresh_dir(), "grid.emb")
  writeHSDataClose(writeHSFile(grid_header(120, 3), f, "emb"))
  out <- run_child(c(
    "kb <- function(key) as.numeric(gsub('[^0-9]', '', grep(key, readLines('/proc/self/status'), value = TRUE)))",
    "r0 <- kb('VmRSS'); f <- openHSFile('FILE'); one <- kb('VmRSS') - r0",
    "for (k in 2:20) f <- openHSFile('FILE')",
    "peak <- kb('VmHWM') - r0",
    # after a peak of handles held, dropped and collected by the user
    "held <- lapply(1:12, function(i) openHSFile('FILE')); rm(held, f); invisible(gc()); base <- kb('VmRSS'); top <- base",
    "for (k in 1:30) { f <- openHSFile('FILE'); top <- max(top, kb('VmRSS')) }",
    "cat(one, peak, top - base, '\\n')") |> gsub(pattern = "FILE", replacement = f, fixed = TRUE))
  kb <- scan(text = out, quiet = TRUE)
  message(sprintf("one handle: %.1f MB; growth over 20 opens: %.1f MB, over 30 after a peak: %.1f MB",
                  kb[1] / 1024, kb[2] / 1024, kb[3] / 1024))
  expect_gt(kb[1], 10 * 1024)          # the model is big enough to tell
  expect_lt(kb[2], 3.5 * kb[1])        # about three handles' worth, not twenty
  expect_lt(kb[3], 3.5 * kb[1])
})

test_that("readers beside a running writer never fail because the file grew", {
  d <- fresh_dir()
  f <- file.path(d, "live.emb")
  ready <- file.path(d, "ready"); stop <- file.path(d, "stop")
  run_child(c(sprintf("w <- writeHSFile(small_header(), '%s', 'emb')", f),
              "writeHSData(w, temp_values(0)); writeHSData(w, level_values(0))",
              sprintf("file.create('%s')", ready),
              "for (t in 1:2e5) { writeHSData(w, temp_values(t)); writeHSData(w, level_values(t))",
              sprintf("  if (t %%%% 10 == 0) Sys.sleep(0.001); if (file.exists('%s')) break }", stop),
              "writeHSDataClose(w)"), wait = FALSE)
  for (i in 1:400) if (file.exists(ready)) break else Sys.sleep(0.05)
  early <- openHSFile(f)
  counts <- integer(0)
  failed <- character(0)
  for (i in 1:20000) {
    why <- tryCatch({
      r <- openHSFile(f)
      n <- totalTimesteps(r)
      counts[length(counts) + 1L] <- n
      ok <- identical(readItemData(r, 1, n - 1), f32(level_values(n - 1))) &&
        length(readTimeseries(early, 1, 0, 0)) == totalTimesteps(early)
      if (ok) NULL else "wrong values"
    }, error = function(e) if (is.null(e$reason)) conditionMessage(e) else e$reason)
    failed <- c(failed, why)
  }
  file.create(stop)
  expect_identical(head(failed, 3), character(0))
  expect_gt(max(counts), min(counts))   # the file grew while it was read
})

test_that("a handle keeps naming its file; names are taken as R's file functions take them", {
  d <- normalizePath(fresh_dir())
  a <- file.path(d, "A"); b <- file.path(d, "B")
  dir.create(a); dir.create(b)
  old <- setwd(a)
  on.exit(setwd(old))
  r <- openHSFile(write_small("rel.emb"))
  w <- writeHSFile(small_header(), "w.emb", "emb")
  setwd(b)
  expect_identical(readItemData(r, 1, 2), f32(level_values(2)))
  writeHSData(w, temp_values(0)); writeHSData(w, level_values(0)); writeHSDataClose(w)
  expect_false(file.exists(file.path(b, "w.emb")))
  expect_written(file.path(a, "w.emb"), 1)
  expect_identical(condition_of(openHSFile("~/no-such-hs-file.emb"))$reason,
                   sprintf("openHSFile: the file '%s' does not exist.", path.expand("~/no-such-hs-file.emb")))
  expect_identical(conditionMessage(condition_of(writeHSFile(small_header(), "~/no-such-hs-folder/t.emb", "emb"))),
                   sprintf("writeHSFile: the folder '%s' does not exist.", path.expand("~/no-such-hs-folder")))
  skip_if_not(l10n_info()$`UTF-8`, "the session's names are not UTF-8")
  u <- write_small(file.path(a, "M\u00fcggelsee.emb"))
  expect_identical(readItemData(openHSFile(iconv(u, "UTF-8", "latin1")), 1, 0), f32(level_values(0)))
})

test_that("a mesh at UTM northings of millions reopens as written, also where float32 merges Voronoi points; one it cannot hold is refused", {
  d <- fresh_dir()
  # Writes the mesh, reopens it and compares with the writer; returns the reopened header or the writer's refusal.
  reopened <- function(x, y, elems, px, py, ...) {
    h <- list(noNode = length(x), noElem = length(elems), nodeXCoor = x, nodeYCoor = y, elemNodes = elems, ...,
              startDT = as.POSIXct("2024-01-01", tz = "GMT"), timestep = 3600, noLayer = 1L, dz = 5,
              elemBathy = rep(5, length(elems)), itemNames = "level", itemLengths = length(elems))
    if (inherits(w <- tryCatch(writeHSFile(h, f <- tempfile(tmpdir = d, fileext = ".emb"), "emb"), error = identity), "error")) return(w)
    elems <- mapply(pointElem, list(w), px, py)
    writeHSData(w, seq_along(h$elemBathy)); writeHSDataClose(w); r <- openHSFile(f)
    expect_identical(mapply(pointElem, list(r), px, py), elems)
    expect_equal(elemArea(r), elemArea(w), tolerance = 1e-6)
    getHeader(r)
  }
  x <- c(504511.0, 504522.0, 504521.5, 504510.5); y <- c(6002258.5, 6002259.0, 6002269.5, 6002269.0); e <- list(0:2, c(0, 2, 3))
  hr <- reopened(x, y, e, c(504515, 504519, 504514), c(6002262, 6002262, 6002266))
  expect_identical(c(hr$eVoronoiX[1], hr$eVoronoiY[1]), c(hr$eVoronoiX[2], hr$eVoronoiY[2]))  # one point
  expect_identical(reopened(x, y, e, 504515, 6002262, elemVoronoiX = rep(504516.25, 2), elemVoronoiY = rep(6002264, 2))$eVoronoiY,
                   rep(6002264, 2))
  # The squares of an n x n grid of nodes (i, j) = i + (n + 1) j, each split in two (neighbours in the list).
  split_grid <- function(g, n, a = (g$i + (n + 1) * g$j)[g$i < n & g$j < n])
    c(rbind(Map(c, a, a + 1, a + n + 2), Map(c, a, a + n + 2, a + n + 1)))
  # Nodes jittered a little (and stored exactly).
  set.seed(38)
  g <- expand.grid(i = 0:30, j = 0:30)
  x <- f32(500000 + 10 * g$i + runif(961, -0.05, 0.05)); y <- f32(6000000 + 10 * g$j + runif(961, -0.05, 0.05))
  hr <- reopened(x, y, split_grid(g, 30), 500000 + runif(300, 0, 300), 6000000 + runif(300, 0, 300))
  k <- seq(1, 1800, 2)
  expect_gt(sum(hr$eVoronoiX[k] == hr$eVoronoiX[k + 1] & hr$eVoronoiY[k] == hr$eVoronoiY[k + 1]), 5)
  # Grids jittered by a quarter of their 1.5-6 m (1.5e-5 to 6e-5 degrees) spacing, where 32-bit floats
  # step 1 m (1.5e-5 degrees): each refused with nothing written, or reopens as written.
  refused <- 0; g <- expand.grid(i = 0:5, j = 0:5)
  for (s in 1:24) {
    ll <- s %% 2 == 0; h <- if (ll) runif(1, 1.5e-5, 6e-5) else runif(1, 1.5, 6)
    x <- (if (ll) 170 else 500000) + h * (g$i + runif(36, -0.25, 0.25))
    y <- (if (ll) -40 else 9.99e6) + h * (g$j + runif(36, -0.25, 0.25))
    before <- folder_bytes(d)
    hr <- reopened(x, y, split_grid(g, 5), runif(40, min(x), max(x)), runif(40, min(y), max(y)), proj = if (ll) "LONLAT" else "UTM33")
    if (inherits(hr, "error")) {
      refused <- refused + 1
      expect_match(hr$reason, "once the coordinates are stored as 32-bit floats", fixed = TRUE)
      expect_identical(folder_bytes(d), before)
    }
  }
  expect_true(refused > 0 && refused < 12)
})
