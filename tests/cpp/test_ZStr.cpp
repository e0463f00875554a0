#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ZStr.h"

using ZCoreLib::ZException;
using ZCoreLib::ZStr;
using Tokens = std::vector<std::string>;

namespace {

std::string commentError(const std::string& text)
{
    try {
        ZStr::removeCommentBlocks(text);
    } catch (const ZException& e) {
        return e.message;
    }
    return "no exception";
}

} // namespace

TEST(ZStrClassify, IsInteger)
{
    EXPECT_TRUE(ZStr::isInteger("12-3"));
    EXPECT_TRUE(ZStr::isInteger("-"));
    EXPECT_TRUE(ZStr::isInteger("007"));
    EXPECT_FALSE(ZStr::isInteger(""));
    EXPECT_FALSE(ZStr::isInteger("+5"));
    EXPECT_FALSE(ZStr::isInteger("1.0"));
    EXPECT_FALSE(ZStr::isInteger(" 1"));
}

TEST(ZStrClassify, IsNumericStrict)
{
    EXPECT_TRUE(ZStr::isNumeric("3.5e2", true));
    EXPECT_TRUE(ZStr::isNumeric("3.5   ", true));
    EXPECT_TRUE(ZStr::isNumeric("  -7", true));
    EXPECT_FALSE(ZStr::isNumeric("3.5x", true));
    EXPECT_FALSE(ZStr::isNumeric("", true));
    EXPECT_FALSE(ZStr::isNumeric("1 2", true));
    EXPECT_FALSE(ZStr::isNumeric("abc", true));
    EXPECT_TRUE(ZStr::isNumeric("3.5x", false));
}

TEST(ZStrClassify, FirstNonNumericChar)
{
    EXPECT_EQ(ZStr::firstNonNumericChar("12a4b", false), 2);
    EXPECT_EQ(ZStr::firstNonNumericChar("12a4b", true), 4);
    EXPECT_EQ(ZStr::firstNonNumericChar("1.5e+3", false), -1);
    EXPECT_EQ(ZStr::firstNonNumericChar("1.5E-3\n", true), -1);
    EXPECT_EQ(ZStr::firstNonNumericChar("", false), -1);
    EXPECT_EQ(ZStr::firstNonNumericChar("1 2", false), 1);
}

TEST(ZStrClassify, FindDelimAndAffixes)
{
    EXPECT_EQ(ZStr::findDelim("a;b,c", ",;"), ',');
    EXPECT_EQ(ZStr::findDelim("a;b", ",;"), ';');
    try {
        ZStr::findDelim("abc", ",;");
        FAIL() << "no exception";
    } catch (const ZException& e) {
        EXPECT_EQ(e.message, "Delimiter could not be detected.");
    }
    EXPECT_TRUE(ZStr::startsWith("abc", ""));
    EXPECT_TRUE(ZStr::startsWith("abc", "ab"));
    EXPECT_FALSE(ZStr::startsWith("abc", "Ab"));
    EXPECT_FALSE(ZStr::startsWith("ab", "abc"));
    EXPECT_TRUE(ZStr::endsWith("abc", ""));
    EXPECT_TRUE(ZStr::endsWith("abc", "bc"));
    EXPECT_FALSE(ZStr::endsWith("abc", "BC"));
    EXPECT_FALSE(ZStr::endsWith("bc", "abc"));
}

TEST(ZStrShape, CasePadTrimJoinBool)
{
    EXPECT_EQ(ZStr::toUpper("aBc1\xe9"), "ABC1\xe9");
    EXPECT_EQ(ZStr::toLower("AbC1"), "abc1");
    EXPECT_EQ(ZStr::padLeft("7", 3, '0'), "007");
    EXPECT_EQ(ZStr::padLeft("1234", 3, '0'), "1234");
    EXPECT_EQ(ZStr::padLeft("", 2, ' '), "  ");
    EXPECT_EQ(ZStr::trimEnd("1.500", '0'), "1.5");
    EXPECT_EQ(ZStr::trimEnd("000", '0'), "");
    EXPECT_EQ(ZStr::trimEnd("a  \t", ' '), "a  \t");
    EXPECT_EQ(ZStr::join({}, ","), "");
    EXPECT_EQ(ZStr::join({"a"}, ","), "a");
    EXPECT_EQ(ZStr::join({"a", "", "b"}, ", "), "a, , b");
    EXPECT_TRUE(ZStr::string2Bool("true"));
    EXPECT_TRUE(ZStr::string2Bool(std::string("true")));
    EXPECT_FALSE(ZStr::string2Bool("True"));
    EXPECT_FALSE(ZStr::string2Bool("true "));
    EXPECT_FALSE(ZStr::string2Bool(static_cast<const char*>(nullptr)));
    EXPECT_EQ(ZStr::bool2String(true), "true");
    EXPECT_EQ(ZStr::bool2String(false), "false");
}

TEST(ZStrShape, Replace)
{
    EXPECT_EQ(ZStr::replace("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ZStr::replace("aaa", "", "b"), "aaa");
    EXPECT_EQ(ZStr::replace("abab", "ab", "abab"), "abababab");
    EXPECT_EQ(ZStr::replace("x.y.z", ".", ""), "xyz");
    EXPECT_EQ(ZStr::replace("", "a", "b"), "");

    // Linear: a quadratic replace would take minutes here.
    const std::string big(2000000, 'a');
    const std::string out = ZStr::replace(big, "a", "bc");
    ASSERT_EQ(out.size(), 4000000u);
    EXPECT_EQ(out.substr(0, 4), "bcbc");
}

struct SplitCase {
    std::string text, delims;
    bool skipEmpty, whole;
    Tokens expected;
};

TEST(ZStrSplit, Table)
{
    const std::vector<SplitCase> cases = {
        {"a,,b", ",", false, false, {"a", "", "b"}},
        {"a,,b", ",", true, false, {"a", "b"}},
        {",a,", ",", false, false, {"", "a", ""}},
        {",a,", ",", true, false, {"a"}},
        {"a::b::c", "::", false, true, {"a", "b", "c"}},
        {"a::b::c", "::", false, false, {"a", "", "b", "", "c"}},
        {"a::b::c", "::", true, false, {"a", "b", "c"}},
        {"", ",", false, false, {""}},
        {"", ",", true, false, {}},
        {"", "::", false, true, {""}},
        {"a b\tc", " \t", false, false, {"a", "b", "c"}},
        {"abc", "", false, false, {"abc"}},
        {"abc", "", false, true, {"abc"}},
        {"::", "::", false, true, {"", ""}},
        {":::", "::", false, true, {"", ":"}},
        {"a;b", "::", false, true, {"a;b"}},
        {"1  2 ", " ", true, false, {"1", "2"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(ZStr::Split(c.text, c.delims, c.skipEmpty, c.whole), c.expected)
            << "text '" << c.text << "' delimiters '" << c.delims << "' skip " << c.skipEmpty
            << " whole " << c.whole;
}

TEST(ZStrSplit, JoinRoundTrip)
{
    const Tokens parts = {"", "x", "", "yz", ""};
    EXPECT_EQ(ZStr::Split(ZStr::join(parts, "|"), "|", false, false), parts);
    EXPECT_EQ(ZStr::Split(ZStr::join(parts, "<>"), "<>", false, true), parts);
}

TEST(ZStrNumbers, ToString)
{
    EXPECT_EQ(ZStr::toString<double>(3.14159, 2, -1), "3.14");
    EXPECT_EQ(ZStr::toString<double>(3.14159, 0, -1), "3");
    EXPECT_EQ(ZStr::toString<double>(2.5, 3, -1), "2.500");
    EXPECT_EQ(ZStr::toString<double>(0.1, -1, -1), "0.1");
    EXPECT_EQ(ZStr::toString<double>(1234567.0, -1, -1), "1.23457e+06");
    EXPECT_EQ(ZStr::toString<double>(1.0 / 3, -1, -1), "0.333333");
    EXPECT_EQ(ZStr::toString<double>(1e-30, -1, -1), "1e-30");
    EXPECT_EQ(ZStr::toString<double>(1.5, 2, 6), "001.50");
    EXPECT_EQ(ZStr::toString<int>(5, -1, 2), "05");
    EXPECT_EQ(ZStr::toString<int>(123, -1, 2), "123");
    EXPECT_EQ(ZStr::toString<int>(-5, -1, 3), "0-5");
    EXPECT_EQ(ZStr::toString<int>(7, 3, -1), "7");
    EXPECT_EQ(ZStr::toString<int>(7, -1, 0), "7");
    EXPECT_EQ(ZStr::toString<int>(-42, -1, -1), "-42");
}

TEST(ZStrNumbers, FromString)
{
    EXPECT_EQ(ZStr::fromString<int>("42abc", std::dec), 42);
    EXPECT_EQ(ZStr::fromString<int>("abc", std::dec), 0);
    EXPECT_EQ(ZStr::fromString<int>("  -17", std::dec), -17);
    EXPECT_EQ(ZStr::fromString<int>("", std::dec), 0);
    EXPECT_DOUBLE_EQ(ZStr::fromString<double>("2.5e3 m", std::dec), 2500.0);
    EXPECT_DOUBLE_EQ(ZStr::fromString<double>("x2.5", std::dec), 0.0);
    for (double v : {0.0, -1.25, 1e-7, 123456.789, 6.02214e23})
        EXPECT_DOUBLE_EQ(ZStr::fromString<double>(ZStr::toString<double>(v, 12, -1), std::dec),
                         std::stod(ZStr::toString<double>(v, 12, -1)));
}

TEST(ZStrComments, EachKind)
{
    EXPECT_EQ(ZStr::removeCommentBlocks(""), "");
    EXPECT_EQ(ZStr::removeCommentBlocks("a/*x*/b"), "ab");
    EXPECT_EQ(ZStr::removeCommentBlocks("a<!--x-->b"), "ab");
    EXPECT_EQ(ZStr::removeCommentBlocks("a//x\nb"), "a\nb");
    EXPECT_EQ(ZStr::removeCommentBlocks("a/b*c<!d-e>f"), "a/b*c<!d-e>f");
    EXPECT_EQ(ZStr::removeCommentBlocks("/*x*/"), "");
    EXPECT_EQ(ZStr::removeCommentBlocks("<!---->"), "");
    EXPECT_EQ(ZStr::removeCommentBlocks("a/**/"), "a");
    EXPECT_EQ(ZStr::removeCommentBlocks("a\n/*1\n2*/\nb"), "a\n\nb");
}

TEST(ZStrComments, Nesting)
{
    EXPECT_EQ(ZStr::removeCommentBlocks("a/*x/*y*/z*/b"), "ab");
    EXPECT_EQ(ZStr::removeCommentBlocks("a<!--x<!--y-->z-->b"), "ab");
    // Other kinds inside a comment are plain text of that comment.
    EXPECT_EQ(ZStr::removeCommentBlocks("a/*x<!--y*/b"), "ab");
    EXPECT_EQ(ZStr::removeCommentBlocks("a/*x//y*/b"), "ab");
    EXPECT_EQ(ZStr::removeCommentBlocks("a//x/*y\nb"), "a\nb");
    // A "//" inside a line comment does not swallow the next line.
    EXPECT_EQ(ZStr::removeCommentBlocks("a//x//y\nb\nc"), "a\nb\nc");
    // Deep nesting does not recurse.
    std::string deep = "a";
    for (int i = 0; i < 100000; ++i)
        deep += "/*";
    for (int i = 0; i < 100000; ++i)
        deep += "*/";
    deep += "b";
    EXPECT_EQ(ZStr::removeCommentBlocks(deep), "ab");
}

TEST(ZStrComments, PositionQuirks)
{
    // A comment of the same kind directly after a removed one stays text.
    EXPECT_EQ(ZStr::removeCommentBlocks("<!--x--><!--y-->b"), "<!--y-->b");
    EXPECT_EQ(ZStr::removeCommentBlocks("/*x*//*y*/b"), "/*y*/b");
    // Later kinds are still recognised right after an earlier one.
    EXPECT_EQ(ZStr::removeCommentBlocks("<!--x-->/*y*/b"), "b");
    EXPECT_EQ(ZStr::removeCommentBlocks("/*x*///y\nb"), "\nb");
    EXPECT_EQ(ZStr::removeCommentBlocks("<!--x-->//y\nb"), "\nb");
}

TEST(ZStrComments, EndOfText)
{
    // A line comment on a last line without line end ends with the text.
    EXPECT_EQ(ZStr::removeCommentBlocks("a//x"), "a");
    EXPECT_EQ(ZStr::removeCommentBlocks("a\n//"), "a\n");
    EXPECT_EQ(ZStr::removeCommentBlocks("//x//y"), "");
    EXPECT_EQ(commentError("a/*x"), "Unmatched comment block. ");
    EXPECT_EQ(commentError("a<!--x--"), "Unmatched comment block. ");
    EXPECT_EQ(commentError("a/*x/*y*/"), "Unmatched comment block. ");
    EXPECT_EQ(commentError("a/*"), "Unmatched comment block. ");
}

TEST(ZStrComments, Skip2next)
{
    int pos = 1;
    ZStr::skip2next("a/*x*/b", pos, "/*", "*/", true);
    EXPECT_EQ(pos, 6);
    pos = 1;
    ZStr::skip2next("a/*x*/b", pos, "/*", "*/", false);
    EXPECT_EQ(pos, 4);
    pos = 1;
    ZStr::skip2next("a//x\nb", pos, "//", "\n", false);
    EXPECT_EQ(pos, 4);
    pos = 0;
    EXPECT_THROW(ZStr::skip2next("/*", pos, "/*", "*/", true), ZException);
}

TEST(ZStrComments, Linear)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "v=1; // note\n<!-- x -->/* block */\n";
    const std::string out = ZStr::removeCommentBlocks(text);
    EXPECT_EQ(out.size(), 200000u * std::string("v=1; \n\n").size());
}

TEST(ZStrCapture, CollectsPrintfOutput)
{
    std::fflush(stdout);
    std::unique_ptr<char[]> buf(ZStr::capturePrintfInit(256));
    std::printf("x=%d;", 42);
    const std::string got = ZStr::capturePrintfEnd(buf.get());
    EXPECT_EQ(got, "x=42;");
}

TEST(ZStrCapture, NeverReadsPastBuffer)
{
    std::fflush(stdout);
    // The output fills the buffer completely, so there is no zero byte and
    // no marker inside it.
    std::unique_ptr<char[]> buf(ZStr::capturePrintfInit(8));
    std::printf("abcdefgh");
    const std::string got = ZStr::capturePrintfEnd(buf.get());
    EXPECT_LE(got.size(), 8u);
    std::unique_ptr<char[]> foreign(new char[4]());
    EXPECT_EQ(ZStr::capturePrintfEnd(foreign.get()), "");
}
