#ifndef HESTORTOOLS_TYPES_H
#define HESTORTOOLS_TYPES_H

// Seen by the generated export layer, so that it knows the handle's type
// and the file-name argument.
#include "hsResultFile.h"
#include "rConvert.h"

#endif
