// SPDX-License-Identifier: MIT
// vela-host check: a host-side conformance run that any VST 2 effect should pass.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/cli/audio_buffers.h"
#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/isolated_check.h"
#include "host/cli/virtual_display.h"
#include "host/editor_window.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"

namespace vela {

namespace {

constexpr int kCheckTimeoutSeconds = 60;
constexpr int kFirstOpcode = -1;
constexpr int kLastOpcode = 80;
constexpr std::size_t kArgumentBufferSize = 1024;
constexpr int32_t kLargestCount = 100000;
constexpr int32_t kLargestChannelCount = 1024;
constexpr int32_t kBlockSize = 512;
constexpr float kSampleRate = 44100.0f;
constexpr int kSilentBlocks = 32;
constexpr float kParameterTolerance = 1e-4f;
constexpr int kEditorDrawMilliseconds = 200;

// Opcodes the sweep leaves out, each for a reason a host would have.
const std::map<int, const char*> kSkippedOpcodes{
    {effClose, "ends the effect: checked last"},
    {effEditOpen, "needs a parent window: checked with the editor"},
    {effEditClose, "belongs after effEditOpen: checked with the editor"},
    {effSetChunk, "takes a chunk the effect itself produced"},
    {effOfflineNotify, "takes audio file records the host fills"},
    {effOfflinePrepare, "takes offline task records the host fills"},
    {effOfflineRun, "takes offline task records the host fills"},
    {effProcessVarIo, "takes a record of audio buffers"},
};

// Opcodes whose value carries an address as well as ptr: the speaker arrangements, set (42)
// and, in later interface versions, asked for (68).
bool valueIsAddress(int opcode)
{
    return opcode == effSetSpeakerArrangement || opcode == 68;
}

// Opcodes whose index names a parameter, a program or a pin, which need one to exist.
bool needsParameter(int opcode)
{
    return opcode == effGetParamLabel || opcode == effGetParamDisplay || opcode == effGetParamName ||
           opcode == effCanBeAutomated || opcode == effString2Parameter || opcode == effGetParameterProperties;
}

std::string counted(int64_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The first few faults, and how many more there are.
std::string faultList(const std::vector<std::string>& faults)
{
    constexpr std::size_t kShown = 3;
    std::string text;
    for (std::size_t i = 0; i < faults.size() && i < kShown; ++i) {
        text += (text.empty() ? "" : "; ") + faults[i];
    }
    if (faults.size() > kShown) {
        text += "; and " + std::to_string(faults.size() - kShown) + " more";
    }
    return text;
}

std::string opcodeList(const std::vector<int>& opcodes)
{
    std::string text;
    for (const int opcode : opcodes) {
        text += (text.empty() ? "" : ", ") + std::to_string(opcode);
    }
    return text;
}

HostedEffect createEffect(const std::string& modulePath)
{
    HostedEffect effect(PluginModule::load(modulePath));
    if (!effect.record()) {
        throw std::runtime_error("the entry returned no effect");
    }
    return effect;
}

void startAudio(HostedEffect& effect)
{
    effect.dispatch(effOpen);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
    effect.dispatch(effSetBlockSize, 0, kBlockSize);
    effect.dispatch(effMainsChanged, 0, 1);
}

CheckOutcome checkLoads(const std::string& modulePath, const IsolatedCheck::Note& note)
{
    note("loading");
    const auto module = PluginModule::load(modulePath);
    return {true, "exports " + module->entryName()};
}

CheckOutcome checkRecord(const std::string& modulePath, const IsolatedCheck::Note& note)
{
    note("calling the entry");
    HostedEffect effect = createEffect(modulePath);
    const AEffect& record = *effect.record();
    std::vector<std::string> faults;
    const auto expect = [&faults](bool holds, const std::string& fault) {
        if (!holds) {
            faults.push_back(fault);
        }
    };
    expect(record.magic == kEffectMagic, "magic is not VstP");
    expect(record.numPrograms >= 0 && record.numPrograms <= kLargestCount,
           "numPrograms " + std::to_string(record.numPrograms) + " out of range");
    expect(record.numParams >= 0 && record.numParams <= kLargestCount,
           "numParams " + std::to_string(record.numParams) + " out of range");
    expect(record.numInputs >= 0 && record.numInputs <= kLargestChannelCount,
           "numInputs " + std::to_string(record.numInputs) + " out of range");
    expect(record.numOutputs >= 0 && record.numOutputs <= kLargestChannelCount,
           "numOutputs " + std::to_string(record.numOutputs) + " out of range");
    expect(record.dispatcher != nullptr, "no dispatcher");
    expect(record.setParameter != nullptr, "no setParameter");
    expect(record.getParameter != nullptr, "no getParameter");
    expect(record.process != nullptr || record.processReplacing != nullptr, "neither process nor processReplacing");
    expect((record.flags & effFlagsCanReplacing) == 0 || record.processReplacing != nullptr,
           "effFlagsCanReplacing set without processReplacing");
    if (!faults.empty()) {
        return {false, faultList(faults)};
    }
    return {true, std::to_string(record.numInputs) + " in, " + std::to_string(record.numOutputs) + " out, " +
                      counted(record.numParams, "parameter") + ", " + counted(record.numPrograms, "program") +
                      ", flags " + std::to_string(record.flags)};
}

CheckOutcome checkOpcodeSweep(const std::string& modulePath, bool displayAvailable, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createEffect(modulePath);
    const AEffect& record = *effect.record();
    std::vector<int> sent;
    std::vector<int> skipped;
    for (int opcode = kFirstOpcode; opcode <= kLastOpcode; ++opcode) {
        const bool noIndexTarget =
            (needsParameter(opcode) && record.numParams == 0) ||
            ((opcode == effSetProgram || opcode == effGetProgramNameIndexed || opcode == effCopyProgram) &&
             record.numPrograms == 0) ||
            (opcode == effGetInputProperties && record.numInputs == 0) ||
            (opcode == effGetOutputProperties && record.numOutputs == 0);
        // Some editors build their window to answer the rectangle.
        const bool needsDisplay = opcode == effEditGetRect && !displayAvailable;
        if (kSkippedOpcodes.contains(opcode) || noIndexTarget || needsDisplay) {
            skipped.push_back(opcode);
            continue;
        }
        std::vector<char> pointed(kArgumentBufferSize, 0);
        std::vector<char> valuePointed(kArgumentBufferSize, 0);
        intptr_t value = 0;
        float opt = 0.0f;
        switch (opcode) {
        case effSetSampleRate:
            opt = kSampleRate;
            break;
        case effSetBlockSize:
            value = kBlockSize;
            break;
        case effSetBlockSizeAndSampleRate:
            value = kBlockSize;
            opt = kSampleRate;
            break;
        case effConnectInput:
        case effConnectOutput:
            value = 1;
            break;
        default:
            if (valueIsAddress(opcode)) {
                value = reinterpret_cast<intptr_t>(valuePointed.data());
            }
        }
        note("opcode " + std::to_string(opcode));
        effect.dispatch(static_cast<EffectOpcode>(opcode), 0, value, pointed.data(), opt);
        sent.push_back(opcode);
    }
    return {true, counted(static_cast<int64_t>(sent.size()), "opcode") + " from " + std::to_string(kFirstOpcode) +
                      " to " + std::to_string(kLastOpcode) + " answered; skipped " + opcodeList(skipped)};
}

CheckOutcome checkSilence(const std::string& modulePath, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createEffect(modulePath);
    const AEffect& record = *effect.record();
    note("starting audio");
    startAudio(effect);
    AudioBuffers in(record.numInputs, kBlockSize);
    AudioBuffers out(record.numOutputs, kBlockSize);
    const bool replacing = record.processReplacing && (record.flags & effFlagsCanReplacing);
    double peak = 0.0;
    for (int block = 0; block < kSilentBlocks; ++block) {
        note("block " + std::to_string(block));
        out.clear();
        if (replacing) {
            effect.processReplacing(in.pointers(), out.pointers(), kBlockSize);
        } else {
            effect.process(in.pointers(), out.pointers(), kBlockSize);
        }
        for (int channel = 0; channel < out.channels(); ++channel) {
            for (int frame = 0; frame < kBlockSize; ++frame) {
                const float sample = out.channel(channel)[frame];
                if (!std::isfinite(sample)) {
                    return {false, "output " + std::to_string(channel + 1) + " holds " + std::to_string(sample) +
                                       " in block " + std::to_string(block)};
                }
                peak = std::max(peak, std::fabs(double{sample}));
            }
        }
    }
    effect.dispatch(effMainsChanged, 0, 0);
    char text[160];
    std::snprintf(text, sizeof text, "%d blocks of %d frames through %s: finite, peak %g", kSilentBlocks, kBlockSize,
                  replacing ? "processReplacing" : "process", peak);
    return {true, text};
}

CheckOutcome checkParameters(const std::string& modulePath, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createEffect(modulePath);
    effect.dispatch(effOpen);
    const int32_t count = effect.record()->numParams;
    std::vector<std::string> faults;
    for (int32_t index = 0; index < count; ++index) {
        note("parameter " + std::to_string(index));
        const float original = effect.getParameter(index);
        if (!std::isfinite(original) || original < 0.0f || original > 1.0f) {
            faults.push_back("parameter " + std::to_string(index) + " reads " + std::to_string(original) +
                             ", not a normalised value");
            continue;
        }
        // The ends of the range are exact on every scale; the original value was read back.
        for (const float value : {0.0f, 1.0f, original}) {
            effect.setParameter(index, value);
            const float read = effect.getParameter(index);
            if (!(std::fabs(read - value) <= kParameterTolerance)) {
                faults.push_back("parameter " + std::to_string(index) + " set to " + std::to_string(value) + " reads " +
                                 std::to_string(read));
                break;
            }
        }
    }
    if (!faults.empty()) {
        return {false, faultList(faults)};
    }
    return {true, counted(count, "parameter") + " read back 0, 1 and their first value"};
}

CheckOutcome checkEditor(const std::string& modulePath, const std::string& displayProblem,
                         const IsolatedCheck::Note& note)
{
    HostedEffect effect = createEffect(modulePath);
    if ((effect.record()->flags & effFlagsHasEditor) == 0) {
        return {true, "no editor (effFlagsHasEditor unset)"};
    }
    if (!displayProblem.empty()) {
        return {false, displayProblem};
    }
    effect.dispatch(effOpen);
    note("opening the editor");
    std::string size;
    {
        EditorWindow window(effect);
        size = std::to_string(window.width()) + "x" + std::to_string(window.height());
        note("letting the editor draw");
        window.pump(kEditorDrawMilliseconds);
        note("closing the editor");
    }
    return {true, "opened at " + size + ", drew for " + std::to_string(kEditorDrawMilliseconds) + " ms, closed"};
}

CheckOutcome checkClose(const std::string& modulePath, const IsolatedCheck::Note& note)
{
    intptr_t answer = 0;
    uint64_t unroutedAfterClose = 0;
    {
        HostedEffect effect = createEffect(modulePath);
        effect.dispatch(effOpen);
        note("effClose");
        answer = effect.close();
        unroutedAfterClose = RecordingHost::unroutedCalls();
        note("unloading the module");
    }
    // Threads an effect leaves behind would call a host that no longer knows it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const uint64_t lateCalls = RecordingHost::unroutedCalls() - unroutedAfterClose;
    if (lateCalls != 0) {
        return {false, std::to_string(lateCalls) + " host calls arrived after effClose"};
    }
    return {true, "effClose answered " + std::to_string(answer) + "; module unloaded"};
}

int runCheck(const std::vector<std::string>& words)
{
    const CommandLine line(words, {}, {});
    line.expectPositionals({"MODULE"});
    const std::string modulePath = line.positionals()[0];

    std::string displayProblem;
    std::optional<VirtualDisplay> display;
    try {
        display.emplace();
    } catch (const std::runtime_error& error) {
        displayProblem = error.what();
    }
    const bool displayAvailable = displayProblem.empty();

    struct NamedCheck {
        const char* name;
        // Whether the checks after it need it to pass: without a loaded module or a record
        // they would only repeat its failure.
        bool prerequisite;
        IsolatedCheck::Body body;
    };
    const std::vector<NamedCheck> checks{
        {"loads", true, [&](const auto& note) { return checkLoads(modulePath, note); }},
        {"record", true, [&](const auto& note) { return checkRecord(modulePath, note); }},
        {"opcodes", false, [&](const auto& note) { return checkOpcodeSweep(modulePath, displayAvailable, note); }},
        {"silence", false, [&](const auto& note) { return checkSilence(modulePath, note); }},
        {"parameters", false, [&](const auto& note) { return checkParameters(modulePath, note); }},
        {"editor", false, [&](const auto& note) { return checkEditor(modulePath, displayProblem, note); }},
        {"close", false, [&](const auto& note) { return checkClose(modulePath, note); }},
    };
    const IsolatedCheck isolation(kCheckTimeoutSeconds);
    int passed = 0;
    int failed = 0;
    std::string blockedBy;
    for (const NamedCheck& check : checks) {
        const CheckOutcome outcome =
            blockedBy.empty() ? isolation.run(check.body) : CheckOutcome{false, "not run: " + blockedBy + " failed"};
        (outcome.passed ? passed : failed) += 1;
        if (!outcome.passed && check.prerequisite && blockedBy.empty()) {
            blockedBy = check.name;
        }
        std::printf("%s %-10s %s\n", outcome.passed ? "PASS" : "FAIL", check.name, outcome.detail.c_str());
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace

const Command checkCommand{
    "check",
    "MODULE",
    "a conformance run any effect should pass; exit status 0 only when all checks pass",
    "Runs these checks, each on a fresh effect in a process of its own (on POSIX), so that\n"
    "a crash or a hang (60 s) fails that check and the run goes on:\n"
    "  loads       the module loads and exports main or VSTPluginMain\n"
    "  record      magic VstP, counts in range, the record's functions present\n"
    "  opcodes     every opcode from -1 to 80 with harmless arguments (index 0, value 0,\n"
    "              a zeroed 1 KiB buffer as ptr, usable rate and block size) answers; left\n"
    "              out: 1 (effClose), 14 and 15 (the editor's open and close), 24 (a chunk\n"
    "              the effect made), 38 to 40 (offline records), 41 (buffer records), and\n"
    "              opcodes whose index names a parameter, program or pin there is none of\n"
    "  silence     32 blocks of silence give finite output\n"
    "  parameters  each parameter reads a normalised value and reads back 0, 1 and that value\n"
    "  editor      the editor opens in a real window, draws and closes (a private Xvfb is\n"
    "              started on X11 when there is no display)\n"
    "  close       effClose, unloading the module, and no host calls afterwards\n"
    "One line per check, then \"N passed, M failed\".\n",
    runCheck,
};

} // namespace vela
