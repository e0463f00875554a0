#ifndef ZCORELIB_ZARRAY_H
#define ZCORELIB_ZARRAY_H

// Raw-array helpers and the readers of the command-line option syntax.
// Returned arrays come from new[] and belong to the caller.

#include <string>

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZArray {
public:
    ZArray() = delete;

    // A new array of the n values converted; the caller frees it with delete[].
    static float* dArr2fArr(double* values, int n);
    static double* fArr2dArr(float* values, int n);

    // Instantiated for double and int.
    template <typename T>
    static std::string join(T* values, int n, std::string separator);

    // Sorts keys[left..right] ascending and mirrors every exchange in
    // companion. Not stable: callers rely on the exact order it leaves ties in.
    // Instantiated for (double, int) and (int, int).
    template <typename T, typename U>
    static void quickSort(T*& keys, U*& companion, int left, int right);

    // Options are one argument each: prefix, name and a value glued on (-oout.txt).
    static bool argsHasOption(int argc, char** argv, std::string name, char prefix);
    static bool argsHasFlag(int argc, char** argv, std::string name, char prefix);
    static std::string argsGetOption(int argc, char** argv, std::string name, char prefix);
    // INT_MIN when the option is absent or its value is not an integer text.
    static int argsGetIntOption(int argc, char** argv, std::string name, char prefix);
};

} // namespace ZCoreLib

#endif
