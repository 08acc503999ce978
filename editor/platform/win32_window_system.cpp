// SPDX-License-Identifier: MIT
// The window system on Windows: every operation is the USER32 or GDI32 call of its name.

#include <windows.h>

#include "editor/platform/window_system.h"

namespace vela {

namespace {

HWND asWindow(WindowHandle window)
{
    return static_cast<HWND>(window);
}

HDC asContext(ContextHandle context)
{
    return static_cast<HDC>(context);
}

HINSTANCE asInstance(void* instance)
{
    return static_cast<HINSTANCE>(instance);
}

class Win32WindowSystem final : public WindowSystem {
public:
    void registerClass(const char* className, WindowProcedure procedure, void* instance, CursorHandle cursor,
                       BrushHandle background) override
    {
        // Style, extra bytes, icon and menu stay 0.
        WNDCLASSA windowClass{};
        // The same signature, spelled with the portable integer and handle types.
        windowClass.lpfnWndProc = reinterpret_cast<WNDPROC>(procedure);
        windowClass.hInstance = asInstance(instance);
        windowClass.hCursor = static_cast<HCURSOR>(cursor);
        windowClass.hbrBackground = static_cast<HBRUSH>(background);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
    }

    void unregisterClass(const char* className, void* instance) override
    {
        UnregisterClassA(className, asInstance(instance));
    }

    BrushHandle getSysColorBrush(int32_t colorIndex) override { return GetSysColorBrush(colorIndex); }

    CursorHandle loadCursor(void* instance, int32_t cursorId) override
    {
        return LoadCursorA(asInstance(instance), MAKEINTRESOURCEA(cursorId));
    }

    void setCursor(CursorHandle cursor) override { SetCursor(static_cast<HCURSOR>(cursor)); }

    WindowHandle createWindowEx(const char* className, const char* title, uint32_t style, int32_t x, int32_t y,
                                int32_t width, int32_t height, WindowHandle parent, void* instance) override
    {
        return CreateWindowExA(0, className, title, style, x, y, width, height, asWindow(parent), nullptr,
                               asInstance(instance), nullptr);
    }

    void destroyWindow(WindowHandle window) override { DestroyWindow(asWindow(window)); }

    void setWindowLong(WindowHandle window, int32_t index, intptr_t value) override
    {
        SetWindowLongPtrA(asWindow(window), index, value);
    }

    intptr_t getWindowLong(WindowHandle window, int32_t index) override
    {
        return GetWindowLongPtrA(asWindow(window), index);
    }

    intptr_t defWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        return DefWindowProcA(asWindow(window), message, wParam, lParam);
    }

    ContextHandle getDC(WindowHandle window) override { return GetDC(asWindow(window)); }

    void releaseDC(WindowHandle window, ContextHandle context) override
    {
        ReleaseDC(asWindow(window), asContext(context));
    }

    ContextHandle createCompatibleDC(ContextHandle context) override { return CreateCompatibleDC(asContext(context)); }

    void deleteDC(ContextHandle context) override { DeleteDC(asContext(context)); }

    ObjectHandle loadImage(void* instance, int32_t resourceId) override
    {
        return LoadImageA(asInstance(instance), MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0);
    }

    ObjectHandle selectObject(ContextHandle context, ObjectHandle object) override
    {
        return SelectObject(asContext(context), object);
    }

    void deleteObject(ObjectHandle object) override { DeleteObject(object); }

    void bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height, ContextHandle source,
                int32_t sourceX, int32_t sourceY) override
    {
        BitBlt(asContext(destination), x, y, width, height, asContext(source), sourceX, sourceY, SRCCOPY);
    }

    uintptr_t setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds) override
    {
        return SetTimer(asWindow(window), timerId, milliseconds, nullptr);
    }

    void killTimer(WindowHandle window, uintptr_t timerId) override { KillTimer(asWindow(window), timerId); }

    void setCapture(WindowHandle window) override { SetCapture(asWindow(window)); }

    void releaseCapture() override { ReleaseCapture(); }

    // Windows delivers messages and timer ticks through the host's own message loop.
    void handlePendingEvents() override {}
};

Win32WindowSystem nativeSystem;

} // namespace

WindowSystem& WindowSystem::native()
{
    return nativeSystem;
}

} // namespace vela
