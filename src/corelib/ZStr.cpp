#include "ZStr.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace ZCoreLib {

namespace {

bool startsAt(const std::string& text, size_t pos, const std::string& what)
{
    return pos <= text.size() && text.compare(pos, what.size(), what) == 0;
}

const char* const unmatchedComment = "Unmatched comment block. ";

// Moves pos from the opener past the comment. Comments of one kind nest
// (a depth count instead of recursion keeps long nests off the stack).
// A comment that ends at the line end neither nests nor needs the line
// end: the end of the text closes it as well.
void skipComment(const std::string& text, size_t& pos, const std::string& opener,
                 const std::string& closer, bool skipCloser)
{
    const bool lineComment = closer == newLine;
    pos += opener.size();
    size_t depth = 0;
    while (pos < text.size()) {
        if (startsAt(text, pos, closer)) {
            if (depth == 0)
                break;
            --depth;
            pos += closer.size();
        } else if (!lineComment && !opener.empty() && startsAt(text, pos, opener)) {
            ++depth;
            pos += opener.size();
        } else {
            ++pos;
        }
    }
    if (pos >= text.size()) {
        if (lineComment)
            return;
        throw ZException(unmatchedComment);
    }
    if (skipCloser)
        pos += closer.size();
}

// printf capture: the buffer handed out last and its size, so that the
// marker search never runs past it.
const char* captureBuffer = nullptr;
size_t captureSize = 0;

} // namespace

std::string ZStr::toUpper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ZStr::toLower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ZStr::isInteger(std::string s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

bool ZStr::isNumeric(const std::string& s, bool strict)
{
    std::istringstream is(s);
    double d;
    if (!(is >> d))
        return false;
    if (!strict)
        return true;
    char c;
    return !(is >> c);
}

int ZStr::firstNonNumericChar(std::string s, bool fromEnd)
{
    static const char numeric[] = "0123456789.+-eE\n";
    const size_t p = fromEnd ? s.find_last_not_of(numeric) : s.find_first_not_of(numeric);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

char ZStr::findDelim(std::string text, std::string candidates)
{
    for (char c : candidates)
        if (text.find(c) != std::string::npos)
            return c;
    throw ZException("Delimiter could not be detected.");
}

bool ZStr::startsWith(std::string text, std::string prefix)
{
    return prefix.size() <= text.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool ZStr::endsWith(std::string text, std::string suffix)
{
    return suffix.size() <= text.size()
        && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ZStr::padLeft(std::string s, unsigned long long length, char fill)
{
    if (s.size() >= length)
        return s;
    return std::string(static_cast<size_t>(length - s.size()), fill) + s;
}

std::string ZStr::trimEnd(std::string s, char c)
{
    const size_t p = s.find_last_not_of(c);
    s.erase(p == std::string::npos ? 0 : p + 1);
    return s;
}

std::string ZStr::replace(const std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t hit; (hit = text.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
        out.append(text, pos, hit - pos);
        out += to;
    }
    out.append(text, pos, std::string::npos);
    return out;
}

std::vector<std::string> ZStr::Split(const std::string& text, const std::string& delimiters,
                                     bool skipEmpty, bool wholeDelimiter)
{
    std::vector<std::string> tokens;
    const size_t step = wholeDelimiter ? delimiters.size() : 1;
    size_t pos = 0;
    for (;;) {
        size_t sep = std::string::npos;
        if (!delimiters.empty())
            sep = wholeDelimiter ? text.find(delimiters, pos) : text.find_first_of(delimiters, pos);
        const size_t end = sep == std::string::npos ? text.size() : sep;
        if (!skipEmpty || end > pos)
            tokens.push_back(text.substr(pos, end - pos));
        if (sep == std::string::npos)
            return tokens;
        pos = sep + step;
    }
}

std::string ZStr::join(std::vector<std::string> parts, std::string separator)
{
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator;
        out += parts[i];
    }
    return out;
}

bool ZStr::string2Bool(const char* s)
{
    return s != nullptr && std::strcmp(s, "true") == 0;
}

bool ZStr::string2Bool(std::string s)
{
    return s == "true";
}

std::string ZStr::bool2String(bool b)
{
    return b ? "true" : "false";
}

std::string ZStr::removeCommentBlocks(std::string text)
{
    static const std::string xmlOpen = "<!--", xmlClose = "-->";
    static const std::string blockOpen = "/*", blockClose = "*/";
    static const std::string lineOpen = "//";
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        // Each kind is tested once per position, in this order; a comment
        // directly after a removed one of the same kind stays text.
        if (startsAt(text, i, xmlOpen)) {
            skipComment(text, i, xmlOpen, xmlClose, true);
            if (i >= text.size())
                break;
        }
        if (startsAt(text, i, blockOpen)) {
            skipComment(text, i, blockOpen, blockClose, true);
            if (i >= text.size())
                break;
        }
        if (startsAt(text, i, lineOpen)) {
            skipComment(text, i, lineOpen, newLine, false);
            if (i >= text.size())
                break;
        }
        out += text[i];
        ++i;
    }
    return out;
}

void ZStr::skip2next(std::string text, int& position, std::string opener, std::string closer,
                     bool skipCloser)
{
    size_t pos = position < 0 ? 0 : static_cast<size_t>(position);
    skipComment(text, pos, opener, closer, skipCloser);
    position = static_cast<int>(pos);
}

char* ZStr::capturePrintfInit(int size)
{
    const size_t n = size > 0 ? static_cast<size_t>(size) : 1;
    char* buffer = new char[n]();
    std::fflush(stdout);
    std::setvbuf(stdout, buffer, _IOFBF, n);
    // A stream that has written before is still in its writing state, and
    // its next output would bypass the new buffer; a null seek resets that
    // state (and fails harmlessly on pipes and terminals).
    const int savedErrno = errno;
    std::fseek(stdout, 0, SEEK_CUR);
    errno = savedErrno;
    captureBuffer = buffer;
    captureSize = n;
    return buffer;
}

std::string ZStr::capturePrintfEnd(char* buffer)
{
    static const char marker[] = "#cpf#";
    std::printf("%s", marker);
    std::setbuf(stdout, nullptr);
    if (buffer == nullptr || buffer != captureBuffer)
        return "";
    // The buffer need not hold a terminating zero: search only within it.
    const std::string all(buffer, captureSize);
    captureBuffer = nullptr;
    captureSize = 0;
    const size_t m = all.find(marker);
    if (m != std::string::npos)
        return all.substr(0, m);
    return all.substr(0, all.find('\0'));
}

} // namespace ZCoreLib
