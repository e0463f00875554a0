#ifndef HESTORTOOLS_RCONVERT_H
#define HESTORTOOLS_RCONVERT_H

// Conversions between R vectors, plain arrays and R date-times, shared by the
// R-facing functions. Arrays returned here belong to the caller (delete[]).

#include <Rcpp.h>

#include <climits>
#include <cmath>
#include <string>

#include "ZPlatform.h"

// A file name argument as R users write it: one string, translated to the
// native encoding (a name marked latin1 or UTF-8 names the file R's own file
// functions would), with a leading '~' expanded as path.expand does, and
// made absolute against the working folder of the moment, so that the
// object keeps naming the same file after setwd(). NA names no file ("").
// The routines take it in place of std::string: it converts to one.
class rFileName {
public:
    explicit rFileName(SEXP x)
    {
        if (TYPEOF(x) != STRSXP || XLENGTH(x) != 1)
            throw Rcpp::not_compatible("the file name must be a single character string.");
        SEXP c = STRING_ELT(x, 0);
        if (c == NA_STRING)
            return;
        // Both may raise an R error; under unwindProtect it unwinds this frame.
        Rcpp::unwindProtect([&]() -> SEXP {
            path_ = R_ExpandFileName(Rf_translateChar(c));
            return R_NilValue;
        });
        const bool relative = !path_.empty() && path_[0] != '/';
        const std::string cwd = relative ? ZCoreLib::ZPlatform::currentDir() : "";
        if (!cwd.empty())
            path_ = cwd + "/" + path_;
    }
    operator const std::string&() const { return path_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline double* numVec2array(Rcpp::NumericVector v, int& n)
{
    n = static_cast<int>(v.size());
    double* a = new double[n];
    std::copy(v.begin(), v.end(), a);
    return a;
}

// Truncates towards zero. Values an int cannot hold saturate, and NA/NaN
// becomes R's missing integer (INT_MIN): a plain cast would be undefined.
inline int double2int(double x)
{
    if (std::isnan(x))
        return INT_MIN;
    if (x <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (x >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(x);
}

inline int* numVec2intarray(Rcpp::NumericVector v, int& n)
{
    n = static_cast<int>(v.size());
    int* a = new int[n];
    for (int i = 0; i < n; ++i)
        a[i] = double2int(v[i]);
    return a;
}

// A null array gives an empty vector too: meshes and models that were never
// set up (a text file, a mesh file) keep their tables unallocated.
template <typename T>
Rcpp::NumericVector array2NumVec(const T* a, int n)
{
    if (n <= 0 || a == nullptr)
        return Rcpp::NumericVector(0);
    Rcpp::NumericVector v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<double>(a[i]);
    return v;
}

inline Rcpp::NumericVector array2NumVec(double* a, int n) { return array2NumVec<double>(a, n); }
inline Rcpp::NumericVector array2NumVec(int* a, int n) { return array2NumVec<int>(a, n); }
inline Rcpp::NumericVector array2NumVec(float* a, int n) { return array2NumVec<float>(a, n); }

inline Rcpp::NumericVector long2DateTime(long long seconds)
{
    Rcpp::NumericVector v(1, static_cast<double>(seconds));
    v.attr("tzone") = "GMT";
    v.attr("class") = Rcpp::CharacterVector::create("POSIXct", "POSIXt");
    return v;
}

#endif
