// SPDX-License-Identifier: MIT
#include "frame/module_instance.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vela {

void* moduleInstance = nullptr;

#ifndef _WIN32

// Without DllMain, the module finds its own base address from an address inside it.
__attribute__((constructor)) static void findModuleInstance()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findModuleInstance), &info) != 0) {
        moduleInstance = info.dli_fbase;
    }
}

#endif

} // namespace vela

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID)
{
    vela::moduleInstance = instance;
    return TRUE;
}
#endif
