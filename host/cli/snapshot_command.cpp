// SPDX-License-Identifier: MIT
// vela-host snapshot: the effect's editor opened in a real window, saved as the window shows it.

#include <charconv>
#include <cstdio>
#include <optional>

#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/open_effect.h"
#include "host/cli/parameter_assignment.h"
#include "host/cli/pending_file.h"
#include "host/cli/png_encoder.h"
#include "host/editor_window.h"
#include "host/virtual_display.h"

namespace vela {

namespace {

// Editors draw on a timer (50 ms for Vela's); this is several ticks.
constexpr int kDrawMilliseconds = 250;

struct Point {
    int x;
    int y;
};

Point parsePoint(const std::string& text)
{
    Point point{-1, -1};
    const std::size_t comma = text.find(',');
    if (comma != std::string::npos) {
        const char* middle = text.data() + comma;
        const char* end = text.data() + text.size();
        const auto xRead = std::from_chars(text.data(), middle, point.x);
        const auto yRead = std::from_chars(middle + 1, end, point.y);
        if (xRead.ec != std::errc() || xRead.ptr != middle || yRead.ec != std::errc() || yRead.ptr != end) {
            point = {-1, -1};
        }
    }
    if (point.x < 0 || point.y < 0) {
        throw UsageError("bad --click \"" + text + "\": expected X,Y in window pixels, e.g. 128,40");
    }
    return point;
}

int runSnapshot(const std::vector<std::string>& words)
{
    const CommandLine line(words, {"--param", "--click"}, {});
    line.expectPositionals({"MODULE", "OUT.png"});
    const std::string& modulePath = line.positionals()[0];
    const std::string& outPath = line.positionals()[1];
    const auto assignments = ParameterAssignment::parseAll(line.values("--param"));
    const std::optional<std::string> clickText = line.value("--click");
    const Point click = clickText ? parsePoint(*clickText) : Point{-1, -1};

    // Before the effect, so that the display outlives its editor.
    const VirtualDisplay display;
    HostedEffect effect = openEffect(modulePath);
    for (const ParameterAssignment& assignment : assignments) {
        assignment.applyTo(effect);
    }
    EditorWindow::Image image;
    {
        EditorWindow window(effect);
        if (clickText && (click.x >= window.width() || click.y >= window.height())) {
            throw UsageError("bad --click " + *clickText + ": the editor is " + std::to_string(window.width()) + "x" +
                             std::to_string(window.height()));
        }
        window.pump(kDrawMilliseconds);
        if (clickText) {
            window.click(click.x, click.y);
            window.pump(kDrawMilliseconds);
        }
        image = window.capture();
    }
    effect.close();

    PendingFile pending(outPath);
    pending.write(encodePng(image.width, image.height, image.rgb));
    pending.commit();
    std::printf("%s: %dx%d%s%s\n", outPath.c_str(), image.width, image.height,
                display.isPrivate() ? ", drawn on a private display " : "",
                display.isPrivate() ? display.name().c_str() : "");
    return 0;
}

} // namespace

const Command snapshotCommand{
    "snapshot",
    "MODULE OUT.png [--param INDEX=VALUE ...] [--click X,Y]",
    "opens the editor in a real window and saves what it shows as a PNG",
    "Opens the effect's editor in a window of its own size, lets it draw for 250 ms, and\n"
    "saves the window's pixels to OUT.png. On X11 without a working DISPLAY a private Xvfb\n"
    "is started for the run and stopped afterwards.\n"
    "\n"
    "  --param INDEX=VALUE   set parameter INDEX to a normalised VALUE (0 to 1) before the\n"
    "                        editor opens; may be given more than once\n"
    "  --click X,Y           press and release the left button at X,Y (window pixels) through\n"
    "                        the window system, and let the editor draw again\n",
    runSnapshot,
};

} // namespace vela
