# Benchmark of the read and write routines against what an R user would
# otherwise do with the same bytes. Each row times the package and its
# baseline side by side in this run: every repetition runs each side for at
# least HS_BENCH_SECONDS (repeating a pass as often as needed), and a side's
# time is the median over HS_BENCH_REPS repetitions of its time per pass.
#
# Run through bench/run.sh, which installs the package first. For a quick
# try, HS_BENCH_N_SMALL, HS_BENCH_N_LARGE, HS_BENCH_TIMESTEPS and
# HS_BENCH_POINTS shrink the models and the point queries (defaults 1e5, 1e6,
# 100 and 1e4); HS_BENCH_SECTION sets the vertices of the section's line
# (default 2e4).

suppressPackageStartupMessages({
  library(HestorTools)
  library(ncdf4)
  library(sf)
})

script_dir <- function() {
  arg <- grep("^--file=", commandArgs(FALSE), value = TRUE)
  if (length(arg) == 0) "bench" else dirname(normalizePath(sub("^--file=", "", arg[1])))
}
source(file.path(script_dir(), "generate.R"))

env_num <- function(name, default) {
  v <- Sys.getenv(name)
  if (nzchar(v)) as.numeric(v) else default
}
reps <- as.integer(env_num("HS_BENCH_REPS", 5))
min_seconds <- env_num("HS_BENCH_SECONDS", 1)
n_small <- env_num("HS_BENCH_N_SMALL", 1e5)
n_large <- env_num("HS_BENCH_N_LARGE", 1e6)
nt <- as.integer(env_num("HS_BENCH_TIMESTEPS", 100))
n_points <- as.integer(env_num("HS_BENCH_POINTS", 1e4))
n_section <- as.integer(env_num("HS_BENCH_SECTION", 2e4))
nt_nc <- min(nt, 20L)           # timesteps copied to the netCDF file
layer <- 10L                    # the layer read by readLayer and readTimeseries

# ---- timing

# A pass whose set-up must stay outside the timing returns its own elapsed
# seconds; other passes are timed as a batch.
self_timed <- function(pass) structure(pass, self_timed = TRUE)

# Seconds per pass over k passes, after a collection that also runs the
# finalizers of handles left by earlier passes.
per_pass <- function(pass, k) {
  gc(FALSE)
  if (isTRUE(attr(pass, "self_timed"))) {
    total <- 0
    for (i in seq_len(k)) total <- total + pass()
  } else {
    total <- system.time(for (i in seq_len(k)) pass(), gcFirst = FALSE)[["elapsed"]]
  }
  total / k
}

# Passes for one side to run at least min_seconds; the first pass also warms
# the caches.
passes_needed <- function(pass) {
  k <- 1L
  repeat {
    batch <- k * per_pass(pass, k)
    if (batch >= 0.1 * min_seconds || k >= 2^24) break
    k <- k * 4L
  }
  max(1L, as.integer(ceiling(1.1 * k * min_seconds / max(batch, 1e-3))))
}

# Median seconds per pass of the package side and of the baseline, measured
# alternately so that drifts of the machine affect both.
compare <- function(ours, base) {
  k_ours <- passes_needed(ours)
  k_base <- passes_needed(base)
  t_ours <- t_base <- numeric(reps)
  for (r in seq_len(reps)) {
    if (r %% 2 == 1) {
      t_ours[r] <- per_pass(ours, k_ours)
      t_base[r] <- per_pass(base, k_base)
    } else {
      t_base[r] <- per_pass(base, k_base)
      t_ours[r] <- per_pass(ours, k_ours)
    }
  }
  c(ours = median(t_ours), base = median(t_base))
}

# ---- the bytes of a result file, read with base R

# Header size and the floats of one timestep record, from the file itself.
record_layout <- function(file, lengths) {
  con <- file(file, "rb")
  on.exit(close(con))
  seek(con, 28)
  list(header = readBin(con, "integer", 1, size = 4, endian = "little"),
       record = sum(lengths), before = cumsum(c(0, lengths)))
}

# Byte position of value j (0-based) of item i at timestep t.
value_pos <- function(lay, item, t, j = 0) {
  lay$header + 4 * (t * lay$record + lay$before[item + 1] + j)
}

read_record <- function(con, lay, item, t, n) {
  seek(con, value_pos(lay, item, t))
  readBin(con, "double", n, size = 4, endian = "little")
}

# Centre depth of each layer (layer 0 the deepest), from the layer
# thicknesses; the models have no offset.
layer_depth <- function(h) rev(cumsum(rev(h$dz)) - rev(h$dz) / 2)

# An element of the deepest columns, in the middle of the mesh, with its first
# cell (0-based) and its layers (1-based, bottom up).
deep_column <- function(h) {
  deep <- which(h$bottom == min(h$bottom))
  e <- deep[(length(deep) + 1) %/% 2] - 1L
  list(e = e, first = sum(h$noLayer - h$bottom[seq_len(e)]),
       layers = (h$bottom[e + 1] + 1L):h$noLayer)
}

check_same <- function(what, a, b) {
  if (!identical(as.vector(a), as.vector(b)))
    stop("The package and the baseline disagree on ", what, ".")
}

# ---- the rows

# The next timestep of a cycle through all of them, one cycle per side.
timestep_cycle <- function() {
  t <- -1L
  function() {
    t <<- (t + 1L) %% nt
    t
  }
}

# Passes of one timestep each: the baseline reads a record in about as long as
# the package reads every timestep, so a repetition covers all timesteps on
# the package side and a few on the baseline side.
row_item_data <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  check_same("readItemData", readItemData(m$r, 0, nt - 1),
             read_record(con, m$lay, 0, nt - 1, m$ncell))
  ours <- timestep_cycle()
  base <- timestep_cycle()
  compare(function() readItemData(m$r, 0, ours()),
          function() read_record(con, m$lay, 0, base(), m$ncell))
}

row_layer <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  # The cell of each element in the layer (1-based), NA below the bottom.
  first <- cumsum(c(0, m$h$noLayer - m$h$bottom))[seq_len(m$h$noElem)]
  cell <- ifelse(m$h$bottom <= layer, first + layer - m$h$bottom + 1, NA)
  check_same("readLayer", readLayer(m$r, 0, nt - 1, layer),
             read_record(con, m$lay, 0, nt - 1, m$ncell)[cell])
  ours <- timestep_cycle()
  base <- timestep_cycle()
  compare(function() readLayer(m$r, 0, ours(), layer),
          function() read_record(con, m$lay, 0, base(), m$ncell)[cell])
}

row_timeseries <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  e <- which(m$h$bottom <= layer)[1] - 1L          # an element reaching the layer
  first <- sum(m$h$noLayer - m$h$bottom[seq_len(e)])
  j <- first + layer - m$h$bottom[e + 1]
  base <- function() {
    v <- numeric(nt)
    for (t in seq_len(nt)) {
      seek(con, value_pos(m$lay, 0, t - 1, j))
      v[t] <- readBin(con, "double", 1, size = 4, endian = "little")
    }
    v
  }
  check_same("readTimeseries", readTimeseries(m$r, 0, e, layer), base())
  compare(function() readTimeseries(m$r, 0, e, layer), base)
}

row_write <- function(m, dir) {
  hdr <- m$h
  hdr$bottom <- NULL
  hdr$itemNames <- c("temp", "level")
  hdr$itemLengths <- c(m$ncell, hdr$noElem)
  temp <- temp_base(m$ncell)
  level <- level_base(hdr$noElem)
  ours_file <- file.path(dir, "write-ours.emb")
  base_file <- file.path(dir, "write-base.bin")
  ours <- function() {
    w <- writeHSFile(hdr, ours_file, "emb")
    system.time({
      for (t in seq_len(nt)) {
        writeHSData(w, temp)
        writeHSData(w, level)
      }
      writeHSDataClose(w)
    }, gcFirst = FALSE)[["elapsed"]]
  }
  base <- function() {
    con <- file(base_file, "wb")
    system.time({
      for (t in seq_len(nt)) {
        writeBin(temp, con, size = 4, endian = "little")
        writeBin(level, con, size = 4, endian = "little")
      }
      close(con)
    }, gcFirst = FALSE)[["elapsed"]]
  }
  res <- compare(self_timed(ours), self_timed(base))
  # The records of both files hold the same bytes.
  lay <- record_layout(ours_file, hdr$itemLengths)
  check_same("writeHSData", file.size(ours_file) - lay$header, file.size(base_file))
  con <- file(ours_file, "rb")
  seek(con, lay$header)
  mine <- readBin(con, "raw", 4 * lay$record)
  close(con)
  check_same("writeHSData", mine, readBin(base_file, "raw", 4 * lay$record))
  unlink(c(ours_file, base_file))
  res
}

row_netcdf <- function(m, dir) {
  nc_file <- file.path(dir, "temp.nc")
  dcell <- ncdim_def("cell", "", seq_len(m$ncell), create_dimvar = FALSE)
  dtime <- ncdim_def("time", "", seq_len(nt_nc), create_dimvar = FALSE)
  var <- ncvar_def("temp", "", list(dcell, dtime), missval = NULL, prec = "float")
  nc <- nc_create(nc_file, var, force_v4 = TRUE)
  for (t in seq_len(nt_nc))
    ncvar_put(nc, var, readItemData(m$r, 0, t - 1), start = c(1, t), count = c(-1, 1))
  nc_close(nc)
  nc <- nc_open(nc_file)
  on.exit({ nc_close(nc); unlink(nc_file) })
  get <- function(t) ncvar_get(nc, "temp", start = c(1, t), count = c(-1, 1))
  check_same("the netCDF copy", readItemData(m$r, 0, nt_nc - 1), get(nt_nc))
  ours <- timestep_cycle()
  base <- timestep_cycle()
  compare(function() readItemData(m$r, 0, ours() %% nt_nc),
          function() get(base() %% nt_nc + 1L))
}

# The floor of reading a record at all: its bytes, not even made numbers.
row_item_raw <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  read_raw <- function(t) {
    seek(con, value_pos(m$lay, 0, t))
    readBin(con, "raw", 4 * m$ncell)
  }
  check_same("readItemData", readItemData(m$r, 0, nt - 1),
             readBin(read_raw(nt - 1), "double", m$ncell, size = 4, endian = "little"))
  ours <- timestep_cycle()
  base <- timestep_cycle()
  compare(function() readItemData(m$r, 0, ours()), function() read_raw(base()))
}

row_profile <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  col <- deep_column(m$h)
  depth <- layer_depth(m$h)
  read_column <- function(t) {
    seek(con, value_pos(m$lay, 0, t, col$first))
    value <- readBin(con, "double", length(col$layers), size = 4, endian = "little")
    list(depth = depth[col$layers], value = value)
  }
  p <- readProfile(m$r, 0, nt - 1, col$e)
  check_same("readProfile", c(p$depth, p$value), unlist(read_column(nt - 1)))
  ours <- timestep_cycle()
  base <- timestep_cycle()
  compare(function() readProfile(m$r, 0, ours(), col$e), function() read_column(base()))
}

row_timeseries_profile <- function(m) {
  con <- file(m$file, "rb")
  on.exit(close(con))
  col <- deep_column(m$h)
  n <- length(col$layers)
  base <- function() {
    v <- numeric(nt * n)
    for (t in seq_len(nt)) {
      seek(con, value_pos(m$lay, 0, t - 1, col$first))
      v[(t - 1) * n + seq_len(n)] <- rev(readBin(con, "double", n, size = 4, endian = "little"))
    }
    v
  }
  p <- readTimeseriesProfile(m$r, 0, col$e, 0, -1)
  check_same("readTimeseriesProfile", c(p$depth, p$temp),
             c(rep(rev(layer_depth(m$h)[col$layers]), nt), base()))
  compare(function() readTimeseriesProfile(m$r, 0, col$e, 0, -1), base)
}

# A series of result files as a long run splits it, each file with a full
# header (the mesh of n elements: about 266 kB for 7000, 490 kB for 12,800)
# and a few timesteps.
make_series <- function(dir, files = 200L, per_file = 5L, n = 7000, base = "series") {
  message(sprintf("  (writing a series of %d files of %d timesteps, %g elements)", files, per_file, n))
  h <- bench_header(n, 1L, 0L)
  h$bottom <- NULL
  h$itemNames <- c("temp", "level")
  h$itemLengths <- c(h$noElem, h$noElem)
  temp <- temp_base(h$noElem)
  level <- level_base(h$noElem)
  first <- file.path(dir, paste0(base, ".emb"))
  names <- c(first, sprintf(sub("\\.emb$", "^%d.emb", first), seq_len(files - 1L)))
  for (k in seq_len(files)) {
    hk <- h
    hk$startDT <- h$startDT + (k - 1) * per_file * h$timestep
    w <- writeHSFile(hk, names[k], "emb")
    for (t in (k - 1) * per_file + seq_len(per_file) - 1) {
      writeHSData(w, temp + t)
      writeHSData(w, level + t / 100)
    }
    writeHSDataClose(w)
  }
  list(names = names, per_file = per_file, e = as.integer(n %/% 2),
       lay = record_layout(first, h$itemLengths))
}

# One cell over every file of the series. The first call is a fresh handle's:
# it sees each file for the first time; later calls find them as seen. The
# baseline opens each file, seeks to each value and reads it; with
# whole_header, it reads each file's header instead, which a first call must
# at least do to compare the files' headers.
row_series_timeseries <- function(s, first_call, whole_header = FALSE) {
  n <- length(s$names) * s$per_file
  values <- function() {
    v <- numeric(n)
    i <- 0L
    for (name in s$names) {
      con <- file(name, "rb")
      for (t in seq_len(s$per_file) - 1L) {
        seek(con, value_pos(s$lay, 0, t, s$e))
        i <- i + 1L
        v[i] <- readBin(con, "double", 1, size = 4, endian = "little")
      }
      close(con)
    }
    v
  }
  headers <- function() {
    for (name in s$names) {
      con <- file(name, "rb")
      readBin(con, "raw", s$lay$header)
      close(con)
    }
  }
  r <- openHSFile(s$names[1])
  check_same("readTimeseries over a series", readTimeseries(r, 0, s$e, 0), values())
  ours <- if (first_call) {
    self_timed(function() {
      fresh <- openHSFile(s$names[1])
      system.time(readTimeseries(fresh, 0, s$e, 0), gcFirst = FALSE)[["elapsed"]]
    })
  } else {
    function() readTimeseries(r, 0, s$e, 0)
  }
  compare(ours, if (whole_header) headers else values)
}

# The mesh's triangles as sf polygons, made once: a user keeps them.
sf_triangles <- function(h) {
  x <- h$nodeXCoor
  y <- h$nodeYCoor
  sf::st_sfc(lapply(h$elemNodes, function(v) {
    i <- c(v, v[1]) + 1L
    sf::st_polygon(list(cbind(x[i], y[i])))
  }))
}

# Random points over the mesh's box widened by 2 % on each side, so that some
# lie outside. sf's side starts from the same coordinates, makes them sf
# points and takes the lowest of the elements each point intersects (a point
# on a shared edge intersects both). st_intersects converts the polygons to
# GEOS and builds its index within every call; sf offers no way to keep them.
row_point_elem <- function(m) {
  message("  (making the sf polygons)")
  polys <- sf_triangles(m$h)
  set.seed(21)
  widen <- function(r) r + c(-0.02, 0.02) * diff(r)
  xr <- widen(range(m$h$nodeXCoor))
  yr <- widen(range(m$h$nodeYCoor))
  x <- runif(n_points, xr[1], xr[2])
  y <- runif(n_points, yr[1], yr[2])
  ours <- function() vapply(seq_len(n_points), function(i) pointElem(m$r, x[i], y[i]), 0L)
  base <- function() {
    pts <- sf::st_as_sf(data.frame(x = x, y = y), coords = c("x", "y"))
    hits <- sf::st_intersects(pts, polys)
    vapply(hits, function(h) if (length(h) > 0) min(h) - 1L else -1L, 0L)
  }
  check_same("pointElem", ours(), base())
  compare(ours, base)
}

# A straight 1 km line of n vertices through the mesh, as a digitised river
# comes: the section along it against locating each of its vertices.
section_line <- function(n) list(x = 550000 + (1:n) * (1000 / n) + 0.37,
                                 y = rep(6025000.13, n))

row_section <- function(m, n) {
  l <- section_line(n)
  ours <- function() intersectionVMesh(m$r, l$x, l$y)
  base <- function() vapply(seq_len(n), function(i) pointElem(m$r, l$x[i], l$y[i]), 0L)
  # The element of each vertex, read from the section's stretches.
  s <- ours()
  along <- c(0, cumsum(rep(1000 / n, n - 1)))
  at <- s$IntersecElem[pmin(findInterval(along, s$IntersecDist) + 1L, length(s$IntersecElem))]
  check_same("the elements of the section's vertices", as.integer(at), base())
  compare(ours, base)
}

# The same lists made in R from flat tables. The flat tables come from the
# package's lists once, outside the timing: what is timed is making the lists.
row_mesh_lists <- function(m) {
  flat <- function(frames) {
    n <- vapply(frames, nrow, 0L)
    cols <- names(frames[[1]])
    c(list(n = n, start = cumsum(n) - n),
      lapply(setNames(cols, cols), function(c) unlist(lapply(frames, `[[`, c), use.names = FALSE)))
  }
  fe <- flat(elemInfo(m$r))
  fn <- flat(nodeInfo(m$r))
  ours <- function() list(elemInfo(m$r), nodeInfo(m$r))
  base <- function() list(
    lapply(seq_along(fe$n), function(e) {
      j <- fe$start[e] + seq_len(fe$n[e])
      data.frame(evf = fe$evf[j], evfe = fe$evfe[j], evfnd = fe$evfnd[j])
    }),
    lapply(seq_along(fn$n), function(v) {
      j <- fn$start[v] + seq_len(fn$n[v])
      data.frame(nnn = fn$nnn[j], ne = fn$ne[j], nf = fn$nf[j])
    }))
  check_same("elemInfo and nodeInfo", ours(), base())
  compare(ours, base)
}

row_open <- function(small, large) {
  open <- function(file) function() getHeader(openHSFile(file))
  compare(open(large$file), open(small$file))
}

# Peak resident memory of a fresh R process that opens the file, read from
# /proc/self/status: after loading the package, after openHSFile, after getHeader.
peak_memory <- function(file) {
  code <- sprintf(paste(
    "suppressPackageStartupMessages(library(HestorTools))",
    "hwm <- function() { s <- grep('^VmHWM', readLines('/proc/self/status'), value = TRUE);",
    "  as.numeric(gsub('[^0-9]', '', s)) / 1024 }",
    "a <- hwm(); r <- openHSFile('%s'); b <- hwm(); h <- getHeader(r); cat(a, b, hwm())",
    sep = "\n"), file)
  out <- system2(file.path(R.home("bin"), "Rscript"), c("-e", shQuote(code)), stdout = TRUE)
  as.numeric(strsplit(tail(out, 1), " ")[[1]])
}

# ---- models

make_model <- function(dir, n, timesteps, no_layer = 20L, open = TRUE, origin = c(0, 0)) {
  message(sprintf("  (writing the model of N = %g, %d layers, %d timesteps)", n, no_layer,
                  timesteps))
  h <- bench_header(n, no_layer, origin = origin)
  file <- file.path(dir, sprintf("model-%g-%d-%g.emb", n, no_layer, origin[1]))
  write_model(file, h, timesteps)
  gc(FALSE)                       # the writer's model description
  ncell <- cell_count(h)
  list(h = h, file = file, ncell = ncell, r = if (open) openHSFile(file),
       lay = record_layout(file, c(ncell, h$noElem)))
}

fmt_time <- function(s) {
  if (s >= 1) sprintf("%.2f s", s)
  else if (s >= 1e-3) sprintf("%.1f ms", 1e3 * s)
  else sprintf("%.0f us", 1e6 * s)
}

main <- function(dir) {
  started <- proc.time()[["elapsed"]]
  # Made when a row first needs them, so that a selection of rows makes only
  # its own.
  delayedAssign("small", make_model(dir, n_small, nt))
  delayedAssign("large", make_model(dir, n_large, 2L))
  delayedAssign("series", make_series(dir))
  delayedAssign("series500", make_series(dir, n = 12800, base = "series500"))
  # Projected coordinates of the usual size, around the line of section_line.
  delayedAssign("utm", make_model(dir, n_large, 1L, origin = c(545000, 6022500)))
  # why: what a miss of the row is known to come from, printed with it.
  row <- function(measure, baseline, unit, target, run, why = "")
    list(measure = measure, baseline = baseline, unit = unit, target = target, run = run,
         why = why)
  rows <- list(
    row("`readItemData` of the 3-D item, every timestep",
        "`seek` + `readBin` of the same record", "timestep", 1.2,
        function() row_item_data(small)),
    row("`readLayer`, every timestep", "`readBin` of the record + R indexing by cell",
        "timestep", 1.0, function() row_layer(small)),
    row("`readTimeseries` of one cell over all timesteps", "R loop of `seek` + `readBin`",
        "series", 0.25, function() row_timeseries(small)),
    row("`readTimeseries` of one cell over a series of 200 files, first call",
        "R loop of `seek` + `readBin` over the same files", "series", 2.0,
        function() row_series_timeseries(series, TRUE)),
    row("`readTimeseries` of one cell over a series of 200 files, later calls",
        "R loop of `seek` + `readBin` over the same files", "series", 1.0,
        function() row_series_timeseries(series, FALSE)),
    row("`readTimeseries` of one cell over a series of 200 files with headers of 490 kB, first call",
        "R loop of `readBin` of each file's whole header", "series", 1.0,
        function() row_series_timeseries(series500, TRUE, whole_header = TRUE)),
    row("`readTimeseries` of one cell over a series of 200 files with headers of 490 kB, later calls",
        "R loop of `seek` + `readBin` over the same files", "series", 1.0,
        function() row_series_timeseries(series500, FALSE)),
    row("`writeHSData` of all items and timesteps", "`writeBin` of the same values",
        "file", 1.2, function() row_write(small, dir)),
    row("`readItemData` of one timestep",
        "the same data in uncompressed netCDF-4, `ncdf4::ncvar_get`", "timestep", 1.0,
        function() row_netcdf(small, dir),
        why = paste("both sides mostly make and fill a new vector of 10 MB, whose page faults",
                    "depend on what earlier rows left to R's allocator: 0.26 to 1.21 in one",
                    "session, 0.67 when the row runs alone")),
    row(sprintf("`openHSFile` + `getHeader` at N = %g", n_large),
        sprintf("the same at N = %g", n_small), "call", 12, function() row_open(small, large)),
    row("`readItemData` of the 3-D item, every timestep",
        "`readBin(con, \"raw\", ...)` of the same record", "timestep", 1.5,
        function() row_item_raw(small)),
    row("`readProfile` of one element, every timestep",
        "`seek` + `readBin` of the element's column + R indexing", "timestep", 1.0,
        function() row_profile(small)),
    row("`readTimeseriesProfile` of one element over all timesteps",
        "R loop of `seek` + `readBin` of its column", "series", 0.25,
        function() row_timeseries_profile(small)),
    row(sprintf("`pointElem` for %g random points at N = %g, one call per point", n_points,
                n_large),
        "`sf::st_intersects` of the same points with the triangles as `sf` polygons",
        "query", 1.0, function() row_point_elem(large)),
    row(sprintf("`elemInfo` and `nodeInfo` at N = %g", n_small),
        "the same lists built in R with `lapply` + `data.frame`", "call", 0.1,
        function() row_mesh_lists(small)),
    row(sprintf("`intersectionVMesh` of a line of %g vertices at N = %g", n_section, n_large),
        "`pointElem` of its vertices, one call per vertex", "line", 3,
        function() row_section(utm, n_section)))
  # HS_BENCH_ROWS: a regular expression; only the rows whose measure it
  # matches run, and the memory check is left out.
  only <- Sys.getenv("HS_BENCH_ROWS")
  if (nzchar(only))
    rows <- Filter(function(r) grepl(only, r$measure), rows)
  cat(sprintf("HestorTools benchmark: N = %g (%d layers, %s cells, T = %d) and N = %g;",
              n_small, 20L, format(cell_count(bench_header(n_small)), big.mark = ","), nt, n_large),
      sprintf("median of %d repetitions, each side >= %g s per repetition.\n\n",
              reps, min_seconds))
  cat("| measure | compared with | time per | package | baseline | ratio | target |\n")
  cat("| --- | --- | --- | --- | --- | --- | --- |\n")
  missed <- 0
  for (r in rows) {
    t0 <- proc.time()[["elapsed"]]
    t <- r$run()
    message(sprintf("  (%s: %.0f s)", r$measure, proc.time()[["elapsed"]] - t0))
    ratio <- t[["ours"]] / t[["base"]]
    ok <- ratio <= r$target
    missed <- missed + !ok
    cat(sprintf("| %s | %s | %s | %s | %s | %.3f | <= %g%s |\n", r$measure, r$baseline, r$unit,
                fmt_time(t[["ours"]]), fmt_time(t[["base"]]), ratio, r$target,
                if (ok) "" else paste0(" MISSED", if (nzchar(r$why)) paste0(": ", r$why))))
  }
  rm(small, large, utm)
  gc(FALSE)
  if (nzchar(only)) {
    cat(sprintf("%s; %.0f s in all.\n",
                if (missed == 0) "Every ratio meets its target" else
                  sprintf("%d ratio(s) miss their target", missed),
                proc.time()[["elapsed"]] - started))
    return(invisible())
  }
  big <- make_model(dir, n_large, 1L, 50L, open = FALSE)
  mem_file <- big$file
  mem_cells <- big$ncell
  rm(big)
  gc(FALSE)
  mem <- peak_memory(mem_file)
  cat(sprintf(paste0("\nPeak memory (VmHWM) of a fresh R process opening the N = %g, 50-layer",
                     " model (%s cells): %.0f MB after openHSFile, %.0f MB after getHeader",
                     " (%.0f MB with the package loaded).\n"),
              n_large, format(mem_cells, big.mark = ","), mem[2], mem[3], mem[1]))
  cat(sprintf("%s; %.0f s in all.\n",
              if (missed == 0) "Every ratio meets its target" else
                sprintf("%d ratio(s) miss their target", missed),
              proc.time()[["elapsed"]] - started))
}

work <- tempfile("hsbench")
dir.create(work)
tryCatch(main(work), finally = {
  gc(FALSE)
  unlink(work, recursive = TRUE)
})
