#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ZFile.h"
#include "ZPlatform.h"
#include "testUtil.h"

using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZPlatform;
using Lines = std::vector<std::string>;

namespace {

class ZFileDisk : public testutil::TempDirTest {};

} // namespace

// ---- name arithmetic

TEST(ZFileNames, PathTable)
{
    struct Row { const char *path, *name, *folder, *ext, *bare; };
    const Row rows[] = {
        {"C:\\data\\set.b\\out.emb", "out.emb", "C:\\data\\set.b", "emb", "out"},
        {"C:/data/set.b/out.emb", "out.emb", "C:/data/set.b", "emb", "out"},
        {"C:\\data\\set.b\\out", "out", "C:\\data\\set.b", "out", "out"},
        {"/data/set.b/out", "out", "/data/set.b", "out", "out"},
        {"out", "out", "", "out", "out"},
        {"a/b\\c.tar.gz", "c.tar.gz", "a/b", "gz", "c.tar"},
        {"dir/.emb", ".emb", "dir", "emb", ""},
        {"dir/", "", "dir", "", ""},
        {"", "", "", "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(ZFile::getFilename(r.path), r.name);
        EXPECT_EQ(ZFile::getPath(r.path), r.folder);
        EXPECT_EQ(ZFile::getExtension(r.path), r.ext);
        EXPECT_EQ(ZFile::getFilenameWithoutExtension(r.path), r.bare);
    }
}

TEST(ZFileNames, ChangeExtensionStaysInFolder)
{
    EXPECT_EQ(ZFile::changeExtension("a.txt", "emb"), "a.emb");
    EXPECT_EQ(ZFile::changeExtension("a", "emb"), "a.emb");
    EXPECT_EQ(ZFile::changeExtension("a.", "emb"), "a..emb");
    EXPECT_EQ(ZFile::changeExtension("C:\\set.b\\out", "emb"), "C:\\set.b\\out.emb");
    EXPECT_EQ(ZFile::changeExtension("/set.b/out.x", "emb"), "/set.b/out.emb");
}

TEST(ZFileNames, AddTail)
{
    EXPECT_EQ(ZFile::addTail("res.emb", "^2"), "res^2.emb");
    EXPECT_EQ(ZFile::addTail("run", "^1"), "run^1");
    EXPECT_EQ(ZFile::addTail(".emb", "^2"), ".emb^2");
    EXPECT_EQ(ZFile::addTail("set.b\\out", "^1"), "set.b\\out^1");
    EXPECT_EQ(ZFile::addTail("/tmp/a.b/c.d.emb", "^1"), "/tmp/a.b/c.d^1.emb");
}

TEST(ZFileNames, SeriesNamesDistinctAndInPlace)
{
    for (const std::string first : {"x/run.emb", "x.y/run", "x.y\\.emb", "run"}) {
        std::set<std::string> names{first};
        for (int k = 1; k <= 3; ++k) {
            const std::string name = ZFile::addTail(first, "^" + std::to_string(k));
            EXPECT_EQ(ZFile::getPath(name), ZFile::getPath(first)) << name;
            names.insert(name);
        }
        EXPECT_EQ(names.size(), 4u) << first;
    }
}

TEST(ZFileNames, PadPathAndRelative)
{
    EXPECT_EQ(ZFile::padPath("C:\\data"), "C:\\data/");
    EXPECT_EQ(ZFile::padPath("data/"), "data/");
    EXPECT_EQ(ZFile::padPath("data\\"), "data\\");
    EXPECT_EQ(ZFile::padPath(""), "");
    for (const char* p : {"C:\\x", "C:", "/x", "\\x", "/"})
        EXPECT_FALSE(ZFile::isRelativePath(p)) << p;
    for (const char* p : {"x", "", "x/y", "ab:c"})
        EXPECT_TRUE(ZFile::isRelativePath(p)) << p;
}

// ---- sizes

TEST(ZFileSizes, FormatAgainstDivision)
{
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    for (long v : {0L, 1L, 1023L, 1024L, 1536L, 1048575L, 5242880L, 3000000000L,
                   (1L << 50) * 1000, LONG_MAX}) {
        long n = v;
        int k = 0;
        while (n >= 1024 && k < 5) {
            n /= 1024;
            ++k;
        }
        EXPECT_EQ(ZFile::fileSizeFormat(v), std::to_string(n) + " " + units[k]);
    }
    EXPECT_EQ(ZFile::fileSizeFormat(1048575), "1023 KB");
    EXPECT_EQ(ZFile::fileSizeFormat(LONG_MAX), "8191 PB");
    EXPECT_EQ(ZFile::fileSizeFormat(-5), "-5 bytes");
}

TEST(ZFileSizes, Parse)
{
    EXPECT_EQ(ZFile::fileSizeParse("1.5 MB"), 1572864u);
    EXPECT_EQ(ZFile::fileSizeParse("2kb"), 2048u);
    EXPECT_EQ(ZFile::fileSizeParse("10"), 10u);
    EXPECT_EQ(ZFile::fileSizeParse("1 tb"), 1099512000000ull);
    EXPECT_EQ(ZFile::fileSizeParse("2 PB"), 2251800000000000ull);
    EXPECT_EQ(ZFile::fileSizeParse("3 G B"), 3221225472ull);
    EXPECT_EQ(ZFile::fileSizeParse("5 xb"), 5u);
    EXPECT_EQ(ZFile::fileSizeParse("kb"), 0u);
    EXPECT_EQ(ZFile::fileSizeParse(""), 0u);
    EXPECT_EQ(ZFile::fileSizeParse("-1"), 0u);
    EXPECT_EQ(ZFile::fileSizeParse("-2 KB"), 0u);
    EXPECT_EQ(ZFile::fileSizeParse("1e30"), ULLONG_MAX);
    for (long v : {0L, 1000L, 1024L, 7L << 20, 3L << 30})
        EXPECT_EQ(ZFile::fileSizeParse(ZFile::fileSizeFormat(v)), static_cast<unsigned long long>(v));
}

// ---- files and folders on disk

TEST_F(ZFileDisk, FolderIsNotAFile)
{
    const std::string file = at("f.emb"), sub = at("sub");
    ASSERT_EQ(ZFile::writeFile(file, "x", false), 0);
    EXPECT_TRUE(ZFile::createFolder(sub));
    EXPECT_TRUE(ZFile::createFolder(sub)); // exists already
    EXPECT_FALSE(ZFile::createFolder(file));
    EXPECT_FALSE(ZFile::createFolder(at("no/such")));
    EXPECT_TRUE(ZFile::fileExists(file));
    EXPECT_FALSE(ZFile::folderExists(file));
    EXPECT_TRUE(ZFile::folderExists(sub));
    EXPECT_FALSE(ZFile::fileExists(sub));
    EXPECT_FALSE(ZFile::fileExists(at("missing")));
    EXPECT_FALSE(ZFile::folderExists(at("missing")));
    EXPECT_FALSE(ZFile::fileExists(""));
    EXPECT_EQ(ZFile::delFile(sub, false), 0);
    EXPECT_EQ(ZFile::delFile(sub, true), 0);
    EXPECT_TRUE(ZFile::folderExists(sub));
    EXPECT_EQ(ZFile::fileSize(sub), 0);
}

// A pipe or a socket, like a device, is refused on a look at its name, unopened.
TEST_F(ZFileDisk, SpecialFilesRefusedUnopened)
{
    testutil::HangGuard guard;
    const std::string fifo = at("p"), sock = at("s");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{AF_UNIX, {}};
    sock.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    for (const std::string& path : {fifo, sock}) {
        int error = 0;
        EXPECT_LE(testutil::opensOf(path, [&] { ZFile::openForReading(path, error); }), 0);
        EXPECT_EQ(error, ZFile::notRegular) << path;
        EXPECT_TRUE(ZFile::readFile(path).empty() && ZFile::readFileLines(path, -1, false).empty()) << path;
    }
    close(s);
}

TEST_F(ZFileDisk, WriteReadAppend)
{
    const std::string f = at("t.txt");
    ASSERT_EQ(ZFile::writeFile(f, "one\ntwo\n", false), 0);
    std::stringstream ss;
    ss << "three " << 3;
    ss.get(); // the read position must not matter
    ASSERT_EQ(ZFile::writeFile(f, ss, true), 0);
    EXPECT_EQ(ZFile::readFile(f), "one\ntwo\nthree 3");
    EXPECT_EQ(ZFile::fileSize(f), 15);
    ASSERT_EQ(ZFile::writeFile(f, "new", false), 0);
    EXPECT_EQ(ZFile::readFile(f), "new");
    EXPECT_EQ(ZFile::readFile(at("missing")), "");
    EXPECT_EQ(ZFile::fileSize(at("missing")), 0);
}

TEST_F(ZFileDisk, WriteFailuresReported)
{
    EXPECT_EQ(ZFile::writeFile(at("no/such/file"), "x", false), -1);
    EXPECT_EQ(ZFile::writeFile(dir, "x", false), -1);
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(ZFile::writeFile("/dev/full", std::string(100000, 'x'), true), -1);
    }
}

TEST_F(ZFileDisk, CarriageReturnsBeforeLineFeedDropped)
{
    const std::string f = at("crlf.txt");
    ASSERT_EQ(ZFile::writeFile(f, "a\r\nb\r\n\r\nc\rd\r", false), 0);
    EXPECT_EQ(ZFile::readFile(f), "a\nb\n\nc\rd\r");
    EXPECT_EQ(ZFile::readFileLines(f, -1, false), (Lines{"a\n", "b\n", "\n", "c\rd\r\n"}));
    EXPECT_EQ(ZFile::readFileLines(f, -1, true), (Lines{"a\n", "b\n", "c\rd\r\n"}));
}

TEST_F(ZFileDisk, ReadFileLinesLimits)
{
    const std::string f = at("l.txt");
    ASSERT_EQ(ZFile::writeFile(f, "a\n\nb\nc", false), 0);
    EXPECT_EQ(ZFile::readFileLines(f, 2, true), (Lines{"a\n", "b\n"}));
    EXPECT_EQ(ZFile::readFileLines(f, 2, false), (Lines{"a\n", "\n"}));
    EXPECT_EQ(ZFile::readFileLines(f, -1, false), (Lines{"a\n", "\n", "b\n", "c\n"}));
    EXPECT_TRUE(ZFile::readFileLines(f, 0, false).empty());
    EXPECT_TRUE(ZFile::readFileLines(at("missing"), -1, false).empty());
}

TEST_F(ZFileDisk, DeleteMoveCopy)
{
    const std::string a = at("a.bin"), b = at("b.bin"), c = at("c.bin");
    std::string data;
    for (int i = 0; i < 200000; ++i)
        data += static_cast<char>((i * 7) % 251);
    ASSERT_EQ(ZFile::writeFile(a, data, false), 0);
    ZFile::copyFile(a, b);
    EXPECT_EQ(ZFile::readFile(b), ZFile::readFile(a));
    EXPECT_EQ(ZFile::fileSize(b), 200000);
    ZFile::copyFile(b, b); // onto itself: nothing lost
    EXPECT_EQ(ZFile::fileSize(b), 200000);
    ZFile::copyFile(at("missing"), c);
    ZFile::copyFile(dir, c);
    EXPECT_FALSE(ZFile::fileExists(c));
    EXPECT_EQ(ZFile::moveFile(b, c), 0);
    EXPECT_FALSE(ZFile::fileExists(b));
    EXPECT_EQ(ZFile::moveFile(b, c), -1);
    EXPECT_EQ(ZFile::delFile(c, false), 0);
    EXPECT_EQ(ZFile::delFile(a, true), 0);
    EXPECT_FALSE(ZFile::fileExists(a) || ZFile::fileExists(c));
    EXPECT_EQ(ZFile::delFile(a, false), 0);
    EXPECT_EQ(ZFile::delFile(a, true), 0);
}

TEST(ZFileDelete, RetryThrows)
{
    // A regular file that no user, root included, may remove.
    const std::string f = "/proc/self/status";
    if (!ZFile::fileExists(f))
        GTEST_SKIP() << "no procfs";
    EXPECT_EQ(ZFile::delFile(f, false), -1);
    try {
        ZFile::delFile(f, true);
        ADD_FAILURE() << "no exception";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "Could not delete file '" + f + "'");
    }
}

TEST_F(ZFileDisk, TimeStamps)
{
    const long long before = time(nullptr);
    ASSERT_EQ(ZFile::writeFile(at("t"), "x", false), 0);
    const long long after = time(nullptr);
    EXPECT_GE(ZFile::dateModified(at("t")), before - 2);
    EXPECT_LE(ZFile::dateModified(at("t")), after + 2);
    EXPECT_GE(ZFile::dateCreated(at("t")), before - 2);
    EXPECT_EQ(ZFile::dateModified(at("missing")), 0);
    EXPECT_EQ(ZFile::dateCreated(at("missing")), 0);
}

TEST_F(ZFileDisk, FolderListing)
{
    for (const char* name : {"b.emb", "A.EMB", "c.txt", "noext", "Z", ".hidden"})
        ASSERT_EQ(ZFile::writeFile(at(name), "", false), 0);
    ASSERT_TRUE(ZFile::createFolder(at("sub.d")));
    ASSERT_TRUE(ZFile::createFolder(at("sub2")));
    const Lines all{".hidden", "A.EMB", "Z", "b.emb", "c.txt", "noext"};
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "*.*", false, -1), all);
    EXPECT_EQ(ZFile::getFilesInFolder(dir + "/", "*", false, -1), all);
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "*.emb", false, -1), (Lines{"A.EMB", "b.emb"}));
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "?.EmB", false, -1), (Lines{"A.EMB", "b.emb"}));
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "noext.*", false, -1), (Lines{"noext"}));
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "*.*", false, 2), (Lines{".hidden", "A.EMB"}));
    EXPECT_TRUE(ZFile::getFilesInFolder(dir, "*.*", false, 0).empty());
    EXPECT_TRUE(ZFile::getFilesInFolder(dir, "", false, -1).empty());
    int error = 0;
    EXPECT_TRUE(ZFile::getFilesInFolder(at("missing"), "*.*", false, -1, &error).empty());
    EXPECT_EQ(error, ENOENT); // told from an empty folder
    EXPECT_TRUE(ZFile::getFilesInFolder(at("sub2"), "*.*", false, -1, &error).empty());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ZFile::getFilesInFolder(dir, "*.*", true, -1), (Lines{"sub.d", "sub2"}));
    EXPECT_EQ(ZFile::getSubfolders(dir), (Lines{"sub.d", "sub2"}));
    EXPECT_TRUE(ZFile::getSubfolders(at("sub2")).empty());
}

// A lock goes at its unlock, also while a copy of its descriptor lives on
// (a child between its fork and the program it starts).
TEST_F(ZFileDisk, LockGoesWithItsUnlock)
{
    bool busy = false;
    int error = 0;
    const int fd = ZPlatform::lockFile(at("l"), true, busy, error), copy = dup(fd);
    ZPlatform::unlockFile(fd);
    const int again = ZPlatform::lockFile(at("l"), false, busy, error);
    EXPECT_TRUE(again >= 0 && !busy);
    ZPlatform::unlockFile(again);
    close(copy);
}

TEST_F(ZFileDisk, CurrentFolder)
{
    const std::string old = ZFile::getCurrentDir();
    ASSERT_FALSE(old.empty());
    ASSERT_EQ(ZFile::writeFile(at("c.txt"), "", false), 0);
    ASSERT_EQ(ZFile::setCurrentDir(dir), 0);
    EXPECT_EQ(ZFile::getCurrentDir(), std::filesystem::canonical(dir).string());
    EXPECT_EQ(ZFile::getFilesInFolder("", "*.txt", false, -1), (Lines{"c.txt"}));
    EXPECT_EQ(ZFile::setCurrentDir(old), 0);
    EXPECT_EQ(ZFile::setCurrentDir(at("missing")), -1);
    EXPECT_EQ(ZFile::getCurrentDir(), old);
}

// ---- point files

TEST_F(ZFileDisk, XyzHeaderAndPrecision)
{
    const std::string f = at("p.xyz");
    ASSERT_EQ(ZFile::writeFile(f, "x y z\r\n512345.678 5823456.789 12.5\r\n1 2 3\r\n", false), 0);
    std::vector<double> x, y, z;
    Lines header;
    EXPECT_EQ(ZFile::readxyzFile(f, x, y, z, header, " "), 2);
    EXPECT_EQ(header, (Lines{"x", "y", "z"}));
    EXPECT_EQ(x, (std::vector<double>{strtod("512345.678", nullptr), 1}));
    EXPECT_EQ(y, (std::vector<double>{strtod("5823456.789", nullptr), 2}));
    EXPECT_EQ(z, (std::vector<double>{12.5, 3}));
    EXPECT_EQ(ZFile::readxyzFile(f, x, y, z, header, " "), 4); // appends
}

TEST_F(ZFileDisk, XyzWithoutHeaderAndOtherDelimiters)
{
    std::vector<double> x, y, z;
    Lines header{"keep"};
    ASSERT_EQ(ZFile::writeFile(at("a"), "1 2 3\n4 5 6", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("a"), x, y, z, header, " "), 2);
    EXPECT_EQ(header, Lines{"keep"});
    EXPECT_EQ(z.back(), 6);
    x.clear();
    ASSERT_EQ(ZFile::writeFile(at("b"), "e,n,d\n1,2,3\n", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("b"), x, y, z, header, ","), 1);
    EXPECT_EQ(header, (Lines{"e", "n", "d"}));
    x.clear();
    ASSERT_EQ(ZFile::writeFile(at("c"), "1%2%3\n4%5%6\n", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("c"), x, y, z, header, "%"), 2);
}

TEST_F(ZFileDisk, XyzBadInput)
{
    std::vector<double> x, y, z;
    Lines header;
    EXPECT_EQ(ZFile::readxyzFile(at("missing"), x, y, z, header, " "), -1);
    ASSERT_EQ(ZFile::writeFile(at("empty"), "", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("empty"), x, y, z, header, " "), -1);
    // Numbers at the end of an over-long header line are not a point.
    ASSERT_EQ(ZFile::writeFile(at("long"), "x y z" + std::string(1100, ' ') + "7 8 9\n1 2 3\n", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("long"), x, y, z, header, " "), 1);
    EXPECT_EQ(x, std::vector<double>{1});
    x.clear();
    ASSERT_EQ(ZFile::writeFile(at("trunc"), "1 2 3\n4 5\n", false), 0);
    EXPECT_EQ(ZFile::readxyzFile(at("trunc"), x, y, z, header, " "), 1);
}
