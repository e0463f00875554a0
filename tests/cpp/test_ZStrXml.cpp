#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZStr.h"

using ZCoreLib::ZStr;

namespace {

// model
//   name
//   mesh
//     n, ok, nodes
//   layers
//     count
std::string buildDocument()
{
    const std::string mesh = ZStr::xmlInsTag(
        ZStr::xmlToTag("n", "12", "") + ZStr::xmlToTag("ok", true, "")
            + ZStr::xmlToTag("nodes", "1 2 3", ""),
        "mesh", true);
    const std::string layers = ZStr::xmlInsTag(ZStr::xmlToTag("count", "5", ""), "layers", true);
    return ZStr::xmlInsTag(ZStr::xmlToTag("name", "lake", "") + mesh + layers, "model", true);
}

} // namespace

TEST(ZStrXmlWrite, ToTag)
{
    EXPECT_EQ(ZStr::xmlToTag("a", "1", "\t"), "\t<a>1</a>\n");
    EXPECT_EQ(ZStr::xmlToTag("a", std::string(), ""), "<a></a>\n");
    EXPECT_EQ(ZStr::xmlToTag("ok", true, ""), "<ok>true</ok>\n");
    EXPECT_EQ(ZStr::xmlToTag("ok", false, "\t\t"), "\t\t<ok>false</ok>\n");
    // Values are written as they are.
    EXPECT_EQ(ZStr::xmlToTag("v", "a<b&c", ""), "<v>a<b&c</v>\n");
}

TEST(ZStrXmlWrite, InsTagIndentation)
{
    EXPECT_EQ(ZStr::xmlInsTag("a\nb\n", "g", true), "<g>\n\ta\n\tb\n</g>\n");
    EXPECT_EQ(ZStr::xmlInsTag("", "g", true), "<g>\n</g>\n");
    // Content without a final line end leaves the closing tag on its line.
    EXPECT_EQ(ZStr::xmlInsTag("a\nb", "g", true), "<g>\n\ta\n\tb</g>\n");
    EXPECT_EQ(ZStr::xmlInsTag("a\n", "g", false), "<g>a\n</g>");
    EXPECT_EQ(ZStr::xmlInsTag("", "g", false), "<g></g>");
}

TEST(ZStrXmlWrite, NestedDocumentExactBytes)
{
    EXPECT_EQ(buildDocument(),
              "<model>\n"
              "\t<name>lake</name>\n"
              "\t<mesh>\n"
              "\t\t<n>12</n>\n"
              "\t\t<ok>true</ok>\n"
              "\t\t<nodes>1 2 3</nodes>\n"
              "\t</mesh>\n"
              "\t<layers>\n"
              "\t\t<count>5</count>\n"
              "\t</layers>\n"
              "</model>\n");
}

TEST(ZStrXmlWrite, LargeContentIsLinear)
{
    // A megabyte-sized mesh description wrapped a few levels deep.
    std::string lines;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
        lines += ZStr::xmlToTag("e", std::to_string(i), "");
    std::string doc = lines;
    for (const char* name : {"elements", "mesh", "model"})
        doc = ZStr::xmlInsTag(doc, name, true);
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/elements/e", "/"), "0");
    const std::string deepest = "\t\t\t<e>" + std::to_string(n - 1) + "</e>\n\t\t</elements>\n";
    EXPECT_NE(doc.find(deepest), std::string::npos);
    EXPECT_EQ(doc.size(), lines.size() + 3 * n + std::string("<model>\n\t<mesh>\n\t\t<elements>\n"
                                                             "\t\t</elements>\n\t</mesh>\n"
                                                             "</model>\n")
                                                     .size());
}

TEST(ZStrXmlRead, TagPos)
{
    std::string tag = "m/n";
    int length = 0;
    EXPECT_EQ(ZStr::xmlGetTagPos("a<m><n>1</n></m>", tag, length, "/"), 4);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(tag, "n");

    tag = "n";
    EXPECT_EQ(ZStr::xmlGetTagPos("a<m><n>1</n></m>", tag, length, ""), 4);
    EXPECT_EQ(length, 4);

    tag = "x/n";
    EXPECT_EQ(ZStr::xmlGetTagPos("a<m><n>1</n></m>", tag, length, "/"), -1);
    EXPECT_EQ(length, -1);

    tag = "m/n";
    EXPECT_EQ(ZStr::xmlGetTagPos("<m><n></n></m>", tag, length, "/"), 3);
    EXPECT_EQ(length, 3);

    // The separator is a set of characters.
    tag = "m.n";
    EXPECT_EQ(ZStr::xmlGetTagPos("a<m><n>1</n></m>", tag, length, "/."), 4);
}

TEST(ZStrXmlRead, ValuesAndScopes)
{
    EXPECT_EQ(ZStr::xmlGetTagValue("a<m><n>1</n></m>", "m/n", "/"), "1");
    EXPECT_EQ(ZStr::xmlGetTagValue("a<m><n>1</n></m>", "x/n", "/"), "");
    EXPECT_EQ(ZStr::xmlGetTagValue("<m><n></n></m>", "m/n", "/"), "");
    EXPECT_EQ(ZStr::xmlGetTagValue("<m><n>1</n></m>", "q", ""), "");
    // Whole tags only.
    EXPECT_EQ(ZStr::xmlGetTagValue("<nn>2</nn><n>1</n>", "n", ""), "1");
    // A closing tag inside a value ends the element there.
    EXPECT_EQ(ZStr::xmlGetTagValue("<n>a</n>b</n>", "n", ""), "a");
    // The first element of a name wins; the outer element limits the search.
    const std::string two = "<a><x>1</x></a><b><x>2</x></b>";
    EXPECT_EQ(ZStr::xmlGetTagValue(two, "a/x", "/"), "1");
    EXPECT_EQ(ZStr::xmlGetTagValue(two, "b/x", "/"), "2");
    EXPECT_EQ(ZStr::xmlGetTagValue("<a></a><b><y>3</y></b>", "a/y", "/"), "");
    // A closing tag before the opening one is no element.
    EXPECT_EQ(ZStr::xmlGetTagValue("</n><n>", "n", ""), "");
}

TEST(ZStrXmlRead, DocumentPathByPath)
{
    const std::string doc = buildDocument();
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/name", "/"), "lake");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/n", "/"), "12");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/ok", "/"), "true");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/nodes", "/"), "1 2 3");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers/count", "/"), "5");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/count", "/"), "");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers", "/"), "\n\t\t<count>5</count>\n\t");
}

TEST(ZStrXmlEdit, ReplaceValue)
{
    EXPECT_EQ(ZStr::xmlReplaceValue("<m><n>1</n></m>", "m/n", "22", "/"), "<m><n>22</n></m>");
    EXPECT_EQ(ZStr::xmlReplaceValue("<m><n>1</n></m>", "m/x", "22", "/"), "<m><n>1</n></m>");
    // An empty element gets its value too.
    EXPECT_EQ(ZStr::xmlReplaceValue("<m><n></n></m>", "m/n", "7", "/"), "<m><n>7</n></m>");

    const std::string doc = ZStr::xmlReplaceValue(buildDocument(), "model/mesh/n", "345", "/");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/n", "/"), "345");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/nodes", "/"), "1 2 3");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers/count", "/"), "5");
    EXPECT_EQ(doc, ZStr::replace(buildDocument(), "<n>12</n>", "<n>345</n>"));
}

TEST(ZStrXmlEdit, InsInXml)
{
    EXPECT_EQ(ZStr::xmlInsInXml("<m></m>", "m", "x", ""), "<m>x</m>");
    EXPECT_EQ(ZStr::xmlInsInXml("<m></m>", "q", "x", ""), "<m></m>");

    const std::string added = ZStr::xmlToTag("depth", "4.5", "\t");
    std::string doc = ZStr::xmlInsInXml(buildDocument(), "model/layers", added, "/");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers/depth", "/"), "4.5");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers/count", "/"), "5");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/mesh/n", "/"), "12");
    // The insert goes after the closing tag's own indentation.
    EXPECT_NE(doc.find("\t\t<count>5</count>\n\t\t<depth>4.5</depth>\n</layers>\n</model>\n"),
              std::string::npos);

    // Edits compose: replace after insert.
    doc = ZStr::xmlReplaceValue(doc, "model/layers/depth", "6", "/");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/layers/depth", "/"), "6");
    EXPECT_EQ(ZStr::xmlGetTagValue(doc, "model/name", "/"), "lake");
}
