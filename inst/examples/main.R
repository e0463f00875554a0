# Builds a small model in R, writes a result file of several timesteps,
# opens it again and prints its header and some of its data.
library(HestorTools)

# Five nodes: the corners of a 100 m square and a node near its centre;
# four triangles around that node. Node and element numbers are 0-based.
header <- list(
  noNode = 5L, noElem = 4L,
  nodeXCoor = c(0, 100, 100, 0, 48),
  nodeYCoor = c(0, 0, 100, 100, 52),
  elemNodes = list(c(0, 1, 4), c(1, 2, 4), c(2, 3, 4), c(3, 0, 4)),
  proj = "UTM32", modeltype = "water",
  startDT = as.POSIXct("2024-06-01 00:00:00", tz = "GMT"), timestep = 3600,
  # Three layers, bottom layer first: 3 m, 2 m and a 1 m surface layer.
  noLayer = 3L, dz = c(3, 2, 1),
  # Bottom depth of each element: 3, 2, 1 and 3 layers deep.
  elemBathy = c(5.5, 2.5, 0.8, 4.0),
  itemNames = c("temperature", "waterlevel"),
  itemLengths = c(9, 4)    # one value per cell; one value per element
)

file <- file.path(tempdir(), "example.emb")
w <- writeHSFile(header, file, "emb")
for (t in 0:5) {
  # Warmer towards the surface and through the day.
  temperature <- 10 + 0.5 * t + c(0, 1, 2, 1, 2, 2, 0, 1, 2)
  waterlevel <- 0.2 * sin(2 * pi * t / 12.4) + c(0, 0.01, 0.02, 0.01)
  writeHSData(w, temperature)
  writeHSData(w, waterlevel)
}
writeHSDataClose(w)

r <- openHSFile(file)
h <- getHeader(r)
str(h)
cat("timesteps:", totalTimesteps(r), "\n")
cat("temperature, timestep 5, all cells:\n")
print(readItemData(r, 0, 5))
cat("temperature, timestep 5, deepest layer (NA where an element is shallower):\n")
print(readLayer(r, 0, 5, 0))
cat("temperature, timestep 5, surface layer:\n")
print(readLayer(r, 0, 5, 2))
cat("water level of element 2 over time:\n")
print(data.frame(time = h$startDT + h$timestep * seq(0, totalTimesteps(r) - 1),
                 level = readTimeseries(r, 1, 2, 999)))
cat("temperature profile of element 0 at timestep 5 (bottom first):\n")
print(readProfile(r, 0, 5, 0))

# Queries on the mesh and the layers.
cat("element holding the point (70, 20):", pointElem(r, 70, 20), "\n")
cat("bottom layer of each element:", getBottomLayerIdx(r), "\n")
# A vertical section from west to east through the middle of the square:
# the elements crossed, the distance along the line to the end of each
# stretch (-1: outside the mesh), and the section as a mesh of its own with
# one quadrilateral per cell.
s <- intersectionVMesh(r, c(-10, 110), c(40, 40))
print(data.frame(element = s$IntersecElem, distance = s$IntersecDist))
cat("section mesh:", s$IntersecHeader$noElem, "cells,", s$IntersecHeader$noNode, "nodes\n")
