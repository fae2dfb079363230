// winnls.h - (area header; declarations are added by the area that implements them)
#ifndef CE_WINNLS_H
#define CE_WINNLS_H

#include "windef.h"

CE_BEGIN_DECLS

CE_END_DECLS

#endif
