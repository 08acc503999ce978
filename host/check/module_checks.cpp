// SPDX-License-Identifier: MIT
// The checks of the module file and the record: loading, what the file exports, how long a
// scan takes, the record's fields, every opcode, and closing.

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "host/check/checks.h"
#include "host/check/elf_file.h"
#include "host/check/pe_file.h"

namespace vela {

namespace {

constexpr int kFirstOpcode = -1;
constexpr int kLastOpcode = 80;
constexpr std::size_t kArgumentBufferSize = 1024;
constexpr int32_t kLargestCount = 100000;
constexpr int32_t kLargestChannelCount = 1024;
constexpr int32_t kBlockSize = 512;
constexpr float kSampleRate = 44100.0f;
// A host scanning a folder of modules loads each one; more than this and users wait.
constexpr double kScanBudgetSeconds = 1.0;

const std::set<std::string> kEntryNames{"main", "VSTPluginMain"};
// Names the linker itself defines in every shared object.
const std::set<std::string> kLinkerNames{"_init", "_fini"};

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

std::string nameList(const std::vector<std::string>& names, std::size_t shown)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
        text += (text.empty() ? "" : ", ") + names[i];
    }
    if (names.size() > shown) {
        text += ", ...";
    }
    return text.empty() ? "none" : text;
}

// Whether a Windows module's library is on every machine that runs it: the system's own, an
// API set the loader resolves to one, or shipped beside the module.
bool availableEverywhere(const std::string& modulePath, const std::string& library)
{
    std::string lower;
    for (const char c : library) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower.rfind("api-ms-", 0) == 0 || lower.rfind("ext-ms-", 0) == 0) {
        return true;
    }
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::path(modulePath).parent_path() / library, ignored)) {
        return true;
    }
    const char* systemRoot = std::getenv("SystemRoot");
    return systemRoot && std::filesystem::exists(std::filesystem::path(systemRoot) / "System32" / library, ignored);
}

std::string opcodeList(const std::vector<int>& opcodes)
{
    std::string text;
    for (const int opcode : opcodes) {
        text += (text.empty() ? "" : ", ") + std::to_string(opcode);
    }
    return text;
}

} // namespace

CheckOutcome checkLoads(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    // Lazily, as many hosts load: what the module references is the exports check's business.
    note("loading");
    const auto module = PluginModule::load(settings.modulePath, PluginModule::Binding::lazy);
    return passed("exports " + module->entryName());
}

CheckOutcome checkExports(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    // Every symbol bound now and none shared: an unresolved one fails here, not in a host later.
    note("loading with immediate binding and local symbols");
    const auto module = PluginModule::load(settings.modulePath);
    std::vector<std::string> exported;
    std::vector<std::string> libraries;
    if (ElfFile::isElf(settings.modulePath)) {
        note("reading the dynamic symbol table");
        const ElfFile elf = ElfFile::read(settings.modulePath);
        exported = elf.exports();
        libraries = elf.neededLibraries();
    } else if (PeFile::isPe(settings.modulePath)) {
        note("reading the export and import tables");
        const PeFile pe = PeFile::read(settings.modulePath);
        exported = pe.exports();
        libraries = pe.importedLibraries();
        std::vector<std::string> missing;
        for (const std::string& library : libraries) {
            if (!availableEverywhere(settings.modulePath, library)) {
                missing.push_back(library);
            }
        }
        if (!missing.empty()) {
            return failed("imports from " + nameList(missing, 8) +
                          ": neither a system library nor beside the module; it loads here only because this "
                          "machine has " +
                          (missing.size() == 1 ? "that library" : "those libraries") + " on its search path");
        }
    } else {
        return skipped("not run: loads with every symbol bound, but its export table is read for ELF and PE "
                       "modules only");
    }
    std::vector<std::string> entries;
    std::vector<std::string> others;
    for (const std::string& name : exported) {
        if (kEntryNames.contains(name)) {
            entries.push_back(name);
        } else if (!kLinkerNames.contains(name)) {
            others.push_back(name);
        }
    }
    const std::string detail =
        "loads with every symbol bound; exports " + nameList(entries, 2) + "; needs " + nameList(libraries, 8);
    if (!others.empty()) {
        return warned(detail + "; exports " + counted(static_cast<int64_t>(others.size()), "symbol") +
                      " besides its entry points (" + nameList(others, 3) +
                      "), which may clash with a host's or another module's");
    }
    return passed(detail);
}

CheckOutcome checkScanTime(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    note("loading, the entry, effClose and unloading");
    const auto start = std::chrono::steady_clock::now();
    {
        HostedEffect effect = createCheckedEffect(settings.modulePath);
        effect.close();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[160];
    std::snprintf(text, sizeof text, "load, main, effClose and unload took %.1f ms (budget %.0f ms)", seconds * 1e3,
                  kScanBudgetSeconds * 1e3);
    return seconds > kScanBudgetSeconds ? warned(text) : passed(text);
}

CheckOutcome checkRecord(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    note("calling the entry");
    HostedEffect effect(PluginModule::load(settings.modulePath, PluginModule::Binding::lazy));
    if (!effect.record()) {
        return failed("the entry returned no effect");
    }
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
    // A host calls processReplacing only when the flag offers it; without process there is
    // then no call left that it may hand audio to.
    expect(record.process != nullptr || canReplace(record),
           record.processReplacing ? "processReplacing without effFlagsCanReplacing, and no process"
                                   : "neither process nor processReplacing");
    expect((record.flags & effFlagsCanReplacing) == 0 || record.processReplacing != nullptr,
           "effFlagsCanReplacing set without processReplacing");
    if (!faults.empty()) {
        return failed(faultList(faults));
    }
    return passed(std::to_string(record.numInputs) + " in, " + std::to_string(record.numOutputs) + " out, " +
                  counted(record.numParams, "parameter") + ", " + counted(record.numPrograms, "program") + ", flags " +
                  std::to_string(record.flags));
}

CheckOutcome checkOpcodeSweep(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    const bool displayAvailable = settings.displayProblem.empty() && !settings.skipGui;
    HostedEffect effect = createCheckedEffect(settings.modulePath);
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
    return passed(counted(static_cast<int64_t>(sent.size()), "opcode") + " from " + std::to_string(kFirstOpcode) +
                  " to " + std::to_string(kLastOpcode) + " answered; skipped " + opcodeList(skipped));
}

CheckOutcome checkClose(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    intptr_t answer = 0;
    uint64_t unroutedAfterClose = 0;
    {
        HostedEffect effect = createCheckedEffect(settings.modulePath);
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
        return failed(std::to_string(lateCalls) + " host calls arrived after effClose");
    }
    return passed("effClose answered " + std::to_string(answer) + "; module unloaded");
}

} // namespace vela
