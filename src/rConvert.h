#ifndef HESTORTOOLS_RCONVERT_H
#define HESTORTOOLS_RCONVERT_H

// Conversions between R vectors, plain arrays and R date-times, shared by the
// R-facing functions. Arrays returned here belong to the caller (delete[]).

#include <Rcpp.h>

#include <climits>
#include <cmath>

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
