#ifndef ZCORELIB_ZNETCDF_H
#define ZCORELIB_ZNETCDF_H

// One netCDF file, opened read-only or created as netCDF-4, with its
// dimensions and variables cached so that lookups need no library call.
// Ids of dimensions and variables are the library's ids, which index the
// caches. Failures are ZExceptions.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ZCoreLib.h"
#include "ZNetCdfGrid.h"

namespace ZCoreLib {

// Size in bytes of the atomic netCDF types 1 to 11; 0 for any other code.
int NC_atomictypelen(int type);
// Product of count[0 .. n-1]; 1 when n < 1. Throws when it exceeds int.
int NC_countProduct(int n, const size_t* count);
// Copies one attribute between open files; returns the library status.
// Attributes of user-defined types are skipped (0).
int NC_copy_att(int ncidIn, int varIn, const char* name, int ncidOut, int varOut);

class ZNetCdf {
public:
    int status;       // status of the last attribute call that records it
    int deflateLevel; // compression of every variable defVar makes
    int ncid;         // -1 when no file is open
    int reserved;
    int ndims;
    int nvars;
    int ngatts;
    int unlimDimId;
    // Indexed by dimension id. An id that is no dimension of the root group
    // (a subgroup's) holds an empty name and length -1.
    std::vector<std::string> dimNames;
    // The unlimited dimensions' lengths as of the last reload; 0 when made by
    // createDim.
    std::vector<int> dimLens;
    std::vector<int> varNdims;
    std::vector<std::string> varNames;
    std::vector<int> varTypes;
    std::vector<std::vector<int>> varDimIds;
    // Values per record of the first (unlimited, y, x) and (unlimited, z, y,
    // x) variables; -1 when there is none or when int cannot hold it.
    int valuesPerStep2D;
    int valuesPerStep3D;
    std::string fileName;
    // Unpacking tables, one entry per variable, null until enableScaleOffset.
    // A fill value entry points to the value in the variable's own type, or
    // is null.
    double* scaleFactors;
    double* addOffsets;
    void** fillValues;

    // File, definitions and lookups (ZNetCdf.cpp, ZNetCdfLookup.cpp;
    // varTotLength in ZNetCdfData.cpp)
    ZNetCdf(std::string fileName, bool create);
    // Closes the file without a word: a destructor cannot throw. A caller
    // that must know whether a written file reached the disk calls close().
    ~ZNetCdf();
    // Two objects would close one file id.
    ZNetCdf(const ZNetCdf&) = delete;
    ZNetCdf& operator=(const ZNetCdf&) = delete;
    // Throws when the library fails to close the file, which then is
    // unusable (data buffered for it may be lost); the object is closed
    // either way.
    void close();
    void init(bool empty);
    void metaDone();
    int createDim(std::string name, int len);
    int defVar(std::string name, std::vector<int> dimIds, int type);
    int varId(std::string name);
    std::vector<int> varId(std::vector<std::string> names, bool throwIfMissing);
    int dimId(std::string name, bool ignoreCase);
    int dimLen(std::string name);
    std::vector<int> dimIds(std::string csv);
    // ids: a new array of the returned count; the caller frees it with delete[].
    int dimNameCsv2dimIdArr(std::string csv, int*& ids);
    std::vector<int> csv2varIds(std::string csv);
    int findFirstVarId(int ndims, std::string attName, bool firstDimUnlimited, int totLen);
    int varTotLength(int varId, bool skipUnlimited);
    int typeSize(int type);
    int test();

    // Data (ZNetCdfData.cpp). Start and count arrays hold at least 1024
    // entries; the caller frees them with delete[].
    int getStartAndCountArr(int varId, int timestep, size_t*& start, size_t*& count);
    int getStartAndCountArr(int varId, size_t*& start, size_t*& count);
    int getStartAndCountTotLen(int n, size_t* start, size_t* count);
    // Buffers of getAllData and getTimestepData hold the values in the
    // variable's own type (short, int, float, double or 64-bit int), one int
    // per byte of them; the caller frees them with delete[].
    int* getAllData(int varId);
    int putAllData(int varId, int* data);
    int* getTimestepData(int varId, int timestep);
    int putTimestepData(int varId, int timestep, int* data);
    // Fills the caller's out, which must hold the selected values.
    template <typename T>
    void getDataIntoGivenType(int varId, T*& out, size_t* start, size_t* count);

    // Attributes (ZNetCdfAttrib.cpp); varId NC_GLOBAL (-1) for the file's own.
    void enableScaleOffset(std::string scaleName, std::string offsetName, std::string fillName);
    bool hasAttrib(std::string name, int varId);
    int getIntAttribValue(std::string name, int varId);
    float getFloatAttribValue(std::string name, int varId);
    double getDoubleAttribValue(std::string name, int varId);
    double getNumAttribValue(std::string name, int varId);
    // The caller frees the buffer with delete[] static_cast<char*>(p).
    void* getAttribValue(std::string name, int varId);
    std::string getStringAttribValue(std::string name, int varId);

    // Copying into this file while it is defined (ZNetCdfCopy.cpp).
    // copyDataFrom needs variables of the same type and rank whose
    // dimensions have the same lengths, except that a dimension that is
    // unlimited here takes the source's length. It copies the stored values,
    // never unpacked, in blocks of bounded size. Only the root group is
    // copied: copyDimsFrom and copyVarsFrom refuse a source with groups.
    int copyVarAttribFrom(ZNetCdf* src, int srcVar, int dstVar, int attNum);
    void copyVarAttribsFrom(ZNetCdf* src, int srcVar, int dstVar);
    void copyDataFrom(ZNetCdf* src, int srcVar, int dstVar);
    int copyVarFrom(ZNetCdf* src, int srcVar, bool, bool copyData, std::string);
    void copyVarsFrom(ZNetCdf* src, bool, bool copyData);
    void copyDimFrom(ZNetCdf* src, int dim, bool copyVars, std::string newName);
    void copyDimsFrom(ZNetCdf* src, bool copyVars);

    // Grids (ZNetCdfGrid.cpp). The grid's values are new[] (null without a
    // z variable): the caller frees them with delete[].
    ZNetCdfGrid getGrid(int xVar, int yVar, int zVar);
    bool isDK50mBathyFile();

    // Time axis (ZNetCdfTime.cpp): seconds since 1970-01-01 00:00:00.
    std::vector<long long> getDT(int varId, std::string units);
    // The units text of a time variable ("hours since 1970-01-01 00:00:00")
    // as seconds per value and the reference date-time; path is named in
    // messages.
    static void parseTimeUnits(std::string units, const std::string& path, int& factor,
                               long long& reference);

private:
    // Entries of the unpacking tables: the variables there were when
    // enableScaleOffset ran.
    int scaleTableLen_ = 0;
    // Size on disk of an opened classic-format file, which holds every value
    // it claims uncompressed; -1 for other files.
    long long fileBytes_ = -1;
    // Names of the root group's subgroups as of the last reload.
    std::vector<std::string> groupNames_;

    // ZNetCdf.cpp
    void closeQuietly() noexcept;
    void releaseScaleTables() noexcept;
    void cacheDim(int id, const std::string& name, int len);
    long long classicFileBytes() const;
    std::vector<int> unlimitedDims() const;
    bool variableLength(int type) const;
    void checkVarId(int varId) const;
    [[noreturn]] void throwNcError(int status, const std::string& what) const;
    void endDefine();
    // Name, type and dimension ids of a variable of an open file.
    static int inqVar(int ncid, int varId, std::string& name, int& type, std::vector<int>& dims);
    bool scaled(int varId) const
    {
        return scaleFactors != nullptr && varId >= 0 && varId < scaleTableLen_;
    }

    // ZNetCdfData.cpp
    // Product of the cached lengths of the variable's dimensions from index
    // `from` on; throws when it exceeds int.
    int dimProduct(int varId, int from, bool skipUnlimited) const;
    // The same, capped above INT_MAX instead of refused.
    unsigned long long cappedDimProduct(int varId, int from, bool skipUnlimited) const;
    // Refuses to read n values of the variable when the file cannot hold
    // them, before anything is allocated for them.
    void checkClaim(int varId, unsigned long long n) const;
    // Reads the selection of n values into values, in the variable's own
    // type, unpacked when enabled.
    void readInto(int varId, const size_t* start, const size_t* count, int n, void* values);
    // One record or the whole variable as the caches describe it, in the
    // variable's own type; reads are unpacked when enabled.
    std::unique_ptr<int[]> readSelection(int varId, bool oneRecord, size_t record);
    // The whole variable as double through getDataIntoGivenType; n
    // receives the number of values.
    std::unique_ptr<double[]> readAllAsDouble(int varId, int& n);
    int writeSelection(int varId, bool oneRecord, size_t record, const int* data);

    // ZNetCdfCopy.cpp
    // Throws, naming the groups, when the file has groups, which a copy of
    // every dimension or variable (what) would leave behind.
    void refuseGroups(const std::string& what) const;

    // ZNetCdfAttrib.cpp
    std::unique_ptr<char[]> readNumAttrib(const std::string& name, int varId, int& type);
    std::unique_ptr<char[]> fillValueInVarType(const std::string& name, int varId);
};

template <>
void ZNetCdf::getDataIntoGivenType<double>(int varId, double*& out, size_t* start, size_t* count);

} // namespace ZCoreLib

#endif
