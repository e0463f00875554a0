#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ZDT.h"
#include "hsGlobal.h"
#include "testUtil.h"

using hestor::fileFmtEnum;
using hestor::hsGlobal;
using hestor::layerTypeEnum;
using hestor::modelTypeEnum;
using testutil::readText;
using testutil::thrownMessage;
using testutil::writeText;

namespace {

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

std::string nowStamp()
{
    return ZCoreLib::ZDT::nowStr("%Y%m%d%H%M%S");
}

// Log state is global: every test starts and ends with logging off.
class HsGlobalLog : public testutil::TempDirTest {
protected:
    void SetUp() override
    {
        logName = at("run.log");
        hsGlobal::setLogLevel(0);
    }
    void TearDown() override
    {
        hsGlobal::setLogLevel(0);
        hsGlobal::setLogFileName("", false);
    }
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string logName;
};

} // namespace

TEST(HsGlobalEnum, CodesAreFixed)
{
    EXPECT_EQ(hestor::EMT, 0);
    EXPECT_EQ(hestor::EMB, 1);
    EXPECT_EQ(hestor::TEXT0D, 2);
    EXPECT_EQ(hestor::TEXT1D, 3);
    EXPECT_EQ(hestor::EMF, 4);
    EXPECT_EQ(hestor::NC, 10);
    EXPECT_EQ(hestor::RESTART, 100);
    EXPECT_EQ(hestor::DECOUPLED, 101);
    EXPECT_EQ(hestor::MESH, 1000);
    EXPECT_EQ(hestor::WATER, 0);
    EXPECT_EQ(hestor::SEDIMENT, 10);
    EXPECT_EQ(hestor::ABM, 20);
    EXPECT_EQ(hestor::ZLAYER, 0);
    EXPECT_EQ(hestor::SIGMA, 1);
}

TEST(HsGlobalEnum, FileFormatsRoundTrip)
{
    const std::vector<std::pair<int, std::string>> table = {
        {0, "EMT"}, {1, "EMB"}, {2, "TEXT0D"}, {3, "TEXT1D"}, {4, "EMF"},
        {10, "NC"}, {100, "RESTART"}, {101, "DECOUPLED"}, {1000, "MESH"}};
    for (const auto& [code, text] : table) {
        const auto fmt = static_cast<fileFmtEnum>(code);
        EXPECT_EQ(hsGlobal::fileFmtEnum2str(fmt), text);
        EXPECT_EQ(hsGlobal::str2fileFmtEnum(text), fmt);
        std::string lower = text;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(hsGlobal::str2fileFmtEnum(lower), fmt) << lower;
    }
    EXPECT_EQ(hsGlobal::str2fileFmtEnum("emb"), 1);
    EXPECT_EQ(hsGlobal::str2fileFmtEnum("Mesh"), 1000);
    EXPECT_EQ(hsGlobal::str2fileFmtEnum("deCouPled"), 101);
}

TEST(HsGlobalEnum, ModelTypesRoundTrip)
{
    const std::vector<std::pair<int, std::string>> table = {
        {0, "water"}, {10, "sediment"}, {20, "abm"}};
    for (const auto& [code, text] : table) {
        const auto type = static_cast<modelTypeEnum>(code);
        EXPECT_EQ(hsGlobal::modelTypeEnum2str(type), text);
        EXPECT_EQ(hsGlobal::str2modelTypeEnum(text), type);
    }
    EXPECT_EQ(hsGlobal::str2modelTypeEnum("WATER"), 0);
    EXPECT_EQ(hsGlobal::str2modelTypeEnum("SeDiMent"), 10);
    EXPECT_EQ(hsGlobal::str2modelTypeEnum("unstructured"), 0);
    EXPECT_EQ(hsGlobal::str2modelTypeEnum("UnStructured"), 0);
    EXPECT_EQ(hsGlobal::modelTypeEnum2str(hsGlobal::str2modelTypeEnum("UNSTRUCTURED")), "water");
}

TEST(HsGlobalEnum, LayerTypesRoundTrip)
{
    // A literal 0 would pick the text overload: always pass the enumeration.
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(static_cast<layerTypeEnum>(0)), "zlayer");
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(static_cast<layerTypeEnum>(1)), "sigma");
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("zlayer")), 0);
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("sigma")), 1);
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("z")), 0);
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("Z")), 0);
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("ZLayer")), 0);
    EXPECT_EQ(hsGlobal::str2layerTypeEnum(std::string("SIGMA")), 1);
}

TEST(HsGlobalEnum, UnlistedCodesThrowExactMessages)
{
    for (int code : {-1, 5, 9, 11, 99, 102, 999, 1001}) {
        EXPECT_EQ(thrownMessage([&] { hsGlobal::fileFmtEnum2str(static_cast<fileFmtEnum>(code)); }),
                  "fileFmtEnum2str: unsupported fileFmtEnum")
            << code;
    }
    for (int code : {1, 2, 19, 21}) {
        EXPECT_EQ(thrownMessage([&] { hsGlobal::modelTypeEnum2str(static_cast<modelTypeEnum>(code)); }),
                  "modelTypeEnum2str: unsupported modelTypeEnum.")
            << code;
    }
    for (int code : {-1, 2}) {
        EXPECT_EQ(thrownMessage([&] { hsGlobal::str2layerTypeEnum(static_cast<layerTypeEnum>(code)); }),
                  "modelTypeEnum2str: unsupported layerTypeEnum.")
            << code;
    }
}

TEST(HsGlobalEnum, UnknownTextsThrowWithConvertedText)
{
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2fileFmtEnum(" emb"); }),
              "str2fileFmtEnum: invalid format definition ( EMB).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2fileFmtEnum("EMB "); }),
              "str2fileFmtEnum: invalid format definition (EMB ).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2fileFmtEnum(""); }),
              "str2fileFmtEnum: invalid format definition ().");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2fileFmtEnum("text2d"); }),
              "str2fileFmtEnum: invalid format definition (TEXT2D).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2modelTypeEnum("Water "); }),
              "str2modelTypeEnum: invalid modeltype definition (water ).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2modelTypeEnum("ABMX"); }),
              "str2modelTypeEnum: invalid modeltype definition (abmx).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2layerTypeEnum(std::string("x")); }),
              "str2fileFmtEnum: invalid format definition (X).");
    EXPECT_EQ(thrownMessage([] { hsGlobal::str2layerTypeEnum(std::string(" z")); }),
              "str2fileFmtEnum: invalid format definition ( Z).");
}

TEST_F(HsGlobalLog, LevelGatesLines)
{
    hsGlobal::setLogFileName(logName, false);
    EXPECT_EQ(hsGlobal::getLogLevel(), 0);
    hsGlobal::logMsg("hidden", false, false, 1);
    EXPECT_FALSE(exists(logName));

    hsGlobal::setLogLevel(1);
    EXPECT_EQ(hsGlobal::getLogLevel(), 1);
    hsGlobal::logMsg("first", false, false, 1);
    hsGlobal::logMsg("second", false, false, 0);
    hsGlobal::logMsg("too verbose", false, false, 2);
    hsGlobal::logMsg("negative", false, false, -5);
    EXPECT_EQ(readText(logName), "first\nsecond\nnegative\n");
}

TEST_F(HsGlobalLog, TimeStampLeadsLine)
{
    hsGlobal::setLogFileName(logName, false);
    const std::string before = nowStamp();
    hsGlobal::logMsg("hello world");
    const std::string after = nowStamp();
    const std::string line = readText(logName);
    ASSERT_EQ(line.size(), 14u + 1u + 11u + 1u) << line;
    const std::string stamp = line.substr(0, 14);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(line.substr(14), " hello world\n");
}

TEST_F(HsGlobalLog, ConsoleGetsTheSameLine)
{
    hsGlobal::setLogFileName(logName, false);
    testing::internal::CaptureStdout();
    hsGlobal::logMsg("to both", false, true, 0);
    hsGlobal::logMsg("gated", false, true, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to both\n");
    EXPECT_EQ(readText(logName), "to both\n");

    testing::internal::CaptureStdout();
    hsGlobal::logMsg("stamped", true, true, 0);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(readText(logName), "to both\n" + console);
}

TEST_F(HsGlobalLog, NoOrBadFileLosesLineQuietly)
{
    hsGlobal::setLogFileName("", false);
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(hsGlobal::logMsg("nowhere", false, true, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "nowhere\n");

    hsGlobal::setLogFileName(dir + "/missing/sub/run.log", false);
    EXPECT_NO_THROW(hsGlobal::logMsg("lost"));
    EXPECT_EQ(files(), std::vector<std::string>{});
}

TEST_F(HsGlobalLog, ReplaceDeletesOldLog)
{
    writeText(logName, "old\n");
    hsGlobal::setLogFileName(logName, false);
    EXPECT_FALSE(exists(logName));
    hsGlobal::logMsg("new", false, false, 0);
    EXPECT_EQ(readText(logName), "new\n");
    EXPECT_EQ(files(), std::vector<std::string>{"run.log"});
}

TEST_F(HsGlobalLog, KeepMovesOldLogToStampedName)
{
    writeText(logName, "old\n");
    const std::string before = nowStamp();
    hsGlobal::setLogFileName(logName, true);
    const std::string after = nowStamp();
    EXPECT_FALSE(exists(logName));
    const auto names = files();
    ASSERT_EQ(names.size(), 1u);
    const std::string kept = names[0];
    ASSERT_EQ(kept.size(), std::string("run").size() + 14 + std::string(".log").size()) << kept;
    EXPECT_EQ(kept.substr(0, 3), "run");
    EXPECT_EQ(kept.substr(17), ".log");
    EXPECT_GE(kept.substr(3, 14), before);
    EXPECT_LE(kept.substr(3, 14), after);
    EXPECT_EQ(readText(dir + "/" + kept), "old\n");

    hsGlobal::logMsg("new", false, false, 0);
    EXPECT_EQ(readText(logName), "new\n");
}

TEST_F(HsGlobalLog, KeepWithoutOldLogDoesNothing)
{
    hsGlobal::setLogFileName(logName, true);
    EXPECT_EQ(files(), std::vector<std::string>{});
    hsGlobal::logMsg("a", false, false, 0);
    EXPECT_EQ(readText(logName), "a\n");
}

TEST_F(HsGlobalLog, KeepNeverOverwritesAnEarlierKeptLog)
{
    // Both switches must fall into the same second for the names to collide.
    for (int attempt = 0; attempt < 5; ++attempt) {
        writeText(logName, "current\n");
        const std::string stamp = nowStamp();
        const std::string kept = dir + "/run" + stamp + ".log";
        writeText(kept, "kept earlier\n");
        hsGlobal::setLogFileName(logName, true);
        if (nowStamp() != stamp) {
            std::filesystem::remove(kept);
            std::filesystem::remove(logName);
            continue;
        }
        EXPECT_EQ(readText(kept), "kept earlier\n");
        EXPECT_EQ(readText(logName), "current\n");
        hsGlobal::logMsg("more", false, false, 0);
        EXPECT_EQ(readText(logName), "current\nmore\n");
        return;
    }
    GTEST_SKIP() << "clock kept ticking over a second boundary";
}

TEST(HsGlobalConvert, WidensLittleEndianFloats)
{
    const float in[3] = {1.5f, -2.0f, -1e-30f};
    char buffer[sizeof in];
    std::memcpy(buffer, in, sizeof in);
    std::vector<hestor::zfloat> out(4, 7.0);
    hestor::zfloat* p = out.data();
    hsGlobal::char2zfloatArr(p, buffer, 8);
    EXPECT_EQ(out[0], 1.5);
    EXPECT_EQ(out[1], -2.0);
    EXPECT_EQ(out[2], 7.0);

    hsGlobal::char2zfloatArr(p, buffer, 12);
    EXPECT_EQ(out[2], static_cast<double>(-1e-30f));
    EXPECT_EQ(out[3], 7.0);
    EXPECT_EQ(p, out.data());
}

TEST(HsGlobalConvert, BytePatternIsReadAsIEEE)
{
    // 0x3FC00000 = 1.5, 0x8DA24260 = -1e-30 (the missing-value marker)
    const unsigned char bytes[8] = {0x00, 0x00, 0xC0, 0x3F, 0x60, 0x42, 0xA2, 0x8D};
    char buffer[8];
    std::memcpy(buffer, bytes, 8);
    double out[2] = {0, 0};
    hestor::zfloat* p = out;
    hsGlobal::char2zfloatArr(p, buffer, 8);
    EXPECT_EQ(out[0], 1.5);
    EXPECT_EQ(out[1], static_cast<double>(-1e-30f));
}

TEST(HsGlobalConvert, TooFewBytesWriteNothing)
{
    char buffer[4] = {1, 2, 3, 4};
    double out[1] = {9.0};
    hestor::zfloat* p = out;
    hsGlobal::char2zfloatArr(p, buffer, 0);
    hsGlobal::char2zfloatArr(p, buffer, 3);
    hsGlobal::char2zfloatArr(p, buffer, -4);
    EXPECT_EQ(out[0], 9.0);
}
