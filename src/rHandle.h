#ifndef HESTORTOOLS_RHANDLE_H
#define HESTORTOOLS_RHANDLE_H

// Hands a new result file object to R as a handle: an external pointer
// without tag or protected value whose finalizer deletes the object.

#include <Rcpp.h>

#include <memory>

#include "hsResultFile.h"

typedef Rcpp::XPtr<hestor::hsResultFile> hsHandle;

// The object stays owned by obj until the external pointer and its finalizer
// exist. R allocates both and may jump out on failure; under unwindProtect
// that jump becomes an exception, so obj still deletes the object.
inline hsHandle adoptHandle(std::unique_ptr<hestor::hsResultFile>& obj)
{
    hestor::hsResultFile* p = obj.get();
    Rcpp::Shield<SEXP> x(Rcpp::unwindProtect([p]() -> SEXP {
        SEXP ptr = PROTECT(R_MakeExternalPtr(p, R_NilValue, R_NilValue));
        R_RegisterCFinalizerEx(
            ptr,
            Rcpp::finalizer_wrapper<hestor::hsResultFile,
                                    Rcpp::standard_delete_finalizer<hestor::hsResultFile>>,
            FALSE);
        UNPROTECT(1);
        return ptr;
    }));
    obj.release();
    return hsHandle(static_cast<SEXP>(x));
}

#endif
