// Writes the seed corpora of the fuzz targets: small valid files, the binary
// ones made by the library's own writer. Older header versions, which the
// writer no longer produces, are re-laid from a version 8 file.
//
// Usage: makeSeeds <corpus folder>   (run by run.sh seeds)

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ZException.h"
#include "hsMesh2D.h"
#include "hsResultFile.h"

using hestor::hsResultFile;

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<char>;

// Two unit squares, the right edge an open boundary.
const char* const squaresMesh =
    "6 2\n0 0 99\n1 0 99\n1 1 99\n0 1 99\n2 0 1\n2 1 1\n0 1 2 3\n1 4 5 2\n";
const char* const trianglesMesh = "4 2\n0 0 99\n1 0 99\n1 1 99\n0 1 99\n0 1 2\n0 2 3\n";

void put(const fs::path& p, const Bytes& b)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

void put(const fs::path& p, const std::string& s) { put(p, Bytes(s.begin(), s.end())); }

Bytes slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Out {
    Bytes b;
    template <typename T>
    Out& num(T v)
    {
        const char* c = reinterpret_cast<const char*>(&v);
        b.insert(b.end(), c, c + sizeof v);
        return *this;
    }
    Out& raw(const Bytes& v)
    {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Out& str(const std::string& s) { return raw(Bytes(s.begin(), s.end())); }
};

template <typename T>
T at(const Bytes& b, size_t& pos)
{
    T v;
    std::memcpy(&v, b.data() + pos, sizeof v);
    pos += sizeof v;
    return v;
}

// ------------------------------------------------------------ writer seeds

struct ItemSpec {
    std::string name;
    int length; // -1 cells, -2 elements, -3 face-cells
};

// The squares model: 3 layers of 1 m, bottoms 2.5 m and 1.2 m (5 cells).
void fillModel(hsResultFile& f, const char* mesh)
{
    f.mInfo.mesh2d.fromString(mesh, -1);
    const int noe = f.mInfo.mesh2d.noe;
    f.mInfo.noLayer = 3;
    f.mInfo.adoptDz(new double[3]{1, 1, 1}, 3);
    double* bathy = new double[noe];
    for (int e = 0; e < noe; ++e)
        bathy[e] = e % 2 ? 1.2 : 2.5;
    f.mInfo.adoptElemBathy(bathy, noe);
    f.mInfo.startDT = 1600000000LL;
    f.mInfo.timestep = 600;
    f.mInfo.modeltype = 10;
    f.mInfo.headerField3 = 3;
    f.mInfo.init();
}

Bytes writeModel(const std::string& dir, const char* mesh, const std::vector<ItemSpec>& items,
                 int steps, bool extraStatic)
{
    const std::string path = dir + "/seed.emb";
    std::remove(path.c_str());
    static float extra[3] = {1.5f, -2.f, 1e-30f};
    {
        hsResultFile f(path, hestor::EMB);
        fillModel(f, mesh);
        if (extraStatic)
            f.addStaticItem("extra", extra, 3, -1);
        for (const ItemSpec& it : items) {
            const int n = it.length == -1 ? f.mInfo.noCells
                          : it.length == -2 ? f.mInfo.mesh2d.noe
                          : it.length == -3 ? f.mInfo.noFaceCells
                                            : it.length;
            f.addItem(it.name, n);
        }
        f.writeHeader();
        for (int t = 0; t < steps; ++t)
            for (int i = 0; i < f.nItem(); ++i) {
                std::vector<float> v(static_cast<size_t>(f.itemLengthVec[i]));
                for (size_t j = 0; j < v.size(); ++j)
                    v[j] = static_cast<float>(t * 100 + i * 10 + static_cast<int>(j));
                if (!v.empty() && i == 0)
                    v.back() = -1e-30f;
                f.writeData(v.data(), static_cast<int>(v.size()));
            }
        f.flushBuf();
    }
    return slurp(path);
}

// ------------------------------------------------------------ older layouts

struct StaticRec {
    std::string name, type;
    int32_t count;
    Bytes data;
};

struct Parsed {
    int32_t layerType, hf3, modeltype, nt, noLayer;
    float offsetDepth, timestep;
    int64_t startDT;
    std::vector<std::pair<int32_t, std::string>> items;
    std::vector<StaticRec> statics;
    Bytes data;
};

Parsed parseV8(const Bytes& b)
{
    Parsed p;
    size_t pos = 4;
    p.layerType = at<int32_t>(b, pos);
    p.hf3 = at<int32_t>(b, pos);
    pos += 8;
    p.offsetDepth = at<float>(b, pos);
    p.modeltype = at<int32_t>(b, pos);
    const int32_t headerSize = at<int32_t>(b, pos);
    p.startDT = at<int64_t>(b, pos);
    p.timestep = at<float>(b, pos);
    p.nt = at<int32_t>(b, pos);
    const int32_t nItems = at<int32_t>(b, pos);
    pos += 4;
    const int32_t nStatics = at<int32_t>(b, pos);
    pos += 4;
    p.noLayer = at<int32_t>(b, pos);
    pos = 128;
    for (int i = 0; i < nItems; ++i) {
        const int32_t len = at<int32_t>(b, pos);
        const int32_t nl = at<int32_t>(b, pos);
        p.items.emplace_back(len, std::string(b.data() + pos, static_cast<size_t>(nl)));
        pos += static_cast<size_t>(nl);
    }
    for (int i = 0; i < nStatics; ++i) {
        StaticRec s;
        const int32_t bl = at<int32_t>(b, pos);
        s.count = at<int32_t>(b, pos);
        const int32_t nl = at<int32_t>(b, pos);
        const int32_t tl = at<int32_t>(b, pos);
        s.name.assign(b.data() + pos, static_cast<size_t>(nl));
        pos += static_cast<size_t>(nl);
        s.type.assign(b.data() + pos, static_cast<size_t>(tl));
        pos += static_cast<size_t>(tl);
        if (s.count >= 1) {
            s.data.assign(b.data() + pos, b.data() + pos + bl);
            pos += static_cast<size_t>(bl);
        }
        p.statics.push_back(s);
    }
    if (pos != static_cast<size_t>(headerSize))
        throw std::runtime_error("seed: unexpected version 8 layout");
    p.data.assign(b.begin() + headerSize, b.end());
    return p;
}

// Versions 0 and 1 store node types one higher (closed boundary 99 as 0);
// versions up to 6 carry no Voronoi points.
Bytes oldMesh(const Bytes& block, int version)
{
    size_t pos = 0;
    const int32_t non = at<int32_t>(block, pos), noe = at<int32_t>(block, pos);
    Bytes m(block);
    if (version <= 1)
        for (int i = 0; i < non; ++i) {
            int32_t t;
            const size_t k = 8 + 8 * static_cast<size_t>(non) + 4 * static_cast<size_t>(i);
            std::memcpy(&t, m.data() + k, 4);
            t = t == 99 ? 0 : t + 1;
            std::memcpy(m.data() + k, &t, 4);
        }
    if (version <= 6)
        m.resize(m.size() - 8 * static_cast<size_t>(noe));
    return m;
}

const StaticRec& findStatic(const Parsed& p, const std::string& name)
{
    for (const StaticRec& s : p.statics)
        if (s.name == name)
            return s;
    throw std::runtime_error("seed: no static item " + name);
}

Bytes relayout(const Parsed& p, int version)
{
    Out fixed;
    if (version >= 1)
        fixed.num<int32_t>(version).num(p.layerType);
    if (version >= 5)
        fixed.num(p.hf3).num<int32_t>(1).num(3.1415927f).num(p.offsetDepth);
    const size_t sizeAt = fixed.b.size() + 4;
    fixed.num(p.modeltype).num<int32_t>(0).num(static_cast<int32_t>(p.startDT)).num(p.timestep);
    fixed.num(p.nt).num(static_cast<int32_t>(p.items.size()));
    const size_t dirOffsetAt = fixed.b.size();
    const int32_t nStatics = version >= 3 ? static_cast<int32_t>(p.statics.size()) : 3;
    fixed.num<int32_t>(0).num(nStatics).num<int32_t>(0).num(p.noLayer);
    const int32_t dirOffset = static_cast<int32_t>(fixed.b.size());

    Out dir;
    for (const auto& it : p.items) {
        if (version >= 1)
            dir.num(it.first);
        dir.num(static_cast<int32_t>(it.second.size())).str(it.second);
    }
    const int32_t staticOffset = dirOffset + static_cast<int32_t>(dir.b.size());

    Out st;
    if (version >= 3) {
        for (const StaticRec& s : p.statics) {
            const Bytes d = s.name == "mesh" ? oldMesh(s.data, version) : s.data;
            const int32_t count = s.name == "mesh" ? static_cast<int32_t>(d.size()) : s.count;
            st.num(static_cast<int32_t>(d.size())).num(count);
            st.num(static_cast<int32_t>(s.name.size())).num(static_cast<int32_t>(s.type.size()));
            st.str(s.name).str(s.type).raw(d);
        }
    } else {
        const Bytes mesh = oldMesh(findStatic(p, "mesh").data, version);
        const StaticRec& bathy = findStatic(p, "elemBathy");
        const StaticRec& dz = findStatic(p, "dz");
        st.num(static_cast<int32_t>(bathy.data.size())).num(bathy.count);
        st.num(static_cast<int32_t>(mesh.size())).num(static_cast<int32_t>(mesh.size()));
        st.num(static_cast<int32_t>(dz.data.size())).num(dz.count);
        st.raw(bathy.data).raw(mesh).raw(dz.data);
    }

    Out all;
    all.raw(fixed.b).raw(dir.b).raw(st.b);
    const int32_t headerSize = static_cast<int32_t>(all.b.size());
    std::memcpy(all.b.data() + sizeAt, &headerSize, 4);
    std::memcpy(all.b.data() + dirOffsetAt, &dirOffset, 4);
    std::memcpy(all.b.data() + dirOffsetAt + 8, &staticOffset, 4);
    all.raw(p.data);
    return all.b;
}

// ------------------------------------------------------------ mesh seeds

hestor::hsMesh2D meshOf(const char* text)
{
    hestor::hsMesh2D m;
    m.fromString(text, -1);
    return m;
}

Bytes withPrefix(uint8_t first, const Bytes& rest)
{
    Bytes b(1, static_cast<char>(first));
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

Bytes text(uint8_t first, const std::string& s)
{
    return withPrefix(first, Bytes(s.begin(), s.end()));
}

Bytes binaryBlock(hestor::hsMesh2D& m)
{
    char* raw = nullptr;
    const int n = m.toBinary(raw);
    std::unique_ptr<char[]> own(raw);
    return Bytes(raw, raw + n);
}

void meshSeeds(const fs::path& root)
{
    hestor::hsMesh2D squares = meshOf(squaresMesh), triangles = meshOf(trianglesMesh);
    const Bytes sq = binaryBlock(squares), tri = binaryBlock(triangles);
    // Prefix byte b: version b % 10 - 1.
    put(root / "meshBinary" / "squares_v8", withPrefix(9, sq));
    put(root / "meshBinary" / "squares_standalone", withPrefix(0, oldMesh(sq, 6)));
    put(root / "meshBinary" / "triangles_v7", withPrefix(8, tri));
    put(root / "meshBinary" / "triangles_v0", withPrefix(1, oldMesh(tri, 0)));
    put(root / "meshBinary" / "squares_v6_voronoi", withPrefix(7, sq));

    // Prefix byte b: b % 11 == 0 a .mesh file, else fromString with version b % 11 - 2.
    put(root / "meshText" / "squares_file", text(0, squares.toString()));
    put(root / "meshText" / "squares_v8", text(10, squares.toString()));
    put(root / "meshText" / "triangles_plain", text(1, trianglesMesh));
    put(root / "meshText" / "triangles_v0", text(2, "4,2\n0;0;0\n1;0;0\n1;1;0\n0;1;2\n0 1 2\n0\t2\t3\n"));
    put(root / "meshText" / "square_template", text(1, "4 1\n0 0\n1 0\n1 1\n0 1\n0 1 2 3\n"));
    put(root / "meshText" / "triangle_voronoi_crlf",
        text(1, "3 1 1\r\n0 0 99\r\n1 0 99\r\n0 1 99\r\n0 1 2\r\n0.3 0.3\r\n"));
}

// ------------------------------------------------------------ text seeds

void textSeeds(const fs::path& root)
{
    const fs::path t0 = root / "text0D", t1 = root / "text1D";
    put(t0 / "named", "Date\tflow\tlevel\n"
                      "2012-06-01 00:00:00\t1.5\t2.5\n"
                      "2012-06-01 01:00:00\t1.75\t\n"
                      "2012-06-01 02:00:00\t2,3\n");
    put(t0 / "unnamed_crlf", "2012-06-01\t1.5\t2.5\r\n\r\n2012-06-02\t-1e-30\t7\r\n");
    put(t0 / "commas", "time,a,b,c\n2020-01-01 12:30:00\t1,,3\n2020-01-01 13:30:00\tx,2,3e2\n");
    put(t1 / "profiles", "Date\ttemp\tsalt\n"
                         "2012-06-01 00:00:00\t10.5\t30\n"
                         "2012-06-01 00:00:00\t11\t30.5\n"
                         "2012-06-01 00:00:00\t12\t\n"
                         "2012-06-01 06:00:00\t9.5\t29\n"
                         "2012-06-01 06:00:00\t10,31\n");
    put(t1 / "unnamed", "2012-06-01\t1\t2\n2012-06-01\t3\t4\n2012-06-02\t5\t6\n");
}

// ------------------------------------------------------------ set-up text seeds

void setupSeeds(const fs::path& root)
{
    // Prefix byte b: mesh b & 3 (one triangle, two squares, four triangles),
    // b >> 2 & 3 layers less one, b & 0x80 the file form.
    const fs::path b = root / "bathymetry";
    put(b / "list_squares", text(1 | 2 << 2, "2.5,1.2"));
    put(b / "list_triangle", text(0, "4.5,"));
    put(b / "number_four", text(2 | 3 << 2, "7.5"));
    put(b / "file_squares_layers", text(0x80 | 1 | 2 << 2, "2.5\t3\n1.2 1\n"));
    put(b / "file_four_crlf", text(0x80 | 2 | 1 << 2, "6;2\r\n2.5\r\n\r\n0.8;1\r\n5.3\r\n"));

    // Prefix byte: the offset depth (0, 0.25, -1, 2, ...); layers, then after
    // a NUL byte the bathymetry.
    const fs::path s = root / "setupText";
    put(s / "three_layers", text(0, "1,1,1"));
    put(s / "offset_list", text(1, std::string("0.5,1.5,2\0" "2.5,1.2", 17)));
    put(s / "layer_counts", text(3, std::string("2,1\0" "3 2,1.5 1", 13)));

    // Prefix byte b: start b % 5, timestep length b / 5 % 8 (600, 0.5, ...).
    const fs::path d = root / "dateTimeText";
    put(d / "date", text(0, "2012-06-01 00:00:00"));
    put(d / "timestep", text(0, "12"));
    put(d / "list", text(0, "2012-06-01 00:00:00,3,,2012-06-02"));
    put(d / "half_seconds", text(5, "3"));

    const fs::path u = root / "timeUnits";
    put(u / "hours", std::string("hours since 1970-01-01 00:00:00"));
    put(u / "minutes_1900", std::string("minutes since 1900-01-01 00:00:00"));
    put(u / "seconds_short_month", std::string("seconds since 1970-1-1 00:00:00"));
    put(u / "date_only", std::string("Hours since 1970-01-01"));
    put(u / "secs", std::string("secs since 2000-01-01 00:00:00"));
}

// ------------------------------------------------------------ result seeds

void resultSeeds(const fs::path& root, const std::string& work)
{
    const fs::path r = root / "resultFile", old = root / "resultFileOld";
    const std::vector<ItemSpec> two = {{"a", -1}, {"b", -2}};
    const Bytes v8 = writeModel(work, squaresMesh, two, 2, false);
    put(r / "v8_squares.emb", v8);
    put(r / "v8_triangles_extra.emb", writeModel(work, trianglesMesh, two, 1, true));
    put(r / "v8_header_only.emb", writeModel(work, squaresMesh, two, 0, false));
    put(r / "v8_restart.emb", writeModel(work, squaresMesh, {{"hdrst_u", -1}}, 1, false));
    put(r / "v8_decoupled.emb", writeModel(work, squaresMesh, {{"uFlux", -3}, {"w", -1}}, 1, false));
    const Parsed p = parseV8(v8);
    for (int version : {1, 2, 3, 5})
        put(r / ("v" + std::to_string(version) + "_squares.emb"), relayout(p, version));
    // Version 0: every item has one value per cell.
    const Parsed cells = parseV8(writeModel(work, squaresMesh, {{"a", -1}}, 2, false));
    put(old / "v0_squares.emb", relayout(cells, 0));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: makeSeeds <corpus folder>\n";
        return 2;
    }
    char tmpl[] = "/tmp/hestor-seeds.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string work = tmpl;
    int rc = 0;
    try {
        const fs::path root = argv[1];
        resultSeeds(root, work);
        meshSeeds(root);
        textSeeds(root);
        setupSeeds(root);
    } catch (const ZCoreLib::ZException& e) {
        std::cerr << "makeSeeds: " << e.message << "\n";
        rc = 1;
    } catch (const std::exception& e) {
        std::cerr << "makeSeeds: " << e.what() << "\n";
        rc = 1;
    }
    fs::remove_all(work);
    return rc;
}
