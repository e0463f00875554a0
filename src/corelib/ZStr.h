#ifndef ZCORELIB_ZSTR_H
#define ZCORELIB_ZSTR_H

// Text helpers and the small tag-text dialect the model files use.

#include <ios>
#include <sstream>
#include <string>
#include <vector>

#include "ZCoreLib.h"

namespace ZCoreLib {

class ZStr {
public:
    // ---- case, classification, search
    static std::string toUpper(std::string s);
    static std::string toLower(std::string s);
    static bool isInteger(std::string s);
    static bool isNumeric(const std::string& s, bool strict);
    static int firstNonNumericChar(std::string s, bool fromEnd);
    static char findDelim(std::string text, std::string candidates);
    static bool startsWith(std::string text, std::string prefix);
    static bool endsWith(std::string text, std::string suffix);

    // ---- shaping
    static std::string padLeft(std::string s, unsigned long long length, char fill);
    static std::string trimEnd(std::string s, char c);
    static std::string replace(const std::string& text, const std::string& from,
                               const std::string& to);
    static std::vector<std::string> Split(const std::string& text, const std::string& delimiters,
                                          bool skipEmpty, bool wholeDelimiter);
    static std::string join(std::vector<std::string> parts, std::string separator);

    // ---- values to and from text
    static bool string2Bool(const char* s);
    static bool string2Bool(std::string s);
    static std::string bool2String(bool b);
    template <typename T>
    static std::string toString(const T& value, int precision = -1, int width = -1);
    template <typename T>
    static T fromString(const std::string& text,
                        std::ios_base& (*manip)(std::ios_base&) = std::dec);

    // ---- comments
    static std::string removeCommentBlocks(std::string text);
    static void skip2next(std::string text, int& position, std::string opener,
                          std::string closer, bool skipCloser);

    // ---- printf capture; the caller frees the buffer with delete[] once
    // capturePrintfEnd has given back the text
    static char* capturePrintfInit(int size);
    static std::string capturePrintfEnd(char* buffer);

    // ---- tag-text dialect (ZStrXml.cpp)
    static int xmlGetTagPos(std::string xml, std::string& tag, int& length,
                            std::string separator);
    static std::string xmlGetTagValue(std::string xml, std::string path, std::string separator);
    static std::string xmlReplaceValue(std::string xml, std::string path, std::string newValue,
                                       std::string separator);
    static std::string xmlInsInXml(std::string xml, std::string path, std::string insert,
                                   std::string separator);
    static std::string xmlToTag(std::string name, std::string value, std::string indent);
    static std::string xmlToTag(std::string name, bool value, std::string indent);
    // Keeps a string-literal value from choosing the bool overload.
    static std::string xmlToTag(std::string name, const char* value, std::string indent)
    {
        return xmlToTag(std::move(name), std::string(value), std::move(indent));
    }
    static std::string xmlInsTag(std::string content, std::string name, bool indent);
};

template <typename T>
std::string ZStr::toString(const T& value, int precision, int width)
{
    std::ostringstream os;
    if (precision >= 0) {
        os.precision(precision);
        os << std::fixed;
    }
    if (width > 0) {
        os.fill('0');
        os.width(width);
    }
    os << value;
    return os.str();
}

template <typename T>
T ZStr::fromString(const std::string& text, std::ios_base& (*manip)(std::ios_base&))
{
    std::istringstream is(text);
    T value = T();
    if (manip)
        is >> manip;
    if (!(is >> value))
        return T();
    return value;
}

} // namespace ZCoreLib

#endif
