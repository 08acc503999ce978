// SPDX-License-Identifier: MIT
#include "host/recording_host.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace vela {

namespace {

// Which host each known record belongs to, and how many callback calls are inside each host
// right now, so that a host being destroyed waits for calls from other threads to leave it.
struct Registry {
    std::mutex lock;
    std::unordered_map<AEffect*, RecordingHost*> owners;
    std::unordered_map<RecordingHost*, int> callsInside;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::atomic<uint64_t> unroutedCallCount{0};

std::atomic<RecordingHost::CallbackHook> callbackHook{nullptr};

// Calls the hook on entering and, when it goes, on leaving.
class HookScope {
public:
    HookScope() : hook(callbackHook.load(std::memory_order_acquire))
    {
        if (hook) {
            hook(true);
        }
    }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;
    ~HookScope()
    {
        if (hook) {
            hook(false);
        }
    }

private:
    RecordingHost::CallbackHook hook;
};

// The host whose callEntry is running on this thread; entries call back before their record
// is known.
thread_local RecordingHost* hostInEntry = nullptr;

} // namespace

RecordingHost::RecordingHost()
{
    setAnswer(audioMasterVersion, kDefaultVersion);
}

RecordingHost::~RecordingHost()
{
    Registry& shared = registry();
    std::unique_lock guard(shared.lock);
    std::erase_if(shared.owners, [this](const auto& entry) { return entry.second == this; });
    // No new call can find this host now; wait for those that already have.
    while (shared.callsInside.contains(this)) {
        guard.unlock();
        std::this_thread::yield();
        guard.lock();
    }
}

void RecordingHost::setAnswer(HostOpcode opcode, intptr_t answer)
{
    setAnswer(opcode, Answer([answer](const HostCall&) { return answer; }));
}

void RecordingHost::setAnswer(HostOpcode opcode, Answer answer)
{
    auto shared = std::make_shared<const Answer>(std::move(answer));
    std::lock_guard guard(lock);
    answers[opcode] = std::move(shared);
}

void RecordingHost::setStringAnswer(HostOpcode opcode, const std::string& text, intptr_t result)
{
    setAnswer(opcode, Answer([text, result](const HostCall& call) {
                  if (call.ptr) {
                      std::memcpy(call.ptr, text.c_str(), text.size() + 1);
                  }
                  return result;
              }));
}

void RecordingHost::clearAnswer(HostOpcode opcode)
{
    std::lock_guard guard(lock);
    answers.erase(opcode);
}

std::vector<HostCall> RecordingHost::calls() const
{
    std::lock_guard guard(lock);
    return recorded;
}

void RecordingHost::clearCalls()
{
    std::lock_guard guard(lock);
    recorded.clear();
}

AEffect* RecordingHost::callEntry(PluginEntryProc entry)
{
    RecordingHost* const outer = hostInEntry;
    hostInEntry = this;
    AEffect* const effect = entry(&RecordingHost::hostCallback);
    hostInEntry = outer;
    if (effect) {
        Registry& shared = registry();
        std::lock_guard guard(shared.lock);
        shared.owners[effect] = this;
    }
    return effect;
}

void RecordingHost::forget(AEffect* effect)
{
    Registry& shared = registry();
    std::lock_guard guard(shared.lock);
    const auto found = shared.owners.find(effect);
    if (found != shared.owners.end() && found->second == this) {
        shared.owners.erase(found);
    }
}

intptr_t RecordingHost::hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                     float opt) noexcept
{
    const HookScope hookScope;
    const HostCall call{effect, static_cast<HostOpcode>(opcode), index, value, ptr, opt};
    Registry& shared = registry();
    RecordingHost* host = nullptr;
    {
        std::lock_guard guard(shared.lock);
        const auto found = effect ? shared.owners.find(effect) : shared.owners.end();
        if (found != shared.owners.end()) {
            host = found->second;
            ++shared.callsInside[host];
        }
    }
    if (!host) {
        // The host in callEntry on this thread is alive for the whole call.
        if (hostInEntry) {
            return hostInEntry->answerCall(call);
        }
        unroutedCallCount.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    const intptr_t answer = host->answerCall(call);
    std::lock_guard guard(shared.lock);
    if (--shared.callsInside[host] == 0) {
        shared.callsInside.erase(host);
    }
    return answer;
}

void RecordingHost::setCallbackHook(CallbackHook hook)
{
    callbackHook.store(hook, std::memory_order_release);
}

uint64_t RecordingHost::unroutedCalls()
{
    return unroutedCallCount.load(std::memory_order_relaxed);
}

intptr_t RecordingHost::answerCall(const HostCall& call)
{
    std::shared_ptr<const Answer> answer;
    {
        std::lock_guard guard(lock);
        recorded.push_back(call);
        const auto found = answers.find(call.opcode);
        if (found != answers.end()) {
            answer = found->second;
        }
    }
    return answer ? (*answer)(call) : 0;
}

} // namespace vela
