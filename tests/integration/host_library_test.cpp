// SPDX-License-Identifier: MIT
// The host library, driving the frame test module as any host would, and in-process fakes for
// what the frame test effect never does (calling the host, refusing to load).

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"

namespace vela {

namespace {

const std::string frameTestModulePath = FRAME_TEST_MODULE_PATH;

TEST(HostLibraryFrameModule, FindsMainCreatesTheEffectSilentlyAndStaysLoadedWhileItIsOpen)
{
    auto module = PluginModule::load(frameTestModulePath);
    // The module exports both names; main comes first.
    EXPECT_EQ(module->entryName(), "main");

    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    HostedEffect effect(module);
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.record()->magic, 0x56737450);
    EXPECT_TRUE(effect.host().calls().empty());
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore);

    module.reset();
    // The effect's code is still mapped: a call through its record still runs.
    EXPECT_EQ(effect.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(effect.module().entryName(), "main");
}

#ifndef _WIN32
// A packaged third-party module (tools/setup.sh installs it), built with another framework:
// it asks the host's version with a null record while its entry runs, as many effects do.
TEST(HostLibraryForeignModule, AThirdPartyEffectReachesItsHostDuringAndAfterItsEntry)
{
    const std::string path = "/usr/lib/vst/3BandEQ-vst.so";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " is not installed";
    }
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::load(path), host);
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.record()->uniqueID, fourCharCode("D3EQ"));
    const std::vector<HostCall> calls = host->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::tuple(calls[0].effect, calls[0].opcode), std::tuple(nullptr, audioMasterVersion));
    EXPECT_EQ(effect.dispatchString(effGetEffectName), "3 Band EQ");
}
#endif

TEST(HostLibraryLoadErrors, NameThePathAndTheReason)
{
    const std::string missing = frameTestModulePath + ".missing";
    const std::string text = std::string(VELA_SOURCE_DIR) + "/CMakeLists.txt";
    const char* const noEntry = "exports neither main nor VSTPluginMain";
    const std::pair<std::string, const char*> rows[] = {
#ifdef _WIN32
        {missing, "error 126"},
        {text, "error 193"},
        {"kernel32.dll", noEntry},
#else
        {missing, "No such file"},
        {text, "invalid ELF header"},
        {"libm.so.6", noEntry},
#endif
    };
    for (const auto& [path, reason] : rows) {
        try {
            PluginModule::load(path);
            ADD_FAILURE() << path << " loaded";
        } catch (const ModuleLoadError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(reason), std::string::npos) << message;
        }
    }
}

// A fake effect linked into this program, with the behaviours the frame test effect lacks: it
// asks the host's version like a finished effect's main, calls the host with its own record
// during the entry, when opened and when closed, and writes texts.
struct FakeEffect {
    AEffect record{};
    audioMasterCallback host = nullptr;
};

int fakeEffectsClosed = 0;
intptr_t versionAnswerSeen = -1;

intptr_t fakeDispatcher(AEffect* record, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    auto* self = static_cast<FakeEffect*>(record->object);
    switch (opcode) {
    case effOpen:
        return self->host(record, audioMasterAutomate, 3, 0, nullptr, 0.25f);
    case effClose:
        self->host(record, audioMasterIdle, 0, 0, nullptr, 0.0f);
        ++fakeEffectsClosed;
        delete self;
        return 1;
    case effGetVendorString:
        // No terminator anywhere in the host's buffer.
        std::memset(ptr, 'v', HostedEffect::kStringBufferSize);
        return 1;
    case effGetProductString: {
        char product[64] = {};
        const intptr_t answer = self->host(record, audioMasterGetProductString, 0, 0, product, 0.0f);
        std::strcpy(static_cast<char*>(ptr), product);
        return answer;
    }
    default:
        return 0;
    }
}

AEffect* fakeEntry(audioMasterCallback host)
{
    versionAnswerSeen = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    if (versionAnswerSeen == 0) {
        return nullptr;
    }
    auto* self = new FakeEffect;
    self->host = host;
    self->record.magic = kEffectMagic;
    self->record.dispatcher = fakeDispatcher;
    self->record.object = self;
    // Not yet returned, so not yet known to any host.
    host(&self->record, audioMasterCurrentId, 7, -5, self, 1.5f);
    return &self->record;
}

TEST(HostLibraryRecordingHost, RecordsEveryCallOfTheEntryAndAnswersTheVersion)
{
    const auto host = std::make_shared<RecordingHost>();
    versionAnswerSeen = -1;
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(versionAnswerSeen, 2400);
    const std::vector<HostCall> calls = host->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(std::tuple(calls[0].effect, calls[0].opcode), std::tuple(nullptr, audioMasterVersion));
    const HostCall& c = calls[1];
    EXPECT_EQ(std::tuple(c.effect, c.opcode, c.index, c.value, c.ptr, c.opt),
              std::tuple(effect.record(), audioMasterCurrentId, 7, -5, effect.record()->object, 1.5f));

    // An answer of 0 lets the entry refuse.
    const auto refusing = std::make_shared<RecordingHost>();
    refusing->setAnswer(audioMasterVersion, 0);
    HostedEffect refused(PluginModule::inProcess(fakeEntry), refusing);
    EXPECT_EQ(refused.record(), nullptr);
    EXPECT_EQ(refusing->calls().size(), 1u);
    EXPECT_THROW(refused.dispatch(effOpen), std::logic_error);
    EXPECT_EQ(refused.close(), 0);
}

TEST(HostLibraryRecordingHost, CallsReachTheHostThatCreatedTheirRecordFromAnyThread)
{
    const auto firstHost = std::make_shared<RecordingHost>();
    const auto secondHost = std::make_shared<RecordingHost>();
    HostedEffect first(PluginModule::inProcess(fakeEntry), firstHost);
    HostedEffect second(PluginModule::inProcess(fakeEntry), secondHost);
    ASSERT_NE(first.record(), nullptr);
    ASSERT_NE(second.record(), nullptr);
    firstHost->clearCalls();
    secondHost->clearCalls();
    firstHost->setAnswer(audioMasterAutomate, 11);
    EXPECT_EQ(second.dispatch(effOpen), 0);
    EXPECT_EQ(first.dispatch(effOpen), 11);
    ASSERT_EQ(firstHost->calls().size(), 1u);
    ASSERT_EQ(secondHost->calls().size(), 1u);
    const HostCall c = firstHost->calls()[0];
    EXPECT_EQ(std::tuple(c.effect, c.opcode, c.index, c.opt),
              std::tuple(first.record(), audioMasterAutomate, 3, 0.25f));
    EXPECT_EQ(secondHost->calls()[0].effect, second.record());

    // From another thread, a known record still reaches its host; an unknown or null one reaches none.
    firstHost->setAnswer(audioMasterGetSampleRate, 48000);
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    AEffect stranger{};
    intptr_t answers[3] = {-1, -1, -1};
    std::thread other([&] {
        answers[0] = RecordingHost::hostCallback(first.record(), audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        answers[1] = RecordingHost::hostCallback(&stranger, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        answers[2] = RecordingHost::hostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    });
    other.join();
    EXPECT_EQ(std::tuple(answers[0], answers[1], answers[2]), std::tuple(48000, 0, 0));
    ASSERT_EQ(firstHost->calls().size(), 2u);
    EXPECT_EQ(firstHost->calls()[1].effect, first.record());
    EXPECT_EQ(secondHost->calls().size(), 1u);
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore + 2);
}

TEST(HostLibraryRecordingHost, AnswerFunctionsAndStringAnswersWriteIntoPtr)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    ASSERT_NE(effect.record(), nullptr);
    host->setStringAnswer(audioMasterGetProductString, "Recording host");
    intptr_t result = 0;
    EXPECT_EQ(effect.dispatchString(effGetProductString, 0, 0, 0.0f, &result), "Recording host");
    EXPECT_EQ(result, 1);

    host->setAnswer(audioMasterGetProductString, [](const HostCall& call) -> intptr_t {
        std::strcpy(static_cast<char*>(call.ptr), "hook");
        return 5;
    });
    EXPECT_EQ(effect.dispatchString(effGetProductString, 0, 0, 0.0f, &result), "hook");
    EXPECT_EQ(result, 5);

    host->clearAnswer(audioMasterGetProductString);
    EXPECT_EQ(effect.dispatchString(effGetProductString, 0, 0, 0.0f, &result), "");
    EXPECT_EQ(result, 0);
    // A text without a terminator is read up to the buffer's end and no further.
    EXPECT_EQ(effect.dispatchString(effGetVendorString), std::string(HostedEffect::kStringBufferSize, 'v'));
}

TEST(HostLibraryHostedEffect, AnEffectIsClosedOnceAndReachesItsHostWhileClosingAndNotAfter)
{
    const int closedBefore = fakeEffectsClosed;
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    AEffect* const record = effect.record();
    ASSERT_NE(record, nullptr);
    host->clearCalls();
    EXPECT_EQ(effect.close(), 1);
    EXPECT_EQ(effect.record(), nullptr);
    EXPECT_EQ(effect.close(), 0);
    EXPECT_THROW(effect.dispatch(effOpen), std::logic_error);
    EXPECT_EQ(fakeEffectsClosed, closedBefore + 1);
    ASSERT_EQ(host->calls().size(), 1u);
    EXPECT_EQ(std::tuple(host->calls()[0].effect, host->calls()[0].opcode), std::tuple(record, audioMasterIdle));
    // Only the address is passed on; the record itself is gone.
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    EXPECT_EQ(RecordingHost::hostCallback(record, audioMasterVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(host->calls().size(), 1u);
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore + 1);

    {
        HostedEffect closedByDispatch(PluginModule::inProcess(fakeEntry));
        EXPECT_EQ(closedByDispatch.dispatch(effClose), 1);
        EXPECT_EQ(closedByDispatch.record(), nullptr);
        EXPECT_EQ(fakeEffectsClosed, closedBefore + 2);
        HostedEffect moved(PluginModule::inProcess(fakeEntry));
        AEffect* const movedRecord = moved.record();
        HostedEffect owner(std::move(moved));
        EXPECT_EQ(moved.close(), 0);
        EXPECT_EQ(owner.record(), movedRecord);
    }
    // The destructors closed only what was still open: the moved effect, through its new owner.
    EXPECT_EQ(fakeEffectsClosed, closedBefore + 3);
}

} // namespace

} // namespace vela
