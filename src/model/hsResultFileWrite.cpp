// Writing result files: the header by format, item records, closing, and the
// series of binary files that keeps each file below 2,000,000,000 bytes.

#include "hsResultFile.h"

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "ZCancel.h"
#include "ZDT.h"
#include "ZFile.h"
#include "ZMessage.h"
#include "ZPlatform.h"

namespace hestor {

using ZCoreLib::ZDT;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZPlatform;
using ZCoreLib::str;

namespace {

const double maxFileBytes = 2000000000.0;

void put32(char* at, int32_t v) { std::memcpy(at, &v, 4); }
void putF32(char* at, float v) { std::memcpy(at, &v, 4); }

void write32(std::ostream& out, int32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); }

// Seconds covered by n timesteps, truncated toward zero; writeData rolls over
// to the next file of a series by this span.
long long timespan(int n, double timestep)
{
    const double s = static_cast<double>(n) * timestep;
    if (!std::isfinite(s) || std::fabs(s) >= 9.2e18)
        throw ZException("hsResultFile::writeData: " + str(n) + " timesteps of " +
                         std::to_string(timestep) + " s do not give a valid time.");
    return static_cast<long long>(s);
}

// A float copy of n doubles, in a block the caller owns.
std::unique_ptr<char[]> floatBlock(const double* values, int n)
{
    auto block = std::make_unique<char[]>(4 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        putF32(block.get() + 4LL * i, static_cast<float>(values[i]));
    return block;
}

} // namespace

void hsResultFile::addItem(std::string name, int length)
{
    itemNameVec.push_back(name);
    itemLengthVec.push_back(length);
}

int hsResultFile::writeHeader(int n)
{
    if (n != nItem())
        for (int i = 0; i < n; ++i)
            itemNameVec.push_back(str(i));
    return writeHeader();
}

// Everything writeHeader checks, and the static items it writes, before a
// file is opened: a writer that passes has only the disk left to fail.
void hsResultFile::prepareHeader()
{
    const std::string path = ZFile::getPath(fileName);
    if (!path.empty() && !ZFile::folderExists(path))
        throw ZException("No such folder: '" + path + "'");
    if (itemNameVec.empty())
        throw ZException("hsResultFile::writeHeader: itemNameVec is empty.");
    if (itemLengthVec.empty())
        itemLengthVec.assign(itemNameVec.size(), mInfo.noCells);
    if (itemNameVec.size() != itemLengthVec.size())
        throw ZException("hsResultFile::writeHeader: itemNameVec.Size()!=itemLengthVec.size().");
    for (int i = 0; i < nItem(); ++i)
        if (itemLengthVec[i] < 0)
            throw ZException("hsResultFile::writeHeader: item '" + itemNameVec[i] +
                             "' has the negative length " + str(itemLengthVec[i]) + ".");
    maxItemLength = *std::max_element(itemLengthVec.begin(), itemLengthVec.end());
    if (isBinaryFormat())
        prepareBinaryHeader();
    else if (!isTextWriterFormat())
        throw ZException("hsResultFile::writeHeader undefined format.");
}

int hsResultFile::writeHeader()
{
    prepareHeader();
    writeTimestep = 0;
    writeItem = 0;
    if (isTextWriterFormat())
        writeTextHeader();
    else
        writeBinaryHeader();
    dateModified = ZDT::now();
    return 0;
}

void hsResultFile::prepareBinaryHeader()
{
    if (writeVersion != 8)
        throw ZException("hsResultFile::writeHeader: header version " + str(writeVersion) +
                         " cannot be written; only version 8 can.");
    totItemSize(); // refuses a record too long to count
    addModelStaticItems();
    const long long size = binaryHeaderSize();
    if (size > INT_MAX)
        throw ZException("hsResultFile::writeHeader: the header of " + getFilename() + " would take " +
                         str(size) + " bytes, more than a header can hold.");
    headerSize = static_cast<int>(size);
    headerVersion = writeVersion;
    if (maxTimestepsPerFile < 0) {
        // Without values per timestep the file never grows: no roll-over.
        const long long record = 4 * totItemSize64(nItem());
        maxTimestepsPerFile =
            record == 0 ? 0
                        : static_cast<int>(std::max(0.0, std::floor((maxFileBytes - headerSize) /
                                                                    static_cast<double>(record))));
    }
}

// The stream keeps no buffer: every value is in the file when writeData
// returns, so a forked child, which shares the file, has nothing of the
// writer's to write when it closes its copy of the stream.
void hsResultFile::writeBinaryHeader()
{
    if (fileStream.is_open())
        fileStream.close();
    fileStream.clear();
    fileStream.rdbuf()->pubsetbuf(nullptr, 0);
    const std::string path =
        fileNo == 0 && !firstFilePath_.empty() ? firstFilePath_ : getFilename();
    // The hold is on the file written here. Marked, it tells readers that
    // the header changes no more but for the count, so that a read of the
    // growing file need not hash the whole header again.
    if (writeHold_ >= 0)
        ZPlatform::markBeingWritten(writeHold_);
    errno = 0;
    fileStream.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!fileStream)
        failWrite("hsResultFile::writeHeader: cannot open " + getFilename() + " for writing");
    errno = 0;
    writeHeaderBytes(fileStream, mInfo.startDT, writeTimestep);
    // Readers may open the file while it is being written.
    fileStream.flush();
    if (!fileStream)
        failWrite("hsResultFile::writeHeader: writing the header of " + getFilename() + " failed");
}

// The stream is left open in its failed state: a writer whose write failed
// refuses further values, and its close says what the file holds.
void hsResultFile::failWrite(const std::string& what)
{
    writeError_ = errno != 0 ? std::strerror(errno) : "the system gave no reason";
    throw ZException(what + ": " + writeError_ + ".");
}

std::string hsResultFile::failureNote() const
{
    if (writeError_.empty())
        return "";
    const long long done = static_cast<long long>(fileNo) * std::max(maxTimestepsPerFile, 0) +
                           writeTimestep;
    const std::string current = seriesFileName(fileName, fileNo);
    const std::string series = "the series of " + fileName + " holds its " + str(done) +
                               " complete timesteps (" + str(writeTimestep) + " in its last file)";
    if (!refusedNext_.empty()) {
        const std::string holds =
            fileNo == 0 ? current + " holds its " + str(done) + " complete timesteps" : series;
        return "the next file of the series, " + refusedNext_ + ", could not be started (" +
               writeError_ + "); " + holds + ", the one completed last included, and no timestep "
               "was lost.";
    }
    const std::string holds =
        fileNo == 0 ? "the file holds its " + str(done) + " complete timesteps" : series;
    return "writing to " + current + " failed (" + writeError_ + "); " + holds +
           ", and the incomplete timestep " + str(done) + " was not kept.";
}

// "proj", "enol", "dz", "elemBathy", "mesh", then the static items held before.
void hsResultFile::addModelStaticItems()
{
    hsMesh2D& mesh = mInfo.mesh2d;
    const int noe = mesh.noe;
    if (noe > 0 && !mInfo.elemBathy)
        throw ZException("hsResultFile::writeHeader: the model has no bathymetry (elemBathy).");
    if (mInfo.noLayer > 0 && !mInfo.dz)
        throw ZException("hsResultFile::writeHeader: the model has no layer thicknesses (dz).");
    const int noLayer = std::max(mInfo.noLayer, 0);
    addStaticItem("elemBathy",
                  reinterpret_cast<float*>(ownBlock(floatBlock(mInfo.elemBathy, std::max(noe, 0)))),
                  std::max(noe, 0), 0);
    char* meshBlock = nullptr;
    bool exact = true;
    const int meshLen = mesh.toBinary(meshBlock, &exact);
    addStaticItem("mesh", ownBlock(std::unique_ptr<char[]>(meshBlock)), meshLen, 1);
    // The handle answers, as every reader of the file will, for the mesh in
    // the 32-bit floats the file holds.
    if (!exact) {
        mesh.fromBinary(meshBlock, static_cast<size_t>(meshLen), writeVersion);
        if (mInfo.isInit)
            mInfo.init();
    }
    addStaticItem("dz", reinterpret_cast<float*>(ownBlock(floatBlock(mInfo.dz, noLayer))), noLayer,
                  0);
    if (mInfo.enol) {
        staticItem rec;
        rec.count = std::max(noe, 0);
        rec.byteLength = 4 * rec.count;
        auto block = std::make_unique<char[]>(static_cast<size_t>(rec.byteLength));
        if (rec.count > 0)
            std::memcpy(block.get(), mInfo.enol, static_cast<size_t>(rec.byteLength));
        rec.data = ownBlock(std::move(block));
        rec.name = "enol";
        rec.type = "i";
        insertStaticItem(rec, 0);
    }
    const std::string& proj = mesh.proj;
    auto projBlock = std::make_unique<char[]>(proj.size());
    std::memcpy(projBlock.get(), proj.data(), proj.size());
    addStaticItem("proj", ownBlock(std::move(projBlock)), static_cast<int>(proj.size()), 0);
}

long long hsResultFile::binaryHeaderSize() const
{
    long long size = 128;
    for (const std::string& name : itemNameVec)
        size += 8 + static_cast<long long>(name.size());
    for (const staticItem& s : staticItemVec)
        size += 16 + static_cast<long long>(s.name.size()) + static_cast<long long>(s.type.size()) +
                (s.count >= 1 ? s.byteLength : 0);
    return size;
}

// nt: the count of complete timesteps, kept current as they are written.
void hsResultFile::writeHeaderBytes(std::ostream& out, long long start, int nt)
{
    char block[128] = {};
    long long itemDirSize = 0;
    for (const std::string& name : itemNameVec)
        itemDirSize += 8 + static_cast<long long>(name.size());
    put32(block + 0, writeVersion);
    put32(block + 4, mInfo.layerType);
    put32(block + 8, mInfo.headerField3);
    put32(block + 12, 1);
    putF32(block + 16, 3.1415927f);
    putF32(block + 20, static_cast<float>(mInfo.offsetDepth));
    put32(block + 24, mInfo.modeltype);
    put32(block + 28, headerSize);
    const int64_t start64 = start;
    std::memcpy(block + 32, &start64, 8);
    putF32(block + 40, static_cast<float>(mInfo.timestep));
    put32(block + 44, nt);
    put32(block + 48, nItem());
    put32(block + 52, 128);
    put32(block + 56, static_cast<int32_t>(staticItemVec.size()));
    put32(block + 60, static_cast<int32_t>(128 + itemDirSize));
    put32(block + 64, mInfo.noLayer);
    out.write(block, sizeof block);
    for (int i = 0; i < nItem(); ++i) {
        write32(out, itemLengthVec[i]);
        write32(out, static_cast<int32_t>(itemNameVec[i].size()));
        out << itemNameVec[i];
    }
    for (const staticItem& s : staticItemVec) {
        const bool hasData = s.count >= 1 && s.byteLength > 0;
        write32(out, hasData ? s.byteLength : 0);
        write32(out, s.count);
        write32(out, static_cast<int32_t>(s.name.size()));
        write32(out, static_cast<int32_t>(s.type.size()));
        out << s.name << s.type;
        if (hasData)
            out.write(s.data, s.byteLength);
    }
}

int hsResultFile::writeData(float* values)
{
    return writeData(values, mInfo.noCells);
}

int hsResultFile::writeData(double* values)
{
    return writeData(values, mInfo.noCells);
}

void hsResultFile::checkValueCount(int n) const
{
    if (n < 0 || n > maxItemLength)
        throw ZException("hsResultFile::writeData: " + str(n) + " values given, but no item of " +
                         fileName + " holds more than " + str(maxItemLength) + ".");
}

int hsResultFile::writeData(double* values, int n)
{
    checkValueCount(n);
    if (!floatBuf || floatBufLen_ < maxItemLength) {
        delete[] floatBuf;
        floatBuf = nullptr;
        floatBuf = new float[std::max(maxItemLength, 1)];
        floatBufLen_ = std::max(maxItemLength, 1);
    }
    for (int i = 0; i < n; ++i)
        floatBuf[i] = static_cast<float>(values[i]);
    return writeData(floatBuf, n);
}

int hsResultFile::writeData(float* values, int n)
{
    // Before anything is written: an interrupted call leaves the writer as it was.
    ZCoreLib::ZCancel::poll();
    checkValueCount(n);
    if (isTextWriterFormat()) {
        writeTextData(values, n);
        return 0;
    }
    if (!isBinaryFormat())
        throw ZException("hsResultFile::readItemData undefined format.");
    if (!fileStream.is_open())
        throw ZException("hsResultFile::writeData: " + getFilename() +
                         " is not open for writing (writeHeader not called, or the file was "
                         "closed by flushBuf).");
    if (!writerOfThisProcess())
        throw ZException("hsResultFile::writeData: the writer of " + getFilename() +
                         " belongs to another process (" + str(ownerProcess_) + ").");
    if (!writeError_.empty())
        throw ZException("hsResultFile::writeData: " + failureNote() +
                         " Close the writer; it takes no further values.");
    errno = 0;
    fileStream.write(reinterpret_cast<const char*>(values), 4 * static_cast<std::streamsize>(n));
    if (!fileStream)
        failWrite("hsResultFile::writeData: writing to " + getFilename() + " failed");
    if (++writeItem < nItem())
        return 0;
    writeItem = 0;
    ++writeTimestep;
    if (maxTimestepsPerFile >= 1 && writeTimestep >= maxTimestepsPerFile)
        rollOver();
    else
        countTimestep();
    return 0;
}

// The header counts every complete timestep at once, so that a writer that
// ends without closing (an error, R quitting, the process killed) leaves a
// file that opens with all of them. The values reach the file before the
// count that covers them.
void hsResultFile::countTimestep()
{
    errno = 0;
    fileStream.flush();
    const std::streampos end = fileStream.tellp();
    fileStream.seekp(getNToffset());
    write32(fileStream, writeTimestep);
    fileStream.seekp(end);
    fileStream.flush();
    if (!fileStream)
        failWrite("hsResultFile::writeData: writing the number of timesteps into " +
                  getFilename() + " failed");
}

// The current file is full: close it and continue in the next file of the
// series, whose start time lies maxTimestepsPerFile timesteps later. The next
// file is written whole under a hidden name and takes its own only where no
// entry has it: a kill leaves a hidden file or a whole file, which the next
// new run removes, never a name without a header; a name that is taken
// (another writer's file, another run's, a folder) is refused, and the
// current file keeps every timestep written to it. The writer holds the
// series' first file to the end, so that the name stays its own.
void hsResultFile::rollOver()
{
    countTimestep();
    const long long span = timespan(maxTimestepsPerFile, mInfo.timestep);
    const std::string next = seriesFileName(fileName, fileNo + 1);
    std::string hidden;
    int error = 0;
    const int hold = ZPlatform::makeLockedFileBeside(next, hidden, error);
    if (hold < 0)
        refuseNext(next, error);
    // Removed while still held, unless it took its name.
    struct nextFile {
        std::string path;
        int hold;
        ~nextFile()
        {
            if (hold < 0)
                return;
            if (ZPlatform::leadsTo(path, hold))
                std::remove(path.c_str());
            ZPlatform::unlockFile(hold);
        }
    } made{hidden, hold};
    std::fstream out;
    out.rdbuf()->pubsetbuf(nullptr, 0);
    errno = 0;
    out.open(hidden, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (out)
        writeHeaderBytes(out, mInfo.startDT + span, 0);
    out.flush();
    if (!out)
        refuseNext(next, errno != 0 ? errno : EIO);
    flushBuf(writeTimestep);
    mInfo.noTimestep = maxTimestepsPerFile;
    atStep();
    error = ZPlatform::renameNoReplace(hidden, next);
    if (error != 0)
        refuseNext(next, error);
    made.hold = -1;
    atStep();
    if (fileNo == 0 && nameHold_ < 0) {
        // Its header is final: readers look at it whole again.
        ZPlatform::unmarkBeingWritten(writeHold_);
        nameHold_ = writeHold_;
    } else {
        ZPlatform::unlockFile(writeHold_);
    }
    writeHold_ = hold;
    ZPlatform::markBeingWritten(writeHold_);
    ++fileNo;
    mInfo.startDT += span;
    fileStream = std::move(out);
    fileStream.seekp(0, std::ios::end);
    writeTimestep = 0;
    dateModified = ZDT::now();
}

// The next file of the series cannot be started; the current one holds every
// complete timestep and its count.
void hsResultFile::refuseNext(const std::string& next, int error)
{
    if (error == EEXIST && ZPlatform::fileInfo(next).kind == ZPlatform::FOLDER) {
        writeError_ = std::strerror(EISDIR);
    } else if (error == EEXIST) {
        // Asked of the writer's mark, which takes nothing from it.
        int openError = 0;
        const int fd = ZFile::openForReading(next, openError);
        const bool busy = fd >= 0 && ZPlatform::beingWritten(fd);
        if (fd >= 0)
            close(fd);
        writeError_ = busy ? "the file is being written by another writer"
                           : "the file exists; this writer did not make it";
    } else {
        writeError_ = std::strerror(error);
    }
    refusedNext_ = next;
    throw ZException("hsResultFile::writeData: " + failureNote() +
                     " Close the writer; it takes no further values.");
}

// The final close: the writer lets go of its file as well. After a failed
// write the file keeps its complete timesteps only (failureNote says so):
// the bytes of the incomplete one are cut off and the count is set again.
void hsResultFile::flushBuf()
{
    if (!writerOfThisProcess())
        throw ZException("hsResultFile::flushBuf: the writer of " + getFilename() +
                         " belongs to another process (" + str(ownerProcess_) + ").");
    if (writeError_.empty() || !isBinaryFormat() || !fileStream.is_open()) {
        flushBuf(writeTimestep);
        releaseHold();
        return;
    }
    fileStream.clear();
    fileStream.close();
    // Mended before its lock goes: no other writer takes the file half done.
    struct letGo {
        hsResultFile* f;
        ~letGo() { f->releaseHold(); }
    } guard{this};
    const std::string name = getFilename();
    const long long end = headerSize + 4 * static_cast<long long>(writeTimestep) *
                                           totItemSize64(nItem());
    const long long size = ZPlatform::fileInfo(name).size;
    if (size < headerSize && fileNo > 0) {
        // A later file of the series whose header did not fit: no file at all.
        std::remove(name.c_str());
        return;
    }
    if (size > end)
        ZPlatform::truncateFile(name, end);
    if (size >= headerSize) {
        std::fstream f(name, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(getNToffset());
        write32(f, writeTimestep);
    }
}

void hsResultFile::flushBuf(int nt)
{
    if (isTextWriterFormat()) {
        flushText();
        return;
    }
    if (!isBinaryFormat() || !fileStream.is_open())
        return;
    errno = 0;
    fileStream.seekp(getNToffset());
    write32(fileStream, nt);
    const bool ok = static_cast<bool>(fileStream);
    fileStream.close();
    if (!ok || fileStream.fail())
        failWrite("hsResultFile::flushBuf: writing the number of timesteps into " +
                  getFilename() + " failed");
}

void hsResultFile::flushText()
{
    appendText(buf, static_cast<size_t>(bufLen));
    bufLen = 0;
    buf[0] = '\0';
}

void hsResultFile::appendText(const char* text, size_t n)
{
    const std::string name = getFilename();
    std::ofstream out(name, std::ios::out | std::ios::app | std::ios::binary);
    if (!out)
        throw ZException("hsResultFile::appendText: cannot open " + name + " for appending.");
    out.write(text, static_cast<std::streamsize>(n));
    out.close();
    if (out.fail())
        throw ZException("hsResultFile::appendText: writing to " + name + " failed.");
}

// A line longer than the whole buffer goes to the file directly, after what
// the buffer holds, so the order of lines is kept.
void hsResultFile::write2file(std::string line)
{
    const size_t room = bufSize - 1;
    if (static_cast<size_t>(bufLen) + line.size() > room)
        flushText();
    if (line.size() > room) {
        appendText(line.data(), line.size());
        return;
    }
    std::memcpy(buf + bufLen, line.c_str(), line.size() + 1);
    bufLen += static_cast<int>(line.size());
}

int hsResultFile::writeNT(int nt)
{
    mInfo.noTimestep = nt;
    const std::string name = getFilename();
    errno = 0;
    std::fstream f(name, std::ios::in | std::ios::out | std::ios::binary);
    if (!f)
        throw ZException("hsResultFile::writeNT: cannot open " + name + ": " +
                         std::strerror(errno) + ".");
    f.seekp(getNToffset());
    write32(f, nt);
    const bool ok = static_cast<bool>(f);
    f.close();
    if (!ok || f.fail())
        throw ZException("hsResultFile::writeNT: writing the number of timesteps into " + name +
                         " failed: " + std::strerror(errno) + ".");
    return 0;
}

std::string hsResultFile::getFilename() { return seriesFileName(fileName, fileNo); }

} // namespace hestor
