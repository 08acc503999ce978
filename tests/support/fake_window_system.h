// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "editor/platform/window_system.h"

namespace vela {

// A window system for tests. It records every call in a readable form, such as
// "bitBlt(dc2, 0, 0, 256, 96, dc2, 0, 96)" or "getDC(window1) -> dc1", hands out named
// fake handles, plays back scripted results, and delivers messages to the procedure of a
// window's class as the system would. It also notes misuse that a real system would punish
// (a handle used after it was given back, a null window's drawing context, which on
// Windows is the whole screen) in faults().
class FakeWindowSystem : public WindowSystem {
public:
    // One scripted result: a value, or std::nullopt for the usual result.
    using Result = std::optional<uintptr_t>;

    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };

    // A handle the test owns, such as the host's parent window or the module, shown by name.
    void* makeHandle(const std::string& name);
    // Shows a value the code under test passes (such as an editor's address) by name.
    void nameHandle(const void* handle, const std::string& name);

    // The next calls of an operation answer these results in turn, then the usual ones.
    void script(const std::string& operation, std::vector<Result> results);
    // Messages the window procedure receives while createWindowEx runs, before it returns.
    void deliverDuringCreation(std::vector<Message> messages);
    // Messages the window procedure receives while destroyWindow runs, before the window goes.
    void deliverDuringDestruction(std::vector<Message> messages);

    // Calls the procedure of the window's class, as the system does with a sent message.
    intptr_t send(WindowHandle window, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

    const std::vector<std::string>& calls() const { return recorded; }
    void clearCalls() { recorded.clear(); }
    // Misuse noticed so far, oldest first.
    const std::vector<std::string>& faults() const { return noticedFaults; }
    // Everything made and not given back: classes, windows, contexts, bitmaps and timers.
    std::vector<std::string> liveObjects() const;
    // The procedure registered for a class; null while the class is not registered.
    WindowProcedure procedureOf(const std::string& className) const;
    // The window made by the latest successful createWindowEx; null before.
    WindowHandle latestWindow() const { return newestWindow; }

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

private:
    // A fresh handle named after its kind and a count per kind: "window1", "dc2".
    void* freshHandle(const std::string& kind);
    // Takes the next scripted result of an operation; std::nullopt for the usual result.
    Result takeScripted(const std::string& operation);
    std::string nameOf(const void* handle) const;
    std::string nameOfValue(intptr_t value) const;
    void record(const std::string& call) { recorded.push_back(call); }
    void fault(const std::string& what) { noticedFaults.push_back(what); }
    // Notes a fault unless the window was made here and not yet destroyed.
    bool checkWindow(const std::string& operation, WindowHandle window);
    // Notes a fault unless the context was made or taken here and not yet given back.
    bool checkContext(const std::string& operation, ContextHandle context);
    void deliver(WindowHandle window, const std::vector<Message>& messages);

    uintptr_t nextAddress = 0x1000;
    std::map<std::string, int> countPerKind;
    std::map<const void*, std::string> names;
    std::map<std::string, std::deque<Result>> scripted;
    std::vector<Message> creationMessages;
    std::vector<Message> destructionMessages;
    std::vector<std::string> recorded;
    std::vector<std::string> noticedFaults;

    std::map<std::string, WindowProcedure> classes;
    std::map<WindowHandle, std::string> windowClass; // live windows
    std::map<std::pair<WindowHandle, int32_t>, intptr_t> windowLongs;
    std::map<ContextHandle, WindowHandle> windowContexts; // taken with getDC
    std::map<ContextHandle, ObjectHandle> memoryContexts; // made, with their selection
    std::set<ObjectHandle> bitmaps;
    std::set<std::pair<WindowHandle, uintptr_t>> timers;
    WindowHandle newestWindow = nullptr;
};

} // namespace vela
