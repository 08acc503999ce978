// SPDX-License-Identifier: MIT
// The editor window on Windows: a borderless top-level window whose HWND is the parent handed
// to effEditOpen, a message loop, button messages sent to the editor's window under the point,
// and the window's pixels read back through a DIB section.

#include "host/editor_window.h"

#include <windows.h>

#include <string>

namespace vela {

struct EditorWindow::Native {
    HWND window = nullptr;
};

namespace {

constexpr const char* kClassName = "VelaHostEditorParent";
// A corner of its own, away from the desktop's top left where other windows open.
constexpr int kWindowX = 64;
constexpr int kWindowY = 64;

void registerParentClass(HINSTANCE instance)
{
    WNDCLASSA parentClass{};
    parentClass.lpfnWndProc = DefWindowProcA;
    parentClass.hInstance = instance;
    parentClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    parentClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    parentClass.lpszClassName = kClassName;
    // A second window of the program finds the class registered already.
    if (!RegisterClassA(&parentClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw EditorWindowError("cannot register the editor's parent window class (error " +
                                std::to_string(GetLastError()) + ")");
    }
}

// The innermost visible window under point, which the point is converted into.
HWND windowAt(HWND parent, POINT& point)
{
    HWND target = parent;
    for (;;) {
        HWND child = ChildWindowFromPointEx(target, point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
        if (!child || child == target) {
            return target;
        }
        MapWindowPoints(target, child, &point, 1);
        target = child;
    }
}

} // namespace

void EditorWindow::NativeDeleter::operator()(Native* state) const noexcept
{
    delete state;
}

void EditorWindow::connectNative()
{
    registerParentClass(GetModuleHandleA(nullptr));
    native.reset(new Native);
}

void EditorWindow::createNative()
{
    native->window = CreateWindowExA(WS_EX_TOPMOST, kClassName, "vela-host", WS_POPUP | WS_VISIBLE, kWindowX, kWindowY,
                                     windowWidth, windowHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!native->window) {
        const DWORD error = GetLastError();
        throw EditorWindowError("cannot create the editor's parent window (error " + std::to_string(error) + ")");
    }
    UpdateWindow(native->window);
}

void EditorWindow::destroyNative() noexcept
{
    if (!native) {
        return;
    }
    if (native->window) {
        DestroyWindow(native->window);
    }
    native.reset();
}

void* EditorWindow::nativeParent() const
{
    return native->window;
}

void EditorWindow::resizeNative()
{
    SetWindowPos(native->window, nullptr, 0, 0, windowWidth, windowHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool EditorWindow::raiseNativeIfCovered()
{
    // Always on top already (WS_EX_TOPMOST) unless another topmost window came later; telling
    // whether one covers this would cost more than the redraw a raise asks for.
    SetWindowPos(native->window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

void EditorWindow::handleNativeEvents()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void EditorWindow::sendNativeClick(int x, int y)
{
    POINT point{x, y};
    HWND target = windowAt(native->window, point);
    const LPARAM position = MAKELPARAM(point.x, point.y);
    // Sent, not posted: the editor's window procedure has run when each call returns, with
    // the position relative to that window as a real press delivers it.
    SendMessageA(target, WM_MOUSEMOVE, 0, position);
    SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, position);
    SendMessageA(target, WM_LBUTTONUP, 0, position);
}

EditorWindow::Image EditorWindow::captureNative()
{
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = windowWidth;
    format.bmiHeader.biHeight = -windowHeight; // rows from the top
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;

    HDC windowContext = GetDC(native->window);
    HDC memoryContext = CreateCompatibleDC(windowContext);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(windowContext, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const bool copied = section && memoryContext && [&] {
        HGDIOBJ previous = SelectObject(memoryContext, section);
        const BOOL done = BitBlt(memoryContext, 0, 0, windowWidth, windowHeight, windowContext, 0, 0, SRCCOPY);
        GdiFlush();
        SelectObject(memoryContext, previous);
        return done != 0;
    }();

    Image image;
    if (copied) {
        image.width = windowWidth;
        image.height = windowHeight;
        image.rgb.reserve(static_cast<std::size_t>(windowWidth) * windowHeight * 3);
        const auto* pixels = static_cast<const uint8_t*>(bits);
        for (std::size_t i = 0; i < static_cast<std::size_t>(windowWidth) * windowHeight; ++i) {
            image.rgb.push_back(pixels[i * 4 + 2]);
            image.rgb.push_back(pixels[i * 4 + 1]);
            image.rgb.push_back(pixels[i * 4]);
        }
    }
    if (section) {
        DeleteObject(section);
    }
    if (memoryContext) {
        DeleteDC(memoryContext);
    }
    ReleaseDC(native->window, windowContext);
    if (!copied) {
        throw EditorWindowError("cannot read the editor window's pixels (BitBlt failed)");
    }
    return image;
}

namespace {

BOOL CALLBACK countWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK countOwnTopLevel(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

} // namespace

int EditorWindow::countNativeChildren()
{
    int count = 0;
    EnumChildWindows(native->window, countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

int EditorWindow::countNativeTopLevels()
{
    int count = 0;
    EnumWindows(countOwnTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::map<std::string, int64_t> EditorWindow::countNativeObjects()
{
    return {{"GDI objects", GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)},
            {"USER objects", GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)}};
}

} // namespace vela
