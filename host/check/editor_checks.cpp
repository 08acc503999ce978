// SPDX-License-Identifier: MIT
// The editor check: the editor opened as hosts open it (while audio runs, while suspended,
// with parameters changing from the host), opened and closed many times, leaving nothing
// behind and the process locale as it was.

#include <atomic>
#include <chrono>
#include <clocale>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host/check/checks.h"
#include "host/editor_window.h"

namespace vela {

namespace {

constexpr float kSampleRate = 44100.0f;
constexpr int32_t kBlockSize = 512;
constexpr int kDrawMilliseconds = 200;
constexpr int kCycleMilliseconds = 20;
// How long an editor's own connection may take to remove its window after effEditClose.
constexpr auto kCleanUpTime = std::chrono::milliseconds(500);
constexpr int32_t kLargestParameterSweep = 64;

std::string currentLocale()
{
    const char* name = std::setlocale(LC_ALL, nullptr);
    return name ? name : "";
}

// Runs the effect's audio on a thread of its own for as long as it lives.
class AudioThread {
public:
    AudioThread(HostedEffect& effect, uint64_t seed) : thread([this, &effect, seed] { play(effect, seed); }) {}
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;
    ~AudioThread()
    {
        stop.store(true);
        thread.join();
    }

    int64_t blocks() const { return played.load(); }

private:
    void play(HostedEffect& effect, uint64_t seed)
    {
        CheckRandom random(seed);
        AudioRun run(effect, kBlockSize);
        const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
        while (!stop.load()) {
            run.block(kBlockSize, mode, random);
            played.fetch_add(1);
            // About the pace of real time, so the editor's thread gets its share.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<int64_t> played{0};
    std::thread thread;
};

// What grew from one count of the window system's objects to the next, as "3 PIXMAP, 1 GC".
std::string growth(const std::map<std::string, int64_t>& before, const std::map<std::string, int64_t>& after)
{
    std::string grown;
    for (const auto& [kind, count] : after) {
        const auto earlier = before.find(kind);
        const int64_t more = count - (earlier == before.end() ? 0 : earlier->second);
        if (more > 0) {
            grown += (grown.empty() ? "" : ", ") + std::to_string(more) + " " + kind;
        }
    }
    return grown;
}

// Closes the editor and answers the windows it left in the host's window.
int closeAndCountLeftovers(EditorWindow& window)
{
    window.closeEditor();
    const auto deadline = std::chrono::steady_clock::now() + kCleanUpTime;
    int left = window.childWindowCount();
    while (left > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        window.pump(0);
        left = window.childWindowCount();
    }
    return left;
}

} // namespace

CheckOutcome checkEditor(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    if ((effect.record()->flags & effFlagsHasEditor) == 0) {
        return skipped("no editor (effFlagsHasEditor unset)");
    }
    if (!settings.displayProblem.empty()) {
        return failed(settings.displayProblem);
    }
    effect.dispatch(effOpen);
    const std::string locale = currentLocale();
    std::vector<std::string> faults;
    std::string size;
    struct Remains {
        int topLevels;
        std::map<std::string, int64_t> objects;
    };
    // Opens the editor, lets it draw, changes parameters if asked, closes it, notes what went
    // wrong on the way, and adds what the window system holds afterwards to remains if given.
    const auto openOnce = [&](const std::string& how, int milliseconds, bool changeParameters,
                              std::vector<Remains>* remains = nullptr) {
        note("opening the editor " + how);
        EditorWindow window(effect);
        size = std::to_string(window.width()) + "x" + std::to_string(window.height());
        window.pump(milliseconds);
        if (currentLocale() != locale) {
            faults.push_back("expected the process locale to stay \"" + locale + "\" with the editor open " + how +
                             "; it is \"" + currentLocale() + "\"");
            std::setlocale(LC_ALL, locale.c_str());
        }
        if (changeParameters) {
            CheckRandom random(settings.seed);
            const int32_t count = std::min(effect.record()->numParams, kLargestParameterSweep);
            for (int32_t index = 0; index < count; ++index) {
                note("setting parameter " + std::to_string(index) + " with the editor open");
                effect.setParameter(index, random.unit());
                window.pump(10);
            }
        }
        note("closing the editor " + how);
        const int left = closeAndCountLeftovers(window);
        if (left > 0) {
            faults.push_back("expected no window left in the host's window after effEditClose " + how + "; got " +
                             std::to_string(left));
        }
        if (remains != nullptr) {
            remains->push_back({window.topLevelWindowCount(), window.processObjectCounts()});
        }
    };

    // Each way of opening only after the ones before went well, so a failure's step is its own.
    openOnce("at rest", kDrawMilliseconds, false);
    startAudio(effect, kSampleRate, kBlockSize);
    int64_t blocksMeanwhile = 0;
    if (faults.empty()) {
        AudioThread audio(effect, settings.seed);
        openOnce("while the audio thread processes", kDrawMilliseconds, true);
        blocksMeanwhile = audio.blocks();
    }
    effect.dispatch(effMainsChanged, 0, 0);
    if (faults.empty()) {
        openOnce("with the effect suspended", kDrawMilliseconds, false);
    }
    // What the window system holds after the first, the middle and the last cycle. An editor
    // may keep what it made once, or make something on its second opening; one that leaves
    // something behind every time holds more after each half of the cycles.
    const int cycles = settings.scaled(10, 100);
    std::vector<Remains> remains;
    for (int cycle = 0; cycle < cycles && faults.empty(); ++cycle) {
        const bool measured = cycle == 0 || cycle == cycles / 2 || cycle == cycles - 1;
        openOnce("in cycle " + std::to_string(cycle + 1), kCycleMilliseconds, false, measured ? &remains : nullptr);
    }
    if (faults.empty() && remains.size() == 3) {
        const std::string cycled = " by " + std::to_string(cycles) + " open and close cycles; ";
        if (remains[2].topLevels > remains[0].topLevels) {
            faults.push_back("expected no window left behind" + cycled + "the screen holds " +
                             std::to_string(remains[2].topLevels - remains[0].topLevels) + " more top-level windows");
        }
        if (!growth(remains[0].objects, remains[1].objects).empty() &&
            !growth(remains[1].objects, remains[2].objects).empty()) {
            faults.push_back(
                "expected no window-system objects left behind" + cycled +
                "this process holds more after each half: " + growth(remains[0].objects, remains[2].objects));
        }
    }
    if (!faults.empty()) {
        return failed(faultList(faults));
    }
    return passed("opened at " + size + " at rest, while processing (" + std::to_string(blocksMeanwhile) +
                  " blocks) with parameters changing, and suspended; " + std::to_string(cycles) +
                  " open and close cycles; no window or window-system object left behind, locale kept");
}

} // namespace vela
