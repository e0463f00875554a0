// The mesh's text, binary and XML forms, and reading a mesh file.
//
// Both readers check every count and node id before they touch the mesh, so
// a damaged file throws a ZException and leaves the mesh as it was.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <type_traits>
#include <vector>

#include "hsGlobal.h"
#include "hsMesh2D.h"
#include "ZCancel.h"
#include "ZFile.h"
#include "ZFileInput.h"
#include "ZMessage.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZException;
using ZCoreLib::str;

namespace {

// ---------------------------------------------------------------- text form

// One line of the text form cut into tokens at any of tab, blank, comma and
// semicolon; a carriage return (CR LF files) separates like a blank.
class LineTokens {
public:
    void cut(const char* b, const char* e) {
        toks_.clear();
        while (b < e) {
            while (b < e && isSep(*b)) b++;
            const char* s = b;
            while (b < e && !isSep(*b)) b++;
            if (b > s) toks_.emplace_back(s, b - s);
        }
    }
    std::size_t size() const { return toks_.size(); }
    const std::string& operator[](std::size_t i) const { return toks_[i]; }

private:
    static bool isSep(char c) { return c == '\t' || c == ' ' || c == ',' || c == ';' || c == '\r'; }
    std::vector<std::string> toks_;
};

class TextLines {
public:
    explicit TextLines(const std::string& t) : t_(t) {}
    // Next line (without its line feed) as tokens; false at the end of the text.
    bool next(LineTokens& toks) {
        if (pos_ > t_.size() || (pos_ == t_.size() && lineNo_ > 0 && endedWithFeed_)) return false;
        const std::size_t end = std::min(t_.find('\n', pos_), t_.size());
        toks.cut(t_.data() + pos_, t_.data() + end);
        endedWithFeed_ = end < t_.size();
        pos_ = end + 1;
        lineNo_++;
        return true;
    }
    int lineNo() const { return lineNo_; }

private:
    const std::string& t_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
    bool endedWithFeed_ = false;
};

// A decimal number at the start of the token, as a string stream reads it: 0 when there is none.
double leadingDouble(const std::string& tok) {
    const char c = tok[0];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.')) return 0.0;
    char* end = nullptr;
    const double v = std::strtod(tok.c_str(), &end);
    return (end == tok.c_str() || !std::isfinite(v)) ? 0.0 : v;
}

long long leadingInt(const std::string& tok, bool& ok) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(tok.c_str(), &end, 10);
    ok = end != tok.c_str() && errno == 0 && v >= INT_MIN && v <= INT_MAX;
    return ok ? v : 0;
}

bool wholeInt(const std::string& tok, long long& v) {
    bool ok;
    v = leadingInt(tok, ok);
    return ok && std::strspn(tok.c_str(), "+-0123456789") == tok.size();
}

ZException textError(int line, const std::string& what) {
    return ZException("Mesh text, line " + str(line) + ": " + what);
}

// ---------------------------------------------------------------- binary form

// Little-endian fields whatever the host's byte order.
class BlockReader {
public:
    BlockReader(const char* b, std::size_t n) : b_(reinterpret_cast<const unsigned char*>(b)), n_(n) {}
    std::uint32_t u32(std::size_t at) const {
        const unsigned char* p = b_ + at;
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    }
    std::int32_t i32(std::size_t at) const {
        const std::uint32_t u = u32(at);
        std::int32_t v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    double f32(std::size_t at) const {
        const std::uint32_t u = u32(at);
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    std::size_t size() const { return n_; }

private:
    const unsigned char* b_;
    std::size_t n_;
};

class BlockWriter {
public:
    explicit BlockWriter(char* b) : b_(reinterpret_cast<unsigned char*>(b)) {}
    void u32(std::uint32_t u) {
        for (int k = 0; k < 4; k++) b_[at_++] = static_cast<unsigned char>(u >> (8 * k));
    }
    void i32(std::int32_t v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        u32(u);
    }
    void f32(double d) {
        const float v = static_cast<float>(d);
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        u32(u);
    }
    std::size_t written() const { return at_; }

private:
    unsigned char* b_;
    std::size_t at_ = 0;
};

ZException blockError(const std::string& what) { return ZException("Mesh block: " + what); }

} // namespace

// Replaces the primary fields by the given tables (ownership passes to the
// mesh) and derives the rest.
int hsMesh2D::adoptPrimary(int newNon, int newNoe, int* newNt, double* newX, double* newY, int* newEnon, int* newEn,
                           double* newVorX, double* newVorY, int version) {
    releaseAll();
    non = newNon;
    noe = newNoe;
    nt = newNt;
    nX = newX;
    nY = newY;
    enon = newEnon;
    en = newEn;
    eVoronoiX = newVorX;
    eVoronoiY = newVorY;
    voronoiPopped = newVorX != nullptr;
    if (version == 0 || version == 1) convertNT(version);
    return initMesh();
}

std::string hsMesh2D::toString() {
    const bool withVoronoi = noe > 0 && eVoronoiX != nullptr && eVoronoiY != nullptr;
    std::ostringstream s;
    s.precision(10);
    s << non << ' ' << noe << ' ' << (withVoronoi ? noe : 0) << newLine;
    for (int i = 0; i < non; i++) s << nX[i] << ' ' << nY[i] << ' ' << nt[i] << newLine;
    for (int e = 0, k = 0; e < noe; e++) {
        for (int j = 0; j < enon[e]; j++, k++) s << (j ? " " : "") << en[k];
        s << newLine;
    }
    if (withVoronoi)
        for (int e = 0; e < noe; e++) s << eVoronoiX[e] << ' ' << eVoronoiY[e] << newLine;
    return s.str();
}

int hsMesh2D::fromString(const std::string& text, int version) {
    TextLines lines(text);
    LineTokens tok;
    if (!lines.next(tok) || tok.size() < 2)
        throw textError(1, "the header must hold the number of nodes and the number of elements.");
    long long n, m = 0, k = 0;
    bool ok;
    n = leadingInt(tok[0], ok);
    if (!ok || n < 0) throw textError(1, "invalid number of nodes '" + tok[0] + "'.");
    m = leadingInt(tok[1], ok);  // an element count that does not parse counts as 0
    if (m < 0) throw textError(1, "invalid number of elements '" + tok[1] + "'.");
    if (tok.size() >= 3) k = leadingInt(tok[2], ok);
    bool voronoi = k > 0;

    auto missing = [&](const std::string& what) {
        return ZException("Mesh text: the header announces " + str(n) + " nodes and " + str(m) +
                          " elements, but the text ends before " + what + " (after line " +
                          str(lines.lineNo()) + ").");
    };

    // The tables grow with the lines actually read, never with the header's promise.
    std::vector<int> nt_;
    std::vector<double> x, y;
    for (long long i = 0; i < n; i++) {
        ZCoreLib::ZCancel::poll();
        if (!lines.next(tok)) throw missing("node " + str(i));
        if (tok.size() < 2) throw textError(lines.lineNo(), "node " + str(i) + " needs x and y.");
        x.push_back(leadingDouble(tok[0]));
        y.push_back(leadingDouble(tok[1]));
        nt_.push_back(tok.size() >= 3 ? static_cast<int>(leadingInt(tok[2], ok)) : 99);
    }

    std::vector<int> enon_, en_, ids;
    for (long long e = 0; e < m; e++) {
        ZCoreLib::ZCancel::poll();
        if (!lines.next(tok)) throw missing("element " + str(e));
        ids.clear();
        for (std::size_t j = 0; j < tok.size(); j++) {
            long long id;
            if (!wholeInt(tok[j], id))
                throw textError(lines.lineNo(), "element " + str(e) + ": node id '" + tok[j] +
                                                    "' is not one of 0.." + str(n - 1) + ".");
            ids.push_back(static_cast<int>(id));
        }
        const std::string problem =
            elemProblem(static_cast<int>(e), ids.data(), static_cast<long long>(ids.size()), static_cast<int>(n),
                        x.data(), y.data());
        if (!problem.empty()) throw textError(lines.lineNo(), problem);
        enon_.push_back(static_cast<int>(ids.size()));
        en_.insert(en_.end(), ids.begin(), ids.end());
    }

    // Voronoi lines are optional; when present they follow the elements directly, one per element.
    std::vector<double> vx, vy;
    if (voronoi && m > 0 && lines.next(tok) && tok.size() > 0) {
        for (long long e = 0; e < m; e++) {
            ZCoreLib::ZCancel::poll();
            if (e > 0 && !lines.next(tok)) throw missing("the Voronoi point of element " + str(e));
            if (tok.size() < 2)
                throw textError(lines.lineNo(), "the Voronoi point of element " + str(e) + " needs x and y.");
            vx.push_back(leadingDouble(tok[0]));
            vy.push_back(leadingDouble(tok[1]));
        }
    }
    voronoi = !vx.empty();

    auto arr = [](auto& v) {
        using T = typename std::decay_t<decltype(v)>::value_type;
        std::unique_ptr<T[]> a(new T[v.size()]);
        std::copy(v.begin(), v.end(), a.get());
        return a;
    };
    auto a1 = arr(nt_), a4 = arr(enon_), a5 = arr(en_);
    auto a2 = arr(x), a3 = arr(y);
    std::unique_ptr<double[]> a6, a7;
    if (voronoi) {
        a6 = arr(vx);
        a7 = arr(vy);
    }
    return adoptPrimary(static_cast<int>(n), static_cast<int>(m), a1.release(), a2.release(), a3.release(),
                        a4.release(), a5.release(), a6.release(), a7.release(), version);
}

int hsMesh2D::toBinary(char*& buffer, bool* exact) {
    long long total = 0;
    for (int e = 0; e < noe; e++) total += enon[e];
    const long long size = 8 + 12LL * non + 12LL * noe + 4 * total;
    if (size > INT_MAX)
        throw ZException("toBinary: a mesh of " + str(non) + " nodes and " + str(noe) +
                         " elements does not fit a block of at most 2 GB.");
    std::vector<float> x, y, vx, vy;
    storedForm(x, y, vx, vy);
    if (exact != nullptr) {
        *exact = true;
        for (int i = 0; i < non && *exact; i++) *exact = x[i] == nX[i] && y[i] == nY[i];
        for (int e = 0; e < noe && *exact && eVoronoiX && eVoronoiY; e++)
            *exact = vx[e] == eVoronoiX[e] && vy[e] == eVoronoiY[e];
    }
    std::unique_ptr<char[]> block(new char[size]);
    BlockWriter w(block.get());
    w.i32(non);
    w.i32(noe);
    for (int i = 0; i < non; i++) w.f32(x[i]);
    for (int i = 0; i < non; i++) w.f32(y[i]);
    for (int i = 0; i < non; i++) w.i32(nt[i]);
    for (int e = 0; e < noe; e++) w.i32(enon[e]);
    for (long long k = 0; k < total; k++) w.i32(en[k]);
    for (int e = 0; e < noe; e++) w.f32(vx[e]);
    for (int e = 0; e < noe; e++) w.f32(vy[e]);
    buffer = block.release();
    return static_cast<int>(size);
}

int hsMesh2D::fromBinary(const char* buffer, std::size_t length, int version) {
    const BlockReader r(buffer, length);
    if (buffer == nullptr || length < 8)
        throw blockError(str(length) + " bytes cannot hold the node and element counts (8 bytes).");
    const long long n = r.i32(0), m = r.i32(4);
    if (n < 0 || m < 0) throw blockError("invalid counts: " + str(n) + " nodes, " + str(m) + " elements.");
    const unsigned long long len = length;
    const unsigned long long enonAt = 8 + 12ULL * n, enAt = enonAt + 4ULL * m;
    if (enAt > len)
        throw blockError(str(n) + " nodes and " + str(m) + " elements need more than the block's " + str(len) +
                         " bytes.");

    // Element sizes first: their sum tells where the node ids end.
    std::unique_ptr<int[]> enon_(new int[m]);
    unsigned long long total = 0;
    for (long long e = 0; e < m; e++) {
        ZCoreLib::ZCancel::poll();
        enon_[e] = r.i32(enonAt + 4 * e);
        const std::string problem = elemProblem(static_cast<int>(e), nullptr, enon_[e], static_cast<int>(n));
        if (!problem.empty()) throw blockError(problem);
        total += enon_[e];
        if (enAt + 4 * total > len)
            throw blockError("the node ids of element " + str(e) + " run past the block's " + str(len) + " bytes.");
    }
    const unsigned long long plain = enAt + 4 * total, full = plain + 8ULL * m;
    const bool voronoi = version > 6;
    if (voronoi ? len != full : (len != plain && len != full))
        throw blockError(str(len) + " bytes do not match " + str(n) + " nodes, " + str(m) + " elements and " +
                         str(total) + " element node ids (" + (voronoi ? "" : str(plain) + " or ") + str(full) +
                         " bytes expected for version " + str(version) + ").");

    std::unique_ptr<double[]> x(new double[n]), y(new double[n]);
    std::unique_ptr<int[]> nt_(new int[n]);
    for (long long i = 0; i < n; i++) {
        ZCoreLib::ZCancel::poll();
        x[i] = r.f32(8 + 4 * i);
        y[i] = r.f32(8 + 4 * (n + i));
        nt_[i] = r.i32(8 + 4 * (2 * n + i));
    }
    std::unique_ptr<int[]> en_(new int[total]);
    for (unsigned long long k = 0; k < total; k++) en_[k] = r.i32(enAt + 4 * k);
    for (long long e = 0, at = 0; e < m; at += enon_[e], e++) {
        ZCoreLib::ZCancel::poll();
        const std::string problem =
            elemProblem(static_cast<int>(e), en_.get() + at, enon_[e], static_cast<int>(n), x.get(), y.get());
        if (!problem.empty()) throw blockError(problem);
    }
    std::unique_ptr<double[]> vx, vy;
    if (voronoi) {
        vx.reset(new double[m]);
        vy.reset(new double[m]);
        for (long long e = 0; e < m; e++) {
            vx[e] = r.f32(plain + 4 * e);
            vy[e] = r.f32(plain + 4 * (m + e));
        }
    }
    return adoptPrimary(static_cast<int>(n), static_cast<int>(m), nt_.release(), x.release(), y.release(),
                        enon_.release(), en_.release(), vx.release(), vy.release(), version);
}

std::string hsMesh2D::toXML() {
    using ZCoreLib::ZStr;
    const std::string lines = ZStr::xmlInsTag(fileName, "Filename", false) + newLine +
                              ZStr::xmlInsTag(hsGlobal::fileFmtEnum2str(static_cast<fileFmtEnum>(fileFmt)),
                                              "Format", false) +
                              newLine + ZStr::xmlInsTag(proj, "Projection", false) + newLine;
    return ZStr::xmlInsTag(lines, "Mesh", true);
}

namespace {

// Why the mesh file was not opened, as the shared check found it: a name that
// became a folder or a pipe during the open is there, but not a file.
std::string unopened(const std::string& name, int error) {
    const std::string where = "readMeshFromFile: '" + name + "'";
    if (error == EISDIR) return where + " is a folder, not a file.";
    if (error == ZCoreLib::ZFile::notRegular)
        return where + " is not a regular file (a pipe, a device or a socket); a mesh cannot be read from it.";
    if (error == ENOENT || error == ENOTDIR) return "No such file: " + name;
    return where + " cannot be read: " + std::strerror(error) + ".";
}

} // namespace

int hsMesh2D::readMeshFromFile(std::string name) {
    fileName = name;
    // The name is opened once, and read through what was checked: a pipe put
    // in the file's place is refused, never waited on.
    ZCoreLib::ZFileInput in(name);
    if (!in.is_open()) throw ZException(unopened(name, in.error()));
    if (fileFmt == 0) return fromString(ZCoreLib::ZFile::readFile(in), -1);
    if (fileFmt != 1) throw ZException("readMeshFromFile: unsupported fileformat.");
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (!in || size < 0) throw ZException("readMeshFromFile: cannot read " + name);
    std::vector<char> block(static_cast<std::size_t>(size));
    in.seekg(0, std::ios::beg);
    if (size > 0 && !in.read(block.data(), size)) throw ZException("readMeshFromFile: cannot read " + name);
    return fromBinary(block.data(), block.size(), -1);
}

} // namespace hestor
