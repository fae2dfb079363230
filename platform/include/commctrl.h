// commctrl.h - (area header; declarations are added by the area that implements them)
#ifndef CE_COMMCTRL_H
#define CE_COMMCTRL_H

#include "windef.h"

CE_BEGIN_DECLS

CE_END_DECLS

#endif
