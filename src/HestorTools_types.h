#ifndef HESTORTOOLS_TYPES_H
#define HESTORTOOLS_TYPES_H

// Seen by the generated export layer, so that it knows the handle's type.
#include "hsResultFile.h"

#endif
