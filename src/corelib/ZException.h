#ifndef ZCORELIB_ZEXCEPTION_H
#define ZCORELIB_ZEXCEPTION_H

#include <string>

namespace ZCoreLib {

// Deliberately not derived from std::exception: the R call frame reports it
// through its catch-all clause, so library messages never reach R users.
class ZException {
public:
    explicit ZException(std::string msg) : message(std::move(msg)) {}
    void toStdOut() const;

    std::string message;
};

} // namespace ZCoreLib

#endif
