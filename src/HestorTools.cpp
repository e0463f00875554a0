// R-facing functions of the module. Rcpp's attribute tooling generates the
// routines, the registration table and R_init_HestorTools from the
// [[Rcpp::export]] marks in this file (RcppExports.cpp, R/RcppExports.R).

#include <Rcpp.h>

#include <string>

#include "HestorTools_types.h"
#include "rStop.h"


// [[Rcpp::export]]
Rcpp::Datetime test()
{
    return Rcpp::Datetime(0.0);
}
