# Synthetic models for the benchmark, written with the package's own writer.
#
# The mesh is a regular grid of squares, each cut into two triangles. Layers
# are 1 m thick; the bottom of each element lies in the middle of a layer
# chosen from its x position, so the bottom layers range over most of the
# column. Item 0 ("temp") has one value per cell, item 1 ("level") one value
# per element.

# Columns and rows of squares for about n triangles (exactly n when n / 2
# factors as below).
grid_shape <- function(n) {
  squares <- ceiling(n / 2)
  ny <- max(1L, as.integer(floor(sqrt(squares / 2))))
  while (squares %% ny != 0) ny <- ny - 1L
  c(nx = squares %/% ny, ny = ny)
}

# origin: the coordinates of the grid's lower-left node.
bench_header <- function(n, no_layer = 20L, deepest = no_layer - 5L, origin = c(0, 0)) {
  shape <- grid_shape(n)
  nx <- shape[["nx"]]
  ny <- shape[["ny"]]
  ix <- rep(0:(nx - 1L), times = ny)            # square column, row by row
  iy <- rep(0:(ny - 1L), each = nx)
  a <- ix + iy * (nx + 1L)                       # lower-left node of each square
  b <- a + 1L
  c <- b + nx + 1L
  d <- a + nx + 1L
  # Two counter-clockwise triangles per square: (a, b, c) and (a, c, d).
  n1 <- as.vector(rbind(a, a))
  n2 <- as.vector(rbind(b, c))
  n3 <- as.vector(rbind(c, d))
  noe <- length(n1)
  elem_nodes <- lapply(seq_len(noe), function(e) c(n1[e], n2[e], n3[e]))
  nodes <- expand.grid(x = 0:nx, y = 0:ny)
  # Bottom layer (0 = deepest) by column, then the depth of that layer's middle.
  col <- rep(ix, each = 2)
  bottom <- as.integer(floor(col * (deepest + 1) / nx))
  bathy <- (no_layer - 1L - bottom) + 0.5
  list(noNode = nrow(nodes), noElem = noe,
       nodeXCoor = origin[1] + 10 * nodes$x, nodeYCoor = origin[2] + 10 * nodes$y,
       elemNodes = elem_nodes,
       startDT = as.POSIXct("2024-01-01 00:00:00", tz = "GMT"), timestep = 600,
       noLayer = as.integer(no_layer), dz = rep(1, no_layer), elemBathy = bathy,
       offsetDepth = 0, proj = "UTM32", modeltype = "water",
       bottom = bottom)
}

# Cells of the model: one per layer from each element's bottom layer up.
cell_count <- function(h) sum(h$noLayer - h$bottom)

# Values of timestep t (0-based); the same formulas serve the checks.
temp_base <- function(ncell) 10 + sin(seq_len(ncell) / 1000)
level_base <- function(noe) cos(seq_len(noe) / 500)

write_model <- function(file, h, nt) {
  ncell <- cell_count(h)
  h$itemNames <- c("temp", "level")
  h$itemLengths <- c(ncell, h$noElem)
  h$bottom <- NULL
  temp <- temp_base(ncell)
  level <- level_base(h$noElem)
  w <- writeHSFile(h, file, "emb")
  for (t in seq_len(nt) - 1) {
    writeHSData(w, temp + t)
    writeHSData(w, level + t / 100)
  }
  writeHSDataClose(w)
  invisible(file)
}
