// SPDX-License-Identifier: MIT
#include "host/editor_window.h"

#include <chrono>
#include <string>
#include <thread>

#include "frame/erect.h"

namespace vela {

namespace {

// Larger than any editor on any screen; a bigger answer is a broken rectangle.
constexpr int kLargestSide = 8192;
// The window's size until an editor that knows its size only once open has said it.
constexpr int kProvisionalSide = 64;
constexpr auto kIdlePeriod = std::chrono::milliseconds(10);
// Long enough for an editor that draws on a timer (Vela's ticks every 50 ms) to draw again.
constexpr int kRedrawMilliseconds = 120;
// Long enough for an editor that reads its input on idle to see a click.
constexpr int kButtonSettleMilliseconds = 30;

} // namespace

EditorWindow::EditorWindow(HostedEffect& effect) : hostedEffect(effect)
{
    const AEffect* record = effect.record();
    if (!record) {
        throw EditorWindowError("no open effect to show an editor for");
    }
    if ((record->flags & effFlagsHasEditor) == 0) {
        throw EditorWindowError("the effect has no editor (its flags lack effFlagsHasEditor)");
    }
    connectNative();
    readEditorSize(windowWidth, windowHeight);
    const bool sizeKnownBeforeOpen = windowWidth > 0 && windowHeight > 0;
    if (!sizeKnownBeforeOpen) {
        windowWidth = kProvisionalSide;
        windowHeight = kProvisionalSide;
    }
    try {
        createNative();
    } catch (const EditorWindowError&) {
        destroyNative();
        throw;
    }
    hostedEffect.dispatch(effEditOpen, 0, 0, nativeParent());
    editorOpen = true;
    try {
        followOpenedSize(sizeKnownBeforeOpen);
    } catch (const EditorWindowError&) {
        hostedEffect.dispatch(effEditClose);
        destroyNative();
        throw;
    }
}

EditorWindow::~EditorWindow()
{
    try {
        if (hostedEffect.record() && editorOpen) {
            hostedEffect.dispatch(effEditClose);
        }
        handleNativeEvents();
    } catch (...) {
        // A destructor cannot report; the window goes regardless.
    }
    destroyNative();
}

void EditorWindow::closeEditor()
{
    if (editorOpen && hostedEffect.record()) {
        editorOpen = false;
        hostedEffect.dispatch(effEditClose);
        handleNativeEvents();
    }
}

int EditorWindow::childWindowCount()
{
    return countNativeChildren();
}

int EditorWindow::topLevelWindowCount()
{
    return countNativeTopLevels();
}

std::map<std::string, int64_t> EditorWindow::processObjectCounts()
{
    return countNativeObjects();
}

void EditorWindow::pump(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        handleNativeEvents();
        hostedEffect.dispatch(effEditIdle);
        std::this_thread::sleep_for(kIdlePeriod);
    } while (std::chrono::steady_clock::now() < deadline);
}

void EditorWindow::click(int x, int y)
{
    if (x < 0 || y < 0 || x >= windowWidth || y >= windowHeight) {
        throw EditorWindowError("click at " + std::to_string(x) + "," + std::to_string(y) + " lies outside the " +
                                std::to_string(windowWidth) + "x" + std::to_string(windowHeight) + " editor");
    }
    sendNativeClick(x, y);
    pump(kButtonSettleMilliseconds);
}

EditorWindow::Image EditorWindow::capture()
{
    if (raiseNativeIfCovered()) {
        pump(kRedrawMilliseconds);
    }
    handleNativeEvents();
    return captureNative();
}

void EditorWindow::followOpenedSize(bool sizeKnownBeforeOpen)
{
    // Hosts ask again after the open: some editors size themselves while opening.
    int openWidth = 0;
    int openHeight = 0;
    readEditorSize(openWidth, openHeight);
    if (openWidth > 0 && openHeight > 0) {
        if (openWidth != windowWidth || openHeight != windowHeight) {
            windowWidth = openWidth;
            windowHeight = openHeight;
            resizeNative();
        }
    } else if (!sizeKnownBeforeOpen) {
        throw EditorWindowError("the editor reports no usable rectangle (effEditGetRect)");
    }
}

void EditorWindow::readEditorSize(int& width, int& height)
{
    ERect* rect = nullptr;
    hostedEffect.dispatch(effEditGetRect, 0, 0, &rect);
    width = 0;
    height = 0;
    if (!rect) {
        return;
    }
    const int rectWidth = rect->right - rect->left;
    const int rectHeight = rect->bottom - rect->top;
    if (rectWidth > 0 && rectHeight > 0 && rectWidth <= kLargestSide && rectHeight <= kLargestSide) {
        width = rectWidth;
        height = rectHeight;
    }
}

} // namespace vela
