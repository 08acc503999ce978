// SPDX-License-Identifier: MIT
#include "effect/sample_kernels.h"

#include <cpuid.h>

#include <cstring>

namespace vela {

void mixReference(const StereoBlock& block, bool mean, bool accumulate)
{
    for (int32_t i = 0; i < block.frames; ++i) {
        const float left = block.inLeft[i];
        const float right = block.inRight[i];
        const float toLeft = mean ? (left + right) * 0.5f : left;
        const float toRight = mean ? toLeft : right;
        block.outLeft[i] = accumulate ? block.outLeft[i] + toLeft : toLeft;
        block.outRight[i] = accumulate ? block.outRight[i] + toRight : toRight;
    }
}

namespace {

using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));

// The host's arrays promise no vector alignment, so lanes move through memcpy.
template <typename Lane>
[[gnu::always_inline]] inline void load(Lane& lane, const float* at)
{
    std::memcpy(&lane, at, sizeof lane);
}

template <typename Lane>
[[gnu::always_inline]] inline void store(float* at, const Lane& lane)
{
    std::memcpy(at, &lane, sizeof lane);
}

// The reference loop a Lane of frames at a time, from begin as far as whole Lanes reach;
// answers where it stopped.
template <typename Lane, bool mean, bool accumulate>
[[gnu::always_inline]] inline int32_t mixLanes(const StereoBlock& block, int32_t begin)
{
    constexpr auto kWidth = static_cast<int32_t>(sizeof(Lane) / sizeof(float));
    // Held locally: a lane's bytes are stored as bytes, which the compiler must otherwise assume
    // may change the block's own fields.
    const float* inLeft = block.inLeft;
    const float* inRight = block.inRight;
    float* outLeft = block.outLeft;
    float* outRight = block.outRight;
    const int32_t frames = block.frames;
    int32_t i = begin;
    for (; i + kWidth <= frames; i += kWidth) {
        Lane left;
        Lane right;
        load(left, inLeft + i);
        load(right, inRight + i);
        if constexpr (mean) {
            left = (left + right) * 0.5f;
            right = left;
        }
        if constexpr (accumulate) {
            Lane held;
            load(held, outLeft + i);
            left = held + left;
        }
        store(outLeft + i, left);
        if constexpr (accumulate) {
            Lane held;
            load(held, outRight + i);
            right = held + right;
        }
        store(outRight + i, right);
    }
    return i;
}

// SSE2 is the floor of both x86 targets.
template <bool mean, bool accumulate>
void mixFourWide(const StereoBlock& block)
{
    mixLanes<float, mean, accumulate>(block, mixLanes<Float4, mean, accumulate>(block, 0));
}

template <bool mean, bool accumulate>
[[gnu::target("avx")]] void mixEightWide(const StereoBlock& block)
{
    const int32_t done = mixLanes<Float4, mean, accumulate>(block, mixLanes<Float8, mean, accumulate>(block, 0));
    mixLanes<float, mean, accumulate>(block, done);
}

using Kernel = void (*)(const StereoBlock&);

// One kernel for each switch state and way of writing, indexed [mean][accumulate].
struct KernelSet {
    Kernel kernels[2][2];
};

constexpr KernelSet kFourWide{
    {{mixFourWide<false, false>, mixFourWide<false, true>}, {mixFourWide<true, false>, mixFourWide<true, true>}}};
constexpr KernelSet kEightWide{
    {{mixEightWide<false, false>, mixEightWide<false, true>}, {mixEightWide<true, false>, mixEightWide<true, true>}}};

// AVX needs the processor's support and the system's: the system must save the wide registers.
bool processorRunsAvx()
{
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    // Every processor these modules run on answers leaf 1; asking first costs another trap
    // to the hypervisor on a virtual machine.
    __cpuid(1, eax, ebx, ecx, edx);
    if ((ecx & bit_AVX) == 0 || (ecx & bit_OSXSAVE) == 0) {
        return false;
    }
    unsigned int savedLow = 0;
    unsigned int savedHigh = 0;
    __asm__("xgetbv" : "=a"(savedLow), "=d"(savedHigh) : "c"(0));
    return (savedLow & 0x6) == 0x6;
}

const KernelSet& widestKernels()
{
    return processorRunsAvx() ? kEightWide : kFourWide;
}

// Chosen while the module loads, so that no audio block pays for asking the processor.
const KernelSet& kVectorKernels = widestKernels();

// True when two arrays of frames samples are the same array or share no sample.
bool sameOrApart(const float* first, const float* second, int32_t frames)
{
    const auto firstStart = reinterpret_cast<uintptr_t>(first);
    const auto secondStart = reinterpret_cast<uintptr_t>(second);
    const auto bytes = static_cast<uintptr_t>(frames) * sizeof(float);
    return firstStart == secondStart || firstStart + bytes <= secondStart || secondStart + bytes <= firstStart;
}

// A vector reads several frames before it writes any, which gives the reference loop's result
// only when each output is exactly an input or apart from it, and so are the two outputs.
bool vectorsAreExact(const StereoBlock& block)
{
    const int32_t frames = block.frames;
    return sameOrApart(block.outLeft, block.inLeft, frames) && sameOrApart(block.outLeft, block.inRight, frames) &&
           sameOrApart(block.outRight, block.inLeft, frames) && sameOrApart(block.outRight, block.inRight, frames) &&
           sameOrApart(block.outLeft, block.outRight, frames);
}

} // namespace

void mixBlock(const StereoBlock& block, bool mean, bool accumulate)
{
    if (!vectorsAreExact(block)) {
        mixReference(block, mean, accumulate);
        return;
    }
    kVectorKernels.kernels[mean][accumulate](block);
}

} // namespace vela
