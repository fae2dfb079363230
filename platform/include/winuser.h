// winuser.h - (area header; declarations are added by the area that implements them)
#ifndef CE_WINUSER_H
#define CE_WINUSER_H

#include "windef.h"

CE_BEGIN_DECLS

CE_END_DECLS

#endif
