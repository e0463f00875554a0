#ifndef HESTORTOOLS_RHANDLE_H
#define HESTORTOOLS_RHANDLE_H

// Hands a new result file object to R as a handle: an external pointer whose
// finalizer deletes the object, tagged so that the routines can tell their
// own handles from any other external pointer.

#include <Rcpp.h>

#include <memory>
#include <string>

#include "hsResultFile.h"
#include "rStop.h"

typedef Rcpp::XPtr<hestor::hsResultFile> hsHandle;

// Only adoptHandle sets this tag. Another package's pointer, a native symbol
// or a pointer of no kind carries another tag; a handle restored from a saved
// workspace keeps the tag but has lost its address.
inline SEXP handleTag()
{
    static SEXP tag = Rf_install("HestorTools::hsResultFile");
    return tag;
}

// The object behind a handle; anything else is refused by a plain R error
// naming the routine, before the address is used.
inline hestor::hsResultFile& handleObject(const hsHandle& f, const char* routine)
{
    SEXP x = f;
    if (R_ExternalPtrTag(x) != handleTag())
        rStop(std::string(routine) +
              ": the argument is an external pointer but not a handle of this package; "
              "open the file with openHSFile or writeHSFile.");
    void* p = R_ExternalPtrAddr(x);
    if (p == nullptr)
        rStop(std::string(routine) +
              ": external pointer is not valid: the handle was restored from a saved "
              "workspace or its object is gone; open the file again.");
    return *static_cast<hestor::hsResultFile*>(p);
}

// The object stays owned by obj until the external pointer and its finalizer
// exist. R allocates both and may jump out on failure; under unwindProtect
// that jump becomes an exception, so obj still deletes the object. The
// finalizer also runs when R exits, so a writer left open still closes its
// file.
inline hsHandle adoptHandle(std::unique_ptr<hestor::hsResultFile>& obj)
{
    hestor::hsResultFile* p = obj.get();
    Rcpp::Shield<SEXP> x(Rcpp::unwindProtect([p]() -> SEXP {
        SEXP ptr = PROTECT(R_MakeExternalPtr(p, handleTag(), R_NilValue));
        R_RegisterCFinalizerEx(
            ptr,
            Rcpp::finalizer_wrapper<hestor::hsResultFile,
                                    Rcpp::standard_delete_finalizer<hestor::hsResultFile>>,
            TRUE);
        UNPROTECT(1);
        return ptr;
    }));
    obj.release();
    return hsHandle(static_cast<SEXP>(x));
}

#endif
