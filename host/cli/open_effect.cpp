// SPDX-License-Identifier: MIT
#include "host/cli/open_effect.h"

#include <memory>
#include <stdexcept>

#include "host/cli/text_format.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"

namespace vela {

HostedEffect openEffect(const std::string& modulePath)
{
    auto host = std::make_shared<RecordingHost>();
    // Some effects show the host's name; none of them needs it.
    host->setStringAnswer(audioMasterGetProductString, "vela-host");
    host->setStringAnswer(audioMasterGetVendorString, "Vela");
    HostedEffect effect(PluginModule::load(modulePath), host);
    const AEffect* record = effect.record();
    if (!record) {
        throw std::runtime_error("module " + modulePath + ": its entry returned no effect");
    }
    if (record->magic != kEffectMagic) {
        throw std::runtime_error("module " + modulePath + ": the record's magic is " + fourCharText(record->magic) +
                                 ", not VstP");
    }
    effect.dispatch(effOpen);
    return effect;
}

} // namespace vela
