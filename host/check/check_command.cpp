// SPDX-License-Identifier: MIT
// vela-host check: a host-side conformance run that any VST 2 effect should pass, with the
// choices a release check in CI needs: how much to run, the seed, repetition, and reports
// for machines.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "host/check/checks.h"
#include "host/check/isolated_check.h"
#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/pending_file.h"
#include "host/cli/report.h"
#include "host/virtual_display.h"

namespace vela {

namespace {

constexpr int kDefaultStrictness = 5;
constexpr int kDefaultTimeoutSeconds = 120;

struct CheckInfo {
    const char* name;
    // The lowest strictness that runs it.
    int strictness;
    // Whether the checks after it need it to pass: without a loaded module or a record they
    // would only repeat its failure.
    bool prerequisite;
    // Whether it opens windows.
    bool gui;
    // Whether what it finds is only ever a warning.
    bool advisory;
    CheckBody body;
    const char* description;
};

const std::vector<CheckInfo> kChecks{
    {"loads", 1, true, false, false, checkLoads,
     "the module loads with lazy binding, as many hosts load, and exports main or\n"
     "VSTPluginMain"},
    {"record", 1, true, false, false, checkRecord,
     "magic VstP, counts in range, the record's functions present, among them an audio\n"
     "call a host may use (process, or processReplacing with effFlagsCanReplacing)"},
    {"exports", 1, false, false, false, checkExports,
     "loads with immediate binding and local symbols: a symbol no library defines fails,\n"
     "named; lists its exports (a warning for any besides the entry points) and the\n"
     "libraries it needs"},
    {"scan-time", 1, false, false, false, checkScanTime,
     "load, main, effClose and unload within 1 s (a warning above)"},
    {"opcodes", 1, false, false, false, checkOpcodeSweep,
     "every opcode from -1 to 80 with harmless arguments answers (index 0, value 0, a\n"
     "zeroed 1 KiB buffer as ptr); left out: 1, 14, 15, 24, 38 to 41, and opcodes whose\n"
     "index names a parameter, program or pin there is none of"},
    {"silence", 1, false, false, false, checkSilence,
     "32 blocks of silence, then 32 of noise at -400 dBFS, give finite output without\n"
     "denormals"},
    {"parameters", 1, false, false, false, checkParameters,
     "each parameter reads back 0, 1 and its first value; from strictness 2 also random\n"
     "values (kept within its own steps, one display text per value) and a change every\n"
     "32 frames while processing"},
    {"process", 3, false, false, false, checkProcess,
     "noise at 22050 to 192000 Hz (one fractional rate) in blocks of 1, 7, 64, 512, 4096\n"
     "and random sizes, separate, in place and accumulating: no NaN, infinity or denormal,\n"
     "the same output from the same input; a warning when denormal input is much slower"},
    {"suspend", 3, false, false, false, checkSuspend,
     "effMainsChanged off and on with rate and block size changes between; valid output"},
    {"programs", 3, false, false, false, checkPrograms,
     "every program's name readable and bounded; random switches and back restore it"},
    {"state", 3, false, false, false, checkState,
     "state saved (chunk, or program and parameters) restores into a fresh effect; empty,\n"
     "cut and random chunks do not crash it"},
    {"threads", 5, false, false, false, checkThreads,
     "a second thread sets parameters and reads their display while audio runs (races\n"
     "are reported in a ThreadSanitizer build)"},
    {"realtime", 5, false, false, false, checkRealtime,
     "no allocation, lock, wait or system call inside processReplacing or process: the C\n"
     "library's functions on Linux, the module's imports on 64-bit Windows"},
    {"large-block", 5, false, false, true, checkLargeBlock,
     "a block four times the size announced with effSetBlockSize (a warning only)"},
    {"editor", 5, false, true, false, checkEditor,
     "the editor opens at rest, while audio runs with parameters changing, and suspended;\n"
     "10 to 100 open and close cycles leave no window and no growing number of window-system\n"
     "objects (X resources, GDI and USER objects) behind; the process locale is kept"},
    {"close", 1, false, false, false, checkClose, "effClose, unloading the module, and no host calls afterwards"},
};

enum class Verdict { pass, warn, fail, skip };

struct CheckResult {
    const CheckInfo* check;
    int run;
    uint64_t seed;
    Verdict verdict;
    std::string detail;
    std::string step;
    double seconds;
};

const char* verdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::pass:
        return "PASS";
    case Verdict::warn:
        return "WARN";
    case Verdict::fail:
        return "FAIL";
    case Verdict::skip:
        return "SKIP";
    }
    return "?";
}

// The verdict as the JSON report writes it.
std::string resultWord(Verdict verdict)
{
    std::string word = verdictWord(verdict);
    for (char& c : word) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return word;
}

// How many results have the verdict.
int countOf(const std::vector<CheckResult>& results, Verdict verdict)
{
    return static_cast<int>(std::count_if(results.begin(), results.end(),
                                          [verdict](const CheckResult& result) { return result.verdict == verdict; }));
}

const CheckInfo& findCheck(const std::string& name)
{
    for (const CheckInfo& check : kChecks) {
        if (name == check.name) {
            return check;
        }
    }
    std::string known;
    for (const CheckInfo& check : kChecks) {
        known += (known.empty() ? "" : ", ") + std::string(check.name);
    }
    throw UsageError("no check named \"" + name + "\"; the checks are " + known);
}

std::vector<std::string> splitNames(const std::string& text)
{
    std::vector<std::string> names;
    std::stringstream stream(text);
    for (std::string name; std::getline(stream, name, ',');) {
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

uint64_t parseSeed(const std::string& text)
{
    std::size_t used = 0;
    uint64_t seed = 0;
    try {
        seed = std::stoull(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || text.front() == '-') {
        throw UsageError("--seed expects a whole number from 0 to 18446744073709551615, not \"" + text + "\"");
    }
    return seed;
}

std::string xmlText(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            // XML 1.0 has no place for most control characters.
            escaped += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' ? '?' : c;
        }
    }
    return escaped;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

void writeJunit(const std::string& path, const std::string& modulePath, int strictness,
                const std::vector<CheckResult>& results)
{
    const int failures = countOf(results, Verdict::fail);
    const int skips = countOf(results, Verdict::skip);
    double total = 0.0;
    for (const CheckResult& result : results) {
        total += result.seconds;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuites name=\"vela-host check\" tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
           std::to_string(failures) + "\" skipped=\"" + std::to_string(skips) + "\" time=\"" + secondsText(total) +
           "\">\n";
    xml += "  <testsuite name=\"" + xmlText(modulePath) + "\" tests=\"" + std::to_string(results.size()) +
           "\" failures=\"" + std::to_string(failures) + "\" errors=\"0\" skipped=\"" + std::to_string(skips) +
           "\" time=\"" + secondsText(total) + "\">\n";
    xml += "    <properties>\n      <property name=\"strictness\" value=\"" + std::to_string(strictness) +
           "\"/>\n    </properties>\n";
    for (const CheckResult& result : results) {
        xml += "    <testcase classname=\"check.run" + std::to_string(result.run) + "\" name=\"" + result.check->name +
               "\" time=\"" + secondsText(result.seconds) + "\">\n";
        const std::string replay =
            "seed " + std::to_string(result.seed) + (result.step.empty() ? "" : ", step: " + result.step);
        if (result.verdict == Verdict::fail) {
            xml += "      <failure message=\"" + xmlText(result.detail) + "\">" + xmlText(replay) + "</failure>\n";
        } else if (result.verdict == Verdict::skip) {
            xml += "      <skipped message=\"" + xmlText(result.detail) + "\"/>\n";
        } else {
            xml += "      <system-out>" + xmlText(std::string(verdictWord(result.verdict)) + " " + result.detail) +
                   "</system-out>\n";
        }
        xml += "    </testcase>\n";
    }
    xml += "  </testsuite>\n</testsuites>\n";
    PendingFile file(path);
    file.write(std::vector<uint8_t>(xml.begin(), xml.end()));
    file.commit();
}

std::string jsonReport(const std::string& modulePath, int strictness, uint64_t seed,
                       const std::vector<CheckResult>& results)
{
    Report checks = Report::list();
    for (const CheckResult& result : results) {
        Report item = Report::object();
        item.add("name", Report::text(result.check->name))
            .add("run", Report::integer(result.run))
            .add("seed", Report::text(std::to_string(result.seed)))
            .add("result", Report::text(resultWord(result.verdict)))
            .add("detail", Report::text(result.detail))
            .add("step", Report::text(result.step))
            .add("seconds", Report::number(result.seconds));
        checks.append(std::move(item));
    }
    Report report = Report::object();
    // The seed as text: JSON readers keep integers exact only up to 2^53.
    report.add("module", Report::text(modulePath))
        .add("strictness", Report::integer(strictness))
        .add("seed", Report::text(std::to_string(seed)))
        .add("checks", std::move(checks))
        .add("passed", Report::integer(countOf(results, Verdict::pass) + countOf(results, Verdict::warn)))
        .add("failed", Report::integer(countOf(results, Verdict::fail)))
        .add("skipped", Report::integer(countOf(results, Verdict::skip)))
        .add("warnings", Report::integer(countOf(results, Verdict::warn)));
    return report.toJson();
}

int listChecks()
{
    for (const CheckInfo& check : kChecks) {
        std::printf("%-11s from strictness %2d%s\n", check.name, check.strictness, check.gui ? ", opens windows" : "");
        std::string description = check.description;
        std::size_t start = 0;
        for (std::size_t end; start <= description.size(); start = end + 1) {
            end = description.find('\n', start);
            end = end == std::string::npos ? description.size() : end;
            std::printf("            %s\n", description.substr(start, end - start).c_str());
        }
    }
    return 0;
}

int runCheck(const std::vector<std::string>& words)
{
    const CommandLine line(words, {"--strictness", "--seed", "--repeat", "--only", "--timeout", "--junit"},
                           {"--skip-gui", "--list", "--json"});
    if (line.has("--list")) {
        return listChecks();
    }
    line.expectPositionals({"MODULE"});
    CheckSettings settings;
    settings.modulePath = line.positionals()[0];
    settings.strictness = static_cast<int>(line.integer("--strictness", kDefaultStrictness, 1, 10));
    settings.skipGui = line.has("--skip-gui");
    const auto seedText = line.value("--seed");
    const uint64_t firstSeed =
        seedText ? parseSeed(*seedText)
                 : (uint64_t{std::random_device{}()} << 32) ^ static_cast<uint64_t>(std::random_device{}());
    const int repeat = static_cast<int>(line.integer("--repeat", 1, 1, 1000));
    const int timeout = static_cast<int>(line.integer("--timeout", kDefaultTimeoutSeconds, 1, 86400));
    const bool json = line.has("--json");

    std::vector<const CheckInfo*> selected;
    const auto only = line.value("--only");
    const std::vector<std::string> onlyNames = only ? splitNames(*only) : std::vector<std::string>{};
    if (only && onlyNames.empty()) {
        throw UsageError("--only expects check names separated by commas");
    }
    for (const std::string& name : onlyNames) {
        findCheck(name);
    }
    int leftOut = 0;
    for (const CheckInfo& check : kChecks) {
        const bool wanted = only ? std::find(onlyNames.begin(), onlyNames.end(), check.name) != onlyNames.end()
                                 : check.strictness <= settings.strictness;
        if (wanted && !(check.gui && settings.skipGui)) {
            selected.push_back(&check);
        } else {
            ++leftOut;
        }
    }

    std::optional<VirtualDisplay> display;
    const bool needsDisplay =
        !settings.skipGui && std::any_of(selected.begin(), selected.end(), [](const CheckInfo* check) {
            return check->gui || check->body == checkOpcodeSweep;
        });
    if (needsDisplay) {
        try {
            display.emplace();
        } catch (const std::runtime_error& error) {
            settings.displayProblem = error.what();
        }
    } else {
        settings.displayProblem = "no display opened (--skip-gui)";
    }

    const IsolatedCheck isolation(timeout);
    std::vector<CheckResult> results;
    if (!json) {
        std::printf("checking %s at strictness %d, seed %llu\n", settings.modulePath.c_str(), settings.strictness,
                    static_cast<unsigned long long>(firstSeed));
        std::fflush(stdout);
    }
    for (int run = 1; run <= repeat; ++run) {
        settings.seed = firstSeed + static_cast<uint64_t>(run - 1);
        if (!json && repeat > 1) {
            std::printf("run %d of %d, seed %llu\n", run, repeat, static_cast<unsigned long long>(settings.seed));
        }
        std::string blockedBy;
        for (const CheckInfo* check : selected) {
            const auto start = std::chrono::steady_clock::now();
            CheckOutcome outcome;
            if (blockedBy.empty()) {
                outcome = isolation.run(
                    [&settings, check](const IsolatedCheck::Note& note) { return check->body(settings, note); });
            } else {
                outcome = skipped("not run: " + blockedBy + " failed");
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!outcome.passed && check->prerequisite && blockedBy.empty()) {
                blockedBy = check->name;
            }
            Verdict verdict = outcome.skipped  ? Verdict::skip
                              : outcome.passed ? (outcome.warning ? Verdict::warn : Verdict::pass)
                                               : Verdict::fail;
            if (verdict == Verdict::fail && check->advisory) {
                verdict = Verdict::warn;
            }
            results.push_back({check, run, settings.seed, verdict, outcome.detail, outcome.step, seconds});
            if (json) {
                continue;
            }
            std::printf("%s %-11s %s\n", verdictWord(verdict), check->name, outcome.detail.c_str());
            if (verdict == Verdict::fail && blockedBy != check->name) {
                std::printf("     replay: vela-host check %s --only %s --seed %llu --strictness %d%s\n",
                            settings.modulePath.c_str(), check->name, static_cast<unsigned long long>(settings.seed),
                            settings.strictness, outcome.step.empty() ? "" : (" (step: " + outcome.step + ")").c_str());
            }
            std::fflush(stdout);
        }
    }
    if (const auto junit = line.value("--junit")) {
        writeJunit(*junit, settings.modulePath, settings.strictness, results);
    }
    if (json) {
        std::fputs(jsonReport(settings.modulePath, settings.strictness, firstSeed, results).c_str(), stdout);
    } else {
        // A warning is a pass with a reservation; a skipped check is neither.
        std::printf("%d passed, %d failed, %d skipped, %s; seed %llu%s\n",
                    countOf(results, Verdict::pass) + countOf(results, Verdict::warn), countOf(results, Verdict::fail),
                    countOf(results, Verdict::skip), counted(countOf(results, Verdict::warn), "warning").c_str(),
                    static_cast<unsigned long long>(firstSeed),
                    leftOut > 0 ? (", " + std::to_string(leftOut) + " checks left out").c_str() : "");
    }
    return countOf(results, Verdict::fail) == 0 ? 0 : 1;
}

} // namespace

const Command checkCommand{
    "check",
    "MODULE [--strictness 1..10] [--seed N] [--repeat N] [--only NAMES] [--skip-gui] [--timeout S]\n"
    "             [--json] [--junit FILE] | --list",
    "a conformance run any effect should pass; exit status 0 only when no check fails",
    "Runs checks of the module, each on fresh effects in a process of its own (on Windows a\n"
    "thread), so that a crash or a hang fails that check and the run goes on. --list names\n"
    "them all with what each does.\n"
    "  --strictness N  1 runs the cheap checks, a little of each; 10 runs everything, as\n"
    "                  much as each does (default 5: every check, a middling amount)\n"
    "  --seed N        the seed of every random choice, printed in each run so a failure\n"
    "                  can be replayed (default: a new one each run)\n"
    "  --repeat N      runs the checks N times, with seeds N, N+1, ...\n"
    "  --only NAMES    runs only these checks, named with commas between them\n"
    "  --skip-gui      opens no window: leaves the editor check out\n"
    "  --timeout S     fails a check that takes longer than S seconds (default 120)\n"
    "  --json          prints the results as JSON instead of lines\n"
    "  --junit FILE    also writes the results as a JUnit XML file for CI systems\n"
    "One line per check, PASS, WARN, FAIL or SKIP (not run: nothing of the kind to check,\n"
    "a check before it failed, or this build cannot look), then \"N passed, M failed,\n"
    "K skipped, W warnings\".\n"
    "A failure names what was expected and what came, and how to replay it: the seed and\n"
    "the step it failed in. Warnings do not fail the run.\n",
    runCheck,
};

} // namespace vela
