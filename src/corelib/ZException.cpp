#include "ZException.h"

#include <iostream>

namespace ZCoreLib {

void ZException::toStdOut() const
{
    std::cout << message << std::endl;
}

} // namespace ZCoreLib
