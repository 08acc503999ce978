#include "frame/module_instance.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

void* moduleInstance = nullptr;

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID)
{
    moduleInstance = instance;
    return TRUE;
}

#else

// Without DllMain, the module finds its own base address from an address inside it.
__attribute__((constructor)) static void findModuleInstance()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findModuleInstance), &info) != 0) {
        moduleInstance = info.dli_fbase;
    }
}

#endif
