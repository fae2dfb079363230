// query.cpp - the front ends' read of a window (user/query.h); the controls'
// and dialogs' reads live with their own state.
#include "user/query.h"
#include "user/window.h"

namespace plat {

bool QueryWindow(HWND hwnd, WindowView &out)
{
    auto w = WindowGet(hwnd);
    if (!w)
        return false;
    out.className = w->cls->name;
    out.kind = w->cls->builtin;
    out.style = w->style;
    out.text = w->text;
    out.id = w->id;
    out.parent = w->parent;
    out.children = w->children;
    out.rect = WindowScreenRect(*w);
    out.client = WindowClientScreenRect(*w);
    out.destroyed = w->destroyed;
    return true;
}

} // namespace plat
