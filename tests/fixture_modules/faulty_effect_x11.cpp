// SPDX-License-Identifier: MIT
// The faulty effect's platform part on Linux: an X11 child window, and POSIX threads.

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include "tests/fixture_modules/faulty_effect.h"

namespace vela {

namespace {

Display* displayOf(const EditorHandles& editor)
{
    return static_cast<Display*>(editor.connection);
}

struct Worker {
    void (*body)(void*);
    void* argument;
};

void* runWorker(void* started)
{
    const Worker worker = *static_cast<Worker*>(started);
    delete static_cast<Worker*>(started);
    worker.body(worker.argument);
    return nullptr;
}

} // namespace

const char* const kOtherNumberLocale = "C.UTF-8";

bool openEditorWindow(EditorHandles& editor, void* parent, int width, int height)
{
    if (!editor.connection) {
        editor.connection = XOpenDisplay(nullptr);
    }
    Display* display = displayOf(editor);
    if (!display) {
        return false;
    }
    editor.window = XCreateSimpleWindow(display, reinterpret_cast<Window>(parent), 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, 0, 0x336699);
#if VELA_FAULT_IS(pixmap)
    XCreatePixmap(display, editor.window, static_cast<unsigned>(width), static_cast<unsigned>(height),
                  static_cast<unsigned>(DefaultDepth(display, DefaultScreen(display))));
#endif
    XMapWindow(display, editor.window);
    XFlush(display);
    return true;
}

void closeEditorWindow(EditorHandles& editor)
{
    if (!editor.window) {
        return;
    }
#if VELA_FAULT_IS(window)
    // Forgets the window and the connection that keeps it on the screen.
    editor.connection = nullptr;
#elif VELA_FAULT_IS(pixmap)
    // Keeps the connection, and with it every pixmap made on it.
    XDestroyWindow(displayOf(editor), editor.window);
    XFlush(displayOf(editor));
#else
    XDestroyWindow(displayOf(editor), editor.window);
    disconnectEditor(editor);
#endif
    editor.window = 0;
}

void disconnectEditor(EditorHandles& editor)
{
    if (editor.connection) {
        XCloseDisplay(displayOf(editor));
        editor.connection = nullptr;
    }
}

void pauseMilliseconds(int milliseconds)
{
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

void startDetachedWorker(void (*body)(void*), void* argument)
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&startDetachedWorker), &info) && info.dli_fname) {
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    pthread_t thread;
    auto* worker = new Worker{body, argument};
    if (pthread_create(&thread, nullptr, runWorker, worker) == 0) {
        pthread_detach(thread);
    } else {
        delete worker;
    }
}

} // namespace vela
