// SPDX-License-Identifier: MIT
#include "tests/support/fake_window_system.h"

#include <cstdio>
#include <iterator>

namespace vela {

namespace {

std::string hex(uintptr_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string messageText(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return hex(message, 4) + ", " + std::to_string(wParam) + ", " + hex(static_cast<uintptr_t>(lParam), 8);
}

} // namespace

void* FakeWindowSystem::makeHandle(const std::string& name)
{
    void* handle = reinterpret_cast<void*>(nextAddress);
    nextAddress += 0x10;
    names[handle] = name;
    return handle;
}

void FakeWindowSystem::nameHandle(const void* handle, const std::string& name)
{
    names[handle] = name;
}

void FakeWindowSystem::script(const std::string& operation, std::vector<Result> results)
{
    scripted[operation].insert(scripted[operation].end(), results.begin(), results.end());
}

void FakeWindowSystem::deliverDuringCreation(std::vector<Message> messages)
{
    creationMessages = std::move(messages);
}

void FakeWindowSystem::deliverDuringDestruction(std::vector<Message> messages)
{
    destructionMessages = std::move(messages);
}

intptr_t FakeWindowSystem::send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    const auto found = windowClass.find(window);
    if (found == windowClass.end()) {
        fault("message " + hex(message, 4) + " sent to " + nameOf(window) + ", no live window");
        return 0;
    }
    const WindowProcedure procedure = procedureOf(found->second);
    if (procedure == nullptr) {
        fault("message " + hex(message, 4) + " for " + nameOf(window) + " of an unregistered class");
        return 0;
    }
    return procedure(window, message, wParam, lParam);
}

std::vector<std::string> FakeWindowSystem::liveObjects() const
{
    std::vector<std::string> live;
    for (const auto& entry : classes) {
        live.push_back("class " + entry.first);
    }
    for (const auto& entry : windowClass) {
        live.push_back(nameOf(entry.first));
    }
    for (const auto& entry : windowContexts) {
        live.push_back(nameOf(entry.first));
    }
    for (const auto& entry : memoryContexts) {
        live.push_back(nameOf(entry.first));
    }
    for (const ObjectHandle bitmap : bitmaps) {
        live.push_back(nameOf(bitmap));
    }
    for (const auto& timer : timers) {
        live.push_back("timer " + std::to_string(timer.second) + " of " + nameOf(timer.first));
    }
    return live;
}

WindowProcedure FakeWindowSystem::procedureOf(const std::string& className) const
{
    const auto found = classes.find(className);
    return found == classes.end() ? nullptr : found->second;
}

void FakeWindowSystem::registerClass(const char* className, WindowProcedure procedure, void* instance,
                                     CursorHandle cursor, BrushHandle background)
{
    record("registerClass(" + std::string(className) + ", " + (procedure ? "procedure" : "null") + ", " +
           nameOf(instance) + ", " + nameOf(cursor) + ", " + nameOf(background) + ")");
    if (classes.count(className) != 0) {
        fault("registerClass(" + std::string(className) + ") while it is registered");
        return;
    }
    classes[className] = procedure;
}

void FakeWindowSystem::unregisterClass(const char* className, void* instance)
{
    record("unregisterClass(" + std::string(className) + ", " + nameOf(instance) + ")");
    if (classes.erase(className) == 0) {
        fault("unregisterClass(" + std::string(className) + ") while it is not registered");
    }
    for (const auto& entry : windowClass) {
        if (entry.second == className) {
            fault("unregisterClass(" + std::string(className) + ") while " + nameOf(entry.first) + " lives");
        }
    }
}

BrushHandle FakeWindowSystem::getSysColorBrush(int32_t colorIndex)
{
    const Result scriptedBrush = takeScripted("getSysColorBrush");
    void* brush = scriptedBrush ? reinterpret_cast<void*>(*scriptedBrush) : freshHandle("brush");
    record("getSysColorBrush(" + std::to_string(colorIndex) + ") -> " + nameOf(brush));
    return brush;
}

CursorHandle FakeWindowSystem::loadCursor(void* instance, int32_t cursorId)
{
    const Result scriptedCursor = takeScripted("loadCursor");
    void* cursor = scriptedCursor ? reinterpret_cast<void*>(*scriptedCursor) : freshHandle("cursor");
    record("loadCursor(" + nameOf(instance) + ", " + std::to_string(cursorId) + ") -> " + nameOf(cursor));
    return cursor;
}

void FakeWindowSystem::setCursor(CursorHandle cursor)
{
    record("setCursor(" + nameOf(cursor) + ")");
}

WindowHandle FakeWindowSystem::createWindowEx(const char* className, const char* title, uint32_t style, int32_t x,
                                              int32_t y, int32_t width, int32_t height, WindowHandle parent,
                                              void* instance)
{
    const std::string call = "createWindowEx(" + std::string(className) + ", " + title + ", " + hex(style, 8) + ", " +
                             std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(width) + ", " +
                             std::to_string(height) + ", " + nameOf(parent) + ", " + nameOf(instance) + ")";
    if (const Result scriptedWindow = takeScripted("createWindowEx")) {
        WindowHandle window = reinterpret_cast<void*>(*scriptedWindow);
        record(call + " -> " + nameOf(window));
        return window;
    }
    if (classes.count(className) == 0) {
        fault(call + " of an unregistered class");
        record(call + " -> null");
        return nullptr;
    }
    WindowHandle window = freshHandle("window");
    windowClass[window] = className;
    newestWindow = window;
    // The system sends the new window messages before it hands out the handle.
    deliver(window, creationMessages);
    record(call + " -> " + nameOf(window));
    return window;
}

void FakeWindowSystem::destroyWindow(WindowHandle window)
{
    record("destroyWindow(" + nameOf(window) + ")");
    if (!checkWindow("destroyWindow", window)) {
        return;
    }
    deliver(window, destructionMessages);
    windowClass.erase(window);
    for (auto timer = timers.begin(); timer != timers.end();) {
        timer = timer->first == window ? timers.erase(timer) : std::next(timer);
    }
}

void FakeWindowSystem::setWindowLong(WindowHandle window, int32_t index, intptr_t value)
{
    record("setWindowLong(" + nameOf(window) + ", " + std::to_string(index) + ", " + nameOfValue(value) + ")");
    if (checkWindow("setWindowLong", window)) {
        windowLongs[{window, index}] = value;
    }
}

intptr_t FakeWindowSystem::getWindowLong(WindowHandle window, int32_t index)
{
    intptr_t value = 0;
    if (checkWindow("getWindowLong", window)) {
        const auto found = windowLongs.find({window, index});
        value = found == windowLongs.end() ? 0 : found->second;
    }
    record("getWindowLong(" + nameOf(window) + ", " + std::to_string(index) + ") -> " + nameOfValue(value));
    return value;
}

intptr_t FakeWindowSystem::defWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    checkWindow("defWindowProc", window);
    const auto result = static_cast<intptr_t>(takeScripted("defWindowProc").value_or(0));
    record("defWindowProc(" + nameOf(window) + ", " + messageText(message, wParam, lParam) + ") -> " +
           std::to_string(result));
    return result;
}

ContextHandle FakeWindowSystem::getDC(WindowHandle window)
{
    ContextHandle context = nullptr;
    if (window == nullptr) {
        fault("getDC(null): a drawing context of the whole screen");
    } else if (const Result scriptedContext = takeScripted("getDC")) {
        context = reinterpret_cast<void*>(*scriptedContext);
    } else if (checkWindow("getDC", window)) {
        context = freshHandle("dc");
        windowContexts[context] = window;
    }
    record("getDC(" + nameOf(window) + ") -> " + nameOf(context));
    return context;
}

void FakeWindowSystem::releaseDC(WindowHandle window, ContextHandle context)
{
    record("releaseDC(" + nameOf(window) + ", " + nameOf(context) + ")");
    checkWindow("releaseDC", window);
    const auto found = windowContexts.find(context);
    if (found == windowContexts.end() || found->second != window) {
        fault("releaseDC(" + nameOf(window) + ", " + nameOf(context) +
              "): not a drawing context taken from that window");
        return;
    }
    windowContexts.erase(found);
}

ContextHandle FakeWindowSystem::createCompatibleDC(ContextHandle context)
{
    ContextHandle memory = nullptr;
    if (const Result scriptedContext = takeScripted("createCompatibleDC")) {
        memory = reinterpret_cast<void*>(*scriptedContext);
    } else if (checkContext("createCompatibleDC", context)) {
        memory = freshHandle("dc");
        memoryContexts[memory] = freshHandle("stock");
    }
    record("createCompatibleDC(" + nameOf(context) + ") -> " + nameOf(memory));
    return memory;
}

void FakeWindowSystem::deleteDC(ContextHandle context)
{
    record("deleteDC(" + nameOf(context) + ")");
    if (memoryContexts.erase(context) == 0) {
        fault("deleteDC(" + nameOf(context) + "): not a drawing context made here");
    }
}

ObjectHandle FakeWindowSystem::loadImage(void* instance, int32_t resourceId)
{
    ObjectHandle bitmap = nullptr;
    if (const Result scriptedBitmap = takeScripted("loadImage")) {
        bitmap = reinterpret_cast<void*>(*scriptedBitmap);
    } else {
        bitmap = freshHandle("bitmap");
        bitmaps.insert(bitmap);
    }
    record("loadImage(" + nameOf(instance) + ", " + std::to_string(resourceId) + ") -> " + nameOf(bitmap));
    return bitmap;
}

ObjectHandle FakeWindowSystem::selectObject(ContextHandle context, ObjectHandle object)
{
    ObjectHandle previous = nullptr;
    const auto found = memoryContexts.find(context);
    if (const Result scriptedPrevious = takeScripted("selectObject")) {
        previous = reinterpret_cast<void*>(*scriptedPrevious);
    } else if (found == memoryContexts.end()) {
        fault("selectObject(" + nameOf(context) + ", " + nameOf(object) + "): not a drawing context made here");
    } else if (object == nullptr) {
        fault("selectObject(" + nameOf(context) + ", null)");
    } else {
        previous = found->second;
        found->second = object;
    }
    record("selectObject(" + nameOf(context) + ", " + nameOf(object) + ") -> " + nameOf(previous));
    return previous;
}

void FakeWindowSystem::deleteObject(ObjectHandle object)
{
    record("deleteObject(" + nameOf(object) + ")");
    for (const auto& entry : memoryContexts) {
        if (entry.second == object) {
            fault("deleteObject(" + nameOf(object) + ") while selected into " + nameOf(entry.first));
        }
    }
    if (bitmaps.erase(object) == 0) {
        fault("deleteObject(" + nameOf(object) + "): not a bitmap loaded here");
    }
}

void FakeWindowSystem::bitBlt(ContextHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                              ContextHandle source, int32_t sourceX, int32_t sourceY)
{
    record("bitBlt(" + nameOf(destination) + ", " + std::to_string(x) + ", " + std::to_string(y) + ", " +
           std::to_string(width) + ", " + std::to_string(height) + ", " + nameOf(source) + ", " +
           std::to_string(sourceX) + ", " + std::to_string(sourceY) + ")");
    checkContext("bitBlt", destination);
    checkContext("bitBlt", source);
    const auto memory = memoryContexts.find(source);
    if (memory != memoryContexts.end() && bitmaps.count(memory->second) == 0) {
        fault("bitBlt from " + nameOf(source) + ", which holds no loaded bitmap");
    }
}

uintptr_t FakeWindowSystem::setTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds)
{
    uintptr_t result = 0;
    if (checkWindow("setTimer", window)) {
        result = takeScripted("setTimer").value_or(timerId);
        if (result != 0) {
            timers.insert({window, result});
        }
    }
    record("setTimer(" + nameOf(window) + ", " + std::to_string(timerId) + ", " + std::to_string(milliseconds) +
           ") -> " + std::to_string(result));
    return result;
}

void FakeWindowSystem::killTimer(WindowHandle window, uintptr_t timerId)
{
    record("killTimer(" + nameOf(window) + ", " + std::to_string(timerId) + ")");
    if (checkWindow("killTimer", window) && timers.erase({window, timerId}) == 0) {
        fault("killTimer(" + nameOf(window) + ", " + std::to_string(timerId) + "): no such timer runs");
    }
}

void FakeWindowSystem::setCapture(WindowHandle window)
{
    record("setCapture(" + nameOf(window) + ")");
    checkWindow("setCapture", window);
}

void FakeWindowSystem::releaseCapture()
{
    record("releaseCapture()");
}

void FakeWindowSystem::handlePendingEvents()
{
    record("handlePendingEvents()");
}

void* FakeWindowSystem::freshHandle(const std::string& kind)
{
    return makeHandle(kind + std::to_string(++countPerKind[kind]));
}

FakeWindowSystem::Result FakeWindowSystem::takeScripted(const std::string& operation)
{
    const auto found = scripted.find(operation);
    if (found == scripted.end() || found->second.empty()) {
        return std::nullopt;
    }
    const Result next = found->second.front();
    found->second.pop_front();
    return next;
}

std::string FakeWindowSystem::nameOf(const void* handle) const
{
    if (handle == nullptr) {
        return "null";
    }
    const auto found = names.find(handle);
    return found == names.end() ? hex(reinterpret_cast<uintptr_t>(handle), 0) : found->second;
}

std::string FakeWindowSystem::nameOfValue(intptr_t value) const
{
    const auto found = names.find(reinterpret_cast<const void*>(value));
    return found == names.end() ? std::to_string(value) : found->second;
}

bool FakeWindowSystem::checkWindow(const std::string& operation, WindowHandle window)
{
    if (windowClass.count(window) != 0) {
        return true;
    }
    fault(operation + "(" + nameOf(window) + "): no live window");
    return false;
}

bool FakeWindowSystem::checkContext(const std::string& operation, ContextHandle context)
{
    if (windowContexts.count(context) != 0 || memoryContexts.count(context) != 0) {
        return true;
    }
    fault(operation + "(" + nameOf(context) + "): no live drawing context");
    return false;
}

void FakeWindowSystem::deliver(WindowHandle window, const std::vector<Message>& messages)
{
    for (const Message& message : messages) {
        send(window, message.message, message.wParam, message.lParam);
    }
}

} // namespace vela
