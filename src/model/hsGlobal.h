#ifndef HESTOR_HSGLOBAL_H
#define HESTOR_HSGLOBAL_H

// Names shared by the model library, its file formats and the R interface,
// plus the library's optional logging.

#include <string>

#include "hestor.h"

namespace hestor {

// The codes are written into files and passed to R: never renumber them.
// A fixed underlying type keeps any stored code a valid value of the type.
enum fileFmtEnum : int {
    EMT = 0,
    EMB = 1,
    TEXT0D = 2,
    TEXT1D = 3,
    EMF = 4,
    NC = 10,
    RESTART = 100,
    DECOUPLED = 101,
    MESH = 1000
};

enum modelTypeEnum : int {
    WATER = 0,
    SEDIMENT = 10,
    ABM = 20
};

enum layerTypeEnum : int {
    ZLAYER = 0,
    SIGMA = 1
};

class hsGlobal {
public:
    hsGlobal() = delete;

    static std::string fileFmtEnum2str(fileFmtEnum fmt);
    static fileFmtEnum str2fileFmtEnum(std::string text);
    static std::string modelTypeEnum2str(modelTypeEnum type);
    static modelTypeEnum str2modelTypeEnum(std::string text);
    // Both directions share one name; a literal 0 picks the text overload,
    // so callers pass a layerTypeEnum value, not a bare integer.
    static std::string str2layerTypeEnum(layerTypeEnum type);
    static layerTypeEnum str2layerTypeEnum(std::string text);

    static void setLogLevel(int level);
    static int getLogLevel();
    static void logMsg(std::string message, bool withTime, bool toConsole, int level);
    static void logMsg(std::string message);
    static void setLogFileName(std::string name, bool keepOld);

    // buffer holds nBytes / 4 little-endian 32-bit floats; out must have room for them.
    static void char2zfloatArr(zfloat*& out, char* buffer, int nBytes);

private:
    static int logLevel;
    static std::string logFileName;
};

} // namespace hestor

#endif
