#include <gtest/gtest.h>

#include <stdexcept>

#include "hestor.h"

using ZCoreLib::ZException;

TEST(ZException, ToStdOutPrintsMessageAndLineFeed)
{
    testing::internal::CaptureStdout();
    ZException("x").toStdOut();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "x\n");
}

TEST(ZException, NotCaughtAsStdException)
{
    bool caughtStd = false, caughtAll = false;
    try {
        try {
            throw ZException("boom");
        } catch (const std::exception&) {
            caughtStd = true;
        }
    } catch (...) {
        caughtAll = true;
    }
    EXPECT_FALSE(caughtStd);
    EXPECT_TRUE(caughtAll);
}

TEST(HeaderConstants, Values)
{
    EXPECT_EQ(ZCoreLib::newLine, "\n");
    EXPECT_EQ(ZCoreLib::dtFormat, "%Y%m%d%H%M%S");
    EXPECT_TRUE(ZCoreLib::zfloatIsDouble);
    const std::string msg = "Bad file." + hestor::errSuffix;
    EXPECT_EQ(msg.substr(0, 13), "Bad file. If ");
    EXPECT_EQ(hestor::errSuffix.size(), 61 + hestor::contactAddress.size());
    EXPECT_EQ(hestor::errSuffix.substr(53, 8 + hestor::contactAddress.size()), "contact " + hestor::contactAddress);
}
