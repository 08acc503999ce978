// SPDX-License-Identifier: MIT
// The switch as three threads share it: the host's audio thread processing blocks, a host
// thread setting the parameter and the editor toggling it. Built with ThreadSanitizer, any
// unsynchronised access fails the run.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

namespace vela {

namespace {

TEST(SwitchEffectThreads, EveryBlockIsWhollyPassedThroughOrWhollyMixed)
{
    RecordingHost host;
    AEffect* record = host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); });
    ASSERT_NE(record, nullptr);
    auto& effect = *static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object));
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);

    // Long enough for many blocks to meet a change, short enough for a sanitizer build.
    const auto start = std::chrono::steady_clock::now();
    const auto enough = start + std::chrono::milliseconds(400);
    const auto deadline = start + std::chrono::milliseconds(1500);
    std::atomic<bool> done{false};
    std::thread hostThread([&] {
        for (int i = 0; !done.load(); ++i) {
            record->setParameter(record, 0, (i & 1) ? 1.0f : 0.0f);
            char display[8];
            record->dispatcher(record, effGetParamDisplay, 0, 0, display, 0.0f);
            record->getParameter(record, 0);
        }
    });
    std::thread editorThread([&] {
        for (int i = 0; i < 200000 && !done.load(); ++i) {
            // As the editor toggles: flip the lowest bit of the integer part, store, report.
            const auto value = static_cast<int32_t>(effect.switchValue());
            const auto toggled = static_cast<float>(value ^ 1);
            effect.storeSwitchValue(toggled, false);
            effect.reportParameterChange(0, toggled, SwitchEffect::kReportCurrentValue);
        }
    });

    constexpr std::size_t kFrames = 61;
    int blocks = 0, mixedBlocks = 0, passedBlocks = 0, brokenBlocks = 0;
    std::vector<float> left(kFrames), right(kFrames), outLeft(kFrames), outRight(kFrames);
    for (auto now = start; now < deadline && (now < enough || mixedBlocks == 0 || passedBlocks == 0);
         now = std::chrono::steady_clock::now(), ++blocks) {
        for (std::size_t i = 0; i < kFrames; ++i) {
            left[i] = static_cast<float>(blocks) + static_cast<float>(i);
            right[i] = static_cast<float>(3 * i) - static_cast<float>(blocks) + 0.25f;
        }
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        record->processReplacing(record, inputs, outputs, static_cast<int32_t>(kFrames));
        bool passed = true, mixed = true;
        for (std::size_t i = 0; i < kFrames; ++i) {
            const float mean = (left[i] + right[i]) * 0.5f;
            passed = passed && outLeft[i] == left[i] && outRight[i] == right[i];
            mixed = mixed && outLeft[i] == mean && outRight[i] == mean;
        }
        passedBlocks += passed;
        mixedBlocks += mixed;
        brokenBlocks += !passed && !mixed;
    }
    done.store(true);
    hostThread.join();
    editorThread.join();

    EXPECT_EQ(brokenBlocks, 0);
    EXPECT_GT(mixedBlocks, 0);
    EXPECT_GT(passedBlocks, 0);
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    host.forget(record);
}

} // namespace

} // namespace vela
