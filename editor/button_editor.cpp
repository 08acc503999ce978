// SPDX-License-Identifier: MIT
#include "editor/button_editor.h"

#include "effect/switch_effect.h"
#include "frame/module_instance.h"

namespace vela {

ERect buttonEditorRect = {0, 0, kEditorHeight, kEditorWidth};
int32_t classUseCount = 0;

namespace {

constexpr uintptr_t kRedrawTimerId = 1;
constexpr uint32_t kRedrawPeriodMilliseconds = 50;

// Sheet layout: the face is composed in the band at the top, from the off face below it and
// the lit button below that.
constexpr int32_t kFaceWidth = kEditorWidth;
constexpr int32_t kFaceHeight = kEditorHeight;
constexpr int32_t kOffFaceTop = kFaceHeight;
constexpr int32_t kButtonX = 17;
constexpr int32_t kButtonY = 10;
constexpr int32_t kButtonWidth = 220;
constexpr int32_t kButtonHeight = 58;
constexpr int32_t kLitButtonX = 1;
constexpr int32_t kLitButtonY = 193;

// The button widened by one pixel on the left and at the top, and by two on the right and at
// the bottom; both bounds are inside.
constexpr int32_t kHitLeft = kButtonX - 1;
constexpr int32_t kHitTop = kButtonY - 1;
constexpr int32_t kHitRight = kButtonX + kButtonWidth + 1;
constexpr int32_t kHitBottom = kButtonY + kButtonHeight + 1;

// The window system the class was registered with: the procedure needs it to find the editor
// before it knows which editor a window belongs to.
WindowSystem* classWindowSystem = nullptr;

} // namespace

ButtonEditor::ButtonEditor(SwitchEffect& effect, WindowSystem& windowSystem)
    : ButtonEditor(effect, effect, windowSystem)
{
}

ButtonEditor::ButtonEditor(EffectCore& effect, SwitchControl& control, WindowSystem& windowSystem)
    : EditorBase(effect),
      switchControl(control),
      windowSystem(windowSystem),
      window(nullptr),
      timerId(0),
      previousBitmap(nullptr),
      sheetBitmap(nullptr),
      windowContext(nullptr),
      memoryContext(nullptr),
      isOpen(0)
{
    effect.setEditor(this);
}

ButtonEditor::~ButtonEditor()
{
    close();
}

int32_t ButtonEditor::getRect(ERect** rect)
{
    if (rect) {
        *rect = &buttonEditorRect;
    }
    return 1;
}

int32_t ButtonEditor::open(void* parent)
{
    // A second open without a close moves the editor rather than leaking its first window.
    close();
    parentWindow = parent;
    if (++classUseCount == 1) {
        classWindowSystem = &windowSystem;
        CursorHandle cursor = windowSystem.loadCursor(moduleInstance, kIdcArrow);
        BrushHandle background = windowSystem.getSysColorBrush(kColorButtonFace);
        windowSystem.registerClass(kWindowClassName, buttonWindowProc, moduleInstance, cursor, background);
    }
    window = windowSystem.createWindowEx(kWindowClassName, kEffectName, kWsChildVisible, 0, 0, kFaceWidth, kFaceHeight,
                                         parentWindow, moduleInstance);
    // Each handle stays null unless its step succeeds, so close gives back exactly what exists
    // and no step runs on a handle that failed: a null window's context is the whole screen.
    windowContext = nullptr;
    memoryContext = nullptr;
    sheetBitmap = nullptr;
    timerId = 0;
    previousBitmap = nullptr;
    if (window) {
        windowSystem.setWindowLong(window, kGwlUserData, reinterpret_cast<intptr_t>(this));
        windowContext = windowSystem.getDC(window);
        if (windowContext) {
            memoryContext = windowSystem.createCompatibleDC(windowContext);
        }
        loadBitmap();
        timerId = windowSystem.setTimer(window, kRedrawTimerId, kRedrawPeriodMilliseconds);
        if (memoryContext && sheetBitmap) {
            previousBitmap = windowSystem.selectObject(memoryContext, sheetBitmap);
        }
    }
    // Open even without a window, so that close balances the class count; hosts expect 1.
    isOpen = 1;
    return 1;
}

void ButtonEditor::close()
{
    if (isOpen != 1) {
        return;
    }
    isOpen = 0;
    if (timerId != 0) {
        windowSystem.killTimer(window, timerId);
    }
    // Given back before the window goes: on some window systems the context ends with it.
    if (windowContext) {
        windowSystem.releaseDC(window, windowContext);
    }
    if (window) {
        // Whatever reaches the procedure from now on finds no editor, not a freed one.
        windowSystem.setWindowLong(window, kGwlUserData, 0);
        windowSystem.destroyWindow(window);
    }
    if (previousBitmap) {
        windowSystem.selectObject(memoryContext, previousBitmap);
    }
    if (memoryContext) {
        windowSystem.deleteDC(memoryContext);
    }
    if (sheetBitmap) {
        windowSystem.deleteObject(sheetBitmap);
    }
    if (--classUseCount == 0) {
        windowSystem.unregisterClass(kWindowClassName, moduleInstance);
    }
}

void ButtonEditor::idle()
{
    windowSystem.handlePendingEvents();
}

void ButtonEditor::spareHook(int32_t, int32_t) {}

void ButtonEditor::reset()
{
    switchControl.storeSwitchValue(0.0f, false);
    isOpen = 0;
}

void ButtonEditor::loadBitmap()
{
    sheetBitmap = windowSystem.loadImage(moduleInstance, kSheetResourceId);
}

void ButtonEditor::draw()
{
    // previousBitmap is set only once the sheet sits in memoryContext, inside a window.
    if (isOpen != 1 || previousBitmap == nullptr) {
        return;
    }
    ContextHandle context = windowSystem.getDC(window);
    if (context == nullptr) {
        return;
    }
    windowSystem.bitBlt(memoryContext, 0, 0, kFaceWidth, kFaceHeight, memoryContext, 0, kOffFaceTop);
    if (switchInteger() != 0) {
        windowSystem.bitBlt(memoryContext, kButtonX, kButtonY, kButtonWidth, kButtonHeight, memoryContext, kLitButtonX,
                            kLitButtonY);
    }
    windowSystem.bitBlt(context, 0, 0, kFaceWidth, kFaceHeight, memoryContext, 0, 0);
    windowSystem.releaseDC(window, context);
}

void ButtonEditor::onLeftButtonDown(intptr_t lParam)
{
    // A press can only reach a closed editor while its window is being destroyed, possibly
    // with the effect already gone.
    if (isOpen != 1) {
        return;
    }
    const auto packed = static_cast<uint32_t>(lParam);
    const auto x = static_cast<int16_t>(packed & 0xFFFF);
    const auto y = static_cast<int16_t>(packed >> 16);
    if (x < kHitLeft || x > kHitRight || y < kHitTop || y > kHitBottom) {
        return;
    }
    // Any lit value turns off, also one the host set: 127, a host's "fully on", included.
    switchControl.storeSwitchValue(switchInteger() != 0 ? 0.0f : 1.0f, true);
}

int32_t ButtonEditor::switchInteger() const
{
    return truncateToInteger(switchControl.switchValue());
}

intptr_t VELA_WINDOW_CALLBACK buttonWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    auto* editor = reinterpret_cast<ButtonEditor*>(classWindowSystem->getWindowLong(window, kGwlUserData));
    // Messages sent while the window is being created come before open stores the editor.
    if (editor == nullptr) {
        return classWindowSystem->defWindowProc(window, message, wParam, lParam);
    }
    WindowSystem& system = editor->windowSystem;
    switch (message) {
    case kWmPaint:
        editor->draw();
        break;
    case kWmEraseBackground:
        // The draw covers the whole client area, so the system must not erase it.
        editor->draw();
        return 1;
    case kWmTimer:
        if (wParam == editor->timerId) {
            editor->draw();
        }
        break;
    case kWmMouseMove:
        system.setCursor(system.loadCursor(nullptr, kIdcArrow));
        break;
    case kWmLeftButtonDown:
        editor->onLeftButtonDown(lParam);
        system.setCapture(window);
        break;
    case kWmRightButtonDown:
        system.setCapture(window);
        break;
    case kWmLeftButtonUp:
    case kWmRightButtonUp:
        system.releaseCapture();
        break;
    default:
        break;
    }
    return system.defWindowProc(window, message, wParam, lParam);
}

} // namespace vela
