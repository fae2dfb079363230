// winbase.h - (area header; declarations are added by the area that implements them)
#ifndef CE_WINBASE_H
#define CE_WINBASE_H

#include "windef.h"

CE_BEGIN_DECLS

CE_END_DECLS

#endif
