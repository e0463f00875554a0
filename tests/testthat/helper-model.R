# A small model shared by the tests: four triangles around a centre node,
# three layers (bottom first: 3, 2 and 1 m thick) and two items, a layered
# one ("temp", one value per cell) and a surface one ("level", one per element).

f32 <- function(x) {
  readBin(writeBin(as.numeric(x), raw(), size = 4, endian = "little"),
          "double", n = length(x), size = 4, endian = "little")
}

small_header <- function(items = c("temp", "level"), lengths = c(9, 4)) {
  list(noNode = 5L, noElem = 4L,
       nodeXCoor = c(0, 100, 100, 0, 50.1), nodeYCoor = c(0, 0, 100, 100, 49.9),
       elemNodes = list(c(0, 1, 4), c(1, 2, 4), c(2, 3, 4), c(3, 0, 4)),
       startDT = as.POSIXct("2021-03-04 05:06:07", tz = "GMT"), timestep = 1800.5,
       noLayer = 3L, dz = c(3, 2, 1), elemBathy = c(6, 2.5, 0.8, 5.3),
       offsetDepth = 0.25, proj = "UTM33", modeltype = "sediment",
       itemNames = items, itemLengths = lengths)
}

# Bottom layer of each element, from the layer tops (independent of the module):
# the deepest layer whose top lies above the bottom depth.
bottom_layers <- function(h) {
  top <- cumsum(rev(h$dz))                 # bottom depth of each layer, surface first
  top <- rev(c(0, head(top, -1))) + h$offsetDepth   # top depth, bottom layer first
  vapply(h$elemBathy, function(b) {
    k <- which(b > top)
    if (length(k) == 0) h$noLayer - 1L else as.integer(min(k) - 1L)
  }, integer(1))
}

# Values written: temp at timestep t for cell j (0-based) is 100 t + j + 0.1,
# level of element e is t + e / 3.
temp_values <- function(t, n = 9) 100 * t + seq_len(n) - 1 + 0.1
level_values <- function(t, n = 4) t + (seq_len(n) - 1) / 3

write_small <- function(file, nt = 3, header = small_header()) {
  w <- writeHSFile(header, file, "emb")
  for (t in seq_len(nt) - 1) {
    writeHSData(w, temp_values(t))
    writeHSData(w, level_values(t))
  }
  writeHSDataClose(w)
  invisible(file)
}

# A series written file by file, as the writer would split it: file k
# (run^k.emb for run.emb) holds the timesteps steps[[k + 1]] and starts at the
# first of them.
write_series <- function(file, steps, header = small_header()) {
  for (k in seq_along(steps) - 1) {
    hk <- header
    hk$startDT <- header$startDT + steps[[k + 1]][1] * header$timestep
    name <- if (k == 0) file else sub("\\.emb$", sprintf("^%d.emb", k), file)
    w <- writeHSFile(hk, name, "emb")
    for (t in steps[[k + 1]]) {
      writeHSData(w, temp_values(t))
      writeHSData(w, level_values(t))
    }
    writeHSDataClose(w)
  }
  invisible(file)
}

fresh_dir <- function() {
  d <- tempfile("hs")
  dir.create(d)
  d
}

# The condition a call raises (NULL when it raises none).
condition_of <- function(expr) tryCatch({ expr; NULL }, error = function(e) e)

# File k of the series that begins with f (run.emb gives run^k.emb), holding
# the given timesteps of the series.
write_series_file <- function(f, k, timesteps, header = small_header()) {
  header$startDT <- header$startDT + timesteps[1] * header$timestep
  name <- sub("(\\.[^.]*)$", paste0("^", k, "\\1"), f)
  w <- writeHSFile(header, name, "emb")
  for (t in timesteps) {
    writeHSData(w, temp_values(t))
    writeHSData(w, level_values(t))
  }
  writeHSDataClose(w)
  invisible(name)
}

# A square grid of n x n nodes 10 m apart, each cell split into two
# triangles, with the given number of 1 m layers and one cell item.
grid_header <- function(n, layers = 1) {
  xy <- expand.grid(x = 10 * (seq_len(n) - 1), y = 10 * (seq_len(n) - 1))
  id <- function(i, j) (j - 1) * n + (i - 1)
  q <- expand.grid(i = seq_len(n - 1), j = seq_len(n - 1))
  a <- id(q$i, q$j); b <- id(q$i + 1, q$j); c <- id(q$i + 1, q$j + 1); d <- id(q$i, q$j + 1)
  en <- c(Map(c, a, b, c), Map(c, a, c, d))
  list(noNode = n * n, noElem = length(en), nodeXCoor = xy$x, nodeYCoor = xy$y, elemNodes = en,
       startDT = as.POSIXct("2024-01-01", tz = "GMT"), timestep = 60, noLayer = layers,
       dz = rep(1, layers), elemBathy = rep(layers + 0.5, length(en)), itemNames = "v",
       itemLengths = length(en) * layers)
}

# Runs R code in a second R process that has this package and the helpers
# above; returns its standard output and error, lines. With limit_kb its
# files may not grow beyond that size (writes fail with "File too large"); with
# limit_s it is killed after that many seconds.
run_child <- function(code, wait = TRUE, limit_kb = NULL, limit_s = NULL) {
  helpers <- tempfile(fileext = ".R")
  dump(c("small_header", "temp_values", "level_values", "grid_header", "condition_of"), helpers)
  script <- tempfile(fileext = ".R")
  writeLines(c("suppressMessages(library(HestorTools))", sprintf("source('%s')", helpers), code),
             script)
  # A child that ends by an error or a kill is expected to: no warning of its status.
  cmd <- file.path(R.home("bin"), "Rscript"); args <- script
  if (!is.null(limit_kb)) {
    args <- c("-c", shQuote(sprintf("ulimit -f %d; trap '' XFSZ; exec %s %s", 2 * limit_kb, cmd, script)))
    cmd <- "sh"
  }
  if (!is.null(limit_s)) { args <- c(limit_s, cmd, args); cmd <- "timeout" }
  suppressWarnings(system2(cmd, args, stdout = wait, stderr = wait, wait = wait,
          env = paste0("R_LIBS=", paste(.libPaths(), collapse = ":"))))
}

# Every file under a folder, hidden ones too, with its bytes, to compare a
# folder before and after. Empty files are not opened: one may be a pipe.
folder_bytes <- function(d) {
  files <- list.files(d, recursive = TRUE, include.dirs = TRUE, full.names = TRUE, all.files = TRUE)
  lapply(setNames(nm = files), function(f) if (dir.exists(f)) "folder"
         else if (file.size(f) == 0) raw(0) else readBin(f, "raw", file.size(f)))
}
