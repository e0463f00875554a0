#ifndef HESTOR_TEST_TESTUTIL_H
#define HESTOR_TEST_TESTUTIL_H

// Helpers shared by the tests: exception messages, temporary folders and
// whole-file reading and writing.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "ZException.h"

namespace testutil {

// The message f throws, or "<no exception>".
template <typename F>
std::string thrownMessage(F f)
{
    try {
        f();
    } catch (const ZCoreLib::ZException& e) {
        return e.message;
    }
    return "<no exception>";
}

// A fresh folder under /tmp, removed with all it holds.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "hestor-test")
    {
        std::string tmpl = "/tmp/" + prefix + ".XXXXXX";
        if (mkdtemp(&tmpl[0]) == nullptr)
            throw std::runtime_error("cannot make a temporary folder " + tmpl);
        path = tmpl;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string at(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

// A test with a fresh folder of its own.
class TempDirTest : public ::testing::Test {
protected:
    std::string at(const std::string& name) const { return tmp.at(name); }

    TempDir tmp;
    const std::string dir = tmp.path;
};

// Runs f; in builds without sanitizers, which are too slow for a time
// limit, expects it to take less than `seconds`.
template <typename F>
void expectFasterThan(double seconds, F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(took, seconds);
#else
    (void)took;
    (void)seconds;
#endif
}

// Kills the run (SIGALRM) after `seconds`: a read that waits fails, not hangs.
struct HangGuard {
    explicit HangGuard(unsigned seconds = 30) { alarm(seconds); }
    ~HangGuard() { alarm(0); }
};

// Opens of path while f ran (-1: not watchable); closes keep them apart.
template <typename F>
int opensOf(const std::string& path, F f)
{
#ifdef __linux__
    const int in = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    int opens = in >= 0 && inotify_add_watch(in, path.c_str(), IN_OPEN | IN_CLOSE) >= 0 ? 0 : -1;
    f();
    alignas(inotify_event) char buf[4096];
    for (ssize_t got; opens >= 0 && (got = read(in, buf, sizeof buf)) > 0;)
        for (ssize_t at = 0; at < got; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(buf + at)->len)
            opens += (reinterpret_cast<inotify_event*>(buf + at)->mask & IN_OPEN) != 0;
    close(in);
    return opens;
#else
    f();
    return -1;
#endif
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<char>& b)
{
    std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

} // namespace testutil

#endif
