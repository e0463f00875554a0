#ifndef HESTOR_TEST_HSRESULTFILEUTIL_H
#define HESTOR_TEST_HSRESULTFILEUTIL_H

// Helpers of the result-file tests: little-endian byte building, a small
// two-element mesh and temporary folders.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <sys/time.h>
#include <unistd.h>

#include "testUtil.h"

namespace rftest {

// Bytes in file order, built independently of the writer under test.
struct Bytes {
    std::vector<char> b;
    Bytes& i32(int32_t v) { return raw(&v, 4); }
    Bytes& i64(int64_t v) { return raw(&v, 8); }
    Bytes& f32(float v) { return raw(&v, 4); }
    Bytes& str(const std::string& s) { return raw(s.data(), s.size()); }
    Bytes& bytes(const std::vector<char>& v) { return raw(v.data(), v.size()); }
    Bytes& zeros(size_t n) { b.insert(b.end(), n, '\0'); return *this; }
    Bytes& raw(const void* p, size_t n)
    {
        const char* c = static_cast<const char*>(p);
        b.insert(b.end(), c, c + n);
        return *this;
    }
    size_t size() const { return b.size(); }
};

inline std::vector<char> floatBytes(const std::vector<float>& v)
{
    Bytes out;
    for (float f : v)
        out.f32(f);
    return out.b;
}

// Two unit squares side by side: nodes (0,0) (1,0) (1,1) (0,1) (2,0) (2,1),
// elements 0 1 2 3 and 1 4 5 2; every node closed boundary (type 99, stored
// as 0 by versions 0 and 1). Voronoi arrays only when asked.
inline std::vector<char> meshBlock(bool oldTypes, bool voronoi)
{
    Bytes m;
    m.i32(6).i32(2);
    for (float x : {0.f, 1.f, 1.f, 0.f, 2.f, 2.f})
        m.f32(x);
    for (float y : {0.f, 0.f, 1.f, 1.f, 0.f, 1.f})
        m.f32(y);
    for (int i = 0; i < 6; ++i)
        m.i32(oldTypes ? 0 : 99);
    m.i32(4).i32(4);
    for (int n : {0, 1, 2, 3, 1, 4, 5, 2})
        m.i32(n);
    if (voronoi)
        for (float v : {0.5f, 1.5f, 0.5f, 0.5f})
            m.f32(v);
    return m.b;
}

using testutil::readBytes;
using testutil::writeBytes;

inline int32_t wordAt(const std::vector<char>& b, size_t at)
{
    int32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}

inline int64_t word64At(const std::vector<char>& b, size_t at)
{
    int64_t v = 0;
    if (at + 8 <= b.size())
        std::memcpy(&v, b.data() + at, 8);
    return v;
}

inline float floatAt(const std::vector<char>& b, size_t at)
{
    float v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}

inline void setModified(const std::string& path, long long seconds)
{
    struct timeval tv[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

// 2012-06-01 00:00:00 UTC, the first instant with a version word.
const long long cutoff = 1338508800LL;

using TempDir = testutil::TempDirTest;

} // namespace rftest

#endif
