// sdl_api.h - the SDL functions the gui front end calls, taken from the
// library when the gui starts rather than when the program does: SDL brings
// some fifty libraries (sound, X, Wayland, D-Bus) whose loading would cost
// every run, also the ones that never open a window. Included after
// <SDL.h>; the calls keep their names.
#ifndef CE_PLATFORM_SDL_API_H
#define CE_PLATFORM_SDL_API_H

#include <string>

#define CE_SDL_FUNCTIONS(X)                                                                                        \
    X(CreateRenderer) X(CreateTexture) X(CreateWindow) X(DestroyRenderer) X(DestroyTexture) X(DestroyWindow)       \
    X(FlushEvents) X(GetError) X(GetMouseState) X(InitSubSystem) X(LockTexture) X(PeepEvents) X(PumpEvents) X(QuitSubSystem)      \
    X(RenderClear) X(RenderCopy) X(RenderPresent) X(SetHintWithPriority) X(SetWindowSize) X(StartTextInput)      \
    X(UnlockTexture) X(WaitEventTimeout)

namespace plat {

struct SdlApi {
#define CE_SDL_MEMBER(name) decltype(&::SDL_##name) name = nullptr;
    CE_SDL_FUNCTIONS(CE_SDL_MEMBER)
#undef CE_SDL_MEMBER
};
extern SdlApi g_sdl;

// Loads the library once; false with ERROR saying why.
bool SdlLoad(std::string &error);

} // namespace plat

#define SDL_CreateRenderer plat::g_sdl.CreateRenderer
#define SDL_CreateTexture plat::g_sdl.CreateTexture
#define SDL_CreateWindow plat::g_sdl.CreateWindow
#define SDL_DestroyRenderer plat::g_sdl.DestroyRenderer
#define SDL_DestroyTexture plat::g_sdl.DestroyTexture
#define SDL_DestroyWindow plat::g_sdl.DestroyWindow
#define SDL_FlushEvents plat::g_sdl.FlushEvents
#define SDL_GetError plat::g_sdl.GetError
#define SDL_GetMouseState plat::g_sdl.GetMouseState
#define SDL_InitSubSystem plat::g_sdl.InitSubSystem
#define SDL_LockTexture plat::g_sdl.LockTexture
#define SDL_PeepEvents plat::g_sdl.PeepEvents
#define SDL_PumpEvents plat::g_sdl.PumpEvents
#define SDL_QuitSubSystem plat::g_sdl.QuitSubSystem
#define SDL_RenderClear plat::g_sdl.RenderClear
#define SDL_RenderCopy plat::g_sdl.RenderCopy
#define SDL_RenderPresent plat::g_sdl.RenderPresent
#define SDL_SetHintWithPriority plat::g_sdl.SetHintWithPriority
#define SDL_SetWindowSize plat::g_sdl.SetWindowSize
#define SDL_StartTextInput plat::g_sdl.StartTextInput
#define SDL_UnlockTexture plat::g_sdl.UnlockTexture
#define SDL_WaitEventTimeout plat::g_sdl.WaitEventTimeout

#endif
