// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/hosted_effect.h"

namespace vela {

// Thrown when there is no window system to open a window on, or the effect has no editor.
class EditorWindowError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A top-level window of the host with an effect's editor open inside it, as a host shows it:
//
//     EditorWindow window(effect);   // effEditGetRect, a parent window, effEditOpen
//     window.pump(200);              // lets the editor draw
//     window.click(128, 40);         // a real button press and release
//     EditorWindow::Image shown = window.capture();
//
// The window system half lives in editor_window_x11.cpp (the display named by DISPLAY) and
// editor_window_win32.cpp. All calls belong on the thread that created the window.
class EditorWindow {
public:
    // Pixels in rows from the top, three bytes (red, green, blue) per pixel.
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> rgb;
    };

    // Opens the effect's editor in a new window of its rectangle's size. The effect must be
    // open and must outlive the window. Throws EditorWindowError when the effect has no editor,
    // its rectangle is unusable or no window can be made.
    explicit EditorWindow(HostedEffect& effect);
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;
    // Sends effEditClose, then destroys the window.
    ~EditorWindow();

    int width() const { return windowWidth; }
    int height() const { return windowHeight; }

    // Runs the host's event loop for this long, sending effEditIdle about every 10 ms.
    void pump(int milliseconds);
    // Presses and releases the left button at window coordinates, through the window system's
    // input path, and gives the editor a moment to see both.
    void click(int x, int y);
    // What the window shows now.
    Image capture();
    // Sends effEditClose now and keeps the window, so that what the editor leaves behind in it
    // can be seen; the destructor then only destroys the window.
    void closeEditor();
    // How many windows the editor has inside this window now.
    int childWindowCount();
    // How many top-level windows of this process the window system shows now (on X11 those of
    // this process's connections, or every client's when the server cannot tell which they are).
    int topLevelWindowCount();
    // The objects the window system holds for this process now, by kind: on X11 the count of
    // each resource type over this process's connections (windows, pixmaps, graphics contexts,
    // cursors...), from the X-Resource extension; on Windows the process's GDI and USER objects.
    // Empty when the window system cannot say.
    std::map<std::string, int64_t> processObjectCounts();

private:
    // Window-system state of one window; defined by the platform source.
    struct Native;
    struct NativeDeleter {
        void operator()(Native* state) const noexcept;
    };

    // Platform operations, in editor_window_x11.cpp or editor_window_win32.cpp.
    // Connects to the window system; throws before the editor is asked anything, since some
    // editors crash when asked for their size without a display.
    void connectNative();
    // Creates and shows the parent window.
    void createNative();
    void destroyNative() noexcept;
    // The parent handle effEditOpen takes: the XID or the HWND as a pointer.
    void* nativeParent() const;
    void resizeNative();
    // Raises the window when another one covers part of it; answers whether it did, so that
    // the editor gets the time to draw what was hidden.
    bool raiseNativeIfCovered();
    void handleNativeEvents();
    // A left-button press and release at window coordinates, as the window system delivers
    // them, with no other program's input in between.
    void sendNativeClick(int x, int y);
    Image captureNative();
    int countNativeChildren();
    int countNativeTopLevels();
    std::map<std::string, int64_t> countNativeObjects();

    // Resizes the window to the rectangle the open editor reports; throws when it reports none
    // and none was known before.
    void followOpenedSize(bool sizeKnownBeforeOpen);
    // The editor's size from effEditGetRect; 0 by 0 when it answers nothing usable.
    void readEditorSize(int& width, int& height);

    HostedEffect& hostedEffect;
    int windowWidth = 0;
    int windowHeight = 0;
    bool editorOpen = false;
    std::unique_ptr<Native, NativeDeleter> native;
};

} // namespace vela
