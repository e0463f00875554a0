#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ZArray.h"

using ZCoreLib::ZArray;
using ZCoreLib::ZException;

namespace {

uint32_t floatBits(float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Plain recursive form of the same Hoare scheme: the reference for the
// exact order in which ties and their companions come out.
template <typename T>
void referenceSort(std::vector<T>& keys, std::vector<int>& comp, int left, int right)
{
    int i = left, j = right;
    const T pivot = keys[(left + right) / 2];
    while (i <= j) {
        while (keys[i] < pivot)
            i++;
        while (keys[j] > pivot)
            j--;
        if (i <= j) {
            std::swap(keys[i], keys[j]);
            std::swap(comp[i], comp[j]);
            i++;
            j--;
        }
    }
    if (left < j)
        referenceSort(keys, comp, left, j);
    if (i < right)
        referenceSort(keys, comp, i, right);
}

template <typename T>
void checkSort(const std::vector<T>& orig, const char* label)
{
    const int n = static_cast<int>(orig.size());
    std::vector<T> keys = orig;
    std::vector<int> comp(orig.size());
    for (int k = 0; k < n; ++k)
        comp[k] = k;
    std::vector<T> refKeys = keys;
    std::vector<int> refComp = comp;
    if (n > 0)
        referenceSort(refKeys, refComp, 0, n - 1);

    T* kp = keys.data();
    int* cp = comp.data();
    ZArray::quickSort(kp, cp, 0, n - 1);
    EXPECT_EQ(kp, keys.data());
    EXPECT_EQ(cp, comp.data());

    std::vector<T> sorted = orig;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(keys, sorted) << label;
    EXPECT_EQ(comp, refComp) << label;
    std::vector<int> seen(orig.size(), 0);
    for (int k = 0; k < n; ++k) {
        ASSERT_GE(comp[k], 0);
        ASSERT_LT(comp[k], n);
        ++seen[comp[k]];
        EXPECT_EQ(orig[comp[k]], keys[k]) << label << " at " << k;
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int s) { return s == 1; })) << label;
}

struct Args {
    explicit Args(std::vector<std::string> list) : store(std::move(list))
    {
        for (std::string& s : store)
            ptrs.push_back(&s[0]);
        ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(store.size()); }
    char** argv() { return ptrs.data(); }

    std::vector<std::string> store;
    std::vector<char*> ptrs;
};

} // namespace

TEST(ZArrayConvert, NarrowsToNearestFloat)
{
    double in[4] = {-1e-30, 0.1, 1.5, -0.0};
    std::unique_ptr<float[]> out(ZArray::dArr2fArr(in, 4));
    EXPECT_EQ(floatBits(out[0]), 0x8DA24260u);
    EXPECT_EQ(out[1], 0.1f);
    EXPECT_EQ(static_cast<double>(out[1]), 0.100000001490116119384765625);
    EXPECT_EQ(out[2], 1.5f);
    EXPECT_EQ(floatBits(out[3]), 0x80000000u);
}

TEST(ZArrayConvert, WidensExactly)
{
    float in[3] = {0.1f, -1e-30f, 3.4e38f};
    std::unique_ptr<double[]> out(ZArray::fArr2dArr(in, 3));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(static_cast<float>(out[k]), in[k]);
    EXPECT_EQ(out[0], 0.100000001490116119384765625);
    std::unique_ptr<float[]> back(ZArray::dArr2fArr(out.get(), 3));
    EXPECT_EQ(std::memcmp(back.get(), in, sizeof in), 0);
}

TEST(ZArrayConvert, EmptyAndNegativeLengths)
{
    std::unique_ptr<float[]> f(ZArray::dArr2fArr(nullptr, 0));
    EXPECT_NE(f, nullptr);
    std::unique_ptr<double[]> d(ZArray::fArr2dArr(nullptr, 0));
    EXPECT_NE(d, nullptr);
    EXPECT_THROW(ZArray::dArr2fArr(nullptr, -1), ZException);
    EXPECT_THROW(ZArray::fArr2dArr(nullptr, -3), ZException);
}

TEST(ZArrayJoin, Separators)
{
    int ints[3] = {1, 2, 3};
    EXPECT_EQ(ZArray::join(ints, 3, ", "), "1, 2, 3");
    EXPECT_EQ(ZArray::join(ints, 1, ", "), "1");
    EXPECT_EQ(ZArray::join(ints, 0, ", "), "");
    EXPECT_EQ(ZArray::join(ints, -2, ", "), "");
    EXPECT_EQ(ZArray::join(ints, 3, ""), "123");
    int neg[2] = {-7, 0};
    EXPECT_EQ(ZArray::join(neg, 2, ","), "-7,0");
}

TEST(ZArrayJoin, DoublesUseSixSignificantDigits)
{
    double v[5] = {0.1, 1234567.0, 2.5, -1e-30, 1234567.0};
    EXPECT_EQ(ZArray::join(v, 5, ","), "0.1,1.23457e+06,2.5,-1e-30,1.23457e+06");
    EXPECT_EQ(ZArray::join(v, 1, ","), "0.1");
}

TEST(ZArrayQuickSort, SmallCases)
{
    double keys[3] = {3, 1, 2};
    int comp[3] = {0, 1, 2};
    double* kp = keys;
    int* cp = comp;
    ZArray::quickSort(kp, cp, 0, 2);
    EXPECT_EQ(std::vector<double>(keys, keys + 3), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(std::vector<int>(comp, comp + 3), (std::vector<int>{1, 2, 0}));

    checkSort(std::vector<int>{}, "n=0");
    checkSort(std::vector<int>{5}, "n=1");
    checkSort(std::vector<int>{2, 1}, "n=2 reversed");
    checkSort(std::vector<int>{1, 2}, "n=2 sorted");
    checkSort(std::vector<int>{4, 4}, "n=2 equal");
    checkSort(std::vector<double>{}, "double n=0");
}

TEST(ZArrayQuickSort, EmptyRangeTouchesNothing)
{
    int* keys = nullptr;
    int* comp = nullptr;
    ZArray::quickSort(keys, comp, 0, -1);
    EXPECT_EQ(keys, nullptr);
}

TEST(ZArrayQuickSort, SubrangeOnly)
{
    int keys[6] = {9, 5, 3, 4, 1, 0};
    int comp[6] = {0, 1, 2, 3, 4, 5};
    int* kp = keys;
    int* cp = comp;
    ZArray::quickSort(kp, cp, 1, 4);
    EXPECT_EQ(std::vector<int>(keys, keys + 6), (std::vector<int>{9, 1, 3, 4, 5, 0}));
    EXPECT_EQ(std::vector<int>(comp, comp + 6), (std::vector<int>{0, 4, 2, 3, 1, 5}));
}

TEST(ZArrayQuickSort, MatchesStdSortAndReferenceTieOrder)
{
    std::mt19937 rng(12345);
    for (int n : {3, 7, 16, 100, 1000, 20000}) {
        std::uniform_int_distribution<int> few(0, 4), many(-1000000, 1000000);
        std::vector<int> dupInts(n), wideInts(n);
        std::vector<double> dupDoubles(n);
        for (int k = 0; k < n; ++k) {
            dupInts[k] = few(rng);
            wideInts[k] = many(rng);
            dupDoubles[k] = few(rng) * 0.5 - 1.0;
        }
        checkSort(dupInts, "int duplicates");
        checkSort(wideInts, "int wide");
        checkSort(dupDoubles, "double duplicates");
    }
}

TEST(ZArrayQuickSort, OrderedInputs)
{
    for (int n : {5, 64, 10001}) {
        std::vector<double> up(n), down(n), same(n, 2.0), pipe(n);
        for (int k = 0; k < n; ++k) {
            up[k] = k;
            down[k] = n - k;
            pipe[k] = std::min(k, n - 1 - k);
        }
        checkSort(up, "ascending");
        checkSort(down, "descending");
        checkSort(same, "all equal");
        checkSort(pipe, "organ pipe");
    }
}

TEST(ZArrayQuickSort, LargeInputStaysShallow)
{
    const int n = 2000000;
    std::vector<int> keys(n), comp(n);
    std::mt19937 rng(7);
    for (int k = 0; k < n; ++k) {
        keys[k] = static_cast<int>(rng() % 1000);
        comp[k] = k;
    }
    const std::vector<int> orig = keys;
    int* kp = keys.data();
    int* cp = comp.data();
    ZArray::quickSort(kp, cp, 0, n - 1);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    for (int k = 0; k < n; k += 997)
        ASSERT_EQ(orig[comp[k]], keys[k]);
}

TEST(ZArrayOptions, ValuesAndFlags)
{
    Args a({"prog", "-n12", "-v"});
    EXPECT_TRUE(ZArray::argsHasOption(a.argc(), a.argv(), "n", '-'));
    EXPECT_TRUE(ZArray::argsHasOption(a.argc(), a.argv(), "v", '-'));
    EXPECT_TRUE(ZArray::argsHasFlag(a.argc(), a.argv(), "v", '-'));
    EXPECT_FALSE(ZArray::argsHasFlag(a.argc(), a.argv(), "n", '-'));
    EXPECT_EQ(ZArray::argsGetOption(a.argc(), a.argv(), "n", '-'), "12");
    EXPECT_EQ(ZArray::argsGetIntOption(a.argc(), a.argv(), "n", '-'), 12);
    EXPECT_EQ(ZArray::argsGetIntOption(a.argc(), a.argv(), "x", '-'), INT_MIN);
    EXPECT_EQ(ZArray::argsGetOption(a.argc(), a.argv(), "v", '-'), "");
    EXPECT_FALSE(ZArray::argsHasOption(a.argc(), a.argv(), "N", '-'));
    EXPECT_FALSE(ZArray::argsHasOption(a.argc(), a.argv(), "n", '/'));
    EXPECT_FALSE(ZArray::argsHasOption(a.argc(), a.argv(), "n12x", '-'));
}

TEST(ZArrayOptions, ProgramNameAndFirstMatch)
{
    Args a({"-oprog", "-oa.txt", "-ob.txt", "/long=1"});
    EXPECT_EQ(ZArray::argsGetOption(a.argc(), a.argv(), "o", '-'), "a.txt");
    EXPECT_EQ(ZArray::argsGetOption(a.argc(), a.argv(), "long=", '/'), "1");
    EXPECT_TRUE(ZArray::argsHasFlag(a.argc(), a.argv(), "long=1", '/'));
    Args only({"-oprog"});
    EXPECT_FALSE(ZArray::argsHasOption(only.argc(), only.argv(), "o", '-'));
    EXPECT_EQ(ZArray::argsGetOption(only.argc(), only.argv(), "o", '-'), "");
    EXPECT_EQ(ZArray::argsGetOption(0, nullptr, "o", '-'), "");
    EXPECT_FALSE(ZArray::argsHasFlag(3, nullptr, "o", '-'));
}

TEST(ZArrayOptions, PrefixAloneAndEmptyName)
{
    Args a({"prog", "", "-", "-x", "pos"});
    EXPECT_FALSE(ZArray::argsHasOption(a.argc(), a.argv(), "x1", '-'));
    EXPECT_FALSE(ZArray::argsHasFlag(a.argc(), a.argv(), "-", '-'));
    Args dash({"prog", "-"});
    EXPECT_FALSE(ZArray::argsHasOption(dash.argc(), dash.argv(), "n", '-'));
    EXPECT_EQ(ZArray::argsGetOption(a.argc(), a.argv(), "", '-'), "");
    Args pos({"prog", "", "input.emb", "-v"});
    EXPECT_EQ(ZArray::argsGetOption(pos.argc(), pos.argv(), "", '-'), "input.emb");
    Args flagFirst({"prog", "-v", "input.emb"});
    EXPECT_EQ(ZArray::argsGetOption(flagFirst.argc(), flagFirst.argv(), "", '-'), "v");
}

TEST(ZArrayOptions, NullEntriesAreSkipped)
{
    char prog[] = "prog";
    char opt[] = "-k7";
    char* argv[] = {prog, nullptr, opt, nullptr};
    EXPECT_EQ(ZArray::argsGetIntOption(3, argv, "k", '-'), 7);
    EXPECT_EQ(ZArray::argsGetOption(3, argv, "", '-'), "k7");
    EXPECT_FALSE(ZArray::argsHasFlag(3, argv, "q", '-'));
}

TEST(ZArrayOptions, IntegerTexts)
{
    Args a({"prog", "-a1e3", "-b+5", "-c-42", "-d12-3", "-e", "-f2147483647", "-g-2147483648",
            "-h99999999999999999999", "-i-99999999999", "-j007", "-k2147483648"});
    const auto get = [&](const char* name) {
        return ZArray::argsGetIntOption(a.argc(), a.argv(), name, '-');
    };
    EXPECT_EQ(get("a"), INT_MIN);
    EXPECT_EQ(get("b"), INT_MIN);
    EXPECT_EQ(get("c"), -42);
    EXPECT_EQ(get("d"), 12);
    EXPECT_EQ(get("e"), INT_MIN);
    EXPECT_EQ(get("f"), INT_MAX);
    EXPECT_EQ(get("g"), INT_MIN);
    EXPECT_EQ(get("h"), INT_MAX);
    EXPECT_EQ(get("i"), INT_MIN);
    EXPECT_EQ(get("j"), 7);
    EXPECT_EQ(get("k"), INT_MAX);
}
