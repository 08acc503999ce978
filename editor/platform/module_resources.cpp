// SPDX-License-Identifier: MIT
#include "editor/platform/module_resources.h"

namespace vela {

const ModuleResource* findModuleResource(int32_t id)
{
    for (const ModuleResource* resource = kModuleResources; resource->bytes != nullptr; ++resource) {
        if (resource->id == id) {
            return resource;
        }
    }
    return nullptr;
}

} // namespace vela
