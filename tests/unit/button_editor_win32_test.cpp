// SPDX-License-Identifier: MIT
// The button editor in real Windows windows: the pixels it paints, clicks on its button, and
// that many open and close cycles leave no window, drawing context, bitmap, timer or class.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/switch_press.h"

#include <windows.h>

namespace vela {

namespace {

constexpr char kParentClassName[] = "VelaTestParent";

using Pixels = std::vector<uint32_t>; // 0xRRGGBB, rows top first

// What the window's client area shows now.
Pixels capture(HWND window)
{
    BITMAPINFO info{};
    // 32 bits per pixel, top row first.
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kFaceWidth, -kFaceHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC windowContext = GetDC(window);
    HDC memory = CreateCompatibleDC(windowContext);
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(windowContext, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, image);
    BitBlt(memory, 0, 0, kFaceWidth, kFaceHeight, windowContext, 0, 0, SRCCOPY);
    GdiFlush();
    Pixels pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + kFaceWidth * kFaceHeight);
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    SelectObject(memory, previous);
    DeleteObject(image);
    DeleteDC(memory);
    ReleaseDC(window, windowContext);
    return pixels;
}

// Dispatches this thread's messages until done() holds or the time is up.
bool pumpUntil(const std::function<bool()>& done, ULONGLONG milliseconds = 2000)
{
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) {
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount64() < deadline);
    return done();
}

// Presses and releases the left button over (x, y) of the window through the system's input
// queue, which hands the press to whatever window lies under the pointer; answers whether the
// queue took both.
bool clickAt(HWND window, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(2, inputs, sizeof(INPUT)) == 2;
}

// Lets the test see the handles the editor made.
struct InspectedButtonEditor : ButtonEditor {
    using ButtonEditor::ButtonEditor;
    HWND childWindow() const { return static_cast<HWND>(window); }
    HGDIOBJ offscreenContext() const { return memoryContext; }
    HGDIOBJ sheet() const { return sheetBitmap; }
    UINT_PTR timer() const { return timerId; }
};

class ButtonEditorWindows : public testing::Test {
protected:
    ButtonEditorWindows() : savedInstance(moduleInstance)
    {
        // The test program carries the sheet as its own resource 103.
        moduleInstance = GetModuleHandleA(nullptr);
        WNDCLASSA parentClass{};
        parentClass.lpfnWndProc = DefWindowProcA;
        parentClass.hInstance = GetModuleHandleA(nullptr);
        parentClass.lpszClassName = kParentClassName;
        RegisterClassA(&parentClass);
        // Never activated: wine waits two seconds for a window manager to let an active window go.
        parent = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kParentClassName, "Vela test host", WS_POPUP, 0,
                                 0, 320, 160, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(parent, SW_SHOWNOACTIVATE);
        record = host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); });
        editor = new InspectedButtonEditor(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object)));
        editor->reset();
    }

    ~ButtonEditorWindows() override
    {
        destroyEffect();
        DestroyWindow(parent);
        UnregisterClassA(kParentClassName, GetModuleHandleA(nullptr));
        moduleInstance = savedInstance;
    }

    intptr_t dispatch(int32_t opcode, void* ptr = nullptr)
    {
        return record->dispatcher(record, opcode, 0, 0, ptr, 0.0f);
    }
    // As a host ends the effect; the effect destroys its editor.
    void destroyEffect()
    {
        if (record) {
            dispatch(effClose);
            host.forget(record);
            record = nullptr;
        }
    }
    bool classRegistered()
    {
        WNDCLASSA found;
        return GetClassInfoA(static_cast<HINSTANCE>(moduleInstance), "VEclass", &found) != 0;
    }
    // Pumps messages until the window shows the face; answers how it still differs.
    static std::string shows(HWND window, bool lit)
    {
        const Pixels face = sheetFace(lit);
        pumpUntil([&] { return capture(window) == face; });
        return firstDifference(capture(window), face);
    }

    void* savedInstance;
    HWND parent;
    RecordingHost host;
    AEffect* record;
    InspectedButtonEditor* editor;
};

TEST_F(ButtonEditorWindows, ShowsTheFaceAndFollowsTheSwitch)
{
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(dispatch(effEditOpen, parent), 1);
    HWND child = FindWindowExA(parent, nullptr, "VEclass", "Vela");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child, editor->childWindow());
    RECT client{};
    GetClientRect(child, &client);
    EXPECT_EQ(client.right - client.left, kFaceWidth);
    EXPECT_EQ(client.bottom - client.top, kFaceHeight);
    ASSERT_NE(firstDifference(sheetFace(false), sheetFace(true)), "");
    EXPECT_EQ(shows(child, false), "");

    SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(128, 40));
    EXPECT_EQ(GetCapture(), child);
    SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(128, 40));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(record->getParameter(record, 0), 1.0f / 127.0f);
    EXPECT_EQ(shows(child, true), "");

    // Whatever the host set, the next tick shows it, and a click through the system's input
    // queue turns it off when lit, on when not.
    for (const HostSwitchValue& value : kHostSwitchValues) {
        SCOPED_TRACE(value.normalised);
        record->setParameter(record, 0, value.normalised);
        EXPECT_EQ(shows(child, value.lit), "");
        host.clearCalls();
        ASSERT_TRUE(clickAt(child, 128, 40));
        EXPECT_EQ(shows(child, !value.lit), "");
        EXPECT_EQ(pressOutcome(record, host.calls(), value.lit), "");
    }
    dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(classRegistered());
}

TEST_F(ButtonEditorWindows, ManyOpenCloseCyclesAndDestroyingTheEffectLeaveNothingBehind)
{
    struct Made {
        HWND window;
        HGDIOBJ memoryContext;
        HGDIOBJ sheet;
        UINT_PTR timer;
    };
    std::vector<Made> made;
    // A thousand closes, then the effect destroyed with its editor open.
    for (int cycle = 0; cycle <= 1000; ++cycle) {
        ASSERT_EQ(dispatch(effEditOpen, parent), 1);
        const Made handles{editor->childWindow(), editor->offscreenContext(), editor->sheet(), editor->timer()};
        // What the check below expects gone must have existed.
        ASSERT_TRUE(IsWindow(handles.window));
        ASSERT_EQ(GetObjectType(handles.memoryContext), static_cast<DWORD>(OBJ_MEMDC));
        ASSERT_EQ(GetObjectType(handles.sheet), static_cast<DWORD>(OBJ_BITMAP));
        ASSERT_NE(handles.timer, 0u);
        made.push_back(handles);
        // Now and then let paints and ticks reach the window before it closes.
        if (cycle % 100 == 0) {
            pumpUntil([] { return true; });
        }
        cycle < 1000 ? void(dispatch(effEditClose)) : destroyEffect();
    }
    // A tick or paint that was already queued must find no window to reach.
    pumpUntil([] { return false; }, 150);
    int windows = 0, contexts = 0, bitmaps = 0, timers = 0;
    for (const Made& handles : made) {
        windows += IsWindow(handles.window) != 0;
        contexts += GetObjectType(handles.memoryContext) != 0;
        bitmaps += GetObjectType(handles.sheet) != 0;
        timers += KillTimer(handles.window, handles.timer) != 0;
    }
    EXPECT_EQ(std::vector<int>({windows, contexts, bitmaps, timers}), std::vector<int>(4, 0))
        << "windows, drawing contexts, bitmaps and timers left";
    EXPECT_EQ(classUseCount, 0);
    EXPECT_FALSE(classRegistered());
}

} // namespace

} // namespace vela
