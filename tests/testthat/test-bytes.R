# The binary result format checked with base R alone: files written by the
# package are taken apart with readBin, and a file made with writeBin is read
# by the package.

int32 <- function(con, n = 1) readBin(con, "integer", n, size = 4, endian = "little")
flt32 <- function(con, n = 1) readBin(con, "double", n, size = 4, endian = "little")
chars <- function(con, n) rawToChar(readBin(con, "raw", n))

parse_emb <- function(file) {
  con <- file(file, "rb")
  on.exit(close(con))
  p <- list()
  w <- int32(con, 4)
  p$version <- w[1]; p$layerType <- w[2]; p$one <- w[4]
  p$piBits <- readBin(con, "raw", 4)
  p$offsetDepth <- flt32(con)
  w <- int32(con, 2)
  p$modeltype <- w[1]; p$headerSize <- w[2]
  lohi <- int32(con, 2)
  p$startDT <- (lohi[1] %% 2^32) + lohi[2] * 2^32
  p$timestep <- flt32(con)
  w <- int32(con, 6)
  names(w) <- c("NT", "nItem", "itemOffset", "nStatic", "staticOffset", "noLayer")
  p[names(w)] <- as.list(w)
  seek(con, p$itemOffset)
  p$items <- lapply(seq_len(p$nItem), function(i) {
    len <- int32(con)
    list(length = len, name = chars(con, int32(con)))
  })
  p$statics <- lapply(seq_len(p$nStatic), function(i) {
    w <- int32(con, 4)
    s <- list(byteLength = w[1], count = w[2], name = chars(con, w[3]), type = chars(con, w[4]))
    s$data <- if (s$count > 0) readBin(con, "raw", s$byteLength) else raw(0)
    s
  })
  names(p$statics) <- vapply(p$statics, `[[`, "", "name")
  p$dataStart <- seek(con)
  p
}

test_that("a written file holds the header, directories and records where they belong", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"), nt = 3)
  h0 <- small_header()
  p <- parse_emb(f)

  expect_identical(p$version, 8L)
  expect_identical(p$layerType, 0L)
  expect_identical(p$one, 1L)
  expect_identical(p$piBits, as.raw(c(0xDB, 0x0F, 0x49, 0x40)))
  expect_identical(p$offsetDepth, f32(0.25))
  expect_identical(p$modeltype, 10L)
  expect_identical(p$startDT, as.numeric(h0$startDT))
  expect_identical(p$timestep, f32(1800.5))
  expect_identical(p$NT, 3L)
  expect_identical(p$nItem, 2L)
  expect_identical(p$itemOffset, 128L)
  expect_identical(p$noLayer, 3L)
  expect_identical(p$items, list(list(length = 9L, name = "temp"),
                                 list(length = 4L, name = "level")))
  expect_identical(p$staticOffset, 128L + 8L + 4L + 8L + 5L)
  expect_identical(names(p$statics), c("proj", "enol", "dz", "elemBathy", "mesh"))

  s <- p$statics
  expect_identical(rawToChar(s$proj$data), "UTM33")
  expect_identical(readBin(s$enol$data, "integer", 4, size = 4, endian = "little"),
                   3L - bottom_layers(h0))
  expect_identical(readBin(s$dz$data, "double", 3, size = 4, endian = "little"), f32(h0$dz))
  expect_identical(readBin(s$elemBathy$data, "double", 4, size = 4, endian = "little"),
                   f32(h0$elemBathy))
  mesh <- rawConnection(s$mesh$data)
  expect_identical(int32(mesh, 2), c(5L, 4L))
  expect_identical(flt32(mesh, 5), f32(h0$nodeXCoor))
  expect_identical(flt32(mesh, 5), f32(h0$nodeYCoor))
  int32(mesh, 5)
  expect_identical(int32(mesh, 4), rep(3L, 4))
  expect_identical(int32(mesh, 12), as.integer(unlist(h0$elemNodes)))
  close(mesh)
  for (x in s) {
    size <- if (x$type == "c") 1L else 4L
    expect_identical(x$byteLength, x$count * size, info = x$name)
  }

  size <- 128 + sum(8 + nchar(c("temp", "level"))) +
    sum(vapply(s, function(x) 16 + nchar(x$name) + nchar(x$type) + x$byteLength, 0))
  expect_identical(p$headerSize, as.integer(size))
  expect_identical(p$dataStart, size)
  total <- 13
  expect_identical(file.size(f), size + 4 * total * 3)

  con <- file(f, "rb")
  on.exit(close(con))
  for (t in 0:2) {
    seek(con, size + 4 * (t * total))
    expect_identical(flt32(con, 9), f32(temp_values(t)))
    seek(con, size + 4 * (t * total + 9))
    expect_identical(flt32(con, 4), f32(level_values(t)))
  }
})

i32 <- function(x) writeBin(as.integer(x), raw(), size = 4, endian = "little")
f4 <- function(x) writeBin(as.numeric(x), raw(), size = 4, endian = "little")
f8 <- function(x) writeBin(as.numeric(x), raw(), size = 8, endian = "little")
static_item <- function(name, type, count, data)
  c(i32(c(length(data), count, nchar(name), nchar(type))), charToRaw(name), charToRaw(type), data)

# A version 8 file written by hand: a square of two triangles, two layers, one
# item of one value per element, the model's static items and any further ones.
write_emb_by_hand <- function(file, statics_extra = list(), nt = 2) {
  x <- c(0, 10, 10, 0); y <- c(0, 0, 10, 10)
  mesh <- c(i32(c(4, 2)), f4(x), f4(y), i32(rep(99, 4)), i32(c(3, 3)), i32(c(0, 1, 2, 0, 2, 3)),
            f4(c(20 / 3, 10 / 3)), f4(c(10 / 3, 20 / 3)))
  statics <- c(list(static_item("proj", "c", 5, charToRaw("UTM32")),
                    static_item("dz", "f", 2, f4(c(4, 1))),
                    static_item("elemBathy", "f", 2, f4(c(4.5, 3))),
                    static_item("mesh", "c", length(mesh), mesh)),
               statics_extra)
  items <- c(i32(c(2, 5)), charToRaw("depth"))
  statics <- do.call(c, statics)
  headerSize <- 128 + length(items) + length(statics)
  head <- c(i32(c(8, 0, 0, 1)), f4(pi), f4(0), i32(c(0, headerSize)),
            i32(c(1e9, 0)), f4(60), i32(c(nt, 1, 128, 4 + length(statics_extra),
                                          128 + length(items), 2)))
  head <- c(head, raw(128 - length(head)))
  data <- f4(c(1.5, 2.5, 11.5, 12.5)[seq_len(2 * nt)])
  writeBin(c(head, items, statics, data), file)
  invisible(file)
}

test_that("a file written with writeBin is read by the package", {
  d <- fresh_dir()
  f <- file.path(d, "hand.emb")
  write_emb_by_hand(f, list(
    static_item("counts", "int", 3, i32(c(7, -8, 9))),
    static_item("weights", "double", 2, f8(c(0.1, 1e300))),
    static_item("counts", "int", 1, i32(1)),
    static_item("short", "int", 5, i32(c(1, 2))),
    static_item("chars", "c", 2, charToRaw("ab"))))
  r <- openHSFile(f)
  h <- getHeader(r)
  expect_identical(h$noElem, 2L)
  expect_identical(h$noNode, 4L)
  expect_identical(h$nodeXCoor, c(0, 10, 10, 0))
  expect_identical(h$elemNodes, list(c(0, 1, 2), c(0, 2, 3)))
  expect_identical(h$startDT, structure(1e9, tzone = "GMT", class = c("POSIXct", "POSIXt")))
  expect_identical(h$timestep, 60)
  expect_identical(h$noTimestep, 2L)
  expect_identical(h$dz, c(4, 1))
  expect_identical(h$layerDepth, c(3, 0.5))
  expect_identical(h$elemBathy, c(4.5, 3))
  expect_identical(h$itemNames, "depth")
  expect_identical(h$itemLengths, 2)
  expect_identical(readItemData(r, 0, 1), c(11.5, 12.5))
  expect_identical(readTimeseries(r, 0, 1, 0), c(2.5, 12.5))

  expect_identical(getStaticItem(r, "counts"), c(7, -8, 9))
  expect_identical(getStaticItem(r, "weights"), c(0.1, 1e300))
  expect_identical(getStaticItem(r, "absent"), numeric(0))
  expect_identical(getStaticItem(r, "count"), numeric(0))
  expect_error(getStaticItem(r, "chars"), "Unsupported static item type.", fixed = TRUE)
  # The model's own blocks are taken into the model description, not kept.
  expect_identical(getStaticItem(r, "dz"), numeric(0))
  e <- condition_of(getStaticItem(r, "short"))
  expect_identical(conditionMessage(e),
                   "getStaticItem: static item 'short' holds 8 bytes, fewer than its count of 5 values needs.")
  expect_false(inherits(e, "C++Error"))
})
