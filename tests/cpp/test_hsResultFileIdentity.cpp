// The files a reader's object counted, changed under it: each way a file can
// change, the descriptor its values are read through, and the counts of a
// series whose writer is still at work.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <utime.h>

#include "ZCancel.h"
#include "hsResultFile.h"
#include "test_hsResultFileUtil.h"

using hestor::hsResultFile;
using testutil::thrownMessage;
using namespace rftest;

namespace {

using status = hsResultFile::openFile::status;
const std::string differs = "was rewritten: its header differs from the one this handle read.";

// The two-square mesh in one layer; one item of a value per element, the
// first 100 t + bathy at timestep t.
std::unique_ptr<hsResultFile> writer(const std::string& name, double bathy, int perFile = -1,
                                     const std::string& proj = "")
{
    std::remove(name.c_str()); // else its header would be read
    auto f = std::make_unique<hsResultFile>(name, hestor::EMB);
    const std::vector<char> m = meshBlock(false, false);
    f->mInfo.mesh2d.fromBinary(m.data(), m.size(), -1);
    if (!proj.empty())
        f->mInfo.mesh2d.proj = proj;
    f->mInfo.noLayer = 1;
    f->mInfo.adoptDz(new double[1]{5}, 1);
    f->mInfo.adoptElemBathy(new double[2]{bathy, 2}, 2);
    f->mInfo.startDT = 1600000000LL;
    f->mInfo.timestep = 600;
    f->mInfo.init();
    f->addItem("v", 2);
    f->maxTimestepsPerFile = perFile;
    f->writeHeader();
    return f;
}

void steps(hsResultFile& w, int from, int to, double bathy = 1)
{
    for (int t = from; t < to; ++t) {
        float v[2] = {static_cast<float>(100 * t + bathy), 0};
        w.writeData(v, 2);
    }
}

void writeFile(const std::string& name, int nt, double bathy)
{
    steps(*writer(name, bathy), 0, nt, bathy); // closed by its destructor
}

void flipLastHeaderByte(const std::string& name) // in place
{
    std::vector<char> b = readBytes(name);
    b[static_cast<size_t>(wordAt(b, 28) - 1)] ^= 1;
    writeBytes(name, b);
}

float valueAt(hsResultFile& r, int ts)
{
    float v[2] = {};
    r.readItemData(0, ts, v);
    return v[0];
}

TEST(ResultFileIdentity, EachChangeUnderAReader)
{
    testutil::TempDir dir;
    const std::string name = dir.path + "/run.emb", other = dir.path + "/other.emb";
    const std::string why = "hsResultFile: the result file '" + name + "' ";
    std::unique_ptr<hsResultFile> live;
    auto copyOver = [&](const std::string& from) { writeBytes(name, readBytes(from)); }; // in place
    // A long projection text puts the bathymetry after the header's first 64 kB.
    struct change { const char* what; std::function<void()> apply; std::string refusal, proj = ""; };
    const std::string longProj(70000, 'p');
    const std::vector<change> cases = {
        {"replaced", [&] { writeFile(other, 3, 1); std::rename(other.c_str(), name.c_str()); },
         why + "was replaced by another file after this handle read it."},
        {"cut short", [&] { std::vector<char> b = readBytes(name); b.pop_back(); writeBytes(name, b); },
         why + "was cut short: it holds 429 bytes, but the timesteps this handle counted end at byte 430."},
        {"rewritten", [&] { writeFile(other, 3, 1.5); copyOver(other); },
         why + "was rewritten: its header differs from the one this handle read."},
        // A larger file of another header written over it in place: grown,
        // but not by its writer.
        {"grown, another header", [&] { writeFile(other, 5, 1.5); copyOver(other); },
         why + "was rewritten: its header differs from the one this handle read."},
        // Another run of the same header copied over it in place (cp).
        {"same header, other values", [&] { steps(*writer(other, 1), 0, 5, 7); copyOver(other); },
         why + "was rewritten: the timesteps this handle counted hold other values now."},
        {"grown by its writer", [&] { steps(*live, 3, 6); }, "<no exception>"},
        {"touched", [&] { utime(name.c_str(), nullptr); chmod(name.c_str(), 0600); }, "<no exception>"},
        {"deleted", [&] { std::remove(name.c_str()); },
         why + "is gone: it was deleted or renamed after this handle read it."},
        {"another header after 64 kB", [&] { steps(*writer(other, 1.5, -1, longProj), 0, 3); copyOver(other); },
         why + differs, longProj},
        // Headers of 406, 408, 416 and 300406 bytes: the last byte after
        // whole 32-byte stripes, in a word, at a stripe's end, in a later block.
        {"last header byte", [&] { flipLastHeaderByte(name); }, why + differs},
        {"last header byte, 408", [&] { flipLastHeaderByte(name); }, why + differs, std::string(7, 'p')},
        {"last header byte, 416", [&] { flipLastHeaderByte(name); }, why + differs, std::string(15, 'p')},
        {"last header byte, 300406", [&] { flipLastHeaderByte(name); }, why + differs, std::string(300005, 'p')},
    };
    for (const change& c : cases) {
        SCOPED_TRACE(c.what);
        live = writer(name, 1, -1, c.proj);
        steps(*live, 0, 3);
        hsResultFile r(name, -1);
        c.apply();
        EXPECT_EQ(thrownMessage([&] { valueAt(r, 2); }), c.refusal);
        EXPECT_EQ(thrownMessage([&] { r.totalTimesteps(); }), c.refusal);
        EXPECT_TRUE(c.refusal != "<no exception>" || valueAt(r, 2) == 201.0f);
    }
}

// The file checked is the file read: one swapped after the check is not read.
TEST(ResultFileIdentity, ValuesComeThroughTheCheckedDescriptor)
{
    testutil::TempDir dir;
    const std::string name = dir.path + "/run.emb", other = dir.path + "/other.emb";
    writeFile(name, 2, 1);
    hsResultFile r(name, -1);
    long long start = 0;
    const std::unique_ptr<hsResultFile::openFile> f = r.openSeriesFile(0, start);
    writeFile(other, 2, 7);
    std::rename(other.c_str(), name.c_str());
    float v = 0;
    ASSERT_EQ(f->readAt(start + 4 * 2, &v, 4), 4);
    EXPECT_EQ(v, 101.0f);
    EXPECT_NE(thrownMessage([&] { valueAt(r, 1); }).find("was replaced"), std::string::npos);
}

// A new run of the model renamed over the name at a count's first poll (the
// 64th asks the hook), where a look and a second open of the name would find
// the old file, then the new one: a handle that handed out nothing counts it.
TEST(ResultFileIdentity, ACountTakesANewRunFromItsOneLookAtTheName)
{
    testutil::TempDir dir;
    static std::string name, other;
    name = dir.path + "/run.emb", other = dir.path + "/other.emb";
    writeFile(name, 3, 1);
    hsResultFile r(name, -1);
    writeFile(other, 5, 1);
    static bool renamed;
    renamed = false;
    ZCoreLib::ZCancel::setHook([] { renamed = renamed || !std::rename(other.c_str(), name.c_str()); return false; });
    std::this_thread::sleep_for(std::chrono::milliseconds(25)); // past the hook's pace
    for (int i = 0; i < 63; ++i)
        ZCoreLib::ZCancel::poll();
    int n = -1;
    const std::string refusal = thrownMessage([&] { n = r.totalTimesteps(); });
    ZCoreLib::ZCancel::setHook(nullptr);
    EXPECT_TRUE(renamed);
    EXPECT_EQ(refusal + ", " + std::to_string(n), "<no exception>, 5");
    EXPECT_EQ(valueAt(r, 4), 401.0f);
}

// A series whose writer rolls over every 3 timesteps, read at every step: the
// count of a handle and the length of its series agree, and a handle counts
// what was complete when it first saw each file.
TEST(ResultFileIdentity, OneHandleOneCountBesideAWriter)
{
    testutil::TempDir dir;
    const std::string name = dir.path + "/run.emb";
    auto w = writer(name, 1, 3);
    steps(*w, 0, 4);
    hsResultFile early(name, -1);
    for (int t = 4; t < 11; ++t) {
        SCOPED_TRACE(t);
        hsResultFile fresh(name, -1);
        for (hsResultFile* r : {&early, &fresh}) {
            double* out = nullptr;
            const int n = r->readTimeSeries(0, 1, 0, out, 0, -1);
            delete[] out;
            EXPECT_EQ(n, r->totalTimesteps());
        }
        EXPECT_EQ(early.totalTimesteps(), 4);
        EXPECT_EQ(fresh.totalTimesteps(), t);
        steps(*w, t, t + 1);
    }
}

// A rewrite in place in the tick of a look may leave the times as the look saw them:
// mtime put back, ctime (which cannot be set) as a coarse clock leaves it. A new run
// that gets a deleted file's inode number and name may be born in the old one's tick
// (ext2's is 4 ms): the generation tells.
TEST(ResultFileIdentity, ALookInTheTickOfAChangeOrAReusedInodeIsNotTrusted)
{
    testutil::TempDir dir;
    const std::string name = dir.path + "/run.emb";
    writeFile(name, 3, 1);
    const hsResultFile::openFile f(name);
    status look = f.stat();
    flipLastHeaderByte(name);
    const timespec times[2] = {{0, UTIME_OMIT}, {look.modifiedNs / 1000000000, look.modifiedNs % 1000000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
    status now = f.stat();
    now.changedNs = look.changedNs;
    EXPECT_FALSE(hsResultFile::openFile::unchanged(now, look));
    look.takenNs += 10000000000LL; // the same look, a tick later
    EXPECT_TRUE(hsResultFile::openFile::unchanged(now, look));

    writeFile(name, 3, 1);
    hsResultFile r(name, -1);
    const status old = hsResultFile::openFile(name).stat();
    std::remove(name.c_str());
    std::string run;
    for (int i = 0; i < 1000 && (i == 0 || hsResultFile::openFile(run).stat().inode != old.inode); ++i)
        writeFile(run = dir.path + "/new" + std::to_string(i) + ".emb", 3, 1);
    if (hsResultFile::openFile(run).stat().inode != old.inode)
        GTEST_SKIP() << "this file system gave no new file the inode number of a deleted one";
    std::rename(run.c_str(), name.c_str());
    EXPECT_NE(thrownMessage([&] { valueAt(r, 2); }).find("was replaced"), std::string::npos);
    const int fd = open(name.c_str(), O_RDONLY);
    long generation = 0;
    if (ioctl(fd, FS_IOC_GETVERSION, &generation) != 0 || close(fd) != 0)
        GTEST_SKIP() << "this file system keeps no inode generation";
    now = hsResultFile::openFile(name).stat();
    now.birthNs = old.birthNs;
    EXPECT_FALSE(hsResultFile::openFile::sameFile(now, old));
}

// A file its writer holds (file 1 on of a series) is read by its count, size
// and counted records alone, whatever its header's size: a header byte
// changed meanwhile is found at the first read after the writer let go, a
// counted value at once.
TEST(ResultFileIdentity, AFileItsWriterHoldsIsCheckedWholeOnceLetGo)
{
    testutil::TempDir dir;
    const std::string name = dir.path + "/run.emb", second = dir.path + "/run^1.emb";
    const std::string why = "hsResultFile: the result file '" + second + "' ";
    const std::string values = why + "was rewritten: the timesteps this handle counted hold other values now.";
    auto flipFirstValue = [&] { // in place
        std::vector<char> b = readBytes(second);
        b[static_cast<size_t>(wordAt(b, 28))] ^= 1;
        writeBytes(second, b);
    };
    const std::tuple<std::function<void()>, std::string, std::string> cases[] = {
        {[&] { flipLastHeaderByte(second); }, "<no exception>", why + differs},
        {flipFirstValue, values, values},
    };
    for (const auto& [change, held, letGo] : cases) {
        std::remove(second.c_str()); // a writer does not take over a file it did not make
        auto w = writer(name, 1, 3);
        steps(*w, 0, 4);
        hsResultFile r(name, -1);
        EXPECT_EQ(r.totalTimesteps(), 4);
        change();
        steps(*w, 4, 5);
        EXPECT_EQ(thrownMessage([&] { EXPECT_EQ(valueAt(r, 3), 301.0f); }), held);
        w->flushBuf();
        EXPECT_EQ(thrownMessage([&] { valueAt(r, 3); }), letGo);
    }
}

// Any identity both stamps keep that differs makes another file; one that
// either lacks tells nothing.
TEST(ResultFileIdentity, EveryKeptIdentityIsCompared)
{
    status a;
    a.device = 1;
    a.inode = 2;
    a.hasBirth = a.hasGeneration = true;
    a.birthNs = 3;
    a.generation = 4;
    const std::pair<std::function<void(status&)>, bool> cases[] = {
        {[](status& b) { b.size = b.modifiedNs = b.changedNs = b.takenNs = 5; }, true},
        {[](status& b) { b.birthNs = 5; }, false}, // the same generation, born another time
        {[](status& b) { b.generation = 5; }, false},
        {[](status& b) { b.inode = 5; }, false},
        {[](status& b) { b.birthNs = 5; b.hasBirth = false; }, true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        status b = a;
        cases[i].first(b);
        EXPECT_EQ(hsResultFile::openFile::sameFile(a, b), cases[i].second) << i;
        EXPECT_EQ(hsResultFile::openFile::sameFile(b, a), cases[i].second) << i;
    }
}

} // namespace
