// SPDX-License-Identifier: MIT
// The checks of what the effect holds: parameters, programs, saved state, and parameters
// reached from a second thread while audio runs.

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "host/check/checks.h"

namespace vela {

namespace {

constexpr float kSampleRate = 44100.0f;
constexpr int32_t kBlockSize = 512;
// A parameter changes this often while processing runs, as sample-accurate automation does.
constexpr int32_t kAutomationFrames = 32;
constexpr float kParameterTolerance = 1e-4f;
// The longest program name a host has room for, terminator included.
constexpr std::size_t kProgramNameBytes = 24;
constexpr std::size_t kNameBufferBytes = 256;
constexpr char kUnwritten = '\x7f';
constexpr int32_t kLargestRandomChunk = 4096;

#if defined(__SANITIZE_THREAD__)
std::atomic<int> raceReports{0};
#endif

std::string valueText(float value)
{
    return std::to_string(value);
}

std::vector<float> parameterValues(HostedEffect& effect)
{
    std::vector<float> values;
    for (int32_t index = 0; index < effect.record()->numParams; ++index) {
        values.push_back(effect.getParameter(index));
    }
    return values;
}

// The index of the first value that differs by more than the tolerance, or -1.
int32_t firstDifference(const std::vector<float>& expected, const std::vector<float>& found)
{
    for (std::size_t index = 0; index < expected.size() && index < found.size(); ++index) {
        if (!(std::fabs(expected[index] - found[index]) <= kParameterTolerance)) {
            return static_cast<int32_t>(index);
        }
    }
    return -1;
}

// A program's name as the effect writes it into a buffer of unwritten bytes; no terminator
// in the whole buffer answers the buffer's size as the length.
std::size_t programNameLength(HostedEffect& effect, int32_t program, std::string& name)
{
    std::vector<char> buffer(kNameBufferBytes, kUnwritten);
    if (effect.dispatch(effGetProgramNameIndexed, program, -1, buffer.data()) == 0) {
        // Not answered by index: select the program and ask for the current name.
        std::fill(buffer.begin(), buffer.end(), kUnwritten);
        effect.dispatch(effSetProgram, 0, program);
        effect.dispatch(effGetProgramName, 0, 0, buffer.data());
    }
    const void* end = std::memchr(buffer.data(), 0, buffer.size());
    const std::size_t length = end ? static_cast<const char*>(end) - buffer.data() : buffer.size();
    name.assign(buffer.data(), std::min(length, kNameBufferBytes));
    return length;
}

} // namespace

CheckOutcome checkParameters(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    effect.dispatch(effOpen);
    const int32_t count = effect.record()->numParams;
    CheckRandom random(settings.seed);
    const int randomValues = settings.strictness > 1 ? settings.scaled(4, 32) : 0;
    std::vector<std::string> faults;
    for (int32_t index = 0; index < count; ++index) {
        const std::string parameter = "parameter " + std::to_string(index);
        note(parameter);
        const float original = effect.getParameter(index);
        if (!std::isfinite(original) || original < 0.0f || original > 1.0f) {
            faults.push_back(parameter + " reads " + valueText(original) + ", not a normalised value");
            continue;
        }
        // The ends of the range are exact on every scale; the original value was read back.
        bool readsBack = true;
        for (const float value : {0.0f, 1.0f, original}) {
            effect.setParameter(index, value);
            const float read = effect.getParameter(index);
            if (!(std::fabs(read - value) <= kParameterTolerance)) {
                faults.push_back(parameter + " set to " + valueText(value) + " reads " + valueText(read));
                readsBack = false;
                break;
            }
        }
        for (int attempt = 0; readsBack && attempt < randomValues; ++attempt) {
            const float value = random.unit();
            note(parameter + " set to " + valueText(value));
            effect.setParameter(index, value);
            const float read = effect.getParameter(index);
            const std::string shown = effect.dispatchString(effGetParamDisplay, index);
            if (!std::isfinite(read) || read < 0.0f || read > 1.0f) {
                faults.push_back(parameter + " set to " + valueText(value) + " reads " + valueText(read) +
                                 ", not a normalised value");
                break;
            }
            // A quantised parameter may store a step near the value, but it must keep that step.
            effect.setParameter(index, read);
            const float again = effect.getParameter(index);
            if (!(std::fabs(again - read) <= kParameterTolerance)) {
                faults.push_back(parameter + " set to the " + valueText(read) + " it read reads " + valueText(again));
                break;
            }
            effect.setParameter(index, 1.0f - value);
            effect.setParameter(index, value);
            const std::string shownAgain = effect.dispatchString(effGetParamDisplay, index);
            if (shown != shownAgain) {
                faults.push_back(parameter + " at " + valueText(value) + " shows \"" + shown + "\" and then \"" +
                                 shownAgain + "\"");
                break;
            }
        }
        effect.setParameter(index, original);
    }
    if (!faults.empty()) {
        return failed(faultList(faults));
    }
    if (randomValues == 0 || count == 0) {
        return passed(counted(count, "parameter") + " read back 0, 1 and their first value");
    }
    // Automation while audio runs: a change every few frames.
    startAudio(effect, kSampleRate, kBlockSize);
    AudioRun run(effect, kAutomationFrames);
    const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
    const int blocks = settings.scaled(256, 4096);
    for (int block = 0; block < blocks; ++block) {
        const int32_t index = random.between(0, count - 1);
        const float value = random.unit();
        note("processing with parameter " + std::to_string(index) + " set to " + valueText(value) + " in block " +
             std::to_string(block));
        effect.setParameter(index, value);
        run.block(kAutomationFrames, mode, random);
        const std::string abnormal = run.firstAbnormal();
        if (!abnormal.empty()) {
            return failed("expected finite, normal output while parameters change every " +
                          std::to_string(kAutomationFrames) + " frames; got " + abnormal + " in block " +
                          std::to_string(block) + " after parameter " + std::to_string(index) + " was set to " +
                          valueText(value));
        }
    }
    return passed(counted(count, "parameter") + " read back 0, 1, their first value and " +
                  std::to_string(randomValues) + " random values each, keep their steps and show one text per value; " +
                  std::to_string(blocks) + " changes every " + std::to_string(kAutomationFrames) +
                  " frames while processing");
}

CheckOutcome checkThreads(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    const int32_t count = effect.record()->numParams;
    startAudio(effect, kSampleRate, kBlockSize);
    if (count == 0) {
        return skipped("no parameters to change from another thread");
    }
    AudioRun run(effect, kBlockSize);
    const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
#if defined(__SANITIZE_THREAD__)
    const int racesBefore = raceReports.load();
#endif
    std::atomic<bool> stop{false};
    std::atomic<int64_t> changes{0};
    note("processing while a second thread sets parameters and reads their display");
    std::thread editor([&effect, &stop, &changes, count, seed = settings.seed + 1] {
        CheckRandom random(seed);
        while (!stop.load() || changes.load() == 0) {
            const int32_t index = random.between(0, count - 1);
            effect.setParameter(index, random.unit());
            effect.getParameter(index);
            effect.dispatchString(effGetParamDisplay, index);
            changes.fetch_add(1);
        }
    });
    CheckRandom random(settings.seed);
    const int blocks = settings.scaled(64, 1024);
    // Both threads at work together, however the system schedules them: audio starts once the
    // other thread has, and goes on until that one has made as many changes as there are blocks.
    while (changes.load() == 0) {
        std::this_thread::yield();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string fault;
    int block = 0;
    for (;
         (block < blocks || (changes.load() < blocks && std::chrono::steady_clock::now() < deadline)) && fault.empty();
         ++block) {
        run.block(kBlockSize, mode, random);
        const std::string abnormal = run.firstAbnormal();
        if (!abnormal.empty()) {
            fault = "expected finite, normal output while another thread sets parameters; got " + abnormal +
                    " in block " + std::to_string(block);
        }
    }
    stop.store(true);
    editor.join();
    if (!fault.empty()) {
        return failed(fault);
    }
#if defined(__SANITIZE_THREAD__)
    const int races = raceReports.load() - racesBefore;
    if (races > 0) {
        return failed("ThreadSanitizer reported " + counted(races, "race") +
                      " between the audio thread and a thread setting parameters (its report is on stderr)");
    }
    const char* watched = "; ThreadSanitizer reported no race";
#else
    const char* watched = "; races show only in a ThreadSanitizer build";
#endif
    return passed(std::to_string(block) + " blocks processed while another thread made " +
                  std::to_string(changes.load()) + " parameter changes and display reads" + watched);
}

CheckOutcome checkPrograms(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    effect.dispatch(effOpen);
    const int32_t count = effect.record()->numPrograms;
    if (count == 0) {
        return skipped("no programs");
    }
    std::vector<std::string> faults;
    std::vector<std::string> warnings;
    const int32_t named = std::min(count, settings.scaled(16, 1024));
    const intptr_t current = effect.dispatch(effGetProgram);
    for (int32_t program = 0; program < named; ++program) {
        note("program " + std::to_string(program) + "'s name");
        std::string name;
        const std::size_t length = programNameLength(effect, program, name);
        if (length >= kNameBufferBytes) {
            faults.push_back("program " + std::to_string(program) + "'s name has no terminator in " +
                             std::to_string(kNameBufferBytes) + " bytes");
        } else if (length >= kProgramNameBytes) {
            warnings.push_back("program " + std::to_string(program) + "'s name \"" + name + "\" is " +
                               std::to_string(length) + " characters long, more than a host's " +
                               std::to_string(kProgramNameBytes - 1));
        }
    }
    if (current < 0 || current >= count) {
        faults.push_back("effGetProgram answers " + std::to_string(current) + " of " + counted(count, "program"));
    } else {
        note("selecting program " + std::to_string(current));
        effect.dispatch(effSetProgram, 0, current);
        const std::vector<float> before = parameterValues(effect);
        const std::string nameBefore = effect.dispatchString(effGetProgramName);
        CheckRandom random(settings.seed);
        const int switches = settings.scaled(8, 64);
        for (int turn = 0; turn < switches; ++turn) {
            const int32_t program = random.between(0, count - 1);
            note("switching to program " + std::to_string(program));
            effect.dispatch(effSetProgram, 0, program);
        }
        note("switching back to program " + std::to_string(current));
        effect.dispatch(effSetProgram, 0, current);
        const intptr_t after = effect.dispatch(effGetProgram);
        const std::string nameAfter = effect.dispatchString(effGetProgramName);
        const int32_t changed = firstDifference(before, parameterValues(effect));
        if (after != current) {
            faults.push_back("switched back to program " + std::to_string(current) + ", effGetProgram answers " +
                             std::to_string(after));
        } else if (nameAfter != nameBefore) {
            faults.push_back("program " + std::to_string(current) + " was named \"" + nameBefore + "\", then \"" +
                             nameAfter + "\"");
        } else if (changed >= 0) {
            faults.push_back("back in program " + std::to_string(current) + ", parameter " + std::to_string(changed) +
                             " reads " + valueText(parameterValues(effect)[changed]) + ", not " +
                             valueText(before[changed]));
        }
    }
    if (!faults.empty()) {
        return failed(faultList(faults));
    }
    const std::string detail = std::to_string(named) + " of " + counted(count, "program") +
                               " named within bounds; random switches and back restore program " +
                               std::to_string(current);
    return warnings.empty() ? passed(detail) : warned(faultList(warnings));
}

CheckOutcome checkState(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    CheckRandom random(settings.seed);
    HostedEffect saved = createCheckedEffect(settings.modulePath);
    saved.dispatch(effOpen);
    const int32_t count = saved.record()->numParams;
    for (int32_t index = 0; index < count; ++index) {
        saved.setParameter(index, random.unit());
    }
    HostedEffect restored = createCheckedEffect(settings.modulePath);
    restored.dispatch(effOpen);
    const bool chunks = (saved.record()->flags & effFlagsProgramChunks) != 0;
    std::vector<char> chunk;
    std::vector<float> values = parameterValues(saved);
    const intptr_t program = saved.dispatch(effGetProgram);
    if (chunks) {
        note("effGetChunk");
        void* data = nullptr;
        const intptr_t size = saved.dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || !data) {
            return failed("the effect says it keeps its state in chunks, but effGetChunk answers " +
                          std::to_string(size) + " bytes" + (data ? "" : " and no data"));
        }
        chunk.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        note("effSetChunk of " + std::to_string(size) + " bytes into a fresh effect");
        restored.dispatch(effSetChunk, 0, size, chunk.data());
        // The saved effect takes its own chunk back too, so that both read their values as
        // the chunk holds them (an effect may store a quantised value where it read the raw one).
        note("effSetChunk of its own chunk into the saved effect");
        std::vector<char> own = chunk;
        saved.dispatch(effSetChunk, 0, size, own.data());
    } else {
        note("program " + std::to_string(program) + " and the parameters into a fresh effect");
        restored.dispatch(effSetProgram, 0, program);
        for (int32_t index = 0; index < count; ++index) {
            restored.setParameter(index, values[index]);
        }
    }
    // Some effects take a loaded state over on the audio thread: both get a few blocks.
    for (HostedEffect* effect : {&saved, &restored}) {
        note(effect == &saved ? "processing in the saved effect" : "processing after the restore");
        startAudio(*effect, kSampleRate, kBlockSize);
        AudioRun run(*effect, kBlockSize);
        const ProcessMode mode = canReplace(*effect->record()) ? ProcessMode::separate : ProcessMode::accumulating;
        for (int block = 0; block < 4; ++block) {
            run.constantBlock(kBlockSize, mode, 0.0f);
            effect->dispatch(effIdle);
        }
    }
    const std::vector<float> expected = parameterValues(saved);
    const std::vector<float> found = parameterValues(restored);
    const int32_t changed = firstDifference(expected, found);
    if (changed >= 0) {
        return failed("expected parameter " + std::to_string(changed) + " to read " + valueText(expected[changed]) +
                      " after restoring " + (chunks ? "the chunk" : "the parameters") + " into a fresh effect; got " +
                      valueText(found[changed]));
    }
    if (!chunks) {
        return passed(counted(count, "parameter") + " and the program restored into a fresh effect (no chunks)");
    }
    // Files get cut short and corrupted; loading one may fail, never crash.
    HostedEffect target = createCheckedEffect(settings.modulePath);
    target.dispatch(effOpen);
    std::vector<char> empty(1, 0);
    note("effSetChunk of 0 bytes");
    target.dispatch(effSetChunk, 0, 0, empty.data());
    note("effSetChunk of the chunk cut in half");
    std::vector<char> half(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(chunk.size() / 2));
    half.push_back(0);
    target.dispatch(effSetChunk, 0, static_cast<intptr_t>(chunk.size() / 2), half.data());
    const int randomChunks = settings.scaled(2, 16);
    for (int attempt = 0; attempt < randomChunks; ++attempt) {
        std::vector<char> bytes(static_cast<std::size_t>(random.between(16, kLargestRandomChunk)));
        for (char& byte : bytes) {
            byte = static_cast<char>(random.next());
        }
        note("effSetChunk of " + std::to_string(bytes.size()) + " random bytes (attempt " + std::to_string(attempt) +
             ")");
        target.dispatch(effSetChunk, attempt % 2, static_cast<intptr_t>(bytes.size()), bytes.data());
    }
    return passed("a chunk of " + counted(static_cast<int64_t>(chunk.size()), "byte") + " restores " +
                  counted(count, "parameter") + " in a fresh effect; empty, cut and " + std::to_string(randomChunks) +
                  " random chunks survived");
}

} // namespace vela

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer calls this for every report it prints.
extern "C" __attribute__((visibility("default"))) void __tsan_on_report(void*)
{
    vela::raceReports.fetch_add(1);
}
#endif
