// The host library, driving the frame test module as any host would, and in-process fakes for
// what the frame test effect never does (calling the host, refusing to load).

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"

namespace {

const std::string frameTestModulePath = FRAME_TEST_MODULE_PATH;

// The message of the ModuleLoadError that loading path throws, or "" after a failure.
std::string loadError(const std::string& path)
{
    try {
        PluginModule::load(path);
    } catch (const ModuleLoadError& error) {
        return error.what();
    }
    ADD_FAILURE() << path << " loaded";
    return {};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The frame test module as a host sees it.

TEST(HostLibraryFrameModule, FindsTheEntryUnderMain)
{
    const auto module = PluginModule::load(frameTestModulePath);
    EXPECT_NE(module->entry(), nullptr);
    EXPECT_EQ(module->entryName(), "main");
    EXPECT_EQ(module->path(), frameTestModulePath);
}

TEST(HostLibraryFrameModule, CreatingTheEffectCallsTheHostNotAtAll)
{
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_TRUE(effect.host().calls().empty());
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore);
}

TEST(HostLibraryFrameModule, TheRecordHoldsTheCoreValues)
{
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    const AEffect* record = effect.record();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_NE(record->dispatcher, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_NE(record->setParameter, nullptr);
    EXPECT_NE(record->getParameter, nullptr);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_EQ(record->numPrograms, 3);
    EXPECT_EQ(record->numParams, 5);
    EXPECT_EQ(record->numInputs, 1);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 0);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(record->ioRatio, 2.0f);
    EXPECT_NE(record->object, nullptr);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->uniqueID, 0x4E6F4566);
    EXPECT_EQ(record->version, 2);
    const std::array<char, sizeof record->future> zeros{};
    EXPECT_EQ(std::memcmp(record->future, zeros.data(), zeros.size()), 0);
}

TEST(HostLibraryFrameModule, IdentifyAnswersNvEf)
{
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.dispatch(effIdentify), 0x4E764566);
}

TEST(HostLibraryFrameModule, CloseAnswersOneOnceAndForgetsTheRecord)
{
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.close(), 1);
    EXPECT_EQ(effect.record(), nullptr);
    EXPECT_EQ(effect.close(), 0);
    EXPECT_THROW(effect.dispatch(effIdentify), std::logic_error);
}

TEST(HostLibraryFrameModule, CloseThroughDispatchForgetsTheRecordToo)
{
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.dispatch(effClose), 1);
    EXPECT_EQ(effect.record(), nullptr);
}

TEST(HostLibraryFrameModule, TwoInstancesHaveIndependentRecordsAndObjects)
{
    const auto module = PluginModule::load(frameTestModulePath);
    HostedEffect first(module);
    HostedEffect second(module);
    ASSERT_NE(first.record(), nullptr);
    ASSERT_NE(second.record(), nullptr);
    EXPECT_NE(first.record(), second.record());
    EXPECT_NE(first.record()->object, second.record()->object);

    first.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(first.dispatch(effGetProgram), 2);
    EXPECT_EQ(second.dispatch(effGetProgram), 0);

    // Closing one leaves the other working.
    EXPECT_EQ(first.close(), 1);
    EXPECT_EQ(second.dispatch(effIdentify), 0x4E764566);
}

TEST(HostLibraryFrameModule, ProcessThroughTheRecordAddsTheInputToBothOutputs)
{
    HostedEffect effect(PluginModule::load(frameTestModulePath));
    ASSERT_NE(effect.record(), nullptr);
    std::array<float, 4> input{1.0f, 2.0f, -3.0f, 0.5f};
    std::array<float, 4> left{10.0f, 10.0f, 10.0f, 10.0f};
    std::array<float, 4> right{-1.0f, 0.0f, 1.0f, 2.0f};
    std::array<float*, 1> inputs{input.data()};
    std::array<float*, 2> outputs{left.data(), right.data()};

    effect.process(inputs.data(), outputs.data(), 3);

    EXPECT_EQ(left, (std::array<float, 4>{11.0f, 12.0f, 7.0f, 10.0f}));
    EXPECT_EQ(right, (std::array<float, 4>{0.0f, 2.0f, -2.0f, 2.0f}));
}

TEST(HostLibraryFrameModule, AnOpenEffectKeepsItsModuleLoaded)
{
    auto module = PluginModule::load(frameTestModulePath);
    HostedEffect effect(module);
    ASSERT_NE(effect.record(), nullptr);
    module.reset();
    // The effect's code is still mapped: a call through its record still runs.
    EXPECT_EQ(effect.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(effect.module().entryName(), "main");
}

TEST(HostLibraryFrameModule, AMovedEffectIsClosedOnceByItsNewOwner)
{
    HostedEffect first(PluginModule::load(frameTestModulePath));
    AEffect* const record = first.record();
    ASSERT_NE(record, nullptr);
    HostedEffect second(std::move(first));
    EXPECT_EQ(first.close(), 0);
    EXPECT_EQ(second.record(), record);
    EXPECT_EQ(second.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(second.close(), 1);
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
    host->setAnswer(audioMasterGetSampleRate, 48000);
    HostedEffect effect(PluginModule::load(path), host);
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.record()->magic, kEffectMagic);
    EXPECT_EQ(effect.record()->uniqueID, fourCharCode("D3EQ"));
    const std::vector<HostCall> calls = host->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(effect.dispatchString(effGetEffectName), "3 Band EQ");
    EXPECT_EQ(effect.close(), 1);
}
#endif

// Load failures.

TEST(HostLibraryLoadErrors, AMissingFileNamesThePathAndTheReason)
{
    const std::string path = frameTestModulePath + ".missing";
    const std::string message = loadError(path);
    EXPECT_TRUE(contains(message, path)) << message;
#ifdef _WIN32
    EXPECT_TRUE(contains(message, "error 126")) << message;
#else
    EXPECT_TRUE(contains(message, "No such file")) << message;
#endif
}

TEST(HostLibraryLoadErrors, ATextFileIsNotAModule)
{
    const std::string path = std::string(VELA_SOURCE_DIR) + "/CMakeLists.txt";
    const std::string message = loadError(path);
    EXPECT_TRUE(contains(message, path)) << message;
#ifdef _WIN32
    EXPECT_TRUE(contains(message, "error 193")) << message;
#else
    EXPECT_TRUE(contains(message, "invalid ELF header")) << message;
#endif
}

TEST(HostLibraryLoadErrors, ALibraryWithoutAnEntryIsRefused)
{
#ifdef _WIN32
    const std::string path = "kernel32.dll";
#else
    const std::string path = "libm.so.6";
#endif
    const std::string message = loadError(path);
    EXPECT_TRUE(contains(message, path)) << message;
    EXPECT_TRUE(contains(message, "exports neither main nor VSTPluginMain")) << message;
}

// A fake effect linked into this program, with the behaviours the frame test effect lacks: it
// asks the host's version like a finished effect's main, calls the host with its own record
// during the entry and when opened, and writes texts.

struct FakeEffect {
    AEffect record{};
    audioMasterCallback host = nullptr;
};

int fakeEffectsClosed = 0;

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
    case effGetEffectName:
        std::strcpy(static_cast<char*>(ptr), "Fake");
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
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
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

TEST(HostLibraryRecordingHost, RecordsEveryCallOfTheEntryInOrderWithItsArguments)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    ASSERT_NE(effect.record(), nullptr);
    const std::vector<HostCall> calls = host->calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[1].effect, effect.record());
    EXPECT_EQ(calls[1].opcode, audioMasterCurrentId);
    EXPECT_EQ(calls[1].index, 7);
    EXPECT_EQ(calls[1].value, -5);
    EXPECT_EQ(calls[1].ptr, effect.record()->object);
    EXPECT_EQ(calls[1].opt, 1.5f);
}

intptr_t versionAnswerSeen = -1;

AEffect* versionProbeEntry(audioMasterCallback host)
{
    versionAnswerSeen = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    return nullptr;
}

TEST(HostLibraryRecordingHost, AnswersTheVersionQueryWith2400ByDefault)
{
    RecordingHost host;
    versionAnswerSeen = -1;
    EXPECT_EQ(host.callEntry(versionProbeEntry), nullptr);
    EXPECT_EQ(versionAnswerSeen, 2400);
    EXPECT_EQ(host.calls().size(), 1u);
}

TEST(HostLibraryRecordingHost, AVersionAnswerOfZeroLetsTheEntryRefuse)
{
    const auto host = std::make_shared<RecordingHost>();
    host->setAnswer(audioMasterVersion, 0);
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    EXPECT_EQ(effect.record(), nullptr);
    EXPECT_EQ(host->calls().size(), 1u);
    EXPECT_THROW(effect.dispatch(effOpen), std::logic_error);
    EXPECT_EQ(effect.close(), 0);
}

TEST(HostLibraryRecordingHost, CallsWithAKnownRecordReachTheHostThatCreatedIt)
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

    const std::vector<HostCall> firstCalls = firstHost->calls();
    const std::vector<HostCall> secondCalls = secondHost->calls();
    ASSERT_EQ(firstCalls.size(), 1u);
    ASSERT_EQ(secondCalls.size(), 1u);
    EXPECT_EQ(firstCalls[0].effect, first.record());
    EXPECT_EQ(firstCalls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(firstCalls[0].index, 3);
    EXPECT_EQ(firstCalls[0].opt, 0.25f);
    EXPECT_EQ(secondCalls[0].effect, second.record());
}

TEST(HostLibraryRecordingHost, TheEffectReachesItsHostWhileClosingAndNotAfter)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    ASSERT_NE(effect.record(), nullptr);
    AEffect* const record = effect.record();
    host->clearCalls();
    EXPECT_EQ(effect.close(), 1);
    const std::vector<HostCall> calls = host->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].effect, record);
    EXPECT_EQ(calls[0].opcode, audioMasterIdle);

    // Only the address is passed on; the record itself is gone.
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    EXPECT_EQ(RecordingHost::hostCallback(record, audioMasterVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(host->calls().size(), 1u);
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore + 1);
}

TEST(HostLibraryRecordingHost, AForgottenRecordIsNoLongerRouted)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    AEffect* const record = effect.record();
    ASSERT_NE(record, nullptr);
    host->clearCalls();
    host->forget(record);
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    EXPECT_EQ(RecordingHost::hostCallback(record, audioMasterVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(host->calls().empty());
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore + 1);
}

TEST(HostLibraryRecordingHost, AnUnknownRecordFromAnotherThreadIsAnsweredZero)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    ASSERT_NE(effect.record(), nullptr);
    host->clearCalls();
    const uint64_t unroutedBefore = RecordingHost::unroutedCalls();
    AEffect stranger{};
    intptr_t strangerAnswer = -1;
    intptr_t nullAnswer = -1;
    std::thread other([&] {
        strangerAnswer = RecordingHost::hostCallback(&stranger, audioMasterVersion, 0, 0, nullptr, 0.0f);
        nullAnswer = RecordingHost::hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    });
    other.join();
    EXPECT_EQ(strangerAnswer, 0);
    EXPECT_EQ(nullAnswer, 0);
    EXPECT_TRUE(host->calls().empty());
    EXPECT_EQ(RecordingHost::unroutedCalls(), unroutedBefore + 2);
}

TEST(HostLibraryRecordingHost, AKnownRecordFromAnotherThreadReachesItsHost)
{
    const auto host = std::make_shared<RecordingHost>();
    HostedEffect effect(PluginModule::inProcess(fakeEntry), host);
    AEffect* const record = effect.record();
    ASSERT_NE(record, nullptr);
    host->clearCalls();
    host->setAnswer(audioMasterGetSampleRate, 48000);
    intptr_t answer = 0;
    std::thread other([&] {
        answer = RecordingHost::hostCallback(record, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    });
    other.join();
    EXPECT_EQ(answer, 48000);
    ASSERT_EQ(host->calls().size(), 1u);
    EXPECT_EQ(host->calls()[0].opcode, audioMasterGetSampleRate);
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

    host->setAnswer(audioMasterGetProductString, RecordingHost::Answer([](const HostCall& call) {
                        std::strcpy(static_cast<char*>(call.ptr), "hook");
                        return intptr_t{5};
                    }));
    EXPECT_EQ(effect.dispatchString(effGetProductString, 0, 0, 0.0f, &result), "hook");
    EXPECT_EQ(result, 5);

    host->clearAnswer(audioMasterGetProductString);
    EXPECT_EQ(effect.dispatchString(effGetProductString, 0, 0, 0.0f, &result), "");
    EXPECT_EQ(result, 0);
}

TEST(HostLibraryHostedEffect, DispatchStringReadsUpToTheTerminatorOrTheBufferEnd)
{
    HostedEffect effect(PluginModule::inProcess(fakeEntry));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.dispatchString(effGetEffectName), "Fake");
    EXPECT_EQ(effect.dispatchString(effGetVendorString),
              std::string(HostedEffect::kStringBufferSize, 'v'));
}

TEST(HostLibraryHostedEffect, TheDestructorClosesAnOpenEffectOnce)
{
    const int closedBefore = fakeEffectsClosed;
    {
        HostedEffect effect(PluginModule::inProcess(fakeEntry));
        ASSERT_NE(effect.record(), nullptr);
    }
    EXPECT_EQ(fakeEffectsClosed, closedBefore + 1);
    {
        HostedEffect effect(PluginModule::inProcess(fakeEntry));
        EXPECT_EQ(effect.close(), 1);
    }
    EXPECT_EQ(fakeEffectsClosed, closedBefore + 2);
}

} // namespace
