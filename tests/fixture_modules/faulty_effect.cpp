// SPDX-License-Identifier: MIT
// A small, well-behaved stereo gain effect with parameters, programs, chunks and an editor (its
// window from faulty_effect_x11.cpp or faulty_effect_win32.cpp), built once without faults and
// once for each fault the check must find. VELA_FAULT picks it:
//   none        no fault
//   allocates   allocates memory in processReplacing
//   nan         writes NaN into the last frames of blocks whose size is not a multiple of 4
//   window      leaves its editor window behind after effEditClose
//   pixmap      (X11) keeps its connection from one opening to the next and a pixmap of every one
//   random      adds noise from a generator all instances share: not deterministic
//   chunk       trusts the count in a chunk, overruns its buffer and crashes on a random one
//   race        keeps its gain in a plain float that two threads use at once
//   locale      switches the process's number format when its editor opens
//   noentry     exports its entry under a name no host looks for
//   replacing   offers processReplacing without effFlagsCanReplacing, and no process
//   unresolved  (Linux) calls a function no library defines, on an opcode hosts seldom send
//   slow        makes effClose wait a second for a worker that effOpen never started
//   opcode      crashes when asked for its vendor version
//   denormal    a gate whose closed output is a denormal floor instead of zero
//   parameter   ignores every value set for its second parameter
//   suspend     sizes its state for the first rate only; a later rate breaks the output
//   programs    copies program names from a fixed-width field, without the terminator
//   locks       (Linux) takes a mutex in processReplacing
//   syscall     writes a (empty) trace line to stderr in processReplacing
//   late        a worker that calls the host after effClose
//   bigblock    writes NaN past the block size it was given
//   restore     answers effSetChunk as done but keeps the values it had
//   torn        passes through infinity on the way to each new parameter value

#include <atomic>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "frame/aeffect.h"
#include "frame/erect.h"
#include "frame/opcodes.h"
#include "tests/fixture_modules/faulty_effect.h"

#if VELA_FAULT_IS(locks)
// The mutex of the C library, whose functions the check watches on Linux.
#include <pthread.h>
#endif

namespace vela {
namespace {

constexpr int32_t kParameterCount = 2;
constexpr int32_t kProgramCount = 2;
constexpr uint32_t kChunkMagic = 0x46784368;
constexpr int16_t kEditorWidth = 64;
constexpr int16_t kEditorHeight = 32;

struct Program {
    const char* name;
    float values[kParameterCount];
};

constexpr Program kPrograms[kProgramCount] = {{"Quiet", {0.25f, 1.0f}}, {"Loud", {1.0f, 0.5f}}};

struct Chunk {
    uint32_t magic;
    uint32_t count;
    float values[kParameterCount];
};

#if VELA_FAULT_IS(race)
using Value = float;
#else
using Value = std::atomic<float>;
#endif

#if VELA_FAULT_IS(random)
uint32_t sharedNoise = 1;
#endif

#if VELA_FAULT_IS(allocates)
float* volatile scratch = nullptr;
#endif

#if VELA_FAULT_IS(locks)
pthread_mutex_t stateLock = PTHREAD_MUTEX_INITIALIZER;
#endif

#if VELA_FAULT_IS(syscall)
// Volatile, so that the compiler cannot drop the write of nothing.
volatile std::size_t traceLength = 0;
#endif

#if VELA_FAULT_IS(unresolved)
extern "C" void velaOfflineRender();
#endif

struct Effect {
    AEffect record{};
    audioMasterCallback host = nullptr;
    Value values[kParameterCount];
    int32_t program = 0;
    Chunk chunk{};
    ERect rect{0, 0, kEditorHeight, kEditorWidth};
    EditorHandles editor;
    float sampleRate = 0.0f;
    int32_t blockSize = 0;
    bool opened = false;
    bool stale = false;
};

Effect& effectOf(AEffect* record)
{
    return *static_cast<Effect*>(record->object);
}

void loadProgram(Effect& effect, int32_t program)
{
    effect.program = program;
    for (int32_t index = 0; index < kParameterCount; ++index) {
        effect.values[index] = kPrograms[program].values[index];
    }
}

void copyText(void* ptr, const char* text)
{
    std::snprintf(static_cast<char*>(ptr), 24, "%s", text);
}

intptr_t openEditor(Effect& effect, void* parent)
{
#if VELA_FAULT_IS(locale)
    std::setlocale(LC_NUMERIC, kOtherNumberLocale);
#endif
    return openEditorWindow(effect.editor, parent, kEditorWidth, kEditorHeight) ? 1 : 0;
}

intptr_t setChunk(Effect& effect, const void* ptr, intptr_t size)
{
    float values[kParameterCount];
#if VELA_FAULT_IS(chunk)
    // Believes the count the chunk gives, whatever its size.
    const Chunk* chunk = static_cast<const Chunk*>(ptr);
    for (uint32_t index = 0; index < chunk->count; ++index) {
        values[index] = chunk->values[index];
    }
    (void)size;
#else
    Chunk chunk;
    if (size != static_cast<intptr_t>(sizeof chunk)) {
        return 0;
    }
    std::memcpy(&chunk, ptr, sizeof chunk);
    if (chunk.magic != kChunkMagic || chunk.count != kParameterCount) {
        return 0;
    }
    std::memcpy(values, chunk.values, sizeof values);
#endif
    for (int32_t index = 0; index < kParameterCount; ++index) {
        if (!(values[index] >= 0.0f && values[index] <= 1.0f)) {
            return 0;
        }
    }
#if VELA_FAULT_IS(restore)
    // Checked, answered as taken, and never applied.
    return 1;
#endif
    for (int32_t index = 0; index < kParameterCount; ++index) {
        effect.values[index] = values[index];
    }
    return 1;
}

#if VELA_FAULT_IS(late)
void callHostLater(void* host)
{
    pauseMilliseconds(20);
    reinterpret_cast<audioMasterCallback>(host)(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
}
#endif

intptr_t dispatch(AEffect* record, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    Effect& effect = effectOf(record);
    switch (opcode) {
    case effOpen:
        effect.opened = true;
        return 0;
    case effClose:
#if VELA_FAULT_IS(slow)
        if (!effect.opened) {
            pauseMilliseconds(1100);
        }
#endif
#if VELA_FAULT_IS(late)
        startDetachedWorker(callHostLater, reinterpret_cast<void*>(effect.host));
#endif
        closeEditorWindow(effect.editor);
        disconnectEditor(effect.editor);
        delete &effect;
        return 1;
    case effSetSampleRate:
#if VELA_FAULT_IS(suspend)
        effect.stale = effect.stale || (effect.sampleRate != 0.0f && effect.sampleRate != opt);
#endif
        effect.sampleRate = opt;
        return 0;
    case effSetBlockSize:
        effect.blockSize = static_cast<int32_t>(value);
        return 0;
#if VELA_FAULT_IS(opcode)
    case effGetVendorVersion:
        return *static_cast<volatile int*>(nullptr);
#endif
#if VELA_FAULT_IS(unresolved)
    case effOfflineRun:
        velaOfflineRender();
        return 0;
#endif
    case effSetProgram:
        if (value >= 0 && value < kProgramCount) {
            loadProgram(effect, static_cast<int32_t>(value));
        }
        return 0;
    case effGetProgram:
        return effect.program;
    case effGetProgramName:
        copyText(ptr, kPrograms[effect.program].name);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= kProgramCount) {
            return 0;
        }
#if VELA_FAULT_IS(programs)
        // The whole space-padded field, terminator and all left out.
        std::memset(ptr, ' ', 256);
        std::memcpy(ptr, kPrograms[index].name, std::strlen(kPrograms[index].name));
#else
        copyText(ptr, kPrograms[index].name);
#endif
        return 1;
    case effGetParamLabel:
        copyText(ptr, "");
        return 0;
    case effGetParamName:
        copyText(ptr, index == 0 ? "Gain" : "Mix");
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < kParameterCount) {
            std::snprintf(static_cast<char*>(ptr), 8, "%.3f", static_cast<double>(effect.values[index]));
        }
        return 0;
    case effEditGetRect:
        *static_cast<ERect**>(ptr) = &effect.rect;
        return 1;
    case effEditOpen:
        return openEditor(effect, ptr);
    case effEditClose:
        closeEditorWindow(effect.editor);
        return 1;
    case effGetChunk:
        effect.chunk = {kChunkMagic, kParameterCount, {effect.values[0], effect.values[1]}};
        *static_cast<void**>(ptr) = &effect.chunk;
        return sizeof effect.chunk;
    case effSetChunk:
        return ptr ? setChunk(effect, ptr, value) : 0;
    default:
        return 0;
    }
}

void processReplacing(AEffect* record, float** inputs, float** outputs, int32_t frames)
{
    Effect& effect = effectOf(record);
    // As effects that follow the transport do; what the host does to answer is not the effect's.
    effect.host(record, audioMasterGetTime, 0, 0, nullptr, 0.0f);
    const float gain = effect.values[0];
    const float mix = effect.values[1];
#if VELA_FAULT_IS(allocates)
    scratch = new float[static_cast<std::size_t>(frames) + 1];
    delete[] scratch;
#endif
#if VELA_FAULT_IS(locks)
    pthread_mutex_lock(&stateLock);
    pthread_mutex_unlock(&stateLock);
#endif
#if VELA_FAULT_IS(syscall)
    std::fwrite("trace\n", 1, traceLength, stderr);
#endif
#if VELA_FAULT_IS(denormal)
    float loudest = 0.0f;
    for (int channel = 0; channel < 2; ++channel) {
        for (int32_t frame = 0; frame < frames; ++frame) {
            loudest = std::fmax(loudest, std::fabs(inputs[channel][frame]));
        }
    }
#endif
    for (int channel = 0; channel < 2; ++channel) {
        for (int32_t frame = 0; frame < frames; ++frame) {
            const float in = inputs[channel][frame];
            float out = in * (1.0f - mix) + in * gain * mix;
#if VELA_FAULT_IS(random)
            sharedNoise = sharedNoise * 1664525u + 1013904223u;
            out += static_cast<float>(sharedNoise >> 8) * 1e-10f;
#endif
#if VELA_FAULT_IS(nan)
            // The tail after the last group of four is left to a loop that was never written.
            if (frame >= frames - frames % 4) {
                out = std::numeric_limits<float>::quiet_NaN();
            }
#endif
#if VELA_FAULT_IS(denormal)
            if (loudest < 1e-15f) {
                out = 1e-39f;
            }
#endif
#if VELA_FAULT_IS(suspend)
            out = effect.stale ? std::numeric_limits<float>::quiet_NaN() : out;
#endif
#if VELA_FAULT_IS(bigblock)
            out = frame >= effect.blockSize ? std::numeric_limits<float>::quiet_NaN() : out;
#endif
            outputs[channel][frame] = out;
        }
    }
}

// Adds what processReplacing would write, a piece at a time through buffers on the stack.
void process(AEffect* record, float** inputs, float** outputs, int32_t frames)
{
    constexpr int32_t kPiece = 256;
    float left[kPiece];
    float right[kPiece];
    for (int32_t start = 0; start < frames; start += kPiece) {
        const int32_t count = frames - start < kPiece ? frames - start : kPiece;
        float* pieceInputs[2] = {inputs[0] + start, inputs[1] + start};
        float* replaced[2] = {left, right};
        processReplacing(record, pieceInputs, replaced, count);
        for (int32_t frame = 0; frame < count; ++frame) {
            outputs[0][start + frame] += left[frame];
            outputs[1][start + frame] += right[frame];
        }
    }
}

void setParameter(AEffect* record, int32_t index, float value)
{
#if VELA_FAULT_IS(parameter)
    if (index == 1) {
        return;
    }
#endif
    if (index >= 0 && index < kParameterCount) {
#if VELA_FAULT_IS(torn)
        // Works the new value out in place, slowly, where the audio thread reads it meanwhile.
        effectOf(record).values[index] = std::numeric_limits<float>::infinity();
        pauseMilliseconds(1);
#endif
        effectOf(record).values[index] = value;
    }
}

float getParameter(AEffect* record, int32_t index)
{
    return index >= 0 && index < kParameterCount ? static_cast<float>(effectOf(record).values[index]) : 0.0f;
}

} // namespace
} // namespace vela

using namespace vela;

#if VELA_FAULT_IS(noentry)
#define VELA_ENTRY VSTPluginEntry
#else
#define VELA_ENTRY VSTPluginMain
#endif

extern "C" __attribute__((visibility("default"))) AEffect* VELA_ENTRY(audioMasterCallback host)
{
    Effect* effect = new Effect;
    effect->host = host;
    AEffect& record = effect->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.process = VELA_FAULT_IS(replacing) ? nullptr : process;
    record.processReplacing = processReplacing;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numPrograms = kProgramCount;
    record.numParams = kParameterCount;
    record.numInputs = 2;
    record.numOutputs = 2;
#if VELA_FAULT_IS(replacing)
    record.flags = effFlagsHasEditor | effFlagsProgramChunks;
#else
    record.flags = effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks;
#endif
    record.object = effect;
    loadProgram(*effect, 0);
    return &record;
}
