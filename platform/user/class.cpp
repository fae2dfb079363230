// class.cpp - window classes: the program's registered classes and the
// built-in control classes.
//
// Class names compare without regard to case. The built-in classes
// (Button, Static, Edit, ListBox, msctls_progress32 and the dialog class)
// are registered on first use and cannot be unregistered.
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <mutex>

#include "text/text.h"
#include "user/window.h"
#include "user/class.h"

namespace plat {
namespace {

std::recursive_mutex g_lock;
std::map<std::u16string, std::shared_ptr<WndClass>> g_classes; // by folded name
ATOM g_nextAtom = 0xC000;
std::map<std::u16string, ATOM> g_atoms;

void AddBuiltin(const char16_t *name, WNDPROC proc, BuiltinClass kind, HBRUSH brush)
{
    auto c = std::make_shared<WndClass>();
    c->name = name;
    c->proc = proc;
    c->builtin = kind;
    c->background = brush;
    c->style = CS_GLOBALCLASS;
    g_classes[Fold(name)] = c;
    g_atoms[Fold(name)] = g_nextAtom++;
}

} // namespace

void RegisterBuiltinClasses()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (g_classes.count(Fold(u"Button")))
        return;
    AddBuiltin(u"Button", ButtonProc, BuiltinClass::Button, 0);
    AddBuiltin(u"Static", StaticProc, BuiltinClass::Static, 0);
    AddBuiltin(u"Edit", EditProc, BuiltinClass::Edit, 0);
    AddBuiltin(u"ListBox", ListBoxProc, BuiltinClass::ListBox, 0);
    AddBuiltin(kDialogClassName, DialogClassProc, BuiltinClass::Dialog, 0);
}

void RegisterBuiltinClass(const char16_t *name, WNDPROC proc, BuiltinClass kind)
{
    RegisterBuiltinClasses();
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (!g_classes.count(Fold(name)))
        AddBuiltin(name, proc, kind, 0);
}

void ClassReset()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (auto it = g_classes.begin(); it != g_classes.end();) {
        if (it->second->builtin == BuiltinClass::None)
            it = g_classes.erase(it);
        else
            ++it;
    }
}

std::shared_ptr<WndClass> ClassFind(const std::u16string &name)
{
    RegisterBuiltinClasses();
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto it = g_classes.find(Fold(name));
    return it == g_classes.end() ? nullptr : it->second;
}

// Template class ordinals (0x0080 Button ... 0x0083 ListBox).
std::u16string ClassNameOfOrdinal(WORD ordinal)
{
    switch (ordinal) {
    case 0x0080: return u"Button";
    case 0x0081: return u"Edit";
    case 0x0082: return u"Static";
    case 0x0083: return u"ListBox";
    case 0x0084: return u"ScrollBar";
    case 0x0085: return u"ComboBox";
    default: return u"";
    }
}

} // namespace plat

using namespace plat;

// RegisterClassW
extern "C" ATOM WINAPI RegisterClassW(const WNDCLASSW *lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc ||
        IS_INTRESOURCE(lpWndClass->lpszClassName) || lpWndClass->cbClsExtra < 0 || lpWndClass->cbWndExtra < 0 ||
        lpWndClass->cbWndExtra > 40) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string name(lpWndClass->lpszClassName);
    if (name.empty() || name.size() > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterBuiltinClasses();
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    std::u16string key = Fold(name);
    if (g_classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WndClass>();
    c->name = name;
    c->style = lpWndClass->style;
    c->proc = lpWndClass->lpfnWndProc;
    c->clsExtra = lpWndClass->cbClsExtra;
    c->wndExtra = lpWndClass->cbWndExtra;
    c->instance = lpWndClass->hInstance;
    c->icon = lpWndClass->hIcon;
    c->cursor = lpWndClass->hCursor;
    c->background = lpWndClass->hbrBackground;
    g_classes[key] = c;
    auto a = g_atoms.find(key);
    if (a == g_atoms.end())
        a = g_atoms.emplace(key, g_nextAtom++).first;
    return a->second;
}

// UnregisterClassW
extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance)
{
    if (!lpClassName || IS_INTRESOURCE(lpClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    auto it = g_classes.find(Fold(lpClassName));
    if (it == g_classes.end() || it->second->builtin != BuiltinClass::None) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    g_classes.erase(it);
    return TRUE;
}

// GetClassInfoW
extern "C" BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass)
{
    if (!lpClassName || !lpWndClass || IS_INTRESOURCE(lpClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto c = ClassFind(lpClassName);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    lpWndClass->style = c->style;
    lpWndClass->lpfnWndProc = c->proc;
    lpWndClass->cbClsExtra = c->clsExtra;
    lpWndClass->cbWndExtra = c->wndExtra;
    lpWndClass->hInstance = c->instance;
    lpWndClass->hIcon = c->icon;
    lpWndClass->hCursor = c->cursor;
    lpWndClass->hbrBackground = c->background;
    lpWndClass->lpszMenuName = nullptr;
    lpWndClass->lpszClassName = lpClassName;
    return TRUE;
}

// GetClassNameW
extern "C" int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount)
{
    auto w = WindowCheck(hWnd);
    if (!w)
        return 0;
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string &name = w->cls->name;
    size_t n = name.size();
    if (n > size_t(nMaxCount - 1))
        n = size_t(nMaxCount - 1);
    for (size_t i = 0; i < n; ++i)
        lpClassName[i] = name[i];
    lpClassName[n] = 0;
    return int(n);
}
