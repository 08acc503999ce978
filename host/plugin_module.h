// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "frame/aeffect.h"

namespace vela {

// The function a module exports for the host to create one effect.
using PluginEntryProc = AEffect* (*)(audioMasterCallback host);

// Thrown when a module file cannot be loaded or exports no entry point.
class ModuleLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One loaded module file and its entry point. The file stays loaded as long as the module lives;
// every HostedEffect holds its module, so an effect never outlives the code it runs.
class PluginModule {
public:
    // When the module's references to other libraries are bound. Windows binds every import
    // on loading either way.
    enum class Binding {
        // All on loading: a reference nothing defines fails the load, naming it.
        immediate,
        // Each on its first call, as many hosts load: a reference the module never calls is
        // never looked for.
        lazy,
    };

    // Loads the file and finds its entry: main, or VSTPluginMain when there is no main.
    // A path without a directory part is looked up the platform's way (e.g. "libm.so.6").
    // Throws ModuleLoadError with the path and the platform's reason.
    static std::shared_ptr<PluginModule> load(const std::string& path, Binding binding = Binding::immediate);
    // A module whose entry is linked into this program: for driving an effect in-process
    // exactly as a loaded one. Nothing is loaded or unloaded; path() is empty.
    static std::shared_ptr<PluginModule> inProcess(PluginEntryProc entryFunction);

    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Unloads the file.
    ~PluginModule();

    PluginEntryProc entry() const { return entryProc; }
    // "main" or "VSTPluginMain": the name under which the entry was found; "" in-process.
    const std::string& entryName() const { return entrySymbol; }
    const std::string& path() const { return filePath; }

private:
    PluginModule(const std::string& path, Binding binding);
    explicit PluginModule(PluginEntryProc entryFunction);

    std::string filePath;
    std::string entrySymbol;
    void* handle = nullptr;
    PluginEntryProc entryProc = nullptr;
};

} // namespace vela
