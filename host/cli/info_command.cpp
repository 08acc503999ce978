// SPDX-License-Identifier: MIT
// vela-host info: everything a host can learn about an effect without playing it.

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "frame/erect.h"
#include "frame/vst_pin_properties.h"
#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/open_effect.h"
#include "host/cli/report.h"
#include "host/cli/text_format.h"
#include "host/virtual_display.h"

namespace vela {

namespace {

constexpr std::array<const char*, 23> kCapabilityWords{"sendVstEvents",
                                                       "sendVstMidiEvent",
                                                       "sendVstTimeInfo",
                                                       "receiveVstEvents",
                                                       "receiveVstMidiEvent",
                                                       "receiveVstTimeInfo",
                                                       "offline",
                                                       "plugAsChannelInsert",
                                                       "plugAsSend",
                                                       "mixDryWet",
                                                       "noRealTime",
                                                       "multipass",
                                                       "metapass",
                                                       "1in1out",
                                                       "1in2out",
                                                       "2in1out",
                                                       "2in2out",
                                                       "2in4out",
                                                       "4in2out",
                                                       "4in4out",
                                                       "4in8out",
                                                       "8in4out",
                                                       "8in8out"};

constexpr std::array<const char*, 12> kCategoryNames{"unknown",     "effect",      "synth",       "analysis",
                                                     "mastering",   "spatializer", "room effect", "surround effect",
                                                     "restoration", "offline",     "shell",       "generator"};

struct NamedBit {
    int32_t bit;
    const char* name;
};

constexpr std::array<NamedBit, 10> kFlagNames{{
    {effFlagsHasEditor, "effFlagsHasEditor"},
    {effFlagsHasClip, "effFlagsHasClip"},
    {effFlagsHasVu, "effFlagsHasVu"},
    {effFlagsCanSingleChannel, "effFlagsCanSingleChannel"},
    {effFlagsCanReplacing, "effFlagsCanReplacing"},
    {effFlagsProgramChunks, "effFlagsProgramChunks"},
    {effFlagsIsSynth, "effFlagsIsSynth"},
    {effFlagsNoSoundInStop, "effFlagsNoSoundInStop"},
    {effFlagsExtIsAsync, "effFlagsExtIsAsync"},
    {effFlagsExtHasBuffer, "effFlagsExtHasBuffer"},
}};

constexpr std::array<NamedBit, 2> kPinFlagNames{{
    {kVstPinIsActive, "active"},
    {kVstPinIsStereo, "stereo"},
}};

// Pin records go into a buffer far larger than the record, zeroed: effects of newer interface
// versions write fields beyond label and flags.
constexpr std::size_t kPinBufferSize = 1024;

template <std::size_t Count>
Report bitNames(int32_t bits, const std::array<NamedBit, Count>& names)
{
    Report list = Report::list();
    auto rest = static_cast<uint32_t>(bits);
    for (const NamedBit& named : names) {
        if (rest & static_cast<uint32_t>(named.bit)) {
            list.append(Report::text(named.name));
            rest &= ~static_cast<uint32_t>(named.bit);
        }
    }
    for (int bit = 0; bit < 32; ++bit) {
        if (rest & (1U << bit)) {
            list.append(Report::text("bit " + std::to_string(bit)));
        }
    }
    return list;
}

Report recordReport(const AEffect& record)
{
    Report report = Report::object();
    report.add("magic", Report::text(fourCharText(record.magic)))
        .add("numPrograms", Report::integer(record.numPrograms))
        .add("numParams", Report::integer(record.numParams))
        .add("numInputs", Report::integer(record.numInputs))
        .add("numOutputs", Report::integer(record.numOutputs))
        .add("flags", Report::integer(record.flags))
        .add("flagNames", bitNames(record.flags, kFlagNames))
        .add("uniqueID", Report::text(fourCharText(record.uniqueID)))
        .add("uniqueIDValue", Report::integer(record.uniqueID))
        .add("version", Report::integer(record.version))
        .add("initialDelay", Report::integer(record.initialDelay))
        .add("realQualities", Report::integer(record.realQualities))
        .add("offQualities", Report::integer(record.offQualities))
        .add("ioRatio", Report::number(record.ioRatio));
    return report;
}

Report parameterReport(HostedEffect& effect, int32_t count)
{
    Report list = Report::list();
    for (int32_t index = 0; index < count; ++index) {
        Report parameter = Report::object();
        parameter.add("index", Report::integer(index))
            .add("name", Report::text(effect.dispatchString(effGetParamName, index)))
            .add("label", Report::text(effect.dispatchString(effGetParamLabel, index)))
            .add("display", Report::text(effect.dispatchString(effGetParamDisplay, index)))
            .add("value", Report::number(effect.getParameter(index)));
        list.append(std::move(parameter));
    }
    return list;
}

// Program names by index where the effect answers that; otherwise by selecting each program
// in turn, and the current one again afterwards.
Report programReport(HostedEffect& effect, int32_t count)
{
    const intptr_t current = effect.dispatch(effGetProgram);
    bool selected = false;
    Report list = Report::list();
    for (int32_t index = 0; index < count; ++index) {
        intptr_t answered = 0;
        std::string name = effect.dispatchString(effGetProgramNameIndexed, index, -1, 0.0f, &answered);
        if (answered == 0) {
            effect.dispatch(effSetProgram, 0, index);
            selected = true;
            name = effect.dispatchString(effGetProgramName);
        }
        list.append(Report::object().add("index", Report::integer(index)).add("name", Report::text(name)));
    }
    if (selected) {
        effect.dispatch(effSetProgram, 0, current);
    }
    return list;
}

Report pinReport(HostedEffect& effect, EffectOpcode opcode, int32_t count)
{
    Report list = Report::list();
    for (int32_t index = 0; index < count; ++index) {
        std::vector<char> buffer(kPinBufferSize, 0);
        const intptr_t answer = effect.dispatch(opcode, index, 0, buffer.data());
        VstPinProperties pin{};
        std::memcpy(&pin, buffer.data(), sizeof pin);
        Report entry = Report::object();
        entry.add("index", Report::integer(index)).add("answer", Report::integer(answer));
        if (answer != 0) {
            entry.add("label", Report::text(std::string(pin.label, strnlen(pin.label, sizeof pin.label))))
                .add("flags", Report::integer(pin.flags));
            entry.add("flagNames", bitNames(pin.flags, kPinFlagNames));
        }
        list.append(std::move(entry));
    }
    return list;
}

Report capabilityReport(HostedEffect& effect)
{
    Report answers = Report::object();
    for (const char* word : kCapabilityWords) {
        std::vector<char> text(word, word + std::strlen(word) + 1);
        answers.add(word, Report::integer(effect.dispatch(effCanDo, 0, 0, text.data())));
    }
    return answers;
}

// Asks for the rectangle only with a display: some editors build their window to answer.
Report editorReport(HostedEffect& effect, std::optional<VirtualDisplay>& display)
{
    Report editor = Report::object();
    const bool hasEditor = (effect.record()->flags & effFlagsHasEditor) != 0;
    editor.add("present", Report::boolean(hasEditor));
    if (!hasEditor) {
        return editor;
    }
    try {
        display.emplace();
    } catch (const std::runtime_error& error) {
        editor.add("rect", Report::text(std::string("not asked: ") + error.what()));
        return editor;
    }
    ERect* rect = nullptr;
    const intptr_t answer = effect.dispatch(effEditGetRect, 0, 0, &rect);
    if (!rect) {
        editor.add("rect", Report::text("none given (answer " + std::to_string(answer) + ")"));
        return editor;
    }
    editor
        .add("rect", Report::object()
                         .add("top", Report::integer(rect->top))
                         .add("left", Report::integer(rect->left))
                         .add("bottom", Report::integer(rect->bottom))
                         .add("right", Report::integer(rect->right)))
        .add("width", Report::integer(rect->right - rect->left))
        .add("height", Report::integer(rect->bottom - rect->top));
    return editor;
}

int runInfo(const std::vector<std::string>& words)
{
    const CommandLine line(words, {}, {"--json"});
    line.expectPositionals({"MODULE"});
    const std::string& modulePath = line.positionals()[0];

    std::optional<VirtualDisplay> display;
    HostedEffect effect = openEffect(modulePath);
    const AEffect record = *effect.record();
    const intptr_t category = effect.dispatch(effGetPlugCategory);

    Report report = Report::object();
    report.add("module", Report::text(modulePath))
        .add("entry", Report::text(effect.module().entryName()))
        .add("record", recordReport(record))
        .add("effectName", Report::text(effect.dispatchString(effGetEffectName)))
        .add("productString", Report::text(effect.dispatchString(effGetProductString)))
        .add("vendorString", Report::text(effect.dispatchString(effGetVendorString)))
        .add("vendorVersion", Report::integer(effect.dispatch(effGetVendorVersion)))
        .add("vstVersion", Report::integer(effect.dispatch(effGetVstVersion)))
        .add("category", Report::text(category >= 0 && category < static_cast<intptr_t>(kCategoryNames.size())
                                          ? kCategoryNames[static_cast<std::size_t>(category)]
                                          : "unknown (" + std::to_string(category) + ")"))
        .add("parameters", parameterReport(effect, record.numParams))
        .add("programs", programReport(effect, record.numPrograms))
        .add("inputs", pinReport(effect, effGetInputProperties, record.numInputs))
        .add("outputs", pinReport(effect, effGetOutputProperties, record.numOutputs))
        .add("canDo", capabilityReport(effect))
        .add("editor", editorReport(effect, display));
    effect.close();

    const std::string text = line.has("--json") ? report.toJson() : report.toText();
    std::fputs(text.c_str(), stdout);
    return 0;
}

} // namespace

const Command infoCommand{
    "info",
    "MODULE [--json]",
    "what the effect tells a host: record, names, parameters, programs, pins, capabilities",
    "Loads MODULE, creates one effect and prints what a host can ask it without playing\n"
    "audio: the record's fields (flags by name, the unique ID as four characters), the\n"
    "effect, product and vendor strings, vendor version and category, each parameter's\n"
    "name, label, display text and normalised value, each program's name, the input and\n"
    "output pins' labels and flags, the answers to the standard capability words (1 yes,\n"
    "-1 no, 0 don't know) and the editor's rectangle. Asking for the rectangle needs a\n"
    "display; without one a private Xvfb is started.\n"
    "\n"
    "  --json   print the same as JSON, for scripts\n",
    runInfo,
};

} // namespace vela
