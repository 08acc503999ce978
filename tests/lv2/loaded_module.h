// SPDX-License-Identifier: MIT
#pragma once

#include <dlfcn.h>

#include <string>

namespace vela {

// A module file opened as an LV2 host opens it, closed again at the end of the scope.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule()
    {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }

    bool isOpen() const { return handle != nullptr; }
    // The exported function of that name, or null.
    template <typename Function>
    Function entry(const char* name) const
    {
        return handle != nullptr ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
    }

private:
    void* handle;
};

} // namespace vela
