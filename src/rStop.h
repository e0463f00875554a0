#ifndef HESTORTOOLS_RSTOP_H
#define HESTORTOOLS_RSTOP_H

#include <Rcpp.h>

#include <stdexcept>
#include <string>

// Raises a plain R error (no "C++Error" class) from an R-facing function.
// Rf_error longjmps; running it under unwindProtect turns the jump into a C++
// exception first, so the destructors of the caller's handle copies, buffers
// and RNG scope still run before the call frame resumes the jump.
[[noreturn]] inline void rStop(const std::string& message)
{
    Rcpp::unwindProtect([&message]() -> SEXP {
        Rf_error("%s", message.c_str());
        return R_NilValue;
    });
    throw std::logic_error(message); // not reached: Rf_error does not return
}

#endif
