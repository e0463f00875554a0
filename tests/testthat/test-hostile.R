# Damaged and unexpected input: every case is an R error and the session goes on.

test_that("truncated files are refused", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  bytes <- readBin(f, "raw", file.size(f))
  headerSize <- readBin(bytes[29:32], "integer", size = 4, endian = "little")
  cut <- file.path(d, "cut.emb")
  for (n in c(0, 3, 20, 50, 127, 130, 150, 200, headerSize - 1)) {
    writeBin(bytes[seq_len(n)], cut)
    expect_error(openHSFile(cut), info = n)
  }
  # Cut within the records: the file cannot hold the timesteps its header counts.
  for (n in c(headerSize, headerSize + 10, length(bytes) - 1)) {
    writeBin(bytes[seq_len(n)], cut)
    expect_error(openHSFile(cut), "c++ exception (unknown reason)", fixed = TRUE, info = n)
  }
})

test_that("folders, text files and foreign content are refused", {
  d <- fresh_dir()
  expect_error(openHSFile(d), "readHeader failed.", fixed = TRUE)
  sub <- file.path(d, "folder.emb")
  dir.create(sub)
  expect_error(openHSFile(sub), "readHeader failed.", fixed = TRUE)
  expect_error(writeHSFile(small_header(), sub, "emb"))
  expect_true(dir.exists(sub))
  txt <- file.path(d, "notes.emb")
  writeLines(c("This is not a result file.", strrep("x", 300)), txt)
  expect_error(openHSFile(txt), "c++ exception (unknown reason)", fixed = TRUE)
  expect_match(condition_of(openHSFile(txt))$reason, "readHeader: not a result file: ", fixed = TRUE)
  expect_error(writeHSFile(small_header(), file.path(d, "no", "such", "a.emb"), "emb"),
               paste0("writeHSFile: the folder '", file.path(d, "no", "such"), "' does not exist."),
               fixed = TRUE)
})

test_that("huge counts in a file header are refused", {
  d <- fresh_dir()
  f <- write_small(file.path(d, "run.emb"))
  bytes <- readBin(f, "raw", file.size(f))
  patch <- function(offset, value) {
    b <- bytes
    b[offset + 1:4] <- writeBin(as.integer(value), raw(), size = 4, endian = "little")
    g <- file.path(d, "patched.emb")
    writeBin(b, g)
    g
  }
  for (at in c(28, 48, 56, 64)) {       # header size, items, static items, layers
    for (value in c(.Machine$integer.max, -5L)) {
      expect_error({ r <- openHSFile(patch(at, value)); readItemData(r, 0, 0) },
                   info = paste(at, value))
    }
  }
  # A huge item length in the directory.
  expect_error({ r <- openHSFile(patch(128, .Machine$integer.max)); readItemData(r, 0, 0) })
})

test_that("arguments of the wrong type are refused", {
  r <- openHSFile(write_small(file.path(fresh_dir(), "run.emb")))
  expect_error(readItemData(r, "a", 0))
  expect_error(readItemData(r, NULL, 0))
  expect_error(readItemDataElem(r, 0, 0, "a"))
  expect_error(getStaticItem(r, c("a", "b")))
  expect_error(openHSFile(NA_character_), "readHeader failed.", fixed = TRUE)
  expect_error(writeHSFile(42, "a.emb", "emb"))
  expect_error(writeHSFile(small_header(), c("a", "b"), "emb"))
  expect_identical(readItemData(r, 1, 0), f32(level_values(0)))
})
