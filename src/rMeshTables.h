#ifndef HESTORTOOLS_RMESHTABLES_H
#define HESTORTOOLS_RMESHTABLES_H

// The mesh's face, node, element and boundary tables as R data frames and
// lists. Meshes have millions of elements, so the frames are made with R's
// own calls rather than one as.data.frame per frame, and carry what
// as.data.frame would give them: names, class "data.frame" and the compact
// row names 1..n. The names and class vectors are shared by all frames of a
// list; they are marked immutable, so R copies them before any change.

#include <Rcpp.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "hsMesh2D.h"
#include "rConvert.h"
#include "rStop.h"

template <std::size_t N>
using frameColumns = std::array<const char*, N>;

// The parts below allocate with R's own calls: run them under unwindProtect.
template <std::size_t N>
SEXP frameNames(const frameColumns<N>& columns)
{
    SEXP names = PROTECT(Rf_allocVector(STRSXP, N));
    for (std::size_t c = 0; c < N; ++c)
        SET_STRING_ELT(names, c, Rf_mkChar(columns[c]));
    MARK_NOT_MUTABLE(names);
    UNPROTECT(1);
    return names;
}

inline SEXP frameClass()
{
    SEXP cls = Rf_mkString("data.frame");
    MARK_NOT_MUTABLE(cls);
    return cls;
}

// value(c, r): column c of row r.
template <std::size_t N, typename Value>
SEXP newFrame(SEXP names, SEXP cls, int rows, Value value)
{
    SEXP df = PROTECT(Rf_allocVector(VECSXP, N));
    for (std::size_t c = 0; c < N; ++c) {
        SEXP col = Rf_allocVector(REALSXP, rows);
        SET_VECTOR_ELT(df, c, col);
        double* out = REAL(col);
        for (int r = 0; r < rows; ++r)
            out[r] = value(c, r);
    }
    Rf_setAttrib(df, R_NamesSymbol, names);
    Rf_setAttrib(df, R_ClassSymbol, cls);
    SEXP rowNames = Rf_allocVector(INTSXP, rows > 0 ? 2 : 0);
    if (rows > 0) {
        INTEGER(rowNames)[0] = NA_INTEGER;
        INTEGER(rowNames)[1] = -rows;
    }
    Rf_setAttrib(df, R_RowNamesSymbol, rowNames);
    UNPROTECT(1);
    return df;
}

template <std::size_t N, typename Value>
Rcpp::DataFrame numericFrame(const frameColumns<N>& columns, int rows, Value value)
{
    return Rcpp::DataFrame(Rcpp::unwindProtect([&]() -> SEXP {
        SEXP names = PROTECT(frameNames(columns));
        SEXP cls = PROTECT(frameClass());
        SEXP df = newFrame<N>(names, cls, rows, value);
        UNPROTECT(2);
        return df;
    }));
}

// An unnamed list of count frames; frame i has rows(i) rows and value(i, c, r).
template <std::size_t N, typename Rows, typename Value>
Rcpp::List frameList(const frameColumns<N>& columns, int count, Rows rows, Value value)
{
    return Rcpp::List(Rcpp::unwindProtect([&]() -> SEXP {
        SEXP names = PROTECT(frameNames(columns));
        SEXP cls = PROTECT(frameClass());
        SEXP list = PROTECT(Rf_allocVector(VECSXP, count));
        for (int i = 0; i < count; ++i) {
            rInterrupt::checkEvery1024(i);
            SET_VECTOR_ELT(list, i, newFrame<N>(names, cls, rows(i), [&](std::size_t c, int r) {
                               return value(i, c, r);
                           }));
        }
        UNPROTECT(3);
        return list;
    }));
}

// A mesh that was never built (text result files) has none of the tables;
// its frames and lists are empty.
inline Rcpp::DataFrame verticalFaces2frame(const hestor::hsMesh2D& m)
{
    const bool built = m.vft && m.vfe && m.vfn && m.vfxc && m.vfyc && m.vfxNormL && m.vfyNormL;
    const frameColumns<9> columns{"vft",  "vfe0", "vfe1",     "vfn0",    "vfn1",
                                  "vfxc", "vfyc", "vfxNormL", "vfyNormL"};
    return numericFrame(columns, built ? m.novf : 0, [&m](std::size_t c, int f) -> double {
        switch (c) {
        case 0: return m.vft[f];
        case 1: return m.vfe[2 * f];
        case 2: return m.vfe[2 * f + 1];
        case 3: return m.vfn[2 * f];
        case 4: return m.vfn[2 * f + 1];
        case 5: return m.vfxc[f];
        case 6: return m.vfyc[f];
        case 7: return m.vfxNormL[f];
        default: return m.vfyNormL[f];
        }
    });
}

inline Rcpp::List nodeInfo2list(const hestor::hsMesh2D& m)
{
    const bool built = m.nvfCount && m.nvfStart && m.nnn && m.ne && m.nf;
    const int* table[] = {m.nnn, m.ne, m.nf};
    return frameList(
        frameColumns<3>{"nnn", "ne", "nf"}, built ? m.non : 0,
        [&m](int i) { return m.nvfCount[i]; },
        [&](int i, std::size_t c, int k) -> double { return table[c][m.nvfStart[i] + k]; });
}

inline Rcpp::List elemInfo2list(const hestor::hsMesh2D& m)
{
    const bool built = m.eStart && m.enon && m.evf && m.evfe && m.evfnd;
    return frameList(frameColumns<3>{"evf", "evfe", "evfnd"}, built ? m.noe : 0,
                     [&m](int e) { return m.enon[e]; },
                     [&m](int e, std::size_t c, int k) -> double {
                         const int j = m.eStart[e] + k;
                         return c == 0 ? m.evf[j] : c == 1 ? m.evfe[j] : m.evfnd[j];
                     });
}

// One entry per open boundary, named by its code, holding the inner elements
// of its faces. Entries are assigned by name: a repeated code replaces the
// entry it named before.
inline Rcpp::List bndElems2list(const hestor::hsMesh2D& m)
{
    const int nob = (m.bt && m.bFirstVF && m.bNoVF && m.bvfe) ? m.nob : 0;
    std::vector<std::string> names;
    std::vector<Rcpp::NumericVector> entries;
    for (int b = 0; b < nob; ++b) {
        const std::string name = std::to_string(m.bt[b]);
        Rcpp::NumericVector elems = array2NumVec(m.bvfe + m.bFirstVF[b], m.bNoVF[b]);
        const auto at = std::find(names.begin(), names.end(), name);
        if (at != names.end()) {
            entries[at - names.begin()] = elems;
            continue;
        }
        names.push_back(name);
        entries.push_back(elems);
    }
    Rcpp::List out(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        out[i] = entries[i];
    if (!names.empty())
        out.attr("names") = Rcpp::CharacterVector(names.begin(), names.end());
    return out;
}

#endif
