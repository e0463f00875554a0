#include "ZArray.h"

#include <sstream>
#include <utility>

#include "ZStr.h"

namespace ZCoreLib {

namespace {

void checkLength(int n, const char* where)
{
    if (n < 0)
        throw ZException(std::string(where) + ": negative array length " + std::to_string(n) + ".");
}

// One Hoare pass with the middle element as pivot; on return the range
// splits into left..j and i..right.
template <typename T, typename U>
void partition(T* keys, U* companion, int left, int right, int& i, int& j)
{
    i = left;
    j = right;
    const T pivot = keys[left + (right - left) / 2];
    while (i <= j) {
        while (keys[i] < pivot)
            ++i;
        while (keys[j] > pivot)
            --j;
        if (i <= j) {
            std::swap(keys[i], keys[j]);
            std::swap(companion[i], companion[j]);
            ++i;
            --j;
        }
    }
}

} // namespace

float* ZArray::dArr2fArr(double* values, int n)
{
    checkLength(n, "ZArray::dArr2fArr");
    float* out = new float[n];
    for (int k = 0; k < n; ++k)
        out[k] = static_cast<float>(values[k]);
    return out;
}

double* ZArray::fArr2dArr(float* values, int n)
{
    checkLength(n, "ZArray::fArr2dArr");
    double* out = new double[n];
    for (int k = 0; k < n; ++k)
        out[k] = values[k];
    return out;
}

template <typename T>
std::string ZArray::join(T* values, int n, std::string separator)
{
    if (n <= 0)
        return "";
    std::ostringstream out;
    for (int k = 0; k < n - 1; ++k)
        out << values[k] << separator;
    out << ZStr::toString<T>(values[n - 1], -1, -1);
    return out.str();
}

template <typename T, typename U>
void ZArray::quickSort(T*& keys, U*& companion, int left, int right)
{
    // Recursing only into the smaller part bounds the stack depth by log2(n);
    // the caller's stack is the R interpreter's.
    while (left < right) {
        int i = 0, j = 0;
        partition(keys, companion, left, right, i, j);
        if (j - left < right - i) {
            if (left < j)
                quickSort(keys, companion, left, j);
            left = i;
        } else {
            if (i < right)
                quickSort(keys, companion, i, right);
            right = j;
        }
    }
}

template std::string ZArray::join<double>(double*, int, std::string);
template std::string ZArray::join<int>(int*, int, std::string);
template void ZArray::quickSort<double, int>(double*&, int*&, int, int);
template void ZArray::quickSort<int, int>(int*&, int*&, int, int);

} // namespace ZCoreLib
