#ifndef HESTOR_FUZZHARNESS_H
#define HESTOR_FUZZHARNESS_H

// What each fuzz target does with one input, shared by the libFuzzer targets
// and by the regression tests that replay their findings.
//
// A damaged file may be refused with an exception (as the R interface turns
// it into an R error); it must never crash, leak or touch memory it does not
// own. The readers are driven as the R routines drive them, argument checks
// included, so that what the fuzzer finds is what an R user could reach.

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ZException.h"
#include "hsMesh2D.h"
#include "hsResultFile.h"

namespace fuzz {

// Keeps the optimiser from dropping the reads that walk the arrays.
inline volatile double sink = 0;

// One private folder per process, under $TMPDIR; removed at exit.
inline const std::string& tempDir()
{
    struct Folder {
        std::string path;
        Folder()
        {
            const char* base = std::getenv("TMPDIR");
            path = std::string(base && *base ? base : "/tmp") + "/hestor-fuzz.XXXXXX";
            if (!mkdtemp(&path[0]))
                std::abort();
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

// The result file is opened by name, and its format follows the extension.
inline std::string writeInput(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = tempDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        std::abort();
    return path;
}

// Files last modified before 2012-06-01 carry no version word.
inline void makeOld(const std::string& path)
{
    const time_t t = 1293840000; // 2011-01-01
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    if (utimes(path.c_str(), tv) != 0)
        std::abort();
}

// Runs one step; true when it did not throw. Everything the library or the
// R interface may throw counts as a refusal, not as a finding.
template <typename F>
bool attempt(F f)
{
    try {
        f();
        return true;
    } catch (const ZCoreLib::ZException&) {
    } catch (const std::exception&) {
    }
    return false;
}

template <typename T>
void touch(const T* a, long long n)
{
    if (!a)
        return;
    double s = 0;
    for (long long i = 0; i < n; ++i)
        s += static_cast<double>(a[i]);
    sink = sink + s;
}

// What getHeader hands to R: every array read as far as its count says.
inline void touchMesh(const hestor::hsMesh2D& m)
{
    touch(m.eX, m.noe);
    touch(m.eY, m.noe);
    touch(m.nX, m.non);
    touch(m.nY, m.non);
    touch(m.nt, m.non);
    touch(m.eVoronoiX, m.noe);
    touch(m.eVoronoiY, m.noe);
    sink = sink + static_cast<double>(m.proj.size());
    if (m.eStart && m.enon && m.en)
        for (int e = 0; e < m.noe; ++e)
            touch(m.en + m.eStart[e], m.enon[e]);
}

inline void touchHeader(const hestor::hsResultFile& f)
{
    const hestor::hsModelInfo& mi = f.mInfo;
    touchMesh(mi.mesh2d);
    if (mi.noLayer > 0) {
        touch(mi.layerDepth, mi.noLayer);
        touch(mi.dz, mi.noLayer);
    }
    if (mi.elemBathy)
        touch(mi.elemBathy, mi.mesh2d.noe);
    touch(mi.enol, mi.enol ? mi.mesh2d.noe : 0);
    touch(mi.ebli, mi.ebli ? mi.mesh2d.noe : 0);
    touch(mi.elemFirstCell, mi.elemFirstCell ? mi.mesh2d.noe : 0);
    const int n = std::min(f.nItem(), static_cast<int>(f.itemLengthVec.size()));
    touch(f.itemLengthVec.data(), n);
    for (const hestor::staticItem& s : f.staticItemVec)
        if (s.count > 0)
            touch(s.data, s.byteLength);
    sink = sink + f.totItemSize() + f.getNToffset();
}

// The item readers, each call with the checks its R routine makes first.
inline void readItem(hestor::hsResultFile& f, int item)
{
    const hestor::hsModelInfo& mi = f.mInfo;
    const int noe = mi.mesh2d.noe;
    const int nt = mi.noTimestep;
    for (int ts : {0, nt - 1}) {
        if (ts < 0 || ts >= nt)
            continue;
        attempt([&] { // readItemData
            std::vector<double> v(static_cast<size_t>(f.itemLengthVec[item]));
            f.readItemData(item, ts, v.data());
            touch(v.data(), static_cast<long long>(v.size()));
        });
        attempt([&] { // readItemDataElem
            int elems[3] = {0, noe - 1, -1};
            double* out = nullptr;
            const int k = f.readItemData(item, ts, elems, noe > 0 ? 3 : 1, out);
            std::unique_ptr<double[]> own(out);
            touch(out, k);
        });
        for (int layer : {-1, 0, mi.noLayer - 1, 999}) {
            if (layer < -1 || (layer >= mi.noLayer && layer != 999))
                continue;
            attempt([&] { // readLayer
                std::vector<float> v(static_cast<size_t>(std::max(noe, 0)));
                float* p = v.data();
                f.readLayer(item, ts, layer, p);
                touch(p, noe);
                if (layer != -1 && mi.ebli)
                    touch(mi.ebli, noe);
            });
        }
        if (noe > 0)
            attempt([&] { // readProfile
                std::vector<double> v(static_cast<size_t>(std::max(mi.noLayer, 0)));
                const int k = f.readProfile(item, ts, noe - 1, v.data());
                touch(v.data(), std::min<long long>(k, static_cast<long long>(v.size())));
            });
    }
    if (noe <= 0)
        return;
    for (int layer : {0, 999}) {
        if (layer >= mi.noLayer && layer != 999)
            continue;
        attempt([&] { // readTimeseries: the whole series
            double* out = nullptr;
            const int k = f.readTimeSeries(item, 0, layer, out, 0, -1);
            std::unique_ptr<double[]> own(out);
            touch(out, k);
        });
    }
    attempt([&] { // readTimeseriesProfile
        double* out = nullptr;
        const int k = f.readTimeSeriesProfile(item, noe - 1, out, 0, -1);
        std::unique_ptr<double[]> own(out);
        touch(out, k);
    });
}

// A binary result file (EMB; relabelled RESTART or DECOUPLED by its items).
// old: the file's modification time says it predates version words.
inline bool resultFile(const uint8_t* data, size_t size, bool old)
{
    const std::string path = writeInput("fz.emb", data, size);
    if (old)
        makeOld(path);
    std::unique_ptr<hestor::hsResultFile> f;
    if (!attempt([&] { f.reset(new hestor::hsResultFile(path, -1)); }))
        return false;
    touchHeader(*f);
    attempt([&] { sink = sink + f->totalTimesteps(); });
    const int n = std::min(f->nItem(), static_cast<int>(f->itemLengthVec.size()));
    for (int i = 0; i < std::min(n, 4); ++i)
        readItem(*f, i);
    if (n > 0 && f->mInfo.noTimestep > 0)
        attempt([&] {
            double* v = nullptr;
            std::vector<double> buf(static_cast<size_t>(f->itemLengthVec[0]));
            v = buf.data();
            f->readNextItemTimestep(0, v);
        });
    return true;
}

// The first byte picks the container version (-1 .. 8), the rest is the block.
inline int meshVersion(uint8_t b) { return b % 10 - 1; }

inline bool meshBinary(const uint8_t* data, size_t size)
{
    if (size < 1)
        return false;
    const int version = meshVersion(data[0]);
    const char* block = reinterpret_cast<const char*>(data + 1);
    hestor::hsMesh2D m;
    if (!attempt([&] { m.fromBinary(block, size - 1, version); }))
        return false;
    touchMesh(m);
    // What was read must survive a round trip through the writer.
    attempt([&] {
        char* raw = nullptr;
        const int len = m.toBinary(raw);
        std::unique_ptr<char[]> own(raw);
        hestor::hsMesh2D back;
        back.fromBinary(raw, static_cast<size_t>(len), 7);
        touchMesh(back);
    });
    return true;
}

// The first byte picks the way in: 0 a ".mesh" file opened as R opens it,
// otherwise fromString with version byte - 2 (-1 .. 8).
inline bool meshText(const uint8_t* data, size_t size)
{
    if (size < 1)
        return false;
    const int way = data[0] % 11;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (way == 0) {
        const std::string path = writeInput("fz.mesh", data + 1, size - 1);
        std::unique_ptr<hestor::hsResultFile> f;
        if (!attempt([&] { f.reset(new hestor::hsResultFile(path, hestor::MESH)); }))
            return false;
        touchHeader(*f);
        return true;
    }
    hestor::hsMesh2D m;
    if (!attempt([&] { m.fromString(text, way - 2); }))
        return false;
    touchMesh(m);
    attempt([&] {
        hestor::hsMesh2D back;
        back.fromString(m.toString(), -1);
        touchMesh(back);
    });
    return true;
}

// TEXT0D (text1d false) or TEXT1D file, named so that its extension says so.
inline bool textFile(const uint8_t* data, size_t size, bool text1d)
{
    const std::string path = writeInput(text1d ? "fz.text1d" : "fz.text0d", data, size);
    std::unique_ptr<hestor::hsResultFile> f;
    if (!attempt([&] { f.reset(new hestor::hsResultFile(path, -1)); }))
        return false;
    sink = sink + f->nItem() + f->totItemSize();
    // Every timestep to the end; each call moves on by at least one line.
    for (int k = 0; k < 4096; ++k) {
        long long dt = 0;
        const bool ok = attempt([&] {
            double** cols = nullptr;
            int rows = 0;
            dt = f->readNextTimestep(cols, rows);
            if (dt == 2147483647LL)
                return;
            sink = sink + rows;
            f->readNextTimestepFreeMem(cols);
        });
        if (!ok || dt == 2147483647LL)
            break;
    }
    const long long wide = 1LL << 40;
    for (int col : {0, 1}) {
        for (int filter : {-1, 0, 1}) {
            attempt([&] {
                long long* times = nullptr;
                double* values = nullptr;
                const int n = f->readTimeSeriesUET(col, times, values, -wide, wide, filter, -1e30, 1e30);
                std::unique_ptr<long long[]> ownT(times);
                std::unique_ptr<double[]> ownV(values);
                touch(times, n);
                touch(values, n);
            });
        }
    }
    attempt([&] {
        float v[1];
        f->readItemData(0, 0, v);
    });
    return true;
}

} // namespace fuzz

#endif
