// SPDX-License-Identifier: MIT
// The host's editor window: real windows on the platform's window system, with editors of
// built modules and, on Linux, of packaged third-party plug-ins run as black boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "frame/erect.h"
#include "host/editor_window.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "tests/support/test_display.h"

#ifndef _WIN32
#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vela {

namespace {

struct EditorModule {
    const char* name;
    std::string path;
    // A point inside a control that changes a parameter when pressed.
    int clickX;
    int clickY;
};

std::vector<EditorModule> editorModules()
{
    std::vector<EditorModule> modules;
    // The button's middle.
    modules.push_back({"Vela", VELA_MODULE_PATH, 128, 40});
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sidechain switch. Not in sanitizer builds: a packaged editor's window and font
    // libraries keep memory to the end, which the leak check would blame on this program.
    modules.push_back({"ZamComp", "/usr/lib/vst/ZamComp-vst.so", 517, 67});
#endif
    return modules;
}

std::string moduleName(const testing::TestParamInfo<EditorModule>& info)
{
    return info.param.name;
}

// The message of the EditorWindowError that opening throws, or "" after an open.
std::string openError(HostedEffect& effect)
{
    try {
        EditorWindow window(effect);
    } catch (const EditorWindowError& error) {
        return error.what();
    }
    ADD_FAILURE() << "the editor window opened";
    return {};
}

std::vector<float> parameters(HostedEffect& effect)
{
    std::vector<float> values;
    for (int32_t index = 0; index < effect.record()->numParams; ++index) {
        values.push_back(effect.getParameter(index));
    }
    return values;
}

class EditorWindowWithEditor : public testing::TestWithParam<EditorModule> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(findOrStartTestDisplay(), "") << "no X display";
        if (!std::filesystem::exists(GetParam().path)) {
            GTEST_SKIP() << GetParam().path << " is not installed";
        }
        effect.emplace(PluginModule::load(GetParam().path));
        ASSERT_NE(effect->record(), nullptr);
        effect->dispatch(effOpen);
    }

    std::optional<HostedEffect> effect;
};

TEST_P(EditorWindowWithEditor, TakesTheSizeOfTheEditorsRectangle)
{
    EditorWindow window(*effect);
    ERect* rect = nullptr;
    effect->dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(window.width(), rect->right - rect->left);
    EXPECT_EQ(window.height(), rect->bottom - rect->top);
}

TEST_P(EditorWindowWithEditor, CapturesWhatTheEditorDrew)
{
    EditorWindow window(*effect);
    window.pump(250);
    const EditorWindow::Image image = window.capture();
    ASSERT_EQ(image.width, window.width());
    ASSERT_EQ(image.height, window.height());
    ASSERT_EQ(image.rgb.size(), static_cast<std::size_t>(image.width) * image.height * 3);
    // The parent is plain black; an editor's face has many colours.
    std::set<uint32_t> colours;
    for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
        colours.insert(static_cast<uint32_t>(image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2]));
    }
    EXPECT_GT(colours.size(), 8u);
}

TEST_P(EditorWindowWithEditor, AClickReachesTheEditorAndChangesTheImage)
{
    EditorWindow window(*effect);
    window.pump(250);
    const EditorWindow::Image before = window.capture();
    const std::vector<float> valuesBefore = parameters(*effect);
    effect->host().clearCalls();

    window.click(GetParam().clickX, GetParam().clickY);
    window.pump(250);

    EXPECT_NE(parameters(*effect), valuesBefore);
    bool automated = false;
    for (const HostCall& call : effect->host().calls()) {
        automated = automated || call.opcode == audioMasterAutomate;
    }
    EXPECT_TRUE(automated) << "the editor told the host of no parameter change";
    EXPECT_NE(window.capture().rgb, before.rgb);
}

TEST_P(EditorWindowWithEditor, RefusesClicksOutsideTheWindow)
{
    EditorWindow window(*effect);
    for (const auto& [x, y] :
         {std::pair{-1, 0}, std::pair{0, -1}, std::pair{window.width(), 0}, std::pair{0, window.height()}}) {
        EXPECT_THROW(window.click(x, y), EditorWindowError) << x << "," << y;
    }
}

TEST_P(EditorWindowWithEditor, OpensAgainAfterClosing)
{
    for (int round = 0; round < 2; ++round) {
        EditorWindow window(*effect);
        window.pump(100);
        EXPECT_GT(window.capture().rgb.size(), 0u) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, EditorWindowWithEditor, testing::ValuesIn(editorModules()), moduleName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EditorWindowWithEditor);

TEST(EditorWindowErrors, AnEffectWithoutAnEditorIsRefused)
{
    HostedEffect effect(PluginModule::load(FRAME_TEST_MODULE_PATH));
    ASSERT_NE(effect.record(), nullptr);
    effect.dispatch(effOpen);
    EXPECT_NE(openError(effect).find("no editor"), std::string::npos);
}

TEST(EditorWindowErrors, AClosedEffectIsRefused)
{
    HostedEffect effect(PluginModule::load(FRAME_TEST_MODULE_PATH));
    effect.close();
    EXPECT_NE(openError(effect).find("no open effect"), std::string::npos);
}

#ifndef _WIN32
// A top-level window shown by another process's connection for as long as this lives.
class OtherProcessWindow {
public:
    OtherProcessWindow()
    {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            return;
        }
        child = fork();
        if (child == 0) {
            close(ready[0]);
            close(release[1]);
            Display* display = XOpenDisplay(nullptr);
            if (display == nullptr) {
                _exit(1);
            }
            const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 32, 32, 0, 0, 0);
            XMapWindow(display, window);
            XSync(display, False);
            const char shown = 1;
            (void)!write(ready[1], &shown, 1);
            char ignored = 0;
            // Until the parent closes its end.
            (void)!read(release[0], &ignored, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        releaseEnd = release[1];
        char shown = 0;
        showing = child > 0 && read(ready[0], &shown, 1) == 1;
        close(ready[0]);
    }
    OtherProcessWindow(const OtherProcessWindow&) = delete;
    OtherProcessWindow& operator=(const OtherProcessWindow&) = delete;
    ~OtherProcessWindow()
    {
        close(releaseEnd);
        if (child > 0) {
            waitpid(child, nullptr, 0);
        }
    }

    bool shown() const { return showing; }

private:
    pid_t child = -1;
    int releaseEnd = -1;
    bool showing = false;
};

TEST(EditorWindowCounts, CountOnlyThisProcesssWindowsAndObjects)
{
    ASSERT_EQ(findOrStartTestDisplay(), "") << "no X display";
    HostedEffect effect(PluginModule::load(VELA_MODULE_PATH));
    effect.dispatch(effOpen);
    EditorWindow window(effect);
    window.pump(100);
    const int topLevels = window.topLevelWindowCount();
    const std::map<std::string, int64_t> objects = window.processObjectCounts();
    // At least the host's window and the editor's inside it.
    ASSERT_GE(objects.count("WINDOW") ? objects.at("WINDOW") : 0, 2);
    {
        const OtherProcessWindow other;
        ASSERT_TRUE(other.shown());
        EXPECT_EQ(window.topLevelWindowCount(), topLevels);
        EXPECT_EQ(window.processObjectCounts(), objects);
    }
    Display* own = XOpenDisplay(nullptr);
    ASSERT_NE(own, nullptr);
    XMapWindow(own, XCreateSimpleWindow(own, DefaultRootWindow(own), 0, 0, 32, 32, 0, 0, 0));
    XSync(own, False);
    EXPECT_EQ(window.topLevelWindowCount(), topLevels + 1);
    EXPECT_EQ(window.processObjectCounts().at("WINDOW"), objects.at("WINDOW") + 1);
    XCloseDisplay(own);
}

// Restores DISPLAY when it goes.
class DisplayOverride {
public:
    explicit DisplayOverride(const char* value)
    {
        if (const char* current = std::getenv("DISPLAY")) {
            saved = current;
        }
        if (value) {
            setenv("DISPLAY", value, 1);
        } else {
            unsetenv("DISPLAY");
        }
    }
    ~DisplayOverride()
    {
        if (saved) {
            setenv("DISPLAY", saved->c_str(), 1);
        } else {
            unsetenv("DISPLAY");
        }
    }

private:
    std::optional<std::string> saved;
};

TEST(EditorWindowErrors, AMissingDisplayIsAnErrorNamingIt)
{
    const std::vector<EditorModule> modules = editorModules();
    const auto found = std::find_if(modules.begin(), modules.end(),
                                    [](const EditorModule& module) { return std::filesystem::exists(module.path); });
    if (found == modules.end()) {
        GTEST_SKIP() << "no module with an editor is built or installed";
    }
    HostedEffect effect(PluginModule::load(found->path));
    ASSERT_NE(effect.record(), nullptr);
    effect.dispatch(effOpen);
    {
        const DisplayOverride unset(nullptr);
        EXPECT_NE(openError(effect).find("DISPLAY is not set"), std::string::npos);
    }
    {
        // No server listens on so high a number.
        const DisplayOverride unreachable(":32999");
        EXPECT_NE(openError(effect).find("cannot open the X display :32999"), std::string::npos);
    }
}
#endif

} // namespace

} // namespace vela
