// The button editor in real Windows windows: the pixels it paints, a click on its button, and
// that many open and close cycles leave no window, drawing context, bitmap, timer or class.

#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

// First: <windows.h> turns the window-system names into macros.
#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"

#include <windows.h>

namespace {

constexpr char parentClassName[] = "VelaTestParent";

using Pixels = std::vector<uint32_t>;  // 0xRRGGBB, rows top first

// What the window's client area shows now.
Pixels capture(HWND window)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = faceWidth;
    info.bmiHeader.biHeight = -faceHeight;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowContext = GetDC(window);
    HDC memory = CreateCompatibleDC(windowContext);
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(windowContext, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, image);
    BitBlt(memory, 0, 0, faceWidth, faceHeight, windowContext, 0, 0, SRCCOPY);
    GdiFlush();
    Pixels pixels(static_cast<const uint32_t*>(bits),
                  static_cast<const uint32_t*>(bits) + faceWidth * faceHeight);
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

// Lets the test see the handles the editor made.
class InspectedButtonEditor : public ButtonEditor {
public:
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
        parentClass.lpszClassName = parentClassName;
        RegisterClassA(&parentClass);
        // Never activated: wine waits two seconds for a window manager to let an active window go.
        parent = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, parentClassName,
                                 "Vela test host", WS_POPUP, 0, 0, 320, 160, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ShowWindow(parent, SW_SHOWNOACTIVATE);
        record = host.callEntry(create);
        effect = static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object));
        editor = new InspectedButtonEditor(*effect);
        editor->reset();
        host.clearCalls();
    }

    ~ButtonEditorWindows() override
    {
        destroyEffect();
        DestroyWindow(parent);
        UnregisterClassA(parentClassName, GetModuleHandleA(nullptr));
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

    static AEffect* create(audioMasterCallback callback)
    {
        return (new SwitchEffect(callback))->getAeffect();
    }

    void* savedInstance;
    HWND parent;
    RecordingHost host;
    AEffect* record;
    SwitchEffect* effect;
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
    EXPECT_EQ(client.right - client.left, faceWidth);
    EXPECT_EQ(client.bottom - client.top, faceHeight);

    const Pixels offFace = sheetFace(false);
    const Pixels litFace = sheetFace(true);
    ASSERT_NE(firstDifference(offFace, litFace), "");
    EXPECT_TRUE(pumpUntil([&] { return capture(child) == offFace; }))
        << firstDifference(capture(child), offFace);

    SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(128, 40));
    SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(128, 40));
    EXPECT_EQ(effect->paramValue[0].load(std::memory_order_relaxed), 1.0f);
    const std::vector<HostCall> calls = host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].opt, 1.0f / 127.0f);
    EXPECT_TRUE(pumpUntil([&] { return capture(child) == litFace; }))
        << firstDifference(capture(child), litFace);

    // The host turns the switch off; the next tick shows it.
    record->setParameter(record, 0, 0.0f);
    EXPECT_TRUE(pumpUntil([&] { return capture(child) == offFace; }))
        << firstDifference(capture(child), offFace);

    dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(classRegistered());
}

TEST_F(ButtonEditorWindows, ManyOpenCloseCyclesLeaveNothingBehind)
{
    struct Made {
        HWND window;
        HGDIOBJ memoryContext;
        HGDIOBJ sheet;
        UINT_PTR timer;
    };
    std::vector<Made> made;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(dispatch(effEditOpen, parent), 1);
        const Made handles{editor->childWindow(), editor->offscreenContext(), editor->sheet(),
                           editor->timer()};
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
        dispatch(effEditClose);
    }
    int windows = 0;
    int contexts = 0;
    int bitmaps = 0;
    int timers = 0;
    for (const Made& handles : made) {
        windows += IsWindow(handles.window) != 0;
        contexts += GetObjectType(handles.memoryContext) != 0;
        bitmaps += GetObjectType(handles.sheet) != 0;
        timers += KillTimer(handles.window, handles.timer) != 0;
    }
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(contexts, 0);
    EXPECT_EQ(bitmaps, 0);
    EXPECT_EQ(timers, 0);
    EXPECT_EQ(classUseCount, 0);
    EXPECT_FALSE(classRegistered());
}

TEST_F(ButtonEditorWindows, DestroyingTheEffectWithItsEditorOpenRemovesTheWindow)
{
    ASSERT_EQ(dispatch(effEditOpen, parent), 1);
    HWND child = editor->childWindow();
    ASSERT_TRUE(IsWindow(child));
    destroyEffect();
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(classRegistered());
    // A tick or paint that was already queued must find no window to reach.
    pumpUntil([] { return false; }, 150);
}

TEST_F(ButtonEditorWindows, WithoutAParentWindowOpenStillBalancesTheClass)
{
    HWND gone = CreateWindowExA(0, parentClassName, "gone", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(dispatch(effEditOpen, gone), 1);
    EXPECT_EQ(editor->childWindow(), nullptr);
    EXPECT_EQ(classUseCount, 1);
    dispatch(effEditClose);
    EXPECT_EQ(classUseCount, 0);
    EXPECT_FALSE(classRegistered());
}

} // namespace

#endif
