#ifndef HESTOR_HSRESULTFILE_H
#define HESTOR_HSRESULTFILE_H

// One result file of the model (or a series of them): the model description
// it carries, its items and static header blocks, and the state of writing.

#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hestor.h"
#include "hsGlobal.h"
#include "hsModelInfo.h"

// The binary formats are little-endian IEEE float32 and two's complement
// integers; values are copied between files and memory without swapping.
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "hsResultFile reads and writes binary files as they lie in memory: a little-endian host is required."
#endif
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "binary result files hold IEEE single-precision floats");

namespace hestor {

// One named data block of a binary result header. The record does not own
// its data: copying or destroying it leaves the block alone.
struct staticItem {
    int32_t count = 0;
    int32_t byteLength = 0;
    char* data = nullptr;
    std::string name;
    std::string type;
};

// A writer refused before anything on disk changed. The kind lets the
// caller add its own remedy (the call that closes the other writer, the
// readers that need the extension) to the message.
class writerRefused : public ZCoreLib::ZException {
public:
    enum Kind { OTHER, BUSY, NO_FORMAT };
    writerRefused(Kind k, std::string fileName, std::string msg)
        : ZException(std::move(msg)), kind(k), file(std::move(fileName))
    {
    }
    Kind kind;
    std::string file;
};

class hsResultFile {
public:
    static constexpr int bufSize = 10240;

    // Scratch of writeData's float copies; the object owns it.
    float* floatBuf;
    // The file: fileFmtEnum, name, model description, items (name and values
    // per timestep), modification time.
    int fileFmt;
    std::string fileName;
    hsModelInfo mInfo;
    std::vector<std::string> itemNameVec;
    std::vector<int> itemLengthVec;
    long long dateModified;
    // readHeader found the file and read its header.
    bool headerRead = false;
    // Binary header version and size in bytes; the timestep records follow it.
    int headerVersion;
    int headerSize;
    // The timestep readNextItemTimestep is at.
    int curTimestep;
    // Text writers: column width and separator.
    int colWidth;
    std::string separator;
    // Timesteps per file of a written series; below 1, one file.
    int maxTimestepsPerFile;
    // The file of a series that getFilename() names (0: fileName itself).
    // Only three things move it: the writer, one file on at each roll-over;
    // getFilename(ts), to the file that holds ts; totalTimesteps, back to
    // file 0 unless a file is being written. Every reader leaves it where it
    // was.
    int fileNo;
    // Writer: the longest item, the header version written, the binary
    // stream, complete timesteps of the current file and the next item.
    int maxItemLength;
    int writeVersion;
    std::fstream fileStream;
    int writeTimestep;
    int writeItem;
    // Files modified before this date-time carry no header version word.
    long long cutoffDate;
    // EMF writer: one text row per cell (owned); text writers' buffer.
    std::string* emfLines;
    int bufLen;
    char buf[bufSize];
    // Text readers: where the data lines start.
    std::streampos dataStartPos;
    // readNextItemTimestep: per item, read at curTimestep (owned).
    bool* itemRead;
    std::vector<staticItem> staticItemVec;

    // Object and binary header (hsResultFile.cpp, hsResultFileHeader.cpp)
    hsResultFile(std::string fileName, int fmt);
    // A writer that was not closed is closed here: buffered text is written
    // and the timestep count of the open binary file is patched.
    ~hsResultFile();
    hsResultFile(const hsResultFile&) = delete;
    hsResultFile& operator=(const hsResultFile&) = delete;
    int readHeader();
    int nItem() const;
    // File name, format, static items and items, one per line; above level 9
    // the model description's own report follows.
    std::string toString(int level) const;
    int itemNo(std::string name) const;
    int totItemSize() const;
    int totItemSize(int n) const;
    int getNToffset() const;
    static int getFormatFromFile(std::string fileName);
    // T is char or float. The block is not copied; it must outlive the record.
    template <typename T>
    void addStaticItem(std::string name, T* data, int n, int pos);

    // Writing and series of files (hsResultFileWrite.cpp)
    void addItem(std::string name, int length);
    int writeHeader();
    int writeHeader(int n);
    int writeData(float* values, int n);
    int writeData(double* values, int n);
    int writeData(float* values);
    int writeData(double* values);
    void flushBuf(int nt);
    void flushBuf();
    void write2file(std::string line);
    int writeNT(int nt);
    std::string getFilename();
    // The file that holds global timestep ts, with ts made local to it; each
    // file holds the timesteps counted for it (a reader's: when it first saw
    // the file; a writer's: its header now). ts below noTimestep: fileName,
    // fileNo untouched; else fileNo moves to that file (to the first file
    // after the series when it throws).
    std::string getFilename(int& ts);
    // Timesteps of the whole series, every counted file checked first;
    // fileNo: the file being written, else 0.
    int totalTimesteps();

    // Series of binary files (hsResultFileSeries.cpp)
    // File k of the series whose first file is first (k 0: first itself).
    static std::string seriesFileName(const std::string& first, int k);

    // Creating a writer (hsResultFileCreate.cpp). Checks the name (a
    // regular file or none, writable, in a writable folder, the extension of
    // fmt), builds the model with fill, declares the items and checks the
    // header, then takes the name: the old file (or, when there is none, a
    // placeholder) is locked and the header is written to a new file in the
    // same folder. Every later file of an old series (each file named as one
    // in the folder, beyond a gap too) is checked where it stands, locked
    // while it is looked at: refused when one is no result file, cannot be
    // read or removed, or another writer holds it. Then the new file, which
    // holds no timestep yet, is renamed over the name: the one step that
    // changes what readers see. The old series files are removed after it,
    // from the last down, and so are hidden files that writers which are
    // gone left beside the name. A symbolic link keeps its target: the file
    // it leads to is replaced. Readers of the old file see it replaced.
    // A failure or an interrupt before the rename removes the new file and
    // leaves the folder as it was; a kill leaves the whole old run, or the
    // new file with what the next new run of the name removes. Refusals
    // throw writerRefused.
    static std::unique_ptr<hsResultFile> createWriter(
        const std::string& name, int fmt, const std::function<void(hsModelInfo&)>& fill,
        const std::vector<std::string>& names, const std::vector<int>& lengths);
    // Run once when another writer holds the name, before the second try: a
    // caller whose dropped writers let go only when collected collects here.
    static void setBusyHook(void (*hook)());
    // Run at each step of a new run (once the name is locked, before each
    // check of an old series file, before the rename, once each old file to
    // remove is locked, before each hidden file is looked at, before the last
    // look at the name) and of a roll-over (the next file written under its
    // hidden name, then under its own), for tests that stop a writer there,
    // put another in its way or look at what it holds.
    static void setStepHook(void (*hook)());
    // Made by a writer (its header sized the files of the series); a reader's
    // object never is.
    bool madeForWriting() const { return maxTimestepsPerFile >= 0; }
    // A forked child shares the writer's file and lock; only the process
    // that made the object writes through it or closes it.
    bool writerOfThisProcess() const { return ownerProcess_ == currentProcess(); }
    long long ownerProcess() const { return ownerProcess_; }
    // After a failed write: what the file holds and what was not kept; the
    // writer refuses further values. Empty while every write succeeded.
    std::string failureNote() const;
    bool writeFailed() const { return !writeError_.empty(); }
    void releaseHold() noexcept;
    // writeHeader's checks and the static items it writes, touching no file:
    // a writer that passes them has only the disk left to fail.
    void prepareHeader();

    // A file opened for reads at byte positions through one descriptor, so
    // that the file checked is the file read (hsResultFileIdentity.cpp).
    class openFile {
    public:
        // Which file it is and how it stood. A new file may get the inode
        // number of a deleted one, but not both its birth time and its inode
        // generation: every one of them the file system keeps is compared
        // (has... false where it keeps none). takenNs: the clock just before
        // the times were read.
        struct status {
            unsigned long long device = 0, inode = 0;
            long long size = 0, modifiedNs = 0, changedNs = 0;
            bool hasBirth = false, hasGeneration = false;
            long long birthNs = 0;
            unsigned long long generation = 0;
            long long takenNs = 0;
        };
        static bool sameFile(const status& a, const status& b);
        // sameFile, neither written nor touched since the earlier status b,
        // and b not taken within a tick of the file's last change (a change
        // in that tick may have left the times as b saw them).
        static bool unchanged(const status& a, const status& b);
        // Opened as ZFile::openForReading opens: never blocks, regular files
        // only. Not open (isOpen() false, error() the reason, or
        // ZFile::notRegular) when the name cannot be opened for reading.
        explicit openFile(const std::string& name);
        ~openFile();
        openFile(const openFile&) = delete;
        openFile& operator=(const openFile&) = delete;
        bool isOpen() const { return fd_ >= 0; }
        int error() const { return error_; }
        status stat() const;
        // Whether its writer holds the file (ZPlatform::beingWritten).
        bool heldByWriter() const;
        // Bytes read at pos: n, or fewer where the file ends.
        long long readAt(long long pos, void* dst, long long n) const;

    private:
        int fd_ = -1;
        int error_ = 0;
    };

    // The files of a series as a reader's object first saw them. A reader
    // counts each file's timesteps once, when it first sees the file: the
    // first file's when its header is read, a later one's when a count or a
    // read first reaches it. totalTimesteps and the series readers use those
    // counts alone, so they agree, and a file that grows beside its writer
    // keeps its count. A file once counted must stay: gone, replaced, cut
    // short or given another header, it is refused by name (an object that
    // has handed out nothing of its run yet takes a new run of its model,
    // takeNewRun).
    // Takes the files on disk as they are now, for an object whose files
    // were rewritten on purpose by its owner (the first file with the count
    // the object holds).
    void forgetDiskFiles()
    {
        seen_.clear();
        refused_ = refusedNext();
    }
    // Called before anything that differs between two runs of one model is
    // handed out (the header's start, count and modification time, a count,
    // values): an object that has handed out nothing takes the run the name
    // leads to now, when it is a new run of its model; from then on it
    // answers for its run or refuses.
    void settleRun();
    // The readers' way to the series: the counts of its files, seen until
    // they reach `need` timesteps (all files when negative), and file k of
    // them opened and checked, with the byte its records start at.
    std::vector<int> seriesTimesteps(long long need);
    std::unique_ptr<openFile> openSeriesFile(int k, long long& recordsStart);

    // Reading item data (hsResultFileRead.cpp)
    // Why the readers that place values by element or cell cannot place the
    // item's values, for a message; empty when the item holds one value per
    // element or per cell (in other layer types, noLayer per element), or the
    // file's format holds no timestep records. Other model types store items
    // of other lengths, which only the whole-item readers return.
    std::string unplacedItem(int item) const;
    // The item's values at ts into the caller's buffer (the item's length).
    int readItemData(int item, int ts, float* values);
    int readItemData(int item, int ts, double* values);
    // The values of the listed elements (their cells for a cell item) in a
    // new array of the returned count; the caller frees out with delete[].
    int readItemData(int item, int ts, int* elems, int nElems, double*& out);
    // The next timestep of the item into the caller's buffer (the item's
    // length); returns that timestep's date-time.
    long long readNextItemTimestep(int item, double*& values);
    // One value per element: the float form fills the caller's buffer of
    // noe values, the double form allocates one that the caller frees with
    // delete[].
    int readLayer(int item, int ts, int layer, float*& values);
    int readLayer(int item, int ts, int layer, double*& values);
    // The element's column into the caller's buffer of noLayer values, 0
    // below the element's bottom layer.
    int readProfile(int item, int ts, int elem, float* values);
    int readProfile(int item, int ts, int elem, double* values);
    // Values over timesteps from .. to - 1 in a new array of the returned
    // count; the caller frees it with delete[].
    int readTimeSeries(int item, int elem, int layer, double*& values, int from, int to);
    int readTimeSeriesProfile(int item, int elem, double*& values, int from, int to);

    // Text formats (hsResultFileText.cpp)
    // data: new columns of nRows values, data[col][row]; the caller frees
    // them with readNextTimestepFreeMem.
    long long readNextTimestep(double**& data, int& nRows);
    void readNextTimestepFreeMem(double** data);
    // times, values: new arrays of the returned count; the caller frees them
    // with delete[].
    int readTimeSeriesUET(int col, long long*& times, double*& values, long long from,
                          long long to, int filterCol, double min, double max);

    // Sections, areas and bitmaps (hsResultFileSection.cpp). Arrays handed
    // back through references are new[] and belong to the caller; the FreeMem
    // functions release them. Depths and line ends must be finite; a
    // resampled section is counted, and refused when it would not fit in
    // int, before anything is built.
    int extractSectionCart(int item, int ts, double* x, double* y, int nPts, double* depths,
                           int nDepths, double*& values);
    int extractSectionCart(int item, int ts, double* x, double* y, int n, double* depths,
                           int nDepths, double spacing, double*& dist, int& nDist,
                           double*& values, int& nValues, double*& xs, double*& ys);
    int extractSectionCart(int item, int ts, double* x, double* y, int n, double* depths,
                           int nDepths, double spacing, double*& dist, int& nDist,
                           double*& values, int& nValues);
    int extractSection(int item, int ts, double* x, double* y, int n, double*& dist,
                       double*& depth, double*& value, int& count);
    int extractSection(int item, int ts, double x0, double y0, double x1, double y1,
                       double spacing, double*& dist, double*& depth, double*& value,
                       int& count);
    static void extractSectionCartFreeMem(double* a, double* b);
    static void extractSectionCartFreeMem(double* a, double* b, double* c, double* d);
    static void extractSectionFreeMem(double* a, double* b, double* c);
    // Fills the caller's buffer of noe values.
    int readHorisontalArea(int item, int ts, double depth, double* values);
    // bitmap: the caller's w x h colours, painted in place.
    int readLayerAndInterpOnBitmap(int item, int ts, int layer, int*& bitmap, int w, int h,
                                   int nSteps, double xmin, double xmax, double ymin,
                                   double ymax, double vmin, double vmax, int* colors,
                                   int nColors, double radius, double unused);
    int readXYZAndInterpOnBitmap(std::string fileName, int*& bitmap, int w, int h, int nSteps,
                                 double xmin, double xmax, double ymin, double ymax,
                                 double vmin, double vmax, int* colors, int nColors,
                                 double radius, double unused);

private:
    // The writer's lock descriptors: on the file it writes, and on the
    // series' first file once it has rolled over past it, so that the name
    // stays held until the writer ends; -1 when none is held.
    int writeHold_ = -1;
    int nameHold_ = -1;
    static long long currentProcess();
    long long ownerProcess_ = currentProcess();
    // The system's reason of a failed write; empty while none failed.
    std::string writeError_;
    // The next file of the series when a roll-over was refused (the failed
    // write lost no values); empty otherwise.
    std::string refusedNext_;
    // Where writeHeader writes the first file when it is not fileName: the
    // new file that createWriter renames over the name.
    std::string firstFilePath_;
    // createWriter's steps (hsResultFileCreate.cpp)
    static std::string checkWriteTarget(const std::string& name, int fmt);
    // Checks the later files of an old series of first (their numbers k,
    // ascending); those gone meanwhile are taken off the list.
    static void checkSeriesTail(const std::string& first, std::vector<int>& tail);
    // Runs the hook of setStepHook.
    static void atStep();
    [[noreturn]] void failWrite(const std::string& what);

    // What the series needs of a file's header: its version, where its
    // records start, its count and time axis, and a digest of the whole
    // header with the start time and the count read as 0, which every file
    // of a series shares.
    struct seriesHead {
        int headerSize = 0, nt = 0, version = 0;
        long long startDT = 0;
        double timestep = 0.0;
        unsigned long long shape = 0;
    };
    // A file of the series as first seen: its identity, its size and times at
    // the last check, its count then, its header, the byte its counted
    // records end at and a digest of their two ends. byWriter: last looked
    // at while its writer held it, its header not read then.
    struct seenFile {
        openFile::status stamp;
        int nt = 0;
        seriesHead head;
        long long recordsEnd = 0;
        unsigned long long records = 0;
        bool byWriter = false;
    };
    std::vector<seenFile> seen_;
    // The last file found not to continue the series, as it was then, so
    // that a file left from another run is not read on every call.
    struct refusedNext {
        int k = -1;
        openFile::status stamp;
    };
    refusedNext refused_;
    // Whether the object has handed out anything of its run: its header (by
    // settleRun), a count or values.
    bool handedOut_ = false;

    // Identity (hsResultFileIdentity.cpp)
    bool isReader() const;
    seenFile firstSight(const openFile& f, int nt, const seriesHead& head) const;
    // The header's digest (seriesHead::shape); throws when the file ends
    // inside the header.
    static unsigned long long headerShape(const openFile& f, int version, long long headerSize,
                                          const std::string& name);
    // The first and last few kB of the bytes from .. to (the counted records).
    unsigned long long recordsDigest(const openFile& f, long long from, long long to) const;
    void checkOpen(int k, const openFile& f);
    // The look at a file its writer holds: its count and size only.
    bool onlyAppended(const openFile& f, const seenFile& s, const openFile::status& now) const;
    // File k (seen) opened and checked through its descriptor.
    std::unique_ptr<openFile> openSeen(int k);
    bool mayTakeNewRun() const;
    // f: the name, opened once for this look. When it is another file than
    // the first file counted, a new run renamed over the name: an object
    // that has handed out nothing yet takes it from f, when it holds the same
    // model, and is true; any other object, and any other file, is false.
    bool takeNewRun(const openFile& f);
    // After a scan past the first file, one look at the name: false when it
    // still leads to the first file; true when the object took a new run and
    // scans again; throws when the run was replaced under it.
    bool rescanReplacedRun(int attempt);

    // Series (hsResultFileSeries.cpp)
    // Sees files of the series until their counts reach `need` timesteps (all
    // of them when need is negative); returns the number of files seen.
    int seeSeries(long long need);
    // held: the timesteps of the files seen before k.
    bool nextContinues(int k, long long held);
    // Whether next continues prev (which holds prevNt timesteps, `before`
    // timesteps after the start of first): the same header but for the start
    // and the count, and a start where prev ends as the writer computes it.
    static bool follows(const seriesHead& first, long long before, const seriesHead& prev,
                        int prevNt, const seriesHead& next);
    // The refusal of a file whose count is not backed by records; "" when it is.
    std::string countUnbacked(const seriesHead& h, long long size, const std::string& name) const;
    // Counts of the files of the series: a reader's as seen (every seen file
    // checked when checkAll), a writer's as their headers say now.
    std::vector<int> seriesCounts(bool checkAll);

    // Data blocks of static items that this object made (read from a file,
    // or converted for writing). Records point into them; a block is released
    // once no record of staticItemVec points into it any more.
    std::vector<std::unique_ptr<char[]>> ownedBlocks_;
    // Floats allocated in floatBuf.
    int floatBufLen_ = 0;

    // Static item bookkeeping (hsResultFile.cpp)
    char* ownBlock(std::unique_ptr<char[]> block);
    void insertStaticItem(const staticItem& rec, int pos);
    void releaseUnusedBlocks();
    void releaseArrays() noexcept;
    void closeUnfinishedWriter() noexcept;
    static int ntOffset(int version);

    // Binary header reading (hsResultFileHeader.cpp)
    struct headerReader;
    struct fixedHeader;
    using staticWant = std::function<bool(const std::string& name)>;
    using staticTake = std::function<void(staticItem& rec, std::vector<char>& block)>;
    void readBinaryHeader();
    static fixedHeader readFixedFields(headerReader& r, bool versionWord);
    static void readItemDirectory(headerReader& r, const fixedHeader& h,
                                  std::vector<std::string>& names, std::vector<int>& lengths);
    static void walkStatics(headerReader& r, const fixedHeader& h, const staticWant& want,
                            const staticTake& take);
    void takeStaticBlock(headerReader& r, const std::string& name, std::vector<char>& block,
                         int count, int version);
    void relabelBinaryFormat();
    // The series' view of a header; throws when it cannot be read.
    seriesHead readSeriesHead(const openFile& f, const std::string& name) const;
    static seriesHead seriesHeadOf(const openFile& f, const fixedHeader& h,
                                   const std::string& name);

    // Binary writing (hsResultFileWrite.cpp)
    void prepareBinaryHeader();
    void writeBinaryHeader();
    void countTimestep();
    void addModelStaticItems();
    long long binaryHeaderSize() const;
    void writeHeaderBytes(std::ostream& out, long long start, int nt);
    void rollOver();
    [[noreturn]] void refuseNext(const std::string& next, int error);
    void checkValueCount(int n) const;
    void flushText();
    void appendText(const char* text, size_t n);

    // Sizes and formats (hsResultFile.cpp)
    long long totItemSize64(int n) const;
    bool isBinaryFormat() const;
    bool isTextWriterFormat() const;

    // Readers and text formats (hsResultFileRead.cpp, hsResultFileText.cpp)
    // TEXT0D/TEXT1D: the first line, called by readHeader.
    void readTextFirstLine();
    // EMT/EMF: the header lines written to fileName (EMF also makes
    // emfLines), called by writeHeader after the item lists are checked.
    void writeTextHeader();
    // EMT/EMF: one item record; writeData has checked 0 <= n <= maxItemLength.
    void writeTextData(float* values, int n);
};

} // namespace hestor

#endif
