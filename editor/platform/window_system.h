// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// The window-system services the button editor needs, named after the Windows calls they
// stand for. The Win32 implementation passes each call straight through; the X11
// implementation gives the same effects with Xlib; tests use a recording fake.

#ifdef _WIN32
#define VELA_WINDOW_CALLBACK __stdcall
#else
#define VELA_WINDOW_CALLBACK
#endif

using WindowHandle = void*;
using ContextHandle = void*;
using ObjectHandle = void*;
using CursorHandle = void*;
using BrushHandle = void*;
using WindowProcedure = intptr_t(VELA_WINDOW_CALLBACK*)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                                        intptr_t lParam);

// The messages and constants the editor uses, with their Windows values. Spelled apart from the
// macros of <windows.h> (kWmPaint for WM_PAINT), so either header may come first.
enum WindowMessage : uint32_t {
    kWmPaint = 0x000F,
    kWmEraseBackground = 0x0014,
    kWmTimer = 0x0113,
    kWmMouseMove = 0x0200,
    kWmLeftButtonDown = 0x0201,
    kWmLeftButtonUp = 0x0202,
    kWmRightButtonDown = 0x0204,
    kWmRightButtonUp = 0x0205,
};

inline constexpr int32_t kColorButtonFace = 15;
inline constexpr int32_t kIdcArrow = 32512;
inline constexpr uint32_t kWsChildVisible = 0x50000000;
inline constexpr int32_t kGwlUserData = -21;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The implementation for the platform the module was built for.
    static WindowSystem& native();

    virtual void registerClass(const char* className, WindowProcedure procedure, void* instance, CursorHandle cursor,
                               BrushHandle background) = 0;
    virtual void unregisterClass(const char* className, void* instance) = 0;
    virtual BrushHandle getSysColorBrush(int32_t colorIndex) = 0;
    virtual CursorHandle loadCursor(void* instance, int32_t cursorId) = 0;
    virtual void setCursor(CursorHandle cursor) = 0;
    virtual WindowHandle createWindowEx(const char* className, const char* title, uint32_t style, int32_t x, int32_t y,
                                        int32_t width, int32_t height, WindowHandle parent, void* instance) = 0;
    virtual void destroyWindow(WindowHandle window) = 0;
    virtual void setWindowLong(WindowHandle window, int32_t index, intptr_t value) = 0;
    virtual intptr_t getWindowLong(WindowHandle window, int32_t index) = 0;
    virtual intptr_t defWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual ContextHandle getDC(WindowHandle window) = 0;
    virtual void releaseDC(WindowHandle window, ContextHandle context) = 0;
    virtual ContextHandle createCompatibleDC(ContextHandle context) = 0;
    virtual void deleteDC(ContextHandle context) = 0;
    // Loads a bitmap resource of the module at its stored size.
    virtual ObjectHandle loadImage(void* instance, int32_t resourceId) = 0;
    virtual ObjectHandle selectObject(ContextHandle context, ObjectHandle object) = 0;
    virtual void deleteObject(ObjectHandle object) = 0;
    // Copies a pixel rectangle unchanged (SRCCOPY).
    virtual void bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                        ContextHandle source, int32_t sourceX, int32_t sourceY) = 0;
    virtual uintptr_t setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds) = 0;
    virtual void killTimer(WindowHandle window, uintptr_t timerId) = 0;
    virtual void setCapture(WindowHandle window) = 0;
    virtual void releaseCapture() = 0;

    // Delivers pending events and due timer ticks to the window procedures. Windows delivers
    // them by itself; a Linux host gives the editor its time through the idle call instead.
    virtual void handlePendingEvents() = 0;
};

} // namespace vela
