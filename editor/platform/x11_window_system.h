// SPDX-License-Identifier: MIT
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/platform/timer_queue.h"
#include "editor/platform/window_system.h"

namespace vela {

// The window system over Xlib. The host's parent window is an X window id cast to a pointer,
// and so is every window handle made here. The children live on a connection of the layer's
// own, opened with the first class registration and closed when the last class goes. A Linux
// host sends a plug-in no window messages: handlePendingEvents, called from the editor's idle,
// turns pending X events and due timers into the Windows messages the window procedures
// expect. Every other handle points to a record of this layer and is looked up before use, so
// a stale handle is ignored instead of followed. Everything runs on the host's UI thread.
class X11WindowSystem : public WindowSystem {
public:
    // What the layer holds at a moment.
    struct Usage {
        std::size_t classes;
        std::size_t windows;
        std::size_t timers;
        std::size_t memoryContexts;
        std::size_t bitmaps;
        bool operator==(const Usage&) const = default;
    };

    X11WindowSystem() = default;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;
    ~X11WindowSystem() override;

    void registerClass(const char* className, WindowProcedure procedure, void* instance, CursorHandle cursor,
                       BrushHandle background) override;
    void unregisterClass(const char* className, void* instance) override;
    BrushHandle getSysColorBrush(int32_t colorIndex) override;
    CursorHandle loadCursor(void* instance, int32_t cursorId) override;
    void setCursor(CursorHandle cursor) override;
    WindowHandle createWindowEx(const char* className, const char* title, uint32_t style, int32_t x, int32_t y,
                                int32_t width, int32_t height, WindowHandle parent, void* instance) override;
    void destroyWindow(WindowHandle window) override;
    void setWindowLong(WindowHandle window, int32_t index, intptr_t value) override;
    intptr_t getWindowLong(WindowHandle window, int32_t index) override;
    intptr_t defWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    ContextHandle getDC(WindowHandle window) override;
    void releaseDC(WindowHandle window, ContextHandle context) override;
    ContextHandle createCompatibleDC(ContextHandle context) override;
    void deleteDC(ContextHandle context) override;
    ObjectHandle loadImage(void* instance, int32_t resourceId) override;
    ObjectHandle selectObject(ContextHandle context, ObjectHandle object) override;
    void deleteObject(ObjectHandle object) override;
    void bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height, ContextHandle source,
                int32_t sourceX, int32_t sourceY) override;
    uintptr_t setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds) override;
    void killTimer(WindowHandle window, uintptr_t timerId) override;
    void setCapture(WindowHandle window) override;
    void releaseCapture() override;
    void handlePendingEvents() override;

    // The layer's connection; null while no class is registered or no display can be reached.
    Display* display() const { return connection; }
    Usage usage() const;

private:
    struct WindowClass {
        std::string name;
        WindowProcedure procedure;
        void* instance;
        CursorHandle cursor;
        BrushHandle background;
    };
    struct Context;
    // A bitmap's pixels live in a pixmap of the connection; None once the connection closed.
    struct Bitmap {
        Pixmap pixmap;
        int width;
        int height;
        Context* selectedInto;
    };
    // A drawing context: a window's, whose bitmap is null, or an off-screen one.
    struct Context {
        Bitmap* bitmap;
    };
    struct WindowRecord {
        ::Window id;
        const WindowClass* windowClass;
        intptr_t userData;
        int width;
        int height;
        Cursor shownCursor;
        Context context; // the one context getDC hands out for this window
    };
    // What a rectangle copy reads or writes.
    struct Surface {
        Drawable drawable;
        int width;
        int height;
    };
    struct CursorRecord {
        Cursor id;
    };
    struct Brush {
        unsigned char red;
        unsigned char green;
        unsigned char blue;
    };

    void openConnection();
    void closeConnection();
    WindowClass* findClass(const char* className, void* instance) const;
    WindowRecord* findWindow(::Window id) const;
    WindowRecord* findWindow(WindowHandle window) const;
    Context* findMemoryContext(ContextHandle context) const;
    WindowRecord* findWindowOfContext(ContextHandle context) const;
    Bitmap* findBitmap(ObjectHandle object);
    bool findSurface(ContextHandle context, Surface& surface) const;
    Cursor arrowCursorId();
    bool takeQueuedEvent(XEvent& event);
    void deliver(const XEvent& event);
    void deliverDueTimers();

    Display* connection = nullptr;
    GC copyContext = nullptr; // the graphics context of every rectangle copy
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::vector<std::unique_ptr<WindowRecord>> windows;
    std::vector<std::unique_ptr<Context>> memoryContexts;
    std::vector<std::unique_ptr<Bitmap>> bitmaps;
    TimerQueue timers;
    Bitmap stockBitmap{None, 1, 1, nullptr};
    CursorRecord arrowCursor{None};
    Brush buttonFace{240, 240, 240};
    ::Window captureWindow = None;
    ::Window pointerWindow = None; // the window of the latest pointer event
};

} // namespace vela
