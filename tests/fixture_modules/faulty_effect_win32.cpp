// SPDX-License-Identifier: MIT
// The faulty effect's platform part on Windows: a static control as the editor's child window,
// and Win32 threads.

#include <windows.h>

#include "tests/fixture_modules/faulty_effect.h"

namespace vela {

namespace {

struct Worker {
    void (*body)(void*);
    void* argument;
};

DWORD WINAPI runWorker(void* started)
{
    const Worker worker = *static_cast<Worker*>(started);
    delete static_cast<Worker*>(started);
    worker.body(worker.argument);
    return 0;
}

} // namespace

// German writes a decimal comma.
const char* const kOtherNumberLocale = "German";

bool openEditorWindow(EditorHandles& editor, void* parent, int width, int height)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_GRAYRECT, 0, 0, width, height,
                                  static_cast<HWND>(parent), nullptr, nullptr, nullptr);
    editor.window = reinterpret_cast<uintptr_t>(window);
    return window != nullptr;
}

void closeEditorWindow(EditorHandles& editor)
{
    if (!editor.window) {
        return;
    }
#if !VELA_FAULT_IS(window)
    DestroyWindow(reinterpret_cast<HWND>(editor.window));
#endif
    editor.window = 0;
}

void disconnectEditor(EditorHandles&) {}

void pauseMilliseconds(int milliseconds)
{
    Sleep(static_cast<DWORD>(milliseconds));
}

void startDetachedWorker(void (*body)(void*), void* argument)
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<const char*>(&startDetachedWorker), &self);
    auto* worker = new Worker{body, argument};
    if (HANDLE thread = CreateThread(nullptr, 0, runWorker, worker, 0, nullptr)) {
        CloseHandle(thread);
    } else {
        delete worker;
    }
}

} // namespace vela
