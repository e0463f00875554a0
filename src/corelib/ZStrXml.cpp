// The tag-text dialect: elements are found by plain text search along a
// path of tag names, and written by concatenation.

#include "ZStr.h"

namespace ZCoreLib {

namespace {

std::string openTag(const std::string& name) { return "<" + name + ">"; }
std::string closeTag(const std::string& name) { return "</" + name + ">"; }

} // namespace

int ZStr::xmlGetTagPos(std::string xml, std::string& tag, int& length, std::string separator)
{
    length = -1;
    size_t start = 0;
    size_t end = xml.size();
    if (!separator.empty()) {
        std::vector<std::string> names = Split(tag, separator, false, false);
        tag = names.back();
        names.pop_back();
        for (const std::string& outer : names) {
            start = xml.find(openTag(outer), start);
            if (start == std::string::npos || start > end)
                return -1;
            // No closing tag leaves the element open to the end of the text.
            end = xml.find(closeTag(outer), start);
        }
    }
    const size_t p = xml.find(openTag(tag), start);
    const size_t q = xml.find(closeTag(tag), start);
    if (p == std::string::npos || q == std::string::npos || p > end || q > end)
        return -1;
    length = static_cast<int>(static_cast<long long>(q) - static_cast<long long>(p));
    return static_cast<int>(p);
}

std::string ZStr::xmlGetTagValue(std::string xml, std::string path, std::string separator)
{
    int length;
    const int p = xmlGetTagPos(xml, path, length, separator);
    if (length < 1 || p < 0)
        return "";
    const size_t valueStart = xml.find('>', static_cast<size_t>(p)) + 1;
    const size_t valueEnd = static_cast<size_t>(p) + static_cast<size_t>(length);
    if (valueStart == 0 || valueStart >= valueEnd)
        return "";
    return xml.substr(valueStart, valueEnd - valueStart);
}

std::string ZStr::xmlReplaceValue(std::string xml, std::string path, std::string newValue,
                                  std::string separator)
{
    int length;
    const int p = xmlGetTagPos(xml, path, length, separator);
    if (length < 1 || p < 0)
        return xml;
    const size_t closeAt = static_cast<size_t>(p) + static_cast<size_t>(length);
    std::string out;
    out.reserve(xml.size() - length + newValue.size() + path.size() + 2);
    out.append(xml, 0, static_cast<size_t>(p));
    out += openTag(path);
    out += newValue;
    out.append(xml, closeAt, std::string::npos);
    return out;
}

std::string ZStr::xmlInsInXml(std::string xml, std::string path, std::string insert,
                              std::string separator)
{
    int length;
    const int p = xmlGetTagPos(xml, path, length, separator);
    if (length < 1 || p < 0)
        return xml;
    xml.insert(static_cast<size_t>(p) + static_cast<size_t>(length), insert);
    return xml;
}

std::string ZStr::xmlToTag(std::string name, std::string value, std::string indent)
{
    return indent + openTag(name) + value + closeTag(name) + newLine;
}

std::string ZStr::xmlToTag(std::string name, bool value, std::string indent)
{
    return indent + "<" + name + (value ? ">true</" : ">false</") + name + ">" + newLine;
}

std::string ZStr::xmlInsTag(std::string content, std::string name, bool indent)
{
    if (!indent)
        return openTag(name) + content + closeTag(name);

    // One pass: a tab at the start and after every line end, except after
    // a line end that closes the content.
    std::string out = openTag(name) + newLine;
    out.reserve(out.size() + content.size() + content.size() / 8 + name.size() + 8);
    out += '\t';
    size_t pos = 0;
    for (size_t hit; (hit = content.find(newLine, pos)) != std::string::npos;
         pos = hit + newLine.size()) {
        out.append(content, pos, hit + newLine.size() - pos);
        out += '\t';
    }
    out.append(content, pos, std::string::npos);
    if (out.back() == '\t')
        out.pop_back();
    out += closeTag(name);
    out += newLine;
    return out;
}

} // namespace ZCoreLib
