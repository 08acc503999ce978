// SPDX-License-Identifier: MIT
// Opens and closes the button editor in a real Win32 parent window many times, through the
// effect's record, with every window-system call passed on to Windows and each handle noted.
// After every close each old handle is checked: the windows are gone, the memory contexts and
// bitmaps deleted, the timer dead and the window class unregistered. Exits 1 on any survivor.
//
//     vela_editor_handle_soak COUNT

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"

namespace vela {

namespace {

// Passes every call to the system's window functions and notes what it hands out.
class NotingWindowSystem : public WindowSystem {
public:
    std::vector<WindowHandle> windows;
    std::vector<ContextHandle> memoryContexts;
    std::vector<ObjectHandle> bitmaps;
    std::vector<std::pair<WindowHandle, uintptr_t>> timers;

    void registerClass(const char* className, WindowProcedure procedure, void* instance, CursorHandle cursor,
                       BrushHandle background) override
    {
        system.registerClass(className, procedure, instance, cursor, background);
    }
    void unregisterClass(const char* className, void* instance) override
    {
        system.unregisterClass(className, instance);
    }
    BrushHandle getSysColorBrush(int32_t colorIndex) override { return system.getSysColorBrush(colorIndex); }
    CursorHandle loadCursor(void* instance, int32_t cursorId) override { return system.loadCursor(instance, cursorId); }
    void setCursor(CursorHandle cursor) override { system.setCursor(cursor); }
    WindowHandle createWindowEx(const char* className, const char* title, uint32_t style, int32_t x, int32_t y,
                                int32_t width, int32_t height, WindowHandle parent, void* instance) override
    {
        WindowHandle window = system.createWindowEx(className, title, style, x, y, width, height, parent, instance);
        windows.push_back(window);
        return window;
    }
    void destroyWindow(WindowHandle window) override { system.destroyWindow(window); }
    void setWindowLong(WindowHandle window, int32_t index, intptr_t value) override
    {
        system.setWindowLong(window, index, value);
    }
    intptr_t getWindowLong(WindowHandle window, int32_t index) override { return system.getWindowLong(window, index); }
    intptr_t defWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        return system.defWindowProc(window, message, wParam, lParam);
    }
    ContextHandle getDC(WindowHandle window) override { return system.getDC(window); }
    void releaseDC(WindowHandle window, ContextHandle context) override { system.releaseDC(window, context); }
    ContextHandle createCompatibleDC(ContextHandle context) override
    {
        ContextHandle made = system.createCompatibleDC(context);
        memoryContexts.push_back(made);
        return made;
    }
    void deleteDC(ContextHandle context) override { system.deleteDC(context); }
    ObjectHandle loadImage(void* instance, int32_t resourceId) override
    {
        ObjectHandle bitmap = system.loadImage(instance, resourceId);
        bitmaps.push_back(bitmap);
        return bitmap;
    }
    ObjectHandle selectObject(ContextHandle context, ObjectHandle object) override
    {
        return system.selectObject(context, object);
    }
    void deleteObject(ObjectHandle object) override { system.deleteObject(object); }
    void bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height, ContextHandle source,
                int32_t sourceX, int32_t sourceY) override
    {
        system.bitBlt(destination, x, y, width, height, source, sourceX, sourceY);
    }
    uintptr_t setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds) override
    {
        const uintptr_t made = system.setTimer(window, timerId, milliseconds);
        timers.emplace_back(window, made);
        return made;
    }
    void killTimer(WindowHandle window, uintptr_t timerId) override { system.killTimer(window, timerId); }
    void setCapture(WindowHandle window) override { system.setCapture(window); }
    void releaseCapture() override { system.releaseCapture(); }
    void handlePendingEvents() override { system.handlePendingEvents(); }

    void forget()
    {
        windows.clear();
        memoryContexts.clear();
        bitmaps.clear();
        timers.clear();
    }

private:
    WindowSystem& system = WindowSystem::native();
};

intptr_t hostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == 1 ? 2400 : 0;
}

void pumpMessages(int milliseconds)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount64() < end);
}

// Every handle of the last open that is still alive, by kind.
std::vector<std::string> survivors(const NotingWindowSystem& noted)
{
    std::vector<std::string> alive;
    for (WindowHandle window : noted.windows) {
        if (window != nullptr && IsWindow(static_cast<HWND>(window))) {
            alive.push_back("window");
        }
    }
    for (ContextHandle context : noted.memoryContexts) {
        if (context != nullptr && GetObjectType(static_cast<HGDIOBJ>(context)) != 0) {
            alive.push_back("memory context");
        }
    }
    for (ObjectHandle bitmap : noted.bitmaps) {
        if (bitmap != nullptr && GetObjectType(static_cast<HGDIOBJ>(bitmap)) != 0) {
            alive.push_back("bitmap");
        }
    }
    for (const auto& timer : noted.timers) {
        if (timer.second != 0 && KillTimer(static_cast<HWND>(timer.first), timer.second)) {
            alive.push_back("timer");
        }
    }
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExA(static_cast<HINSTANCE>(moduleInstance), "VEclass", &windowClass)) {
        alive.push_back("window class");
    }
    return alive;
}

int soak(int count)
{
    moduleInstance = GetModuleHandleA(nullptr);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    if (parent == nullptr) {
        std::printf("editor handles: no parent window\n");
        return 1;
    }
    NotingWindowSystem noted;
    auto* effect = new SwitchEffect(hostCallback);
    (new ButtonEditor(*effect, noted))->reset();
    AEffect* record = effect->getAeffect();
    const HANDLE process = GetCurrentProcess();
    const DWORD gdiBefore = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD userBefore = GetGuiResources(process, GR_USEROBJECTS);
    int checked = 0;
    for (int i = 0; i < count; ++i) {
        if (record->dispatcher(record, effEditOpen, 0, 0, parent, 0.0f) != 1 || noted.windows.empty() ||
            noted.windows.back() == nullptr) {
            std::printf("editor handles: open %d failed\n", i);
            return 1;
        }
        pumpMessages(i % 10 == 0 ? 60 : 5);
        SendMessageA(static_cast<HWND>(noted.windows.back()), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(128, 40));
        record->dispatcher(record, effEditIdle, 0, 0, nullptr, 0.0f);
        record->dispatcher(record, effEditClose, 0, 0, nullptr, 0.0f);
        for (const std::string& alive : survivors(noted)) {
            std::printf("editor handles: a %s outlived close %d\n", alive.c_str(), i);
            return 1;
        }
        checked += static_cast<int>(noted.windows.size() + noted.memoryContexts.size() + noted.bitmaps.size() +
                                    noted.timers.size());
        noted.forget();
    }
    const DWORD gdiAfter = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD userAfter = GetGuiResources(process, GR_USEROBJECTS);
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    DestroyWindow(parent);
    std::printf("editor handles, %d open/close cycles: %d old handles checked, none alive; GDI objects %lu -> %lu, "
                "user objects %lu -> %lu\n",
                count, checked, gdiBefore, gdiAfter, userBefore, userAfter);
    return gdiAfter <= gdiBefore && userAfter <= userBefore ? 0 : 1;
}

} // namespace

} // namespace vela

int main(int argc, char** argv)
{
    return vela::soak(argc > 1 ? std::atoi(argv[1]) : 100);
}
