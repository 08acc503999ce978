// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "host/plugin_module.h"

namespace vela {

// One call an effect made to the host callback, with its arguments as passed.
struct HostCall {
    AEffect* effect;
    HostOpcode opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
};

// The host side of the callback: records every call that reaches it, in order, and answers
// from a table keyed by opcode. Opcodes without an entry answer 0; audioMasterVersion answers
// 2400 until a test says otherwise.
//
// The callback is a plain C function without a user pointer, so calls are routed by record:
// a record that callEntry returned belongs to the host that created it until forget; a call
// with a null or not yet known record while an entry runs on the same thread belongs to the
// host running it. Anything else is answered 0, recorded nowhere and counted in unroutedCalls.
class RecordingHost {
public:
    // Computes the answer to one call; it may write into call.ptr.
    using Answer = std::function<intptr_t(const HostCall& call)>;

    static constexpr intptr_t kDefaultVersion = 2400;

    RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // Forgets every record that still belongs to this host.
    ~RecordingHost();

    // Answers every later call with this opcode with a fixed value.
    void setAnswer(HostOpcode opcode, intptr_t answer);
    // Answers every later call with this opcode by calling answer, outside the host's lock.
    void setAnswer(HostOpcode opcode, Answer answer);
    // Copies text and its terminator into ptr and answers result, for the vendor and product
    // string queries and the like.
    void setStringAnswer(HostOpcode opcode, const std::string& text, intptr_t result = 1);
    // Back to answering 0 for this opcode.
    void clearAnswer(HostOpcode opcode);

    // The calls recorded so far, oldest first.
    std::vector<HostCall> calls() const;
    void clearCalls();

    // Calls a module's entry with the host callback and answers the record it returns, which
    // from then on belongs to this host; null when the entry returned null.
    AEffect* callEntry(PluginEntryProc entry);
    // Releases a record after effClose: later calls with it are no longer this host's.
    void forget(AEffect* effect);

    // The host callback handed to every entry: routes, records and answers. An Answer that
    // throws ends the program: no exception may unwind through a module's frames.
    static intptr_t hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) noexcept;
    // Calls that reached the callback but belonged to no host, since the program started.
    static uint64_t unroutedCalls();

    // Called with true as each callback call enters the host and with false as it leaves, on
    // the calling thread; lets a tool that watches an effect's calls leave the host's own work
    // out. Null (the default) calls nothing. Set it before any effect runs.
    using CallbackHook = void (*)(bool entering);
    static void setCallbackHook(CallbackHook hook);

private:
    intptr_t answerCall(const HostCall& call);

    mutable std::mutex lock;
    std::vector<HostCall> recorded;
    std::map<int32_t, std::shared_ptr<const Answer>> answers;
};

} // namespace vela
