// SPDX-License-Identifier: MIT
#include "editor/platform/x11_window_system.h"

#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <strings.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <optional>

#include "editor/platform/bmp_image.h"
#include "editor/platform/copy_clipping.h"
#include "editor/platform/module_resources.h"
#include "editor/platform/x11_error_trap.h"

namespace vela {

namespace {

constexpr uint32_t kVisibleStyle = 0x10000000; // WS_VISIBLE
constexpr uint32_t kMinimumTimerPeriod = 10;   // milliseconds, as USER_TIMER_MINIMUM
constexpr long kWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
constexpr unsigned int kCaptureEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

::Window windowId(WindowHandle window)
{
    return static_cast<::Window>(reinterpret_cast<uintptr_t>(window));
}

WindowHandle windowHandle(::Window id)
{
    return reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(id));
}

// x in the low 16 bits, y in the high 16 bits, each as a signed 16-bit value.
intptr_t packPosition(int x, int y)
{
    const uint32_t low = static_cast<uint16_t>(x);
    const uint32_t high = static_cast<uint16_t>(y);
    return static_cast<intptr_t>(low | (high << 16));
}

uint32_t pointerMessage(unsigned int button, bool pressed)
{
    switch (button) {
    case Button1:
        return pressed ? kWmLeftButtonDown : kWmLeftButtonUp;
    case Button3:
        return pressed ? kWmRightButtonDown : kWmRightButtonUp;
    default:
        return 0;
    }
}

bool isTrueColor(const Visual* visual)
{
    return visual->c_class == TrueColor;
}

// An 8-bit colour channel placed in the bits of a TrueColor visual's channel mask.
unsigned long channel(unsigned long mask, unsigned int value)
{
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const unsigned long scaled =
        bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8) : static_cast<unsigned long>(value >> (8 - bits));
    return (scaled << shift) & mask;
}

unsigned long pixelOf(const Visual* visual, unsigned int red, unsigned int green, unsigned int blue)
{
    return channel(visual->red_mask, red) | channel(visual->green_mask, green) | channel(visual->blue_mask, blue);
}

// Made when the module loads, so that no editor's first open waits on a guard for it.
X11WindowSystem nativeSystem;

} // namespace

WindowSystem& WindowSystem::native()
{
    return nativeSystem;
}

X11WindowSystem::~X11WindowSystem()
{
    closeConnection();
}

void X11WindowSystem::registerClass(const char* className, WindowProcedure procedure, void* instance,
                                    CursorHandle cursor, BrushHandle background)
{
    // As on Windows, a second registration of a class fails and leaves the first in place.
    if (className == nullptr || procedure == nullptr || findClass(className, instance) != nullptr) {
        return;
    }
    classes.push_back(std::make_unique<WindowClass>(WindowClass{className, procedure, instance, cursor, background}));
    if (connection == nullptr) {
        openConnection();
    }
}

void X11WindowSystem::unregisterClass(const char* className, void* instance)
{
    const WindowClass* windowClass = className != nullptr ? findClass(className, instance) : nullptr;
    if (windowClass == nullptr) {
        return;
    }
    // As on Windows, a class whose windows still exist stays registered, and so the
    // connection that those windows live on stays open.
    for (const auto& window : windows) {
        if (window->windowClass == windowClass) {
            return;
        }
    }
    std::erase_if(classes, [windowClass](const auto& entry) { return entry.get() == windowClass; });
    if (classes.empty()) {
        closeConnection();
    }
}

BrushHandle X11WindowSystem::getSysColorBrush(int32_t colorIndex)
{
    return colorIndex == kColorButtonFace ? &buttonFace : nullptr;
}

CursorHandle X11WindowSystem::loadCursor(void* instance, int32_t cursorId)
{
    // The system's arrow; the module itself carries no cursors.
    return instance == nullptr && cursorId == kIdcArrow ? &arrowCursor : nullptr;
}

void X11WindowSystem::setCursor(CursorHandle cursor)
{
    // Windows shows the cursor wherever the pointer is; X keeps one per window, so the cursor
    // goes to the window holding the capture, else to the one the pointer was last seen over.
    WindowRecord* record = findWindow(captureWindow != None ? captureWindow : pointerWindow);
    if (record == nullptr || (cursor != nullptr && cursor != &arrowCursor)) {
        return;
    }
    X11ErrorTrap trap(connection);
    const Cursor shape = cursor != nullptr ? arrowCursorId() : None;
    if (record->shownCursor == shape) {
        return;
    }
    if (shape != None) {
        XDefineCursor(connection, record->id, shape);
    } else {
        XUndefineCursor(connection, record->id);
    }
    record->shownCursor = shape;
    XFlush(connection);
}

WindowHandle X11WindowSystem::createWindowEx(const char* className, const char* title, uint32_t style, int32_t x,
                                             int32_t y, int32_t width, int32_t height, WindowHandle parent,
                                             void* instance)
{
    const WindowClass* windowClass = className != nullptr ? findClass(className, instance) : nullptr;
    if (windowClass == nullptr || connection == nullptr || parent == nullptr) {
        return nullptr;
    }
    X11ErrorTrap trap(connection);
    const int screen = DefaultScreen(connection);
    Visual* visual = DefaultVisual(connection, screen);

    // The child takes the screen's default visual whatever the parent's, so that it matches
    // the pixmaps it is drawn from; a visual of its own needs a colormap and border of its own.
    XSetWindowAttributes attributes{};
    unsigned long valueMask = CWEventMask | CWColormap | CWBorderPixel;
    attributes.event_mask = kWindowEvents;
    attributes.colormap = DefaultColormap(connection, screen);
    attributes.border_pixel = 0;
    // The class brush becomes the background the server erases exposed parts with.
    if (windowClass->background == &buttonFace && isTrueColor(visual)) {
        valueMask |= CWBackPixel;
        attributes.background_pixel = pixelOf(visual, buttonFace.red, buttonFace.green, buttonFace.blue);
    } else {
        valueMask |= CWBackPixmap;
        attributes.background_pixmap = None;
    }
    if (windowClass->cursor == &arrowCursor) {
        valueMask |= CWCursor;
        attributes.cursor = arrowCursorId();
    }
    // Windows allows an empty window; X does not.
    const int shownWidth = std::max(width, 0);
    const int shownHeight = std::max(height, 0);
    const ::Window id =
        XCreateWindow(connection, windowId(parent), x, y, static_cast<unsigned int>(std::max(shownWidth, 1)),
                      static_cast<unsigned int>(std::max(shownHeight, 1)), 0, DefaultDepth(connection, screen),
                      InputOutput, visual, valueMask, &attributes);
    if (title != nullptr) {
        XStoreName(connection, id, title);
    }
    if ((style & kVisibleStyle) != 0) {
        XMapWindow(connection, id);
    }
    // A bad parent id shows only in the error that comes back.
    XSync(connection, False);
    if (trap.caught()) {
        XDestroyWindow(connection, id);
        XSync(connection, False);
        return nullptr;
    }
    windows.push_back(std::make_unique<WindowRecord>(
        WindowRecord{id, windowClass, 0, shownWidth, shownHeight, attributes.cursor, {nullptr}}));
    return windowHandle(id);
}

void X11WindowSystem::destroyWindow(WindowHandle window)
{
    const WindowRecord* record = findWindow(window);
    if (record == nullptr) {
        return;
    }
    const ::Window id = record->id;
    timers.killAll(window);
    // The server ends a pointer grab whose window goes.
    if (captureWindow == id) {
        captureWindow = None;
    }
    if (pointerWindow == id) {
        pointerWindow = None;
    }
    std::erase_if(windows, [id](const auto& entry) { return entry->id == id; });
    X11ErrorTrap trap(connection);
    XDestroyWindow(connection, id);
    XFlush(connection);
}

void X11WindowSystem::setWindowLong(WindowHandle window, int32_t index, intptr_t value)
{
    WindowRecord* record = findWindow(window);
    if (record != nullptr && index == kGwlUserData) {
        record->userData = value;
    }
}

intptr_t X11WindowSystem::getWindowLong(WindowHandle window, int32_t index)
{
    const WindowRecord* record = findWindow(window);
    return record != nullptr && index == kGwlUserData ? record->userData : 0;
}

intptr_t X11WindowSystem::defWindowProc(WindowHandle, uint32_t, uintptr_t, intptr_t)
{
    // Nothing is left to do by default: the server erases the background itself.
    return 0;
}

ContextHandle X11WindowSystem::getDC(WindowHandle window)
{
    WindowRecord* record = findWindow(window);
    return record != nullptr ? &record->context : nullptr;
}

void X11WindowSystem::releaseDC(WindowHandle window, ContextHandle context)
{
    // Drawing ends here, so what was drawn goes to the server now.
    const WindowRecord* record = findWindow(window);
    if (record != nullptr && context == &record->context) {
        X11ErrorTrap trap(connection);
        XFlush(connection);
    }
}

ContextHandle X11WindowSystem::createCompatibleDC(ContextHandle context)
{
    if (context != nullptr && findMemoryContext(context) == nullptr && findWindowOfContext(context) == nullptr) {
        return nullptr;
    }
    // Every window and pixmap of the layer has the screen's default depth, so one kind of
    // off-screen context suits them all. As on Windows it starts with a 1x1 stock bitmap.
    memoryContexts.push_back(std::make_unique<Context>(Context{&stockBitmap}));
    return memoryContexts.back().get();
}

void X11WindowSystem::deleteDC(ContextHandle context)
{
    const Context* memoryContext = findMemoryContext(context);
    if (memoryContext == nullptr) {
        return;
    }
    if (memoryContext->bitmap != &stockBitmap) {
        memoryContext->bitmap->selectedInto = nullptr;
    }
    std::erase_if(memoryContexts, [memoryContext](const auto& entry) { return entry.get() == memoryContext; });
}

ObjectHandle X11WindowSystem::loadImage(void*, int32_t resourceId)
{
    const ModuleResource* resource = findModuleResource(resourceId);
    if (resource == nullptr || connection == nullptr) {
        return nullptr;
    }
    const std::optional<BmpImage> sheet = BmpImage::decode(resource->bytes, resource->size);
    const int screen = DefaultScreen(connection);
    Visual* visual = DefaultVisual(connection, screen);
    if (!sheet || !isTrueColor(visual)) {
        return nullptr;
    }
    X11ErrorTrap trap(connection);
    const auto width = static_cast<unsigned int>(sheet->width());
    const auto height = static_cast<unsigned int>(sheet->height());
    const auto depth = static_cast<unsigned int>(DefaultDepth(connection, screen));
    XImage* image = XCreateImage(connection, visual, depth, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (image == nullptr) {
        return nullptr;
    }
    std::vector<char> pixels(static_cast<std::size_t>(image->bytes_per_line) * height);
    image->data = pixels.data();
    for (int y = 0; y < sheet->height(); ++y) {
        for (int x = 0; x < sheet->width(); ++x) {
            const BmpImage::Rgb rgb = sheet->pixel(x, y);
            XPutPixel(image, x, y, pixelOf(visual, rgb.red, rgb.green, rgb.blue));
        }
    }
    const Pixmap pixmap = XCreatePixmap(connection, DefaultRootWindow(connection), width, height, depth);
    XPutImage(connection, pixmap, copyContext, image, 0, 0, 0, 0, width, height);
    image->data = nullptr; // the vector owns the pixels
    XDestroyImage(image);
    bitmaps.push_back(std::make_unique<Bitmap>(Bitmap{pixmap, sheet->width(), sheet->height(), nullptr}));
    return bitmaps.back().get();
}

ObjectHandle X11WindowSystem::selectObject(ContextHandle context, ObjectHandle object)
{
    Context* memoryContext = findMemoryContext(context);
    Bitmap* bitmap = findBitmap(object);
    if (memoryContext == nullptr || bitmap == nullptr) {
        return nullptr;
    }
    // As on Windows, a bitmap is selected into one context at a time; the stock one into any.
    if (bitmap != &stockBitmap && bitmap->selectedInto != nullptr && bitmap->selectedInto != memoryContext) {
        return nullptr;
    }
    Bitmap* previous = memoryContext->bitmap;
    if (previous != &stockBitmap) {
        previous->selectedInto = nullptr;
    }
    memoryContext->bitmap = bitmap;
    if (bitmap != &stockBitmap) {
        bitmap->selectedInto = memoryContext;
    }
    return previous;
}

void X11WindowSystem::deleteObject(ObjectHandle object)
{
    // As on Windows, the stock bitmap and the system brush are never deleted, and a bitmap
    // still selected into a context is kept.
    const Bitmap* bitmap = findBitmap(object);
    if (bitmap == nullptr || bitmap == &stockBitmap || bitmap->selectedInto != nullptr) {
        return;
    }
    if (bitmap->pixmap != None) {
        X11ErrorTrap trap(connection);
        XFreePixmap(connection, bitmap->pixmap);
    }
    std::erase_if(bitmaps, [bitmap](const auto& entry) { return entry.get() == bitmap; });
}

void X11WindowSystem::bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                             ContextHandle source, int32_t sourceX, int32_t sourceY)
{
    Surface to{};
    Surface from{};
    if (!findSurface(destination, to) || !findSurface(source, from)) {
        return;
    }
    // Clipped here rather than by the server, which fills what lies outside the source
    // with the window's background instead of leaving it alone.
    CopyArea area{x, y, sourceX, sourceY, width, height};
    if (!clipCopy(area, to.width, to.height, from.width, from.height)) {
        return;
    }
    X11ErrorTrap trap(connection);
    XCopyArea(connection, from.drawable, to.drawable, copyContext, static_cast<int>(area.fromX),
              static_cast<int>(area.fromY), static_cast<unsigned int>(area.width),
              static_cast<unsigned int>(area.height), static_cast<int>(area.toX), static_cast<int>(area.toY));
}

uintptr_t X11WindowSystem::setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds)
{
    if (findWindow(window) == nullptr) {
        return 0;
    }
    const auto period = std::chrono::milliseconds(std::max(milliseconds, kMinimumTimerPeriod));
    timers.set(window, timerId, period, TimerQueue::Clock::now());
    return timerId;
}

void X11WindowSystem::killTimer(WindowHandle window, uintptr_t timerId)
{
    timers.kill(window, timerId);
}

void X11WindowSystem::setCapture(WindowHandle window)
{
    const WindowRecord* record = findWindow(window);
    if (record == nullptr) {
        return;
    }
    // With owner events off, every pointer event goes to the grabbing window, relative to it.
    X11ErrorTrap trap(connection);
    if (XGrabPointer(connection, record->id, False, kCaptureEvents, GrabModeAsync, GrabModeAsync, None, None,
                     CurrentTime) == GrabSuccess) {
        captureWindow = record->id;
    }
}

void X11WindowSystem::releaseCapture()
{
    if (captureWindow == None) {
        return;
    }
    captureWindow = None;
    // Waits for the server, so that the capture has ended when the call returns, as on Windows.
    X11ErrorTrap trap(connection);
    XUngrabPointer(connection, CurrentTime);
    XSync(connection, False);
}

void X11WindowSystem::handlePendingEvents()
{
    if (connection == nullptr) {
        return;
    }
    int pending = 0;
    {
        X11ErrorTrap trap(connection);
        pending = XPending(connection);
    }
    // Only what is pending now, so that a stream of pointer moves cannot hold the host;
    // a procedure may also have taken events, closed the connection or opened a new one.
    XEvent event;
    for (; pending > 0 && takeQueuedEvent(event); --pending) {
        deliver(event);
    }
    deliverDueTimers();
}

X11WindowSystem::Usage X11WindowSystem::usage() const
{
    return {classes.size(), windows.size(), timers.size(), memoryContexts.size(), bitmaps.size()};
}

void X11WindowSystem::openConnection()
{
    connection = XOpenDisplay(nullptr);
    if (connection == nullptr) {
        return;
    }
    X11ErrorTrap trap(connection);
    // Copies into windows would otherwise ask for an event after each one.
    XGCValues values{};
    values.graphics_exposures = False;
    copyContext = XCreateGC(connection, DefaultRootWindow(connection), GCGraphicsExposures, &values);
}

void X11WindowSystem::closeConnection()
{
    if (connection == nullptr) {
        return;
    }
    {
        X11ErrorTrap trap(connection);
        XFreeGC(connection, copyContext);
        XCloseDisplay(connection);
    }
    // The server freed the pixmaps and the cursor with the connection; bitmaps still held
    // stay valid handles without pixels.
    for (const auto& bitmap : bitmaps) {
        bitmap->pixmap = None;
    }
    arrowCursor.id = None;
    connection = nullptr;
    copyContext = nullptr;
    captureWindow = None;
    pointerWindow = None;
}

X11WindowSystem::WindowClass* X11WindowSystem::findClass(const char* className, void* instance) const
{
    // Class names are compared without regard to case, as on Windows.
    for (const auto& windowClass : classes) {
        if (windowClass->instance == instance && strcasecmp(windowClass->name.c_str(), className) == 0) {
            return windowClass.get();
        }
    }
    return nullptr;
}

X11WindowSystem::WindowRecord* X11WindowSystem::findWindow(::Window id) const
{
    for (const auto& window : windows) {
        if (window->id == id) {
            return window.get();
        }
    }
    return nullptr;
}

X11WindowSystem::WindowRecord* X11WindowSystem::findWindow(WindowHandle window) const
{
    return window != nullptr ? findWindow(windowId(window)) : nullptr;
}

X11WindowSystem::Context* X11WindowSystem::findMemoryContext(ContextHandle context) const
{
    for (const auto& memoryContext : memoryContexts) {
        if (memoryContext.get() == context) {
            return memoryContext.get();
        }
    }
    return nullptr;
}

X11WindowSystem::WindowRecord* X11WindowSystem::findWindowOfContext(ContextHandle context) const
{
    for (const auto& window : windows) {
        if (&window->context == context) {
            return window.get();
        }
    }
    return nullptr;
}

X11WindowSystem::Bitmap* X11WindowSystem::findBitmap(ObjectHandle object)
{
    if (object == &stockBitmap) {
        return &stockBitmap;
    }
    for (const auto& bitmap : bitmaps) {
        if (bitmap.get() == object) {
            return bitmap.get();
        }
    }
    return nullptr;
}

bool X11WindowSystem::findSurface(ContextHandle context, Surface& surface) const
{
    if (context == nullptr || connection == nullptr) {
        return false;
    }
    if (const Context* memoryContext = findMemoryContext(context)) {
        const Bitmap* bitmap = memoryContext->bitmap;
        surface = {bitmap->pixmap, bitmap->width, bitmap->height};
        return bitmap->pixmap != None; // the stock bitmap has no pixels to copy
    }
    if (const WindowRecord* window = findWindowOfContext(context)) {
        surface = {window->id, window->width, window->height};
        return true;
    }
    return false;
}

Cursor X11WindowSystem::arrowCursorId()
{
    if (arrowCursor.id == None) {
        arrowCursor.id = XCreateFontCursor(connection, XC_left_ptr);
    }
    return arrowCursor.id;
}

bool X11WindowSystem::takeQueuedEvent(XEvent& event)
{
    // XNextEvent would wait for an event if none were queued.
    if (connection == nullptr || XQLength(connection) == 0) {
        return false;
    }
    X11ErrorTrap trap(connection);
    XNextEvent(connection, &event);
    return true;
}

void X11WindowSystem::deliver(const XEvent& event)
{
    const WindowRecord* record = findWindow(event.xany.window);
    if (record == nullptr) {
        return;
    }
    uint32_t message = 0;
    intptr_t position = 0;
    switch (event.type) {
    case Expose:
        // One paint for a run of exposures, as Windows sends one for its update region.
        if (event.xexpose.count != 0) {
            return;
        }
        message = kWmPaint;
        break;
    case ButtonPress:
    case ButtonRelease:
        message = pointerMessage(event.xbutton.button, event.type == ButtonPress);
        position = packPosition(event.xbutton.x, event.xbutton.y);
        pointerWindow = record->id;
        break;
    case MotionNotify:
        message = kWmMouseMove;
        position = packPosition(event.xmotion.x, event.xmotion.y);
        pointerWindow = record->id;
        break;
    default:
        break;
    }
    if (message != 0) {
        // The record may be gone when the procedure returns.
        record->windowClass->procedure(windowHandle(record->id), message, 0, position);
    }
}

void X11WindowSystem::deliverDueTimers()
{
    // Measured against one moment, so that a slow procedure cannot keep this loop going.
    const auto now = TimerQueue::Clock::now();
    while (const std::optional<TimerQueue::Tick> tick = timers.takeDue(now)) {
        if (const WindowRecord* record = findWindow(tick->window)) {
            record->windowClass->procedure(tick->window, kWmTimer, tick->id, 0);
        }
    }
}

} // namespace vela
