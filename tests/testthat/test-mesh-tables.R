# Mesh and model tables against computations in R from the header list.

small_model <- function() openHSFile(write_small(file.path(fresh_dir(), "run.emb")))

# Two squares of 100 m, four triangles; the left side is open boundary 1,
# the right side open boundary 2, the rest closed.
bnd_header <- function() {
  h <- small_header(items = "level", lengths = 4)
  h$noNode <- 6L
  h$nodeXCoor <- c(0, 100, 200, 0, 100, 200)
  h$nodeYCoor <- c(0, 0, 0, 100, 100, 100)
  h$nodeType <- c(1, 99, 2, 1, 99, 2)
  h$elemNodes <- list(c(0, 1, 4), c(0, 4, 3), c(1, 2, 5), c(1, 5, 4))
  h
}

# nx x ny squares of 10 m, element row after row from the bottom; the left
# side is open boundary 1, the right side open boundary 2.
grid_header <- function(nx, ny) {
  h <- small_header(items = "level", lengths = nx * ny)
  h$noNode <- as.integer((nx + 1) * (ny + 1))
  h$noElem <- as.integer(nx * ny)
  h$nodeXCoor <- rep(0:nx, ny + 1) * 10
  h$nodeYCoor <- rep(0:ny, each = nx + 1) * 10
  h$nodeType <- ifelse(h$nodeXCoor == 0, 1, ifelse(h$nodeXCoor == 10 * nx, 2, 0))
  a <- rep(0:(nx - 1), ny) + rep(0:(ny - 1), each = nx) * (nx + 1)
  h$elemNodes <- lapply(a, function(k) c(k, k + 1, k + nx + 2, k + nx + 1))
  h$elemBathy <- rep(4, h$noElem)
  h
}

grid_model <- function(nx, ny) {
  f <- file.path(fresh_dir(), "grid.emb")
  writeHSDataClose(writeHSFile(grid_header(nx, ny), f, "emb"))
  openHSFile(f)
}

# Distance from (px, py) to the line through (ax, ay) and (bx, by).
line_dist <- function(px, py, ax, ay, bx, by) {
  abs((bx - ax) * (py - ay) - (by - ay) * (px - ax)) / sqrt((bx - ax)^2 + (by - ay)^2)
}

# What the node tables record for the faces of node n to the nodes nnn: the
# element left of n -> m; for a face between two boundary nodes its own
# element, unless the node has recorded that element already.
node_elems <- function(h, n, nnn, own) {
  x <- f32(h$nodeXCoor)
  y <- f32(h$nodeYCoor)
  left <- vapply(nnn, function(m) {
    for (e in seq_along(h$elemNodes)) {
      v <- h$elemNodes[[e]]
      if (all(c(n, m) %in% v) &&
          (x[m + 1] - x[n + 1]) * (mean(y[v + 1]) - y[n + 1]) >
          (y[m + 1] - y[n + 1]) * (mean(x[v + 1]) - x[n + 1])) return(e - 1)
    }
    -1
  }, 0)
  edge <- h$nodeType[n + 1] != 0 & h$nodeType[nnn + 1] != 0
  ne <- ifelse(edge, -1, left)
  for (k in which(edge)) if (!(own[k] %in% ne)) ne[k] <- own[k]
  ne
}

bnd_model <- function() {
  f <- file.path(fresh_dir(), "bnd.emb")
  writeHSDataClose(writeHSFile(bnd_header(), f, "emb"))
  openHSFile(f)
}

# Node coordinates of each element as stored (float32).
elem_xy <- function(h) {
  lapply(h$elemNodes, function(v) cbind(f32(h$nodeXCoor)[v + 1], f32(h$nodeYCoor)[v + 1]))
}

shoelace <- function(p) abs(sum(p[, 1] * c(p[-1, 2], p[1, 2]) - c(p[-1, 1], p[1, 1]) * p[, 2])) / 2

in_triangle <- function(p, x, y) {
  s <- vapply(1:3, function(i) {
    j <- i %% 3 + 1
    (p[j, 1] - p[i, 1]) * (y - p[i, 2]) - (p[j, 2] - p[i, 2]) * (x - p[i, 1])
  }, 0)
  all(s > 0) || all(s < 0)
}

expect_frame <- function(df, columns, rows) {
  expect_identical(names(df), columns)
  expect_identical(nrow(df), rows)
  expect_true(all(vapply(df, is.double, TRUE)))
  expect_identical(df, as.data.frame(as.list(df)))
}

test_that("per-element, per-cell and per-node vectors agree with the header", {
  h0 <- small_header()
  r <- small_model()
  h <- getHeader(r)
  bli <- bottom_layers(h0)
  cells <- 3 - bli
  expect_identical(getBottomLayerIdx(r), as.numeric(bli))
  expect_identical(botlayerIdx(r), as.numeric(c(0, head(cumsum(cells), -1))))
  area <- vapply(elem_xy(h0), shoelace, 0)
  expect_equal(elemArea(r), area, tolerance = 1e-12)
  expect_length(nodeArea(r), 5)
  expect_length(cellDepth(r), h$length)
  vol <- cellVolume(r)
  expect_length(vol, h$length)
  # Cells of a column fill it from the surface to its bottom.
  expect_equal(as.numeric(tapply(vol, rep(0:3, cells), sum)),
               area * (h$elemBathy - h$offsetDepth), tolerance = 1e-6)
  # Top cells lie at the surface layer's centre, unless they are bottom cells too.
  expect_equal(cellDepth(r)[cumsum(cells)[cells > 1]], rep(h$layerDepth[3], 3))
  expect_identical(nivfpe(r), c(2, 2, 2, 2))
  expect_identical(nbvfpe(r), c(0, 0, 0, 0))
  # From the first top corner down its steeper side, round the outline.
  expect_identical(circumferenceNodes(r), c(2, 1, 0, 3))
  expect_identical(circumferenceNodes(bnd_model()), c(3, 0, 1, 2, 5, 4))
  # The centre node's cell joins the four Voronoi points; outline nodes have none.
  expect_equal(nodeArea(r), c(0, 0, 0, 0, shoelace(cbind(h$eVoronoiX, h$eVoronoiY))),
               tolerance = 1e-9)
  g <- grid_model(3, 3)
  expect_equal(nodeArea(g), ifelse(seq_len(16) %in% c(6, 7, 10, 11), 100, 0))
})

test_that("layerNo finds the layer whose top lies above the depth", {
  r <- small_model()
  # Layer tops (bottom layer first): 3.25, 1.25, 0.25; bottoms 6, 2.5, 0.8, 5.3.
  cases <- rbind(c(0, 0, 2), c(0, 1, 2), c(0, 2, 1), c(0, 4, 0), c(0, 9, 0), c(0, -3, 0),
                 c(1, 2, 1), c(1, 0, 2), c(2, 0, 2), c(3, 5, 0), c(3, 3, 1))
  for (i in seq_len(nrow(cases))) {
    expect_identical(layerNo(r, cases[i, 1], cases[i, 2]), as.integer(cases[i, 3]),
                     info = paste(cases[i, 1:2], collapse = " "))
  }
})

test_that("faces, elements and nodes tables describe the same mesh", {
  h0 <- small_header()
  r <- small_model()
  vf <- verticalFaces(r)
  cols <- c("vft", "vfe0", "vfe1", "vfn0", "vfn1", "vfxc", "vfyc", "vfxNormL", "vfyNormL")
  expect_frame(vf, cols, 8L)
  expect_identical(vf$vft, c(0, 0, 0, 0, 99, 99, 99, 99))
  expect_identical(vf$vfe1[5:8], rep(-99, 4))
  x <- f32(h0$nodeXCoor)
  y <- f32(h0$nodeYCoor)
  expect_equal(vf$vfxc, (x[vf$vfn0 + 1] + x[vf$vfn1 + 1]) / 2)
  expect_equal(vf$vfyc, (y[vf$vfn0 + 1] + y[vf$vfn1 + 1]) / 2)
  expect_equal(vf$vfxNormL^2 + vf$vfyNormL^2, rep(1, 8))
  # Interior links run from the first element's Voronoi point to the second's.
  h <- getHeader(r)
  i <- 1:4
  dx <- h$eVoronoiX[vf$vfe1[i] + 1] - h$eVoronoiX[vf$vfe0[i] + 1]
  dy <- h$eVoronoiY[vf$vfe1[i] + 1] - h$eVoronoiY[vf$vfe0[i] + 1]
  expect_equal(vf$vfxNormL[i], dx / sqrt(dx^2 + dy^2), tolerance = 1e-6)

  ei <- elemInfo(r)
  expect_length(ei, 4)
  # Voronoi point to face line; the second element of an interior face gets
  # the rest of the link between the two Voronoi points.
  vx <- h$eVoronoiX
  vy <- h$eVoronoiY
  d0 <- line_dist(vx[vf$vfe0 + 1], vy[vf$vfe0 + 1], x[vf$vfn0 + 1], y[vf$vfn0 + 1],
                  x[vf$vfn1 + 1], y[vf$vfn1 + 1])
  for (e in 0:3) {
    expect_frame(ei[[e + 1]], c("evf", "evfe", "evfnd"), 3L)
    mine <- which(vf$vfe0 == e | vf$vfe1 == e) - 1
    expect_setequal(ei[[e + 1]]$evf, mine)
    f <- ei[[e + 1]]$evf + 1
    other <- ifelse(vf$vfe0[f] == e, vf$vfe1[f], vf$vfe0[f])
    expect_identical(ei[[e + 1]]$evfe, ifelse(vf$vft[f] == 99, -99, other))
    a <- vf$vfe0[f] + 1
    b <- pmax(vf$vfe1[f], 0) + 1        # only read for interior faces
    link <- sqrt((vx[b] - vx[a])^2 + (vy[b] - vy[a])^2)
    expect_equal(ei[[e + 1]]$evfnd, ifelse(vf$vfe0[f] == e, d0[f], link - d0[f]), tolerance = 1e-9)
  }
  for (m in list(list(r, h0), list(bnd_model(), bnd_header()))) {
    ni <- nodeInfo(m[[1]])
    vf <- verticalFaces(m[[1]])
    hm <- getHeader(m[[1]])
    hm$elemNodes <- m[[2]]$elemNodes
    expect_length(ni, hm$noNode)
    for (n in seq_len(hm$noNode) - 1) {
      df <- ni[[n + 1]]
      expect_frame(df, c("nnn", "ne", "nf"), sum(vf$vfn0 == n | vf$vfn1 == n))
      f <- df$nf + 1
      expect_identical(df$nnn, ifelse(vf$vfn0[f] == n, vf$vfn1[f], vf$vfn0[f]))
      expect_identical(df$ne, node_elems(hm, n, df$nnn, vf$vfe0[f]), info = n)
    }
  }
})

test_that("open boundaries come named by code, in boundary order", {
  r <- bnd_model()
  expect_identical(bndElems(r), list(`1` = 1, `2` = 2))
  expect_identical(nbvfpe(r), c(0, 1, 1, 0))
  vf <- verticalFaces(r)
  expect_identical(vf$vft, c(0, 0, 0, 1, 2, 99, 99, 99, 99))
  expect_identical(vf$vfe1[4:5], c(4, 5))       # the ghost elements noe + i
  # Face-cells: 3 - fbli per face, fbli the deeper-standing of its columns.
  bli <- getBottomLayerIdx(r)
  fbli <- c(pmax(bli[vf$vfe0[1:3] + 1], bli[vf$vfe1[1:3] + 1]), bli[vf$vfe0[4:5] + 1])
  expect_identical(facebotlayerIdx(r), c(0, cumsum(3 - fbli)[-5]))
  expect_identical(bndElems(small_model()), list())
  # Each boundary walked with the domain on its left: down the left side, up the right.
  expect_identical(bndElems(grid_model(3, 3)), list(`1` = c(6, 3, 0), `2` = c(2, 5, 8)))
})

test_that("point queries match a brute-force search", {
  h0 <- small_header()
  r <- small_model()
  tri <- elem_xy(h0)
  cx <- vapply(tri, function(p) mean(p[, 1]), 0)
  cy <- vapply(tri, function(p) mean(p[, 2]), 0)
  for (x in seq(-13.3, 113.3, by = 9.7)) for (y in seq(-7.1, 107.1, by = 8.3)) {
    hit <- which(vapply(tri, in_triangle, TRUE, x = x, y = y))
    want <- if (length(hit)) hit[1] - 1L else -1L
    expect_identical(pointElem(r, x, y), want)
    near <- which.min((cx - x)^2 + (cy - y)^2) - 1L
    expect_identical(pointElemNearest(r, x, y, 1), near)
    expect_identical(pointElemNearest(r, x, y, 0), if (want >= 0) want else near)
  }
  for (bad in list(c(NA, 1), c(1, NaN), c(Inf, 1), c(1, -Inf))) {
    expect_identical(pointElem(r, bad[1], bad[2]), -1L)
    expect_identical(pointElemNearest(r, bad[1], bad[2], 1), -1L)
  }
})

# Element and node counts of the section mesh from the crossed elements' layers.
section_counts <- function(elems, bli, noLayer) {
  b <- ifelse(elems >= 0, bli[pmax(elems, 0) + 1], NA)
  low <- vapply(seq_len(length(b) + 1), function(i) {
    beside <- c(if (i > 1) b[i - 1], if (i <= length(b)) b[i])
    if (all(is.na(beside))) NA else min(beside, na.rm = TRUE)
  }, 0)
  c(noElem = sum(noLayer - b, na.rm = TRUE), noNode = sum(noLayer + 1 - low, na.rm = TRUE))
}

test_that("intersectionVMesh cuts the layers along a polyline", {
  r <- small_model()
  bli <- bottom_layers(small_header())
  lines <- list(list(c(-10, 110), c(30, 30)), list(c(-10, 70, 70), c(20, 20, 110)),
                list(c(20, 80), c(10, 10)), list(c(-10, -5), c(30, 30)))
  for (l in lines) {
    s <- intersectionVMesh(r, l[[1]], l[[2]])
    expect_identical(names(s), c("IntersecElem", "IntersecDist", "IntersecHeader"))
    expect_length(s$IntersecDist, length(s$IntersecElem))
    expect_false(is.unsorted(s$IntersecDist))
    expect_equal(tail(s$IntersecDist, 1), sum(sqrt(diff(l[[1]])^2 + diff(l[[2]])^2)))
    n <- section_counts(s$IntersecElem, bli, 3)
    expect_identical(c(s$IntersecHeader$noElem, s$IntersecHeader$noNode), as.integer(n))
    expect_length(s$IntersecHeader, 11)
  }
  # A vertex inside an element joins the stretches on either side of it.
  expect_identical(intersectionVMesh(r, c(-10, 70, 70), c(20, 20, 110))$IntersecElem,
                   c(-1, 3, 0, 1, 2, -1))
  # The help example's mesh, turning on its diagonal face and ending on a node.
  w <- writeHSFile(list(noNode = 4L, noElem = 2L, nodeXCoor = c(0, 10, 10, 0),
                        nodeYCoor = c(0, 0, 10, 10), elemNodes = list(c(0, 1, 2), c(0, 2, 3)),
                        startDT = as.POSIXct("2024-01-01", tz = "GMT"), timestep = 3600,
                        noLayer = 2L, dz = c(4, 1), elemBathy = c(4.5, 0.8),
                        itemNames = "level", itemLengths = 2),
                   file.path(fresh_dir(), "example.emb"), "emb")
  s <- intersectionVMesh(w, c(3, 7, 3), c(1, 7, 9))
  expect_identical(s$IntersecElem, c(0, 1))
  expect_equal(s$IntersecDist, cumsum(c(sqrt(52), sqrt(20))))
  expect_identical(s$IntersecHeader$noElem, 3L)   # layers 0-1 of element 0, layer 1 of element 1
  s <- intersectionVMesh(w, c(-5, 0, 10), c(0, 0, 10))
  expect_identical(s$IntersecElem, c(-1, 0))
  expect_equal(s$IntersecDist, c(5, 5 + sqrt(200)))
  writeHSDataClose(w)
  miss <- intersectionVMesh(r, c(-10, -5), c(30, 30))
  expect_identical(miss$IntersecElem, -1)
  expect_identical(miss$IntersecHeader$elemNodes, list())
})

test_that("elemInfo and nodeInfo stay fast on large meshes", {
  n <- 224                      # 100352 triangles
  a <- rep(0:(n - 1), n) + rep(0:(n - 1), each = n) * (n + 1)
  tri <- c(rbind(a, a + 1, a + n + 2), rbind(a, a + n + 2, a + n + 1))
  h <- small_header(items = "a", lengths = 1)
  h$noNode <- as.integer((n + 1)^2)
  h$noElem <- as.integer(2 * n^2)
  h$nodeXCoor <- rep(0:n, n + 1) * 10
  h$nodeYCoor <- rep(0:n, each = n + 1) * 10
  h$elemNodes <- unname(split(tri, rep(seq_len(2 * n^2), each = 3)))
  h$elemBathy <- rep(4, h$noElem)
  w <- writeHSFile(h, file.path(fresh_dir(), "big.emb"), "emb")
  expect_lt(system.time(ei <- elemInfo(w))[["elapsed"]], 2)
  expect_lt(system.time(ni <- nodeInfo(w))[["elapsed"]], 2)
  expect_length(ei, h$noElem)
  expect_length(ni, h$noNode)
  writeHSDataClose(w)
})

