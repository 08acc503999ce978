// SPDX-License-Identifier: MIT
#include "host/plugin_module.h"

#include <array>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vela {

namespace {

// Hosts look for main first: it is the name every VST 2 module has exported since the start.
constexpr std::array<const char*, 2> kEntryNames{"main", "VSTPluginMain"};

#ifdef _WIN32

std::string describeError(DWORD code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = "error " + std::to_string(code);
    if (length != 0 && text) {
        std::string description(text, length);
        while (!description.empty() && (description.back() == '\n' || description.back() == '\r' ||
                                        description.back() == ' ' || description.back() == '.')) {
            description.pop_back();
        }
        // Some system texts leave a placeholder for the file name.
        const std::size_t placeholder = description.find("%1");
        if (placeholder != std::string::npos) {
            description.replace(placeholder, 2, "the file");
        }
        message += ": " + description;
    }
    if (text) {
        LocalFree(text);
    }
    return message;
}

void* openLibrary(const std::string& path, PluginModule::Binding)
{
    // No "bad image" or "insert disk" dialog box: a failed load is an error message here.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    // Under wine a Unix absolute path (the build's module paths) loads as it is.
    const HMODULE library = LoadLibraryA(path.c_str());
    const DWORD error = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (!library) {
        throw ModuleLoadError("cannot load module " + path + ": " + describeError(error));
    }
    return library;
}

PluginEntryProc findSymbol(void* library, const char* name, std::string& reason)
{
    const FARPROC found = GetProcAddress(static_cast<HMODULE>(library), name);
    if (!found) {
        reason = describeError(GetLastError());
        return nullptr;
    }
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<PluginEntryProc>(reinterpret_cast<void (*)()>(found));
}

void closeLibrary(void* library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

#else

std::string lastDlError()
{
    const char* text = dlerror();
    return text ? text : "unknown reason";
}

void* openLibrary(const std::string& path, PluginModule::Binding binding)
{
    // A name without a folder that names a file in the working folder means that file, as any
    // path a user gives does; dlopen alone would look only along the library search path.
    const bool here = path.find('/') == std::string::npos && access(path.c_str(), F_OK) == 0;
    const std::string file = here ? "./" + path : path;
    dlerror();
    void* library = dlopen(file.c_str(), (binding == PluginModule::Binding::lazy ? RTLD_LAZY : RTLD_NOW) | RTLD_LOCAL);
    if (!library) {
        throw ModuleLoadError("cannot load module " + path + ": " + lastDlError());
    }
    return library;
}

PluginEntryProc findSymbol(void* library, const char* name, std::string& reason)
{
    dlerror();
    void* found = dlsym(library, name);
    if (!found) {
        reason = lastDlError();
        return nullptr;
    }
    return reinterpret_cast<PluginEntryProc>(found);
}

void closeLibrary(void* library)
{
    dlclose(library);
}

#endif

} // namespace

std::shared_ptr<PluginModule> PluginModule::load(const std::string& path, Binding binding)
{
    return std::shared_ptr<PluginModule>(new PluginModule(path, binding));
}

std::shared_ptr<PluginModule> PluginModule::inProcess(PluginEntryProc entryFunction)
{
    if (!entryFunction) {
        throw std::invalid_argument("an in-process module needs an entry function");
    }
    return std::shared_ptr<PluginModule>(new PluginModule(entryFunction));
}

PluginModule::PluginModule(PluginEntryProc entryFunction) : entryProc(entryFunction) {}

PluginModule::PluginModule(const std::string& path, Binding binding)
    : filePath(path),
      handle(openLibrary(path, binding))
{
    std::string reason;
    for (const char* name : kEntryNames) {
        entryProc = findSymbol(handle, name, reason);
        if (entryProc) {
            entrySymbol = name;
            return;
        }
    }
    closeLibrary(handle);
    throw ModuleLoadError("module " + path + " exports neither main nor VSTPluginMain (" + reason + ")");
}

PluginModule::~PluginModule()
{
    if (handle) {
        closeLibrary(handle);
    }
}

} // namespace vela
