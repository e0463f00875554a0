#include "hsGlobal.h"

#include <cstring>
#include <iostream>
#include <vector>

#include "ZDT.h"
#include "ZFile.h"
#include "ZStr.h"

namespace hestor {

using ZCoreLib::ZDT;
using ZCoreLib::ZException;
using ZCoreLib::ZFile;
using ZCoreLib::ZStr;

int hsGlobal::logLevel = 0;
std::string hsGlobal::logFileName;

namespace {

template <typename E>
struct Name {
    E code;
    const char* text;
};

template <typename E, std::size_t N>
std::string codeToText(const Name<E> (&table)[N], E code, const char* failure)
{
    for (const Name<E>& n : table)
        if (n.code == code)
            return n.text;
    throw ZException(failure);
}

// The table order is the matching order; text is already case-converted.
template <typename E, std::size_t N>
E textToCode(const Name<E> (&table)[N], const std::string& text, const std::string& failurePrefix)
{
    for (const Name<E>& n : table)
        if (text == n.text)
            return n.code;
    throw ZException(failurePrefix + text + ").");
}

const Name<fileFmtEnum> fileFmtTexts[] = {
    {EMT, "EMT"}, {EMB, "EMB"}, {TEXT0D, "TEXT0D"}, {TEXT1D, "TEXT1D"}, {EMF, "EMF"},
    {NC, "NC"}, {RESTART, "RESTART"}, {DECOUPLED, "DECOUPLED"}, {MESH, "MESH"}};

const Name<fileFmtEnum> fileFmtMatches[] = {
    {NC, "NC"}, {EMT, "EMT"}, {EMF, "EMF"}, {EMB, "EMB"}, {TEXT0D, "TEXT0D"},
    {TEXT1D, "TEXT1D"}, {MESH, "MESH"}, {RESTART, "RESTART"}, {DECOUPLED, "DECOUPLED"}};

const Name<modelTypeEnum> modelTypeTexts[] = {
    {WATER, "water"}, {SEDIMENT, "sediment"}, {ABM, "abm"}};

const Name<modelTypeEnum> modelTypeMatches[] = {
    {WATER, "unstructured"}, {WATER, "water"}, {SEDIMENT, "sediment"}, {ABM, "abm"}};

const Name<layerTypeEnum> layerTypeTexts[] = {{ZLAYER, "zlayer"}, {SIGMA, "sigma"}};

const Name<layerTypeEnum> layerTypeMatches[] = {
    {SIGMA, "SIGMA"}, {ZLAYER, "Z"}, {ZLAYER, "ZLAYER"}};

// The text-to-format message is shared by formats and layer types.
const char* const invalidFormat = "str2fileFmtEnum: invalid format definition (";

} // namespace

std::string hsGlobal::fileFmtEnum2str(fileFmtEnum fmt)
{
    return codeToText(fileFmtTexts, fmt, "fileFmtEnum2str: unsupported fileFmtEnum");
}

fileFmtEnum hsGlobal::str2fileFmtEnum(std::string text)
{
    return textToCode(fileFmtMatches, ZStr::toUpper(text), invalidFormat);
}

std::string hsGlobal::modelTypeEnum2str(modelTypeEnum type)
{
    return codeToText(modelTypeTexts, type, "modelTypeEnum2str: unsupported modelTypeEnum.");
}

modelTypeEnum hsGlobal::str2modelTypeEnum(std::string text)
{
    return textToCode(modelTypeMatches, ZStr::toLower(text),
                      "str2modelTypeEnum: invalid modeltype definition (");
}

std::string hsGlobal::str2layerTypeEnum(layerTypeEnum type)
{
    return codeToText(layerTypeTexts, type, "modelTypeEnum2str: unsupported layerTypeEnum.");
}

layerTypeEnum hsGlobal::str2layerTypeEnum(std::string text)
{
    return textToCode(layerTypeMatches, ZStr::toUpper(text), invalidFormat);
}

void hsGlobal::setLogLevel(int level)
{
    logLevel = level;
}

int hsGlobal::getLogLevel()
{
    return logLevel;
}

void hsGlobal::logMsg(std::string message, bool withTime, bool toConsole, int level)
{
    if (logLevel < level)
        return;
    std::string line;
    if (withTime)
        line = ZDT::nowStr(dtFormat) + " ";
    line += message + newLine;
    // Logging must never disturb the caller: a lost line is accepted.
    ZFile::writeFile(logFileName, line, true);
    if (toConsole)
        std::cout << line << std::flush;
}

void hsGlobal::logMsg(std::string message)
{
    logMsg(message, true, false, 0);
}

void hsGlobal::setLogFileName(std::string name, bool keepOld)
{
    logFileName = name;
    if (!keepOld) {
        ZFile::delFile(name, false);
        return;
    }
    if (!ZFile::fileExists(name))
        return;
    // rename() replaces an existing target here, so a second switch within
    // the same second would destroy the log kept by the first; the old file
    // then stays in place and new lines are appended to it.
    const std::string kept = ZFile::addTail(name, ZDT::nowStr(dtFormat));
    if (!ZFile::fileExists(kept))
        ZFile::moveFile(name, kept);
}

void hsGlobal::char2zfloatArr(zfloat*& out, char* buffer, int nBytes)
{
    if (nBytes < 4)
        return;
    const std::size_t n = static_cast<std::size_t>(nBytes) / 4;
    if (!zfloatIsDouble) {
        std::memcpy(out, buffer, n * 4);
        return;
    }
    std::vector<float> values(n);
    std::memcpy(values.data(), buffer, n * sizeof(float));
    for (std::size_t i = 0; i < n; ++i)
        out[i] = values[i];
}

} // namespace hestor
