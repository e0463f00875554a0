#ifndef HESTORTOOLS_RSTOP_H
#define HESTORTOOLS_RSTOP_H

#include <Rcpp.h>

#include <stdexcept>
#include <string>

#include "ZException.h"

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

// Raises an error condition of class c("hestorError", "error", "condition")
// whose message is the fixed text callers compare against and whose field
// `reason` says why; the package's conditionMessage method prints both.
[[noreturn]] inline void rStopWhy(const std::string& message, const std::string& reason)
{
    Rcpp::List cond = Rcpp::List::create(Rcpp::Named("message") = message,
                                         Rcpp::Named("call") = R_NilValue,
                                         Rcpp::Named("reason") = reason);
    cond.attr("class") = Rcpp::CharacterVector::create("hestorError", "error", "condition");
    Rcpp::unwindProtect([&cond]() -> SEXP {
        SEXP call = PROTECT(Rf_lang2(Rf_install("stop"), cond));
        Rf_eval(call, R_BaseEnv);
        UNPROTECT(1);
        return R_NilValue;
    });
    throw std::logic_error(message); // not reached: stop does not return
}

// Runs the body of an R-facing function. A failure of the library keeps the
// message R has always shown for it, "c++ exception (unknown reason)", and
// now carries the library's own message along.
template <typename F>
auto libraryCall(F&& body) -> decltype(body())
{
    std::string reason;
    try {
        return body();
    } catch (const ZCoreLib::ZException& e) {
        reason = e.message;
    }
    rStopWhy("c++ exception (unknown reason)", reason);
}

#endif
