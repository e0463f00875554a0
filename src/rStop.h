#ifndef HESTORTOOLS_RSTOP_H
#define HESTORTOOLS_RSTOP_H

#include <Rcpp.h>

#include <stdexcept>
#include <string>

#include "ZCancel.h"
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

namespace rInterrupt {

inline void checkInterrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user asked R to stop (Ctrl-C). R_CheckUserInterrupt would jump
// straight out through the library's frames; run at top level, its jump ends
// here and only says that an interrupt was pending.
inline bool pending() { return R_ToplevelExec(checkInterrupt, nullptr) == FALSE; }

// The library's long loops ask R while an R-facing function runs; a call
// nested in it (R code that the check itself runs) keeps the hook.
class scope {
public:
    scope()
    {
        if (depth_++ == 0)
            ZCoreLib::ZCancel::setHook(&pending);
    }
    ~scope()
    {
        if (--depth_ == 0)
            ZCoreLib::ZCancel::setHook(nullptr);
    }
    scope(const scope&) = delete;
    scope& operator=(const scope&) = delete;

private:
    static inline int depth_ = 0;
};

// For loops of R's own calls that run under unwindProtect, where no C++
// exception may be thrown: R's check jumps, and unwindProtect carries the
// jump past the C++ frames. Asked once every 1024 steps.
inline void checkEvery1024(long long step)
{
    if ((step & 1023) == 0)
        R_CheckUserInterrupt();
}

} // namespace rInterrupt

// Runs the body of an R-facing function. A failure of the library keeps the
// message R has always shown for it, "c++ exception (unknown reason)", and
// now carries the library's own message along. An interrupt unwinds the
// library (its objects stay whole) and reaches R as R's own interrupt
// condition, which the routine's frame raises for Rcpp's sentinel.
template <typename F>
auto libraryCall(F&& body) -> decltype(body())
{
    std::string reason;
    try {
        rInterrupt::scope interruptible;
        return body();
    } catch (const ZCoreLib::ZCancelled&) {
        throw Rcpp::internal::InterruptedException();
    } catch (const ZCoreLib::ZException& e) {
        reason = e.message;
    }
    rStopWhy("c++ exception (unknown reason)", reason);
}

#endif
