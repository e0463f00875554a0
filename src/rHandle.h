#ifndef HESTORTOOLS_RHANDLE_H
#define HESTORTOOLS_RHANDLE_H

// Hands a new result file object to R as a handle: an external pointer whose
// finalizer deletes the object, tagged so that the routines can tell their
// own handles from any other external pointer.

#include <Rcpp.h>

#include <algorithm>
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

// R sees a handle as a few bytes, whatever its object holds, so dropped
// handles could pile up to gigabytes before R collects them. The bytes held
// by live handles are counted here, and R's collector runs before a new
// handle is made once that count has doubled since the last collection.
// Collections R makes on its own count too: the finalizers take the bytes
// off as they run, and whenever live falls below the mark, the mark follows.
struct handleMemory {
    double live = 0;     // estimated bytes of the objects of live handles
    double afterGc = 0;  // the least live since the last forced collection
};

inline handleMemory& handleMemoryState()
{
    static handleMemory m;
    return m;
}

// An object's bytes, from its counts: the mesh's tables per node, element and
// face, the model's per cell and face-cell (coefficients measured on models
// of one to twenty layers).
inline double handleBytes(const hestor::hsResultFile& f)
{
    const hestor::hsModelInfo& m = f.mInfo;
    const double count[] = {double(m.mesh2d.non), double(m.mesh2d.noe), double(m.noFaces),
                            double(m.noCells), double(m.noFaceCells)};
    const double bytesPer[] = {100, 275, 150, 50, 28};
    double total = 16384;
    for (int i = 0; i < 5; ++i)
        total += bytesPer[i] * std::max(count[i], 0.0);
    return total;
}

// Called before a new handle's object is made, when the collection would free
// the most. The growth needed is at least 16 MB, so small handles do not make
// every call collect.
inline void reclaimDroppedHandles()
{
    handleMemory& m = handleMemoryState();
    if (m.live - m.afterGc >= std::max(m.afterGc, 16e6)) {
        R_gc();
        m.afterGc = m.live;
    }
}

// Deletes the object and takes its bytes off the count; the bytes travel in
// the pointer's protected value.
inline void finalizeHandle(SEXP p)
{
    if (TYPEOF(p) != EXTPTRSXP)
        return;
    auto* obj = static_cast<hestor::hsResultFile*>(R_ExternalPtrAddr(p));
    if (obj == nullptr)
        return;
    R_ClearExternalPtr(p);
    SEXP bytes = R_ExternalPtrProtected(p);
    handleMemory& m = handleMemoryState();
    if (TYPEOF(bytes) == REALSXP && XLENGTH(bytes) == 1)
        m.live -= REAL(bytes)[0];
    m.afterGc = std::min(m.afterGc, m.live);
    // A forked worker's copy of a writer frees its memory only (the
    // object's destructor leaves the parent's file alone).
    delete obj;
}

// The object stays owned by obj until the external pointer and its finalizer
// exist. R allocates both and may jump out on failure; under unwindProtect
// that jump becomes an exception, so obj still deletes the object. The
// finalizer also runs when R exits, so a writer left open still closes its
// file.
inline hsHandle adoptHandle(std::unique_ptr<hestor::hsResultFile>& obj)
{
    hestor::hsResultFile* p = obj.get();
    const double bytes = handleBytes(*p);
    Rcpp::Shield<SEXP> x(Rcpp::unwindProtect([p, bytes]() -> SEXP {
        SEXP size = PROTECT(Rf_ScalarReal(bytes));
        SEXP ptr = PROTECT(R_MakeExternalPtr(p, handleTag(), size));
        R_RegisterCFinalizerEx(ptr, finalizeHandle, TRUE);
        UNPROTECT(2);
        return ptr;
    }));
    obj.release();
    handleMemoryState().live += bytes;
    return hsHandle(static_cast<SEXP>(x));
}

#endif
