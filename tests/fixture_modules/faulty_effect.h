// SPDX-License-Identifier: MIT
#pragma once

// The faults faulty_effect.cpp is built with (VELA_FAULT, listed there), and what it needs of
// the platform: its editor's window, a pause, and a worker thread that outlives the effect.
// faulty_effect_x11.cpp and faulty_effect_win32.cpp answer for Linux and Windows.

#include <cstdint>

#define VELA_FAULT_none 0
#define VELA_FAULT_allocates 1
#define VELA_FAULT_nan 2
#define VELA_FAULT_window 3
#define VELA_FAULT_random 4
#define VELA_FAULT_chunk 5
#define VELA_FAULT_race 6
#define VELA_FAULT_locale 7
#define VELA_FAULT_pixmap 8
#define VELA_FAULT_noentry 9
#define VELA_FAULT_replacing 10
#define VELA_FAULT_unresolved 11
#define VELA_FAULT_slow 12
#define VELA_FAULT_opcode 13
#define VELA_FAULT_denormal 14
#define VELA_FAULT_parameter 15
#define VELA_FAULT_suspend 16
#define VELA_FAULT_programs 17
#define VELA_FAULT_locks 18
#define VELA_FAULT_syscall 19
#define VELA_FAULT_late 20
#define VELA_FAULT_bigblock 21
#define VELA_FAULT_restore 22
#define VELA_FAULT_torn 23
#define VELA_FAULT_IS(name) (VELA_FAULT == VELA_FAULT_##name)

namespace vela {

// The editor's connection to the window system (none on Windows) and its window.
struct EditorHandles {
    void* connection = nullptr;
    uintptr_t window = 0;
};

// Opens the editor's window, a plain coloured child of parent; false when the window system
// cannot be reached.
bool openEditorWindow(EditorHandles& editor, void* parent, int width, int height);
// Closes the editor's window, if it is open.
void closeEditorWindow(EditorHandles& editor);
// Lets go of the window system once the effect ends.
void disconnectEditor(EditorHandles& editor);

// A number format other than the "C" one hosts run in, by the platform's name for it.
extern const char* const kOtherNumberLocale;

void pauseMilliseconds(int milliseconds);

// Runs body on a thread nobody waits for, with this module kept loaded for its code.
void startDetachedWorker(void (*body)(void* argument), void* argument);

} // namespace vela
