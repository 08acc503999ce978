// SPDX-License-Identifier: MIT
// The effect under load from three threads at once, as a Linux host runs it: an audio thread
// processing blocks of varying size, a host thread setting the parameter, changing the
// program and reading names and display, and a UI thread toggling the switch with real clicks
// on the editor in an X window. Built with ThreadSanitizer, any unsynchronised access fails.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/x11_test_display.h"

namespace vela {

namespace {

using namespace x11_test;

constexpr auto kLoadTime = std::chrono::seconds(3);
constexpr int32_t kLargestBlock = 523;

// True on the thread that plays the host's UI thread.
thread_local bool onUiThread = false;

struct BlockCounts {
    int passed = 0;
    int mixed = 0;
    int broken = 0;
};

// Processes blocks of sizes 1 to kLargestBlock in turn until told to stop; each block must be
// wholly passed through or wholly mixed.
BlockCounts processUntil(AEffect* record, const std::atomic<bool>& stop)
{
    BlockCounts counts;
    std::vector<float> left(kLargestBlock), right(kLargestBlock), outLeft(kLargestBlock), outRight(kLargestBlock);
    for (int32_t block = 0; !stop.load(); ++block) {
        const int32_t frames = 1 + (block * 37) % kLargestBlock;
        for (int32_t i = 0; i < frames; ++i) {
            left[i] = static_cast<float>(block % 1000) + static_cast<float>(i);
            right[i] = 0.25f - static_cast<float>(2 * i);
        }
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        record->processReplacing(record, inputs, outputs, frames);
        bool passed = true;
        bool mixed = true;
        for (int32_t i = 0; i < frames; ++i) {
            const float mean = (left[i] + right[i]) * 0.5f;
            passed = passed && outLeft[i] == left[i] && outRight[i] == right[i];
            mixed = mixed && outLeft[i] == mean && outRight[i] == mean;
        }
        counts.passed += passed;
        counts.mixed += mixed;
        counts.broken += !passed && !mixed;
    }
    return counts;
}

TEST(SwitchEffectUnderLoad, AudioHostAndClickingEditorThreadsLeaveEveryBlockWhole)
{
    Display* display = openDisplay();
    if (display == nullptr) {
        GTEST_SKIP() << "no X display with 24-bit colour";
    }
    RecordingHost host;
    AEffect* record = host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); });
    ASSERT_NE(record, nullptr);
    (new ButtonEditor(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object))))->reset();
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> stop{false};
    std::atomic<int> clicks{0};
    // Changes the editor reports, told apart from those the host thread's program changes report.
    std::atomic<int> editorReports{0};
    host.setAnswer(audioMasterAutomate, [&](const HostCall&) -> intptr_t {
        editorReports.fetch_add(onUiThread ? 1 : 0);
        return 0;
    });
    std::atomic<int> hostRounds{0};
    std::thread hostThread([&] {
        for (int i = 0; !stop.load(); ++i) {
            record->setParameter(record, 0, (i & 1) ? 1.0f : 0.0f);
            record->dispatcher(record, effSetProgram, 0, 0, nullptr, 0.0f);
            char text[64] = {};
            record->dispatcher(record, effGetParamDisplay, 0, 0, text, 0.0f);
            record->dispatcher(record, effGetParamName, 0, 0, text, 0.0f);
            record->dispatcher(record, effGetProgramName, 0, 0, text, 0.0f);
            record->getParameter(record, 0);
            hostRounds.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // The window and every call into the editor belong to this thread, as to a host's UI thread.
    std::thread uiThread([&] {
        onUiThread = true;
        const Window parent = makeParent(display);
        auto* parentHandle = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
        record->dispatcher(record, effEditOpen, 0, 0, parentHandle, 0.0f);
        const auto children = childrenOf(display, parent);
        const auto idle = [&] { record->dispatcher(record, effEditIdle, 0, 0, nullptr, 0.0f); };
        while (!stop.load() && !children.empty()) {
            pointAt(display, children.front(), 128, 40);
            pressButton(display, Button1, true);
            pressButton(display, Button1, false);
            const int seen = editorReports.load();
            // The click counts once the editor has told the host of the change.
            if (idleUntil(
                    idle, [&] { return editorReports.load() > seen; }, std::chrono::milliseconds(500))) {
                clicks.fetch_add(1);
            }
        }
        record->dispatcher(record, effEditClose, 0, 0, nullptr, 0.0f);
        XDestroyWindow(display, parent);
        XSync(display, False);
    });

    std::atomic<bool> audioStop{false};
    BlockCounts counts;
    std::thread audioThread([&] { counts = processUntil(record, audioStop); });
    std::this_thread::sleep_for(kLoadTime);
    stop.store(true);
    hostThread.join();
    uiThread.join();
    audioStop.store(true);
    audioThread.join();

    EXPECT_EQ(counts.broken, 0);
    EXPECT_GT(counts.passed, 0);
    EXPECT_GT(counts.mixed, 0);
    EXPECT_GT(clicks.load(), 0);
    EXPECT_GT(hostRounds.load(), 0);
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    host.forget(record);
    XCloseDisplay(display);
}

} // namespace

} // namespace vela
