// SPDX-License-Identifier: MIT
// Repeats one part of a module's life many times, as hosts and plug-in scanners do, and
// reports what is left behind: resident memory and heap in use before and after (after a
// warm-up), and for the editor the window-system resources. Exits 1 when anything grew.
//
//     vela_soak create-close MODULE COUNT   effects created and closed in one loaded module
//     vela_soak load-unload MODULE COUNT    module loaded, one effect created and closed, unloaded
//     vela_soak load-play-unload MODULE COUNT   the same with one block processed
//     vela_soak editor MODULE COUNT         editor opened in a real window, idled, clicked, closed
//     vela_soak life MODULE COUNT           the whole life: load, main, every operation once,
//                                           editor with clicks, effClose, unload (for valgrind)

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <malloc.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/erect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/editor_window.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "host/virtual_display.h"

namespace vela {

namespace {

constexpr int64_t kResidentSlack = 1 << 20;
// Heap that may come and go with the allocator's own bookkeeping: below what 100 cycles lose
// at 800 bytes a load, and far below one lost runtime pool (71 KiB).
constexpr int64_t kHeapSlack = 64 << 10;

struct Usage {
    int64_t residentBytes = 0;
    int64_t heapBytes = 0;
    // Window-system objects: X resources of every client, or this process's Windows objects.
    int64_t windowObjects = 0;
};

#ifdef _WIN32

int64_t residentBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<int64_t>(counters.WorkingSetSize);
}

// Bytes in busy blocks of every heap of the process.
int64_t heapBytes()
{
    std::vector<HANDLE> heaps(256);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    int64_t busy = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                busy += static_cast<int64_t>(entry.cbData);
            }
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

int64_t windowObjects()
{
    return static_cast<int64_t>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) +
           static_cast<int64_t>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
}

#else

int64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0;
    int64_t resident = 0;
    statm >> size >> resident;
    return resident * 4096;
}

int64_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

// Resources of every client of the server, counted with the X-Resource extension from a
// connection of its own (whose own few resources are the same at every count).
int64_t windowObjects()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return -1;
    }
    int eventBase = 0;
    int errorBase = 0;
    int64_t total = -1;
    if (XResQueryExtension(display, &eventBase, &errorBase)) {
        int clientCount = 0;
        XResClient* clients = nullptr;
        if (XResQueryClients(display, &clientCount, &clients) != 0) {
            total = 0;
            for (int i = 0; i < clientCount; ++i) {
                int typeCount = 0;
                XResType* types = nullptr;
                if (XResQueryClientResources(display, clients[i].resource_base, &typeCount, &types) != 0) {
                    for (int j = 0; j < typeCount; ++j) {
                        total += types[j].count;
                    }
                    XFree(types);
                }
            }
            XFree(clients);
        }
    }
    XCloseDisplay(display);
    return total;
}

#endif

Usage measure(bool withWindows)
{
    return {residentBytes(), heapBytes(), withWindows ? windowObjects() : 0};
}

// Every operation a host sends, once each, with arguments a correct host passes.
void callEveryOperation(HostedEffect& effect)
{
    for (EffectOpcode opcode :
         {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName, effGetErrorText, effGetEffectName,
          effGetVendorString, effGetProductString, effGetProgramNameIndexed}) {
        effect.dispatchString(opcode);
    }
    char name[] = "Soak";
    effect.dispatch(effSetProgramName, 0, 0, name);
    effect.dispatch(effSetProgram, 0, 0);
    effect.dispatch(effGetProgram);
    effect.dispatch(effGetVu);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect.dispatch(effSetBlockSize, 0, 512);
    ERect* rect = nullptr;
    effect.dispatch(effEditGetRect, 0, 0, &rect);
    for (EffectOpcode opcode : {effEditDraw,        effEditMouse,          effEditKey,
                                effEditTop,         effEditSleep,          effIdentify,
                                effProcessEvents,   effCanBeAutomated,     effGetNumProgramCategories,
                                effCopyProgram,     effConnectInput,       effConnectOutput,
                                effGetPlugCategory, effGetCurrentPosition, effGetDestinationBuffer,
                                effOfflineNotify,   effOfflinePrepare,     effOfflineRun,
                                effProcessVarIo,    effSetBypass,          effGetVendorVersion,
                                effVendorSpecific,  effGetTailSize,        effIdle,
                                effGetIcon,         effSetViewPosition,    effGetParameterProperties,
                                effKeysRequired,    effGetVstVersion}) {
        effect.dispatch(opcode);
    }
    void* chunk = nullptr;
    effect.dispatch(effGetChunk, 0, 0, &chunk);
    effect.dispatch(effSetChunk, 0, 0, nullptr);
    char text[] = "1";
    effect.dispatch(effString2Parameter, 0, 0, text);
    char word[] = "plugAsSend";
    effect.dispatch(effCanDo, 0, 0, word);
    VstPinProperties pin{};
    effect.dispatch(effGetInputProperties, 0, 0, &pin);
    effect.dispatch(effGetOutputProperties, 1, 0, &pin);
    char arrangement[64] = {};
    effect.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(arrangement), arrangement);
    effect.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 44100.0f);
    effect.setParameter(0, 1.0f);
    effect.getParameter(0);
    effect.dispatch(effMainsChanged, 0, 1);
    std::vector<float> left(256, 0.25f), right(256, -0.5f), outLeft(256), outRight(256);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect.process(inputs, outputs, 256);
    effect.processReplacing(inputs, outputs, 256);
    effect.dispatch(effMainsChanged, 0, 0);
}

// One block through processReplacing while running, as a host plays the effect.
void processOneBlock(HostedEffect& effect)
{
    effect.dispatch(effMainsChanged, 0, 1);
    std::vector<float> left(64, 0.25f), right(64, -0.5f), outLeft(64), outRight(64);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect.processReplacing(inputs, outputs, 64);
    effect.dispatch(effMainsChanged, 0, 0);
}

void showEditor(HostedEffect& effect, bool click)
{
    EditorWindow window(effect);
    window.pump(10);
    if (click) {
        window.click(128, 40);
    }
}

using Cycle = std::function<void()>;

int soak(const std::string& mode, int count, const Cycle& cycle, bool withWindows)
{
    const int warmUp = count / 10 > 10 ? count / 10 : 10;
    for (int i = 0; i < warmUp; ++i) {
        cycle();
    }
    const Usage before = measure(withWindows);
    for (int i = 0; i < count; ++i) {
        cycle();
    }
    const Usage after = measure(withWindows);
    std::printf("%s, %d cycles after %d to warm up: resident %lld -> %lld KiB, heap in use %lld -> %lld bytes",
                mode.c_str(), count, warmUp, static_cast<long long>(before.residentBytes / 1024),
                static_cast<long long>(after.residentBytes / 1024), static_cast<long long>(before.heapBytes),
                static_cast<long long>(after.heapBytes));
    if (withWindows) {
        std::printf(", window-system objects %lld -> %lld", static_cast<long long>(before.windowObjects),
                    static_cast<long long>(after.windowObjects));
    }
    std::printf("\n");
    bool flat = after.residentBytes - before.residentBytes <= kResidentSlack &&
                after.heapBytes - before.heapBytes <= kHeapSlack;
    if (withWindows) {
        flat = flat && before.windowObjects >= 0 && after.windowObjects <= before.windowObjects;
    }
    if (!flat) {
        std::printf("%s: grew\n", mode.c_str());
    }
    return flat ? 0 : 1;
}

// The editor modes hold the display for the whole run, as a host does: a server whose last
// client leaves resets and refuses the next window's connection for a moment.
int run(const std::string& mode, const std::string& path, int count)
{
    if (mode == "create-close") {
        auto module = PluginModule::load(path);
        return soak(
            mode, count, [&] { HostedEffect effect(module); }, false);
    }
    if (mode == "load-unload" || mode == "load-play-unload") {
        const bool play = mode == "load-play-unload";
        return soak(
            mode, count,
            [&] {
                auto module = PluginModule::load(path);
                HostedEffect effect(module);
                if (play) {
                    processOneBlock(effect);
                }
            },
            false);
    }
    if (mode == "editor") {
        const VirtualDisplay display;
        auto module = PluginModule::load(path);
        HostedEffect effect(module);
        effect.dispatch(effOpen);
        int opened = 0;
        return soak(
            mode, count, [&] { showEditor(effect, ++opened % 10 == 0); }, true);
    }
    if (mode == "life") {
        const VirtualDisplay display;
        for (int i = 0; i < count; ++i) {
            auto module = PluginModule::load(path);
            HostedEffect effect(module);
            if (effect.record() == nullptr) {
                std::printf("life: main answered no effect\n");
                return 1;
            }
            effect.dispatch(effOpen);
            callEveryOperation(effect);
            showEditor(effect, true);
            effect.close();
        }
        std::printf("life: %d whole lives\n", count);
        return 0;
    }
    std::fprintf(stderr, "vela_soak: unknown mode %s\n", mode.c_str());
    return 2;
}

} // namespace

} // namespace vela

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vela_soak create-close|load-unload|load-play-unload|editor|life MODULE COUNT\n");
        return 2;
    }
    try {
        return vela::run(argv[1], argv[2], std::atoi(argv[3]));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vela_soak: %s\n", error.what());
        return 1;
    }
}
