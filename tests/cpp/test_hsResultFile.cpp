// The result file object: queries, static items, formats by extension.

#include <gtest/gtest.h>

#include "ZFile.h"
#include "hsResultFile.h"
#include "test_hsResultFileUtil.h"

using hestor::hsResultFile;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using namespace rftest;

namespace {

class ResultObject : public TempDir {};

} // namespace

TEST_F(ResultObject, FreshObject)
{
    hsResultFile f(at("new.emb"), -1);
    EXPECT_EQ(f.fileFmt, -1); // no file to take the format from
    EXPECT_EQ(f.headerVersion, 8);
    EXPECT_EQ(f.writeVersion, 8);
    EXPECT_EQ(f.colWidth, 12);
    EXPECT_EQ(f.separator, "\t");
    EXPECT_EQ(f.maxTimestepsPerFile, -1);
    EXPECT_EQ(f.cutoffDate, cutoff);
    EXPECT_EQ(f.nItem(), 0);
    EXPECT_EQ(f.readHeader(), -1);
    EXPECT_EQ(f.getFilename(), at("new.emb"));
    f.fileNo = 2;
    EXPECT_EQ(f.getFilename(), at("new^2.emb"));
}

TEST_F(ResultObject, ItemQueries)
{
    hsResultFile f(at("q.emb"), hestor::EMB);
    f.addItem("u", 5);
    f.addItem("v", 15);
    f.addItem("u", 2);
    EXPECT_EQ(f.nItem(), 3);
    EXPECT_EQ(f.itemNo("u"), 0);
    EXPECT_EQ(f.itemNo("v"), 1);
    EXPECT_EQ(f.itemNo("w"), 3);
    EXPECT_EQ(f.itemNo("U"), 3);
    EXPECT_EQ(f.totItemSize(), 22);
    EXPECT_EQ(f.totItemSize(0), 0);
    EXPECT_EQ(f.totItemSize(-3), 0);
    EXPECT_EQ(f.totItemSize(2), 20);
    EXPECT_EQ(f.totItemSize(9), 22);
    f.addItem("big", 2147483000);
    f.addItem("bigger", 1000);
    EXPECT_THROW(f.totItemSize(), ZException);
}

TEST_F(ResultObject, NToffsetByVersion)
{
    hsResultFile f(at("o.emb"), hestor::EMB);
    const int versions[] = {0, 1, 4, 5, 7, 8};
    const int offsets[] = {16, 24, 24, 40, 40, 44};
    for (int i = 0; i < 6; ++i) {
        f.headerVersion = versions[i];
        EXPECT_EQ(f.getNToffset(), offsets[i]) << versions[i];
    }
}

TEST_F(ResultObject, AddStaticItem)
{
    hsResultFile f(at("s.emb"), hestor::EMB);
    char a[] = "abc";
    float b[] = {1.f, 2.f};
    f.addStaticItem("a", a, 3, 0);
    f.addStaticItem("b", b, 2, 0);
    f.addStaticItem("c", a, 1, 2); // position = size: appended
    auto names = [&] {
        std::string s;
        for (const auto& r : f.staticItemVec)
            s += r.name;
        return s;
    };
    EXPECT_EQ(names(), "bac");
    EXPECT_EQ(f.staticItemVec[0].type, "f");
    EXPECT_EQ(f.staticItemVec[0].byteLength, 8);
    EXPECT_EQ(f.staticItemVec[0].count, 2);
    EXPECT_EQ(f.staticItemVec[1].type, "c");
    EXPECT_EQ(f.staticItemVec[1].byteLength, 3);
    EXPECT_EQ(f.staticItemVec[0].data, reinterpret_cast<char*>(b)); // not copied
    f.addStaticItem("b", b, 1, 1); // replaced, at the new position
    EXPECT_EQ(names(), "abc");
    EXPECT_EQ(f.staticItemVec[1].count, 1);
    f.addStaticItem("d", a, 1, -1);
    EXPECT_EQ(names(), "abcd");
    EXPECT_THROW(f.addStaticItem("e", b, -1, 0), ZException);
}

TEST_F(ResultObject, FormatFromFile)
{
    EXPECT_EQ(hsResultFile::getFormatFromFile(at("missing.emb")), -1);
    writeBytes(at("x.emb"), {});
    EXPECT_EQ(hsResultFile::getFormatFromFile(at("x.emb")), hestor::EMB);
    writeBytes(at("x.foo"), {});
    EXPECT_THROW(hsResultFile::getFormatFromFile(at("x.foo")), ZException);
    EXPECT_THROW(hsResultFile(at("x.foo"), -1), ZException);
    // An empty binary file has no header.
    EXPECT_THROW(hsResultFile(at("x.emb"), -1), ZException);
}

TEST_F(ResultObject, ReadHeaderByFormat)
{
    ZFile::writeFile(at("m.mesh"), "4 1\n0 0\n1 0\n1 1\n0 1\n0 1 2 3\n", false);
    hsResultFile mesh(at("m.mesh"), hestor::MESH);
    EXPECT_EQ(mesh.mInfo.mesh2d.noe, 1);
    EXPECT_EQ(mesh.readHeader(), 0);
    EXPECT_NE(mesh.itemRead, nullptr);

    ZFile::writeFile(at("e.emt"), "anything\n", false);
    hsResultFile emt(at("e.emt"), hestor::EMT);
    EXPECT_EQ(emt.readHeader(), 0);
    EXPECT_EQ(emt.nItem(), 0);

    ZFile::writeFile(at("e.emf"), "anything\n", false);
    try {
        hsResultFile emf(at("e.emf"), hestor::EMF);
        ADD_FAILURE() << "EMF header read";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "hsResultFile::readItemData undefined format.");
    }
}

TEST_F(ResultObject, ReportListsItemsAndAddsTheModelAboveLevel9)
{
    hsResultFile f(at("r.emb"), hestor::EMB);
    f.addItem("salt", 100);
    const std::string head = "Filename:\t" + at("r.emb") + "\nFormat:\tEMB\nStatic items:\nItems:\n";
    EXPECT_EQ(f.toString(0), head + "\tsalt, length=100\n");
    EXPECT_EQ(f.toString(9), f.toString(0));
    EXPECT_EQ(f.toString(10), f.toString(0) + f.mInfo.toString(10));
}
