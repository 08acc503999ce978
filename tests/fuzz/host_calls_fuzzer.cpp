// SPDX-License-Identifier: MIT
// Drives one switch effect through its record and host callback, as a host does, with a call
// sequence decoded from the input: any dispatcher operation with any index, value and opt and a
// pointer a correct host could pass, parameters with any float, both processing calls with any
// frame count on separate, in-place and partly overlapping buffers, suspend and resume in any
// order, and the editor opened, idled, clicked and closed through the recording fake window
// system. Checks as it goes that nothing is written past a text's size, that whole blocks pass
// through or mix as the switch says, and that the parameter reads back finite.
//
// Calls it never makes, because no host keeping the interface's contract makes them:
// - a null or dangling record, or any call after effClose (the record is gone then);
// - a text or record pointer to fewer bytes than the operation writes, or to non-text bytes
//   where a zero-terminated text is read;
// - processing with null buffer arrays, fewer than two channels, or more frames than the
//   buffers hold;
// - effSetChunk with a size larger than the data passed, and effSetSpeakerArrangement with a
//   value that is not a pointer (value carries the input arrangement there);
// - effEditOpen with a parent that is not a window (the fake hands out real handles only);
// - two calls at once from different threads (the threads test covers those).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/erect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "tests/support/fake_window_system.h"

namespace vela {

namespace {

constexpr std::size_t kMaxFrames = 256;
constexpr std::size_t kGuardBytes = 32;
constexpr std::size_t kPlainBufferSize = 256;
constexpr unsigned char kGuard = 0xA5;
constexpr int kMaxCallsPerInput = 256;
constexpr int32_t kHighestKnownOpcode = effGetVstVersion;

// Every call made into the effect and every message sent to its window, over the whole run.
uint64_t hostCalls = 0;

struct CallCountReport {
    ~CallCountReport() { std::fprintf(stderr, "host calls: %llu\n", static_cast<unsigned long long>(hostCalls)); }
} callCountReport;

[[noreturn]] void fail(const char* what, int32_t opcode)
{
    std::fprintf(stderr, "invariant broken: %s (opcode %d)\n", what, opcode);
    std::abort();
}

// The bytes each text operation may write, terminator included.
std::size_t textSize(int32_t opcode)
{
    switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed:
        return 24;
    case effGetParamLabel:
        return 13;
    case effGetParamDisplay:
        return 4;
    case effGetParamName:
        return 23;
    case effGetEffectName:
    case effGetProductString:
        return 5;
    case effGetVendorString:
        return 11;
    case effGetErrorText:
        return 256;
    default:
        return 0;
    }
}

bool readsText(int32_t opcode)
{
    return opcode == effSetProgramName || opcode == effString2Parameter || opcode == effCanDo;
}

// A zeroed buffer of a given size with guard bytes after it.
class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t size) : size(size), bytes(size + kGuardBytes, kGuard)
    {
        std::fill(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), 0);
    }
    char* data() { return reinterpret_cast<char*>(bytes.data()); }
    bool guardIntact() const
    {
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(size), bytes.end(),
                           [](unsigned char byte) { return byte == kGuard; });
    }
    bool untouched() const
    {
        return guardIntact() && std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size),
                                            [](unsigned char byte) { return byte == 0; });
    }
    // True when the text with its terminator lies inside the buffer.
    bool holdsText() const
    {
        return std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size), 0) !=
               bytes.begin() + static_cast<std::ptrdiff_t>(size);
    }

private:
    std::size_t size;
    std::vector<unsigned char> bytes;
};

intptr_t hostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

float anyFloat(FuzzedDataProvider& input)
{
    static constexpr float kSpecial[] = {
        0.0f,
        -0.0f,
        1.0f,
        0.5f,
        -1.0f,
        1.0f / 127.0f,
        2.0f,
        256.0f / 127.0f,
        std::numeric_limits<float>::quiet_NaN(),
        -std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::min(),
        std::numeric_limits<float>::max(),
        -std::numeric_limits<float>::max(),
        2147483648.0f / 127.0f,
        1e30f,
    };
    if (input.ConsumeBool()) {
        return kSpecial[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial) - 1)];
    }
    const auto bits = input.ConsumeIntegral<uint32_t>();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int32_t anyIndex(FuzzedDataProvider& input)
{
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-2, 21) : input.ConsumeIntegral<int32_t>();
}

bool sameBits(float first, float second)
{
    return std::memcmp(&first, &second, sizeof first) == 0 || (std::isnan(first) && std::isnan(second));
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : input(input)
    {
        moduleInstance = fake.makeHandle("module");
        parent = fake.makeHandle("parent");
        auto* effect = new SwitchEffect(hostCallback);
        auto* editor = new ButtonEditor(*effect, fake);
        editor->reset();
        switchEffect = effect;
        record = effect->getAeffect();
    }

    void run()
    {
        for (int call = 0; call < kMaxCallsPerInput && input.remaining_bytes() > 0; ++call) {
            switch (input.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
                dispatch();
                break;
            case 1:
                setParameter();
                break;
            case 2:
                getParameter();
                break;
            case 3:
                processBlock(input.ConsumeBool());
                break;
            case 4:
                suspendOrResume();
                break;
            case 5:
                editorCall();
                break;
            case 6:
                windowMessage();
                break;
            default:
                call = kMaxCallsPerInput;
                break;
            }
            checkWindowSystem();
        }
        ++hostCalls;
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
        if (!fake.liveObjects().empty() || !fake.faults().empty()) {
            fail("window-system objects left or misused after effClose", effClose);
        }
    }

private:
    void dispatch()
    {
        int32_t opcode = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-1, kHighestKnownOpcode + 12)
                                             : input.ConsumeIntegral<int32_t>();
        if (opcode == effClose) {
            opcode = effIdentify;
        }
        const int32_t index = anyIndex(input);
        intptr_t value =
            input.ConsumeBool() ? input.ConsumeIntegralInRange<intptr_t>(-2, 2) : input.ConsumeIntegral<intptr_t>();
        const float opt = anyFloat(input);
        const bool withPointer = input.ConsumeBool();

        if (opcode == effEditOpen) {
            ++hostCalls;
            record->dispatcher(record, opcode, index, value, withPointer ? parent : nullptr, opt);
            return;
        }
        if (opcode == effEditGetRect) {
            ERect* rect = nullptr;
            ++hostCalls;
            record->dispatcher(record, opcode, index, value, withPointer ? &rect : nullptr, opt);
            if (withPointer && rect != nullptr && (rect->right - rect->left != 256 || rect->bottom - rect->top != 96)) {
                fail("editor rectangle is not 256 by 96", opcode);
            }
            return;
        }
        if (opcode == effGetChunk) {
            void* data = nullptr;
            ++hostCalls;
            const intptr_t size = record->dispatcher(record, opcode, index, value, withPointer ? &data : nullptr, opt);
            if (size != 0 && data == nullptr) {
                fail("chunk size without chunk data", opcode);
            }
            return;
        }
        if (opcode == effGetInputProperties || opcode == effGetOutputProperties) {
            GuardedBuffer properties(sizeof(VstPinProperties));
            ++hostCalls;
            record->dispatcher(record, opcode, index, value, withPointer ? properties.data() : nullptr, opt);
            if (!properties.guardIntact() || !properties.holdsText()) {
                fail("pin properties overrun", opcode);
            }
            return;
        }
        if (readsText(opcode)) {
            std::string text = input.ConsumeRandomLengthString(64);
            ++hostCalls;
            record->dispatcher(record, opcode, index, value, withPointer ? text.data() : nullptr, opt);
            return;
        }

        const std::size_t size = textSize(opcode) != 0 ? textSize(opcode) : kPlainBufferSize;
        GuardedBuffer buffer(size);
        if (opcode == effSetChunk) {
            value = withPointer ? std::clamp<intptr_t>(value, 0, static_cast<intptr_t>(size)) : 0;
        }
        if (opcode == effSetSpeakerArrangement) {
            value = reinterpret_cast<intptr_t>(buffer.data());
        }
        ++hostCalls;
        const intptr_t answer =
            record->dispatcher(record, opcode, index, value, withPointer ? buffer.data() : nullptr, opt);
        if (!buffer.guardIntact()) {
            fail("write past the buffer", opcode);
        }
        if (textSize(opcode) != 0 && !buffer.untouched() && !buffer.holdsText()) {
            fail("text without its terminator", opcode);
        }
        const bool unknown = opcode < 0 || opcode > kHighestKnownOpcode;
        if (unknown && (answer != 0 || !buffer.untouched())) {
            fail("unknown operation answered or wrote", opcode);
        }
        if (opcode == effMainsChanged) {
            running = value != 0;
        }
    }

    void setParameter()
    {
        const int32_t index = anyIndex(input);
        const float value = anyFloat(input);
        ++hostCalls;
        record->setParameter(record, index, value);
        if (index == 0 && !std::isfinite(value)) {
            nonFiniteSet = true;
        }
    }

    void getParameter()
    {
        const int32_t index = anyIndex(input);
        ++hostCalls;
        const float value = record->getParameter(record, index);
        if (index != 0 && value != 0.0f) {
            fail("a parameter that does not exist reads other than 0", index);
        }
        if (!std::isfinite(value) && !nonFiniteSet) {
            fail("parameter reads non-finite though only finite values were set", index);
        }
    }

    void suspendOrResume()
    {
        const bool resume = input.ConsumeBool();
        ++hostCalls;
        record->dispatcher(record, effMainsChanged, 0, resume ? 1 : 0, nullptr, 0.0f);
        running = resume;
    }

    // One block on buffers laid out apart, in place, crossed or partly overlapping.
    void processBlock(bool replacing)
    {
        enum Layout { kApart, kInPlace, kCrossed, kOverlapping, kLayoutCount };
        const auto layout = static_cast<Layout>(input.ConsumeIntegralInRange<int>(0, kLayoutCount - 1));
        int32_t frames = 0;
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            frames = input.ConsumeIntegralInRange<int32_t>(std::numeric_limits<int32_t>::min(), 0);
            break;
        default:
            frames = input.ConsumeIntegralInRange<int32_t>(0, kMaxFrames);
            break;
        }
        // Four arrays' room, so that overlapping arrays still lie inside one allocation.
        std::vector<float> arena(4 * kMaxFrames + kMaxFrames / 2);
        for (float& sample : arena) {
            sample = input.remaining_bytes() >= 4 && input.ConsumeBool() ? anyFloat(input)
                                                                         : static_cast<float>(&sample - arena.data());
        }
        float* base = arena.data();
        float* inputs[2] = {base, base + kMaxFrames};
        float* outputs[2] = {base + 2 * kMaxFrames, base + 3 * kMaxFrames};
        if (layout == kInPlace) {
            outputs[0] = inputs[0];
            outputs[1] = inputs[1];
        } else if (layout == kCrossed) {
            outputs[0] = inputs[1];
            outputs[1] = inputs[0];
        } else if (layout == kOverlapping) {
            const auto shift = input.ConsumeIntegralInRange<std::size_t>(1, kMaxFrames / 2);
            outputs[0] = inputs[0] + shift;
            outputs[1] = inputs[1] + shift;
        }
        const std::vector<float> before = arena;
        const float internal = switchEffect->switchValue();
        const bool on = (truncateToInteger(internal) & 0xFF) != 0;

        ++hostCalls;
        if (replacing) {
            record->processReplacing(record, inputs, outputs, frames);
        } else {
            record->process(record, inputs, outputs, frames);
        }
        if (!running || frames <= 0) {
            if (!std::equal(arena.begin(), arena.end(), before.begin(), before.end(), sameBits)) {
                fail("a block changed samples while suspended or empty", frames);
            }
            return;
        }
        if (layout != kApart) {
            return;
        }
        for (int32_t i = 0; i < frames; ++i) {
            const float left = before[static_cast<std::size_t>(i)];
            const float right = before[kMaxFrames + static_cast<std::size_t>(i)];
            const float mean = (left + right) * 0.5f;
            float expectedLeft = on ? mean : left;
            float expectedRight = on ? mean : right;
            if (!replacing) {
                expectedLeft += before[2 * kMaxFrames + static_cast<std::size_t>(i)];
                expectedRight += before[3 * kMaxFrames + static_cast<std::size_t>(i)];
            }
            if (!sameBits(outputs[0][i], expectedLeft) || !sameBits(outputs[1][i], expectedRight)) {
                fail(on ? "output is not the mean while on" : "output is not the input while off", i);
            }
        }
        if (!std::equal(arena.begin(), arena.begin() + 2 * kMaxFrames, before.begin(), sameBits)) {
            fail("a block wrote into its inputs", frames);
        }
    }

    void editorCall()
    {
        static constexpr int32_t kEditorOpcodes[] = {effEditOpen,  effEditClose, effEditIdle,    effEditGetRect,
                                                     effEditDraw,  effEditMouse, effEditKey,     effEditTop,
                                                     effEditSleep, effIdle,      effKeysRequired};
        const int32_t opcode =
            kEditorOpcodes[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kEditorOpcodes) - 1)];
        ERect* rect = nullptr;
        void* ptr = opcode == effEditOpen ? parent : opcode == effEditGetRect ? static_cast<void*>(&rect) : nullptr;
        ++hostCalls;
        record->dispatcher(record, opcode, 0, 0, ptr, 0.0f);
    }

    // A message to the editor's latest window as the system would send it: clicks anywhere,
    // timer ticks and paints, to a window that may already be gone.
    void windowMessage()
    {
        static constexpr uint32_t kMessages[] = {kWmLeftButtonDown, kWmLeftButtonUp, kWmTimer,
                                                 kWmPaint,          kWmMouseMove,    kWmRightButtonDown};
        WindowHandle window = fake.latestWindow();
        if (window == nullptr || !windowIsLive()) {
            return;
        }
        const uint32_t message = kMessages[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kMessages) - 1)];
        const auto x = input.ConsumeIntegralInRange<int32_t>(-4, 260);
        const auto y = input.ConsumeIntegralInRange<int32_t>(-4, 100);
        const intptr_t position = static_cast<intptr_t>((static_cast<uint32_t>(y) & 0xFFFF) << 16) |
                                  static_cast<intptr_t>(static_cast<uint32_t>(x) & 0xFFFF);
        ++hostCalls;
        fake.send(window, message, message == kWmTimer ? 1 : 0, position);
    }

    // The editor has at most one window, the latest the fake made, while any window lives.
    bool windowIsLive() const
    {
        const auto live = fake.liveObjects();
        return std::any_of(live.begin(), live.end(),
                           [](const std::string& name) { return name.starts_with("window"); });
    }

    void checkWindowSystem()
    {
        if (!fake.faults().empty()) {
            std::fprintf(stderr, "%s\n", fake.faults().front().c_str());
            fail("window-system misuse", 0);
        }
        // The fake keeps every call it saw; only its faults and objects matter here.
        if (fake.calls().size() > 4096) {
            fake.clearCalls();
        }
    }

    FuzzedDataProvider& input;
    FakeWindowSystem fake;
    void* parent = nullptr;
    SwitchEffect* switchEffect = nullptr;
    AEffect* record = nullptr;
    bool running = false;
    bool nonFiniteSet = false;
};

} // namespace

} // namespace vela

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    vela::Session session(input);
    session.run();
    return 0;
}
