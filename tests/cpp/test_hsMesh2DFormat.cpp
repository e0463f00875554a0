// The mesh's text, binary and XML forms and reading mesh files, including
// damaged and truncated input.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ZException.h"
#include "ZPoly.h"
#include "hsMesh2D.h"
#include "testUtil.h"

using hestor::hsMesh2D;
using ZCoreLib::ZException;

namespace {

// Two quads and a triangle, one open boundary (type 1) on the left side.
const std::string kText =
    "6 3 3\n"
    "0 0 1\n"
    "10 0 0\n"
    "20 0 0\n"
    "0 10 1\n"
    "10 10 0\n"
    "20 10 0\n"
    "0 1 4 3\n"
    "1 2 4\n"
    "2 5 4\n"
    "5 4\n"
    "15 1.5\n"
    "17.5 7.5\n";

std::vector<char> binary(hsMesh2D& m) {
    char* b = nullptr;
    const int n = m.toBinary(b);
    std::vector<char> v(b, b + n);
    delete[] b;
    return v;
}

void putI32(std::vector<char>& b, std::size_t at, std::int32_t v) {
    for (int k = 0; k < 4; k++) b[at + k] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xff);
}

std::int32_t getI32(const std::vector<char>& b, std::size_t at) {
    std::uint32_t u = 0;
    for (int k = 0; k < 4; k++) u |= std::uint32_t(static_cast<unsigned char>(b[at + k])) << (8 * k);
    return static_cast<std::int32_t>(u);
}

// A file of the given content in the test's folder; returns its path.
std::string put(const testutil::TempDir& dir, const std::string& name, const std::string& content) {
    const std::string p = dir.at(name);
    testutil::writeText(p, content);
    return p;
}

} // namespace

TEST(hsMesh2DFormat, TextRoundTrip) {
    hsMesh2D m;
    EXPECT_EQ(m.fromString(kText, -1), 0);
    EXPECT_EQ(m.non, 6);
    EXPECT_EQ(m.noe, 3);
    EXPECT_TRUE(m.voronoiPopped);
    EXPECT_EQ(m.eVoronoiX[1], 15.0);
    EXPECT_EQ(m.eVoronoiY[2], 7.5);
    EXPECT_EQ(m.enon[0], 4);
    EXPECT_EQ(m.en[4], 1);
    EXPECT_EQ(m.nt[0], 1);
    // The written text reads back into the same tables and writes identically.
    const std::string t = m.toString();
    EXPECT_EQ(t.substr(0, 6), "6 3 3\n");
    hsMesh2D back;
    back.fromString(t, -1);
    EXPECT_EQ(back.toString(), t);
    EXPECT_EQ(binary(back), binary(m));
}

TEST(hsMesh2DFormat, TextPrecisionAndTemplate) {
    hsMesh2D m;
    m.fromString("3 1 1\n512345.1234567 6012345.5 0\n512355.1 6012345.5 0\n512345.1 6012355.5 0\n0 1 2\n"
                 "512348.25 6012348.75\n",
                 -1);
    const std::string t = m.toString();
    EXPECT_NE(t.find("512345.1235 6012345.5 99\n"), std::string::npos) << t;
    EXPECT_EQ(t.substr(t.size() - 21), "512348.25 6012348.75\n");

    hsMesh2D sq;
    sq.fromString(sq.square0DMeshStr, -1);
    EXPECT_EQ(sq.non, 4);
    EXPECT_EQ(sq.noe, 1);
    for (int i = 0; i < 4; i++) EXPECT_EQ(sq.nt[i], 99);
    EXPECT_DOUBLE_EQ(sq.eVoronoiX[0], 0.5);
    EXPECT_DOUBLE_EQ(sq.eVoronoiY[0], 0.5);
}

TEST(hsMesh2DFormat, SeparatorsLineEndsAndTypeConversion) {
    const std::string mixed = "3,1\n0;0;2\n1;0;2\n0;1;2\n0\t1 ,2\n";
    hsMesh2D a;
    a.fromString(mixed, -1);
    EXPECT_EQ(a.non, 3);
    EXPECT_EQ(a.nt[0], 2);
    EXPECT_FALSE(a.eVoronoiX == nullptr);
    hsMesh2D b;
    b.fromString(mixed, 0);  // versions 0 and 1 store types one higher
    EXPECT_EQ(b.nt[1], 1);
    hsMesh2D c;
    c.fromString("3 1\n0 0 1\n1 0 1\n0 1 1\n0 1 2\n", 1);
    EXPECT_EQ(c.nt[2], 99);

    std::string crlf;
    for (char ch : kText) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    hsMesh2D lf, cr;
    lf.fromString(kText, -1);
    cr.fromString(crlf, -1);
    EXPECT_EQ(cr.toString(), lf.toString());
    EXPECT_TRUE(cr.voronoiPopped);
}

TEST(hsMesh2DFormat, OptionalVoronoiLines) {
    hsMesh2D m;
    m.fromString("3 1 1\n0 0\n4 0\n0 4\n0 1 2\n1 1\n", -1);
    EXPECT_EQ(m.eVoronoiX[0], 1.0);  // the given point, not the computed circumcentre
    hsMesh2D none;
    none.fromString("3 1 1\n0 0\n4 0\n0 4\n0 1 2\n\n\n", -1);  // announced, but only blank lines
    EXPECT_NEAR(none.eVoronoiX[0], 4.0 / 3.0, 1e-12);  // right triangle: centroid
    EXPECT_EQ(testutil::thrownMessage([] { hsMesh2D x; x.fromString("4 2 2\n0 0\n4 0\n0 4\n4 4\n0 1 2\n1 3 2\n1 1\n", -1); }),
              "Mesh text: the header announces 4 nodes and 2 elements, but the text ends before the Voronoi point of "
              "element 1 (after line 8).");
}

TEST(hsMesh2DFormat, DamagedTextThrows) {
    auto msg = [](const std::string& t) { return testutil::thrownMessage([&] { hsMesh2D m; m.fromString(t, -1); }); };
    EXPECT_EQ(msg(""), "Mesh text, line 1: the header must hold the number of nodes and the number of elements.");
    EXPECT_EQ(msg("x 1\n"), "Mesh text, line 1: invalid number of nodes 'x'.");
    EXPECT_EQ(msg("3 -1\n"), "Mesh text, line 1: invalid number of elements '-1'.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n"),
              "Mesh text: the header announces 3 nodes and 1 elements, but the text ends before node 2 (after line 3).");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n"), "Mesh text: the header announces 3 nodes and 1 elements, but the text ends "
                                           "before element 0 (after line 4).");
    EXPECT_EQ(msg("3 1\n0 0\n1\n0 1\n0 1 2\n"), "Mesh text, line 3: node 1 needs x and y.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n0 1\n"), "Mesh text, line 5: element 0 has 2 nodes; an element needs at least 3.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n0 1 3\n"), "Mesh text, line 5: element 0 refers to node 3, outside 0..2.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n0 -1 2\n"), "Mesh text, line 5: element 0 refers to node -1, outside 0..2.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n0 1 x\n"), "Mesh text, line 5: element 0: node id 'x' is not one of 0..2.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n0 1\n0 1 2 2\n"), "Mesh text, line 5: element 0 has 4 nodes, more than the mesh's 3.");
    EXPECT_EQ(msg("4 1\n0 0\n1 0\n0 1\n1 1\n0 1 1 2\n"), "Mesh text, line 6: element 0 holds node 1 twice.");
    EXPECT_EQ(msg("3 1\n0 0\n1 0\n2 0\n0 1 2\n"), "Mesh text, line 5: element 0 has area 0: its nodes lie on one "
                                                   "line or its sides cross.");
    // A header promising far more than the text holds fails on the text, not on memory.
    EXPECT_EQ(msg("2000000000 2000000000\n0 0\n"), "Mesh text: the header announces 2000000000 nodes and 2000000000 "
                                                   "elements, but the text ends before node 1 (after line 2).");
    // A failed read leaves the mesh as it was.
    hsMesh2D m;
    m.fromString(kText, -1);
    EXPECT_THROW(m.fromString("3 1\n0 0\n", -1), ZException);
    EXPECT_EQ(m.noe, 3);
    EXPECT_EQ(m.toString(), [] { hsMesh2D r; r.fromString(kText, -1); return r.toString(); }());
}

TEST(hsMesh2DFormat, BinaryLayoutAndRoundTrip) {
    hsMesh2D tri;
    tri.fromString("3 1 1\n0 0\n4 0\n0 4\n0 1 2\n1 1\n", -1);
    EXPECT_EQ(binary(tri).size(), 68u);

    hsMesh2D m;
    m.fromString(kText, -1);
    const std::vector<char> b = binary(m);
    ASSERT_EQ(b.size(), 8u + 12 * 6 + 12 * 3 + 4 * 10);
    EXPECT_EQ(getI32(b, 0), 6);
    EXPECT_EQ(getI32(b, 4), 3);
    float x1;
    std::memcpy(&x1, &b[8 + 4], 4);  // little-endian host
    EXPECT_EQ(x1, 10.0f);
    EXPECT_EQ(getI32(b, 8 + 12 * 6), 4);               // enon[0]
    EXPECT_EQ(getI32(b, 8 + 12 * 6 + 12 + 4 * 9), 4);  // last node id

    hsMesh2D back;
    back.fromBinary(b.data(), b.size(), 7);
    EXPECT_EQ(binary(back), b);
    EXPECT_EQ(back.toString(), m.toString());
}

// Float32 steps are 1 m at a northing of 9999900 (1/32 m in x at 500000), 0.5 m at 6e6,
// 1e-7 degrees in lon/lat. Meshes they cannot hold are refused; a Voronoi point 0.2-0.3 m
// inside a boundary face would be stored on it, so it moves strictly inside its element:
// a triangle's to its centroid, a dart's (centroid outside it) to another stored point.
TEST(hsMesh2DFormat, BinaryHoldsWhatFloatsCanHoldOnly) {
    const std::string in32 = " once the coordinates are stored as 32-bit floats";
    const std::string rows[][3] = {  // mesh, projection, refusal after "toBinary: element 0 (nodes 0, 1, 2"
        {"4 2 2\n500000 6000000\n500100 6000000\n500100 6000100\n500000 6000100\n0 1 2\n0 2 3\n500050 6000000.2\n"
         "500040 6000060\n", "UTM32", ""},
        {"4 1 1\n500000 9999900\n500010 9999905\n500000 9999910\n500006 9999905\n0 1 2 3\n500008 9999904.3\n", "UTM32", ""},
        {"3 1 1\n170 -40\n170.001 -40\n170 -39.999\n0 1 2\n170.0003 -39.9999999\n", "LONLAT", ""},
        {"5 1\n500000 9999900\n500100 9999900\n500100 10000000\n500000 9999999.9\n500000 9999999.6\n0 1 2 3 4\n", "UTM32",
         ", 3, 4) has a side of length 0: nodes 3 and 4 lie at one point" + in32 + "."},
        {"3 1\n500000 9999900\n500010 9999900\n500005 9999900.4\n0 1 2\n", "UTM32",
         ") has area 0: its nodes lie on one line or its sides cross" + in32 + "."},
        {"3 1\n500000 9999900.6\n500010 9999901.6\n500005 9999901.4\n0 1 2\n", "UTM32",
         ") turns over" + in32 + ": its nodes run the other way round, and its sides cross those of its neighbours."},
        // Its circumcentre, 0.05 m inside face 0-1, is stored 0.12 m past it (0.5 m steps at northing 2^22).
        {"3 1\n800001.714705 4194304.62817\n800004.039563 4194303.72334\n800002.843702 4194305.42824\n0 1 2\n", "UTM32", ""},
        // Three float steps wide at x = 1, its widest rows 2^26 rows below its centroid's.
        {"5 1\n1 0.0005\n1.00000035762786865234375 0.001\n1.00000011920928955078125 0.002\n1.000000166893005 1\n1 1\n"
         "0 1 2 3 4\n", "UTM32", ""},
        // The centroid's nearest float, and every float of its row inside, lie on the left faces' line.
        {"5 1\n500000 9999900\n500000.0625 9999901\n500000 9999910\n500000 9999909\n500000 9999908\n0 1 2 3 4\n",
         "UTM32", ""},
        // No float point lies strictly between the two rows of the grid.
        {"3 1\n500000 9999900\n500010 9999900\n500005 9999901\n0 1 2\n", "UTM32",
         ") is too thin to keep its Voronoi point off boundary face 0" + in32 +
             ": no 32-bit point lies strictly inside it and off its faces."},
        // A sliver under 1.2 steps wide spanning 2^20 rows: searched in part, and the refusal says so.
        {"3 1 1\n500000 9000000\n565536 10048576\n565535.9625 10048576\n0 1 2\n532767.9999999 9524288.000001\n", "UTM32",
         ") is too thin to keep its Voronoi point off boundary face 0" + in32 + ": no 32-bit point strictly inside it and "
         "off its faces lies on the 2955 rows and columns of the float grid searched, nearest its centroid and through its "
         "nodes, of the 1048575 rows and 1437183 columns it spans."}};
    for (const auto& row : rows) {
        hsMesh2D m, back;
        m.proj = back.proj = row[1];
        m.fromString(row[0], -1);
        if (!row[2].empty()) {
            EXPECT_EQ(testutil::thrownMessage([&] { binary(m); }), "toBinary: element 0 (nodes 0, 1, 2" + row[2]);
            continue;
        }
        const std::vector<char> b = binary(m);
        ASSERT_NO_THROW(back.fromBinary(b.data(), b.size(), 7)) << row[0];
        const double px = back.eVoronoiX[0], py = back.eVoronoiY[0];
        EXPECT_TRUE(ZCoreLib::ZPoly::inPoly(back.enon[0], back.enX, back.enY, px, py)) << row[0];
        for (int k = 0; k < back.enon[0]; k++) {
            const int j = (k + 1) % back.enon[0];
            EXPECT_NE((back.enX[j] - back.enX[k]) * (py - back.enY[k]), (back.enY[j] - back.enY[k]) * (px - back.enX[k]));
        }
        if (back.noe == 2) {
            EXPECT_EQ(back.eVoronoiY[0], static_cast<float>(m.eY[0]));
            EXPECT_EQ(back.eVoronoiY[1], 6000060.0);
        }
    }
}

TEST(hsMesh2DFormat, BinaryVersions) {
    hsMesh2D m;
    m.fromString("3 1 1\n0 0 2\n4 0 2\n0 4 2\n0 1 2\n1 1\n", -1);
    const std::vector<char> b = binary(m);
    hsMesh2D v7, v6, v1;
    v7.fromBinary(b.data(), b.size(), 7);
    EXPECT_EQ(v7.eVoronoiX[0], 1.0);  // read from the block
    v6.fromBinary(b.data(), b.size(), 6);
    EXPECT_NEAR(v6.eVoronoiX[0], 4.0 / 3.0, 1e-12);  // computed: centroid of a right triangle
    // Version 6 blocks may also end before the Voronoi points.
    hsMesh2D shortV6;
    shortV6.fromBinary(b.data(), b.size() - 8, 6);
    EXPECT_EQ(shortV6.noe, 1);
    v1.fromBinary(b.data(), b.size(), 1);
    EXPECT_EQ(v1.nt[0], 1);
    hsMesh2D v0;
    std::vector<char> zero = b;
    for (int i = 0; i < 3; i++) putI32(zero, 8 + 24 + 4 * i, 0);
    v0.fromBinary(zero.data(), zero.size(), 0);
    EXPECT_EQ(v0.nt[0], 99);
}

TEST(hsMesh2DFormat, TruncatedBlocksThrow) {
    hsMesh2D m;
    m.fromString(kText, -1);
    const std::vector<char> b = binary(m);
    const std::size_t plain = b.size() - 8 * 3;
    for (std::size_t len = 0; len < b.size(); len++) {
        // A copy of exactly len bytes, so that the sanitizer sees any read past it.
        std::vector<char> cut(b.begin(), b.begin() + len);
        hsMesh2D r7;
        EXPECT_THROW(r7.fromBinary(len ? cut.data() : nullptr, len, 7), ZException) << len;
        hsMesh2D r6;
        if (len == plain)
            EXPECT_EQ(r6.fromBinary(cut.data(), len, 6), 0);
        else
            EXPECT_THROW(r6.fromBinary(len ? cut.data() : nullptr, len, 6), ZException) << len;
    }
    std::vector<char> longer = b;
    longer.push_back(0);
    hsMesh2D r;
    EXPECT_THROW(r.fromBinary(longer.data(), longer.size(), 7), ZException);
}

TEST(hsMesh2DFormat, CorruptedBlocksThrow) {
    hsMesh2D m;
    m.fromString(kText, -1);
    const std::vector<char> b = binary(m);
    const std::size_t enonAt = 8 + 12 * 6, enAt = enonAt + 12;
    auto msg = [](std::vector<char> blk, int version) {
        return testutil::thrownMessage([&] { hsMesh2D r; r.fromBinary(blk.data(), blk.size(), version); });
    };
    std::vector<char> c = b;
    putI32(c, 0, -1);
    EXPECT_EQ(msg(c, 7), "Mesh block: invalid counts: -1 nodes, 3 elements.");
    c = b;
    putI32(c, 0, 2000000000);
    EXPECT_EQ(msg(c, 7), "Mesh block: 2000000000 nodes and 3 elements need more than the block's 156 bytes.");
    c = b;
    putI32(c, 4, 4);  // a fourth element: its size is read from the first node id, 0
    EXPECT_EQ(msg(c, 7), "Mesh block: element 3 has 0 nodes; an element needs at least 3.");
    c = b;
    putI32(c, enonAt + 4, 2);
    EXPECT_EQ(msg(c, 7), "Mesh block: element 1 has 2 nodes; an element needs at least 3.");
    c = b;
    putI32(c, enonAt + 8, 1000);
    EXPECT_EQ(msg(c, 7), "Mesh block: element 2 has 1000 nodes, more than the mesh's 6.");
    c = b;
    putI32(c, enonAt + 8, 6);
    EXPECT_EQ(msg(c, 7), "Mesh block: 156 bytes do not match 6 nodes, 3 elements and 13 element node ids (168 bytes "
                         "expected for version 7).");
    c = b;
    putI32(c, enAt + 4 * 5, 6);
    EXPECT_EQ(msg(c, 7), "Mesh block: element 1 refers to node 6, outside 0..5.");
    c = b;
    putI32(c, enAt + 4 * 5, 1);
    EXPECT_EQ(msg(c, 7), "Mesh block: element 1 holds node 1 twice.");
    c = b;
    putI32(c, enAt + 4 * 6, 0);  // nodes 1, 2 and 0 lie on y = 0
    EXPECT_EQ(msg(c, 7), "Mesh block: element 1 has area 0: its nodes lie on one line or its sides cross.");
    c = b;
    putI32(c, enAt, -3);
    EXPECT_EQ(msg(c, -1), "Mesh block: element 0 refers to node -3, outside 0..5.");
    EXPECT_EQ(msg(std::vector<char>(5, 0), 7), "Mesh block: 5 bytes cannot hold the node and element counts (8 bytes).");
}

TEST(hsMesh2DFormat, XmlDescription) {
    hsMesh2D m;
    m.fileName = "lake.mesh";
    EXPECT_EQ(m.toXML(),
              "<Mesh>\n\t<Filename>lake.mesh</Filename>\n\t<Format>EMT</Format>\n\t<Projection>UTM32</Projection>\n"
              "</Mesh>\n");
}

TEST(hsMesh2DFormat, ReadMeshFromFile) {
    testutil::TempDir dir;
    std::string crlf;
    for (char ch : kText) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string text = put(dir, "a.mesh", crlf);
    // One open, which refuses a pipe, serves the check and the read: no pipe swapped in is waited on.
    const auto oneOpen = [](int opens) { return opens == 1 || opens == -1; };
    hsMesh2D t;
    EXPECT_PRED1(oneOpen, testutil::opensOf(text, [&] { EXPECT_EQ(t.readMeshFromFile(text), 0); }));
    EXPECT_EQ(t.fileName, text);
    EXPECT_EQ(t.noe, 3);
    EXPECT_EQ(t.eVoronoiX[1], 15.0);

    const std::vector<char> b = binary(t);
    const std::string bin = put(dir, "b.mesh", std::string(b.begin(), b.end()));
    hsMesh2D m;
    m.fileFmt = 1;
    EXPECT_PRED1(oneOpen, testutil::opensOf(bin, [&] { EXPECT_EQ(m.readMeshFromFile(bin), 0); }));
    EXPECT_EQ(m.noe, 3);
    EXPECT_NE(m.eVoronoiX[1], 15.0);  // a mesh file's Voronoi points are computed afresh

    const std::string empty = put(dir, "c.mesh", "");
    hsMesh2D e;
    e.fileFmt = 1;
    EXPECT_THROW(e.readMeshFromFile(empty), ZException);

    hsMesh2D f;
    f.fileFmt = 4;
    EXPECT_EQ(testutil::thrownMessage([&] { f.readMeshFromFile(text); }), "readMeshFromFile: unsupported fileformat.");
    EXPECT_EQ(testutil::thrownMessage([&] { f.readMeshFromFile(text + ".none"); }), "No such file: " + text + ".none");
    const std::string fifo = dir.path + "/p.mesh"; // there, but no file
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(testutil::thrownMessage([&] { f.readMeshFromFile(fifo); }), "readMeshFromFile: '" + fifo +
              "' is not a regular file (a pipe, a device or a socket); a mesh cannot be read from it.");
    EXPECT_EQ(testutil::thrownMessage([&] { f.readMeshFromFile(dir.path); }), "readMeshFromFile: '" + dir.path + "' is a folder, not a file.");
}
