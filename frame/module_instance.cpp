// SPDX-License-Identifier: MIT
#include "frame/module_instance.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// Frees the C++ runtime's emergency exception pool; exported by the runtime for leak checkers.
namespace __gnu_cxx {
void __freeres();
}

namespace vela {

void* moduleInstance = nullptr;

namespace {

// A module that carries its own copy of the C++ runtime must free that runtime's emergency
// exception pool when it is unloaded: the runtime allocates it while loading and never gives it
// back, so every load would lose it. Only the module's own copy is freed, never the pool of a
// runtime the module shares with its host.
void freeOwnRuntimePool()
{
    const auto freeres = &__gnu_cxx::__freeres;
#ifdef _WIN32
    HMODULE owner = nullptr;
    const bool own =
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<const char*>(freeres), &owner) != 0 &&
        owner != nullptr && owner == moduleInstance;
#else
    Dl_info info{};
    const bool own = dladdr(reinterpret_cast<void*>(freeres), &info) != 0 && info.dli_fbase != nullptr &&
                     info.dli_fbase == moduleInstance;
#endif
    if (own) {
        freeres();
    }
}

} // namespace

#ifndef _WIN32

// Without DllMain, the module finds its own base address from an address inside it.
__attribute__((constructor)) static void findModuleInstance()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findModuleInstance), &info) != 0) {
        moduleInstance = info.dli_fbase;
    }
}

__attribute__((destructor)) static void releaseModuleResources()
{
    freeOwnRuntimePool();
}

#endif

} // namespace vela

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    vela::moduleInstance = instance;
    // Unloaded by FreeLibrary rather than at process exit, when the whole heap goes anyway.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        vela::freeOwnRuntimePool();
    }
    return TRUE;
}
#endif
