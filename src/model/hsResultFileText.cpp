// Text result files: the EMT and EMF writers, and the TEXT0D/TEXT1D readers
// of time series and profiles.

#include "hsResultFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ZDT.h"
#include "ZFile.h"
#include "ZFileInput.h"
#include "ZMessage.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZDT;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZFileInput;
using ZCoreLib::ZStr;
using ZCoreLib::str;

namespace {

// readNextTimestep's answer at the end of the data.
const long long endOfData = 2147483647LL;

void dropCarriageReturn(std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

// One line that ends in LF, without its CR LF or LF. A last line without LF
// is not taken: the file may still be being written. n = bytes consumed.
bool readDataLine(std::istream& in, std::string& line, long long& n)
{
    if (!std::getline(in, line) || in.eof())
        return false;
    n = static_cast<long long>(line.size()) + 1;
    dropCarriageReturn(line);
    return true;
}

// printf formatting with a width and a precision; any length of result.
std::string format(const char* pattern, int width, int precision, double v)
{
    char small[64];
    const int len = std::snprintf(small, sizeof small, pattern, width, precision, v);
    if (len < 0)
        return std::string();
    if (len < static_cast<int>(sizeof small))
        return std::string(small, static_cast<size_t>(len));
    std::string big(static_cast<size_t>(len) + 1, '\0');
    std::snprintf(&big[0], big.size(), pattern, width, precision, v);
    big.resize(static_cast<size_t>(len));
    return big;
}

// EMF value field: fixed with w - 10 decimals, scientific when that does not
// leave a blank in front or hides a value that is not 0.
std::string emfField(double v, int w)
{
    const int precision = std::max(w - 10, 0);
    const std::string fixed = format("%*.*f", w, precision, v);
    if (!fixed.empty() && fixed[0] == ' ' && (v == 0 || std::strtod(fixed.c_str(), nullptr) != 0))
        return fixed;
    return format("%*.*e", w, precision, v);
}

// A text value of TEXT0D/TEXT1D: empty is missing, not a number is 0.
double textValue(const std::string& piece)
{
    if (piece.empty())
        return missingValue;
    return std::strtod(piece.c_str(), nullptr);
}

// The pieces of one data line after the date-time, at tabs and commas.
std::vector<std::string> dataPieces(const std::string& line)
{
    return ZStr::Split(line, "\t,", false, false);
}

} // namespace

// The readers open the name through ZFileInput and read only through it: a
// pipe put in the file's place after openHSFile's check is refused, never
// waited on.
void hsResultFile::readTextFirstLine()
{
    ZFileInput in(fileName);
    if (!in.is_open())
        throw ZException("hsResultFile::readHeader: cannot open '" + fileName + "'.");
    std::string line;
    std::getline(in, line);
    const long long after = static_cast<long long>(line.size()) + (in.eof() ? 0 : 1);
    dropCarriageReturn(line);
    const std::vector<std::string> pieces = ZStr::Split(line, "\t, ", false, false);
    dataStartPos = 0;
    if (pieces.size() >= 2) {
        const bool named = std::any_of(pieces.begin() + 1, pieces.end(), [](const std::string& p) {
            return !ZStr::isNumeric(p, true);
        });
        for (size_t i = 1; i < pieces.size(); ++i)
            itemNameVec.push_back(named ? pieces[i] : "Itm" + str(static_cast<long long>(i)));
        if (named)
            dataStartPos = after;
    }
    itemLengthVec.assign(itemNameVec.size(), fileFmt == TEXT1D ? mInfo.noLayer : 1);
}

long long hsResultFile::readNextTimestep(double**& data, int& nRows)
{
    switch (fileFmt) {
    case EMB:
        throw ZException("hsResultFile::readNextTimestep Not implemented for EMB files.");
    case EMT:
        throw ZException("hsResultFile::readNextTimestep Not implemented for EMT files.");
    case TEXT0D:
    case TEXT1D:
        break;
    default:
        throw ZException("hsResultFile::readItemData undefined format.");
    }
    ZFileInput in(fileName);
    if (!in.is_open())
        throw ZException("hsResultFile::readNextTimestep: cannot open '" + fileName + "'.");
    in.seekg(dataStartPos);
    long long pos = dataStartPos;
    std::string key, line;
    std::vector<std::string> rows;
    long long n = 0;
    while (readDataLine(in, line, n)) {
        pos += n;
        if (line.empty())
            continue;
        const size_t tab = line.find('\t');
        if (rows.empty()) {
            if (tab == std::string::npos)
                throw ZException("Invalid line in file " + fileName);
            key = line.substr(0, tab);
        } else if (tab != key.size() || line.compare(0, tab, key) != 0) {
            break;
        }
        rows.push_back(line.substr(tab + 1));
        dataStartPos = pos;
    }
    in.close();
    if (rows.empty())
        return endOfData;
    const long long dt = ZDT::strDT2longDT(key);

    std::vector<std::vector<std::string>> pieces;
    pieces.reserve(rows.size());
    for (const std::string& r : rows)
        pieces.push_back(dataPieces(r));
    // The first row fixes the columns; a longer row is cut, a shorter one
    // padded with missing values.
    const size_t m = pieces[0].size();
    const size_t nr = rows.size();
    std::unique_ptr<double[]> block(new double[m * nr]);
    std::unique_ptr<double*[]> cols(new double*[m]);
    for (size_t c = 0; c < m; ++c) {
        cols[c] = block.get() + c * nr;
        for (size_t r = 0; r < nr; ++r)
            cols[c][r] = c < pieces[r].size() ? textValue(pieces[r][c]) : missingValue;
    }
    block.release();
    data = cols.release();
    nRows = static_cast<int>(nr);
    return dt;
}

void hsResultFile::readNextTimestepFreeMem(double** data)
{
    if ((fileFmt != TEXT0D && fileFmt != TEXT1D) || !data)
        return;
    delete[] data[0];
    delete[] data;
}

int hsResultFile::readTimeSeriesUET(int col, long long*& times, double*& values, long long from,
                                    long long to, int filterCol, double min, double max)
{
    if (fileFmt != TEXT0D)
        throw ZException("hsResultFile::readTimeSeries unsuppored format.");
    ZFileInput in(fileName);
    if (!in.is_open())
        throw ZException("hsResultFile::readTimeSeriesUET: cannot open '" + fileName + "'.");
    const std::string text = ZFile::readFile(in);
    const size_t vc = static_cast<size_t>(col) + 1;
    const size_t fc = static_cast<size_t>(filterCol) + 1;
    std::vector<long long> ts;
    std::vector<double> vs;
    for (std::string line : ZStr::Split(text, "\n", true, false)) {
        dropCarriageReturn(line);
        if (line.empty() || col < 0)
            continue;
        const std::vector<std::string> p = dataPieces(line);
        // Lines too short for the column asked for are skipped.
        if (vc >= p.size() || !ZStr::isNumeric(p[vc], true))
            continue;
        const long long t = ZDT::strDT2longDT(p[0]);
        if (t < from || t > to)
            continue;
        if (filterCol >= 0) {
            if (fc >= p.size() || !ZStr::isNumeric(p[fc], true))
                continue;
            const double f = std::atof(p[fc].c_str());
            if (f < min || f > max)
                continue;
        }
        ts.push_back(t);
        vs.push_back(std::atof(p[vc].c_str()));
    }
    std::unique_ptr<long long[]> t(new long long[ts.size()]);
    std::unique_ptr<double[]> v(new double[vs.size()]);
    std::copy(ts.begin(), ts.end(), t.get());
    std::copy(vs.begin(), vs.end(), v.get());
    times = t.release();
    values = v.release();
    return static_cast<int>(ts.size());
}

void hsResultFile::writeTextHeader()
{
    std::string text;
    if (fileFmt == EMT) {
        text = "ModelType: " +
               hsGlobal::modelTypeEnum2str(static_cast<modelTypeEnum>(mInfo.modeltype)) +
               newLine + "StartDT: " + ZDT::longDT2StrDT(mInfo.startDT) + newLine +
               "Timestep: " + ZStr::toString(mInfo.timestep) + newLine +
               "No. timesteps: " + str(mInfo.noTimestep) + newLine + "No. items: " + str(nItem()) +
               newLine + "Item names: " + ZStr::join(itemNameVec, ",") + newLine +
               "No. Layers: " + str(mInfo.noLayer) + newLine + "Data: " + newLine;
    } else {
        delete[] emfLines;
        emfLines = nullptr;
        emfLines = new std::string[static_cast<size_t>(std::max(mInfo.noCells, 0))];
        const size_t w = static_cast<size_t>(std::max(colWidth, 0));
        text = "DateTime           CellNo";
        for (const std::string& name : itemNameVec)
            text += ZStr::padLeft(name.substr(0, w), w, ' ');
        text += newLine;
    }
    if (ZFile::writeFile(fileName, text, false) != 0)
        throw ZException("hsResultFile::writeHeader: cannot write '" + fileName + "'.");
}

void hsResultFile::writeTextData(float* values, int n)
{
    if (fileFmt == EMT) {
        if (writeItem >= nItem()) {
            writeItem = 0;
            ++writeTimestep;
        }
        std::string line = "t=" + ZStr::padLeft(str(writeTimestep), 5, '0') + ",i=" +
                           ZStr::padLeft(str(writeItem), 2, '0') + separator;
        for (int i = 0; i < n; ++i)
            line += format("%*.*g", 0, 4, values[i]) + separator;
        write2file(line + newLine);
        ++writeItem;
        return;
    }
    // EMF: one column per item, a line per cell once the last item is in.
    const int cells = emfLines ? mInfo.noCells : 0;
    if (n > cells)
        throw ZException("hsResultFile::writeData: " + str(n) + " values for " + fileName +
                         ", which has " + str(cells) + " cells.");
    for (int c = 0; c < n; ++c)
        emfLines[c] += emfField(values[c], colWidth);
    if (writeItem < nItem() - 1) {
        ++writeItem;
        return;
    }
    const std::string dt = ZDT::longDT2StrDT(
        mInfo.startDT + static_cast<long long>(writeTimestep * mInfo.timestep));
    for (int c = 0; c < n; ++c) {
        write2file(dt + ZStr::padLeft(str(c), 6, ' ') + emfLines[c] + newLine);
        emfLines[c].clear();
    }
    writeItem = 0;
    ++writeTimestep;
}

} // namespace hestor
