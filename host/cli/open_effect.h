// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "host/hosted_effect.h"

namespace vela {

// Loads a module file, creates one effect through its entry and sends effOpen, as every
// command but check needs it. Throws std::runtime_error (ModuleLoadError for the file itself)
// with a one-line reason when the module yields no usable effect.
HostedEffect openEffect(const std::string& modulePath);

} // namespace vela
