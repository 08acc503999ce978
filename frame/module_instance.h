// SPDX-License-Identifier: MIT
#pragma once

namespace vela {

// The loaded module's handle to itself, through which the editor reaches the module's
// resources and registers its window class. Null until the module has been loaded.
extern void* moduleInstance;

} // namespace vela
