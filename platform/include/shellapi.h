// shellapi.h - (area header; declarations are added by the area that implements them)
#ifndef CE_SHELLAPI_H
#define CE_SHELLAPI_H

#include "windef.h"

CE_BEGIN_DECLS

CE_END_DECLS

#endif
