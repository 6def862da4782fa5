// quill run [--max-ms N] [--gc-stats] FILE|- [ARGS...], quill eval [--max-ms N] TEXT and
// the interactive prompt: run scripts in a fresh engine with the default
// options (a stack of 4096 Values, warnings on) and every class of the
// player's engine that this build has (host/ClassOrder.h): on Windows the
// whole table, elsewhere the portable classes. Scripts can pump the thread's
// messages with processMsg() (timers, socket notifications).
//
// The ARGS of `quill run` reach the script as the global `arguments`, an
// Array of Strings (empty when there are none); functions still see their
// own `arguments` object.
//
// The trace output (trace() lines and warnings, each ending CR LF) goes to
// standard output; compiler messages and the text of an uncaught error go to
// standard error. Exit status: 0 when the run succeeded, 1 when compilation
// or loading failed, 2 when the run ended with an uncaught error or throw.
// Input is read with C stdio rather than streams: a stream would set up the
// C++ locale machinery, which costs a short run more memory than its engine.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "base/StdFile.h"
#include "host/ClassOrder.h"
#include "script/Quill.h"
#include "tools/quill/Commands.h"

namespace quill::tool {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitLoad = 1;
constexpr int kExitRuntime = 2;

// Stops a run once its time is up: the engine polls this hook.
struct Deadline {
    std::chrono::steady_clock::time_point end;
    static int hook(int, void* data) {
        auto* d = static_cast<Deadline*>(data);
        return std::chrono::steady_clock::now() >= d->end ? 1 : 0;
    }
};

struct RunOptions {
    long maxMs = -1;
    bool gcStats = false; // print the collector's counters to standard error at the end
    Deadline deadline;
};

std::unique_ptr<Engine> newEngine(RunOptions& options) {
    // The classes of the host's fixed order that exist on this system.
    EngineOptions engineOptions = paloma::host::hostEngineOptions();
    if (options.maxMs >= 0) {
        options.deadline.end = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.maxMs);
        engineOptions.hook = Deadline::hook;
        engineOptions.hookData = &options.deadline;
    }
    auto engine = createEngine(paloma::host::hostEngineOptions(engineOptions));
    if (!engine)
        return nullptr;
    setTraceOutput(*engine, [](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fwrite("\r\n", 1, 2, stdout);
    });
    return engine;
}

void printError(Engine& engine) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", engine.errorText);
    std::fflush(stderr);
}

// Compiles (or takes apart, for an image) and runs one script.
int runScript(Engine& engine, const std::string& data, const std::string& name, bool isImage) {
    std::optional<SectionSet> sections;
    if (isImage) {
        std::string error;
        sections = loadImage(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()), &error);
        if (sections && !checkImage(*sections, &error))
            sections.reset();
        if (!sections) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.empty() ? kImageUnreadable : error.c_str());
            return kExitLoad;
        }
    } else {
        CompileResult compiled = compileScript(data, CompileOptions{kCompileLineTable, name});
        std::fwrite(compiled.messages.data(), 1, compiled.messages.size(), stderr);
        std::fflush(stderr);
        if (!compiled.ok)
            return kExitLoad;
        sections = std::move(compiled.sections);
    }
    bool ok = runImage(engine, *sections);
    std::fflush(stdout);
    if (!ok) {
        printError(engine);
        return kExitRuntime;
    }
    return kExitOk;
}

// Reads the options before the script; returns false (with a usage error
// status in `status`) on a bad option.
bool parseOptions(const char* command, std::span<const std::string> args, size_t& i, RunOptions& options,
                  int& status) {
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--max-ms") {
            if (i + 1 == args.size()) {
                status = usageError(command, "--max-ms needs a number of milliseconds");
                return false;
            }
            char* end = nullptr;
            options.maxMs = std::strtol(args[++i].c_str(), &end, 10);
            if (!end || *end || options.maxMs < 0) {
                status = usageError(command, "--max-ms needs a number of milliseconds");
                return false;
            }
        } else if (a == "--gc-stats") {
            options.gcStats = true;
        } else if (a == "--") {
            ++i;
            return true;
        } else if (a.size() > 1 && a[0] == '-') {
            status = usageError(command, "unknown option " + a);
            return false;
        } else {
            return true;
        }
    }
    return true;
}

// Binds the command's extra arguments to the global `arguments`.
bool bindScriptArguments(Engine& engine, std::span<const std::string> extra) {
    return runAsEntryPoint(engine, [&] {
        ValueRoot list(engine, newArray(engine));
        for (const std::string& a : extra)
            arrayPush(engine, list.value.asArray(), newStringFromAnsi(engine, a));
        engine.global(engine.internName("arguments")) = list.value;
    });
}

bool readAll(std::FILE* in, std::string& out) {
    char buffer[1 << 14];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        out.append(buffer, n);
    return !std::ferror(in);
}

// One line of standard input without its end; false at the end of input.
bool readLine(std::string& line) {
    line.clear();
    int c;
    while ((c = std::getchar()) != EOF) {
        if (c == '\n')
            return true;
        line.push_back(static_cast<char>(c));
    }
    return !line.empty();
}

} // namespace

int runCommand(std::span<const std::string> args) {
    RunOptions options;
    size_t i = 0;
    int status = 0;
    if (!parseOptions("run", args, i, options, status))
        return status;
    if (i >= args.size())
        return usageError("run", "no script file given");
    const std::string& file = args[i];

    std::string data;
    std::string name = file;
    bool isImage;
    if (file == "-") {
        if (!readAll(stdin, data)) {
            complain("can't read the script from standard input");
            return kExitLoad;
        }
        name = "stdin";
        isImage = looksLikeImage(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    } else {
        paloma::File in = paloma::openBinaryFile(std::filesystem::path(file), false);
        if (!in || !readAll(in.get(), data)) {
            std::fprintf(stderr, "can't open the script file: %s\n", file.c_str());
            return kExitLoad;
        }
        isImage = recogniseScriptFile(std::filesystem::path(file)) == ScriptFileKind::Image;
    }

    auto engine = newEngine(options);
    if (!engine) {
        complain("can't create a script engine");
        return kExitLoad;
    }
    if (!bindScriptArguments(*engine, args.subspan(i + 1))) {
        printError(*engine);
        return kExitLoad;
    }
    int result = runScript(*engine, data, name, isImage);
    if (options.gcStats) {
        const Heap& heap = engine->heap;
        std::fprintf(stderr, "collections: %llu, longest pause: %.3f ms, heap: %.1f MB (peak %.1f MB)\n",
                     static_cast<unsigned long long>(heap.collections), double(heap.longestPauseMicros) / 1000.0,
                     double(heap.bytesFromSystem()) / (1024.0 * 1024.0),
                     double(heap.peakBytesFromSystem()) / (1024.0 * 1024.0));
    }
    return result;
}

int evalCommand(std::span<const std::string> args) {
    RunOptions options;
    size_t i = 0;
    int status = 0;
    if (!parseOptions("eval", args, i, options, status))
        return status;
    if (i + 1 != args.size())
        return usageError("eval", "one script text expected");
    auto engine = newEngine(options);
    if (!engine) {
        complain("can't create a script engine");
        return kExitLoad;
    }
    int result = runScript(*engine, args[i], kStringSourceName, false);
    if (result == kExitOk) {
        std::string text = valueToText(*engine, engine->lastResult);
        std::printf("%s\n", text.c_str());
    }
    return result;
}

int replCommand(std::span<const std::string>) {
    RunOptions options;
    auto engine = newEngine(options);
    if (!engine) {
        complain("can't create a script engine");
        return kExitLoad;
    }
    std::string line;
    for (;;) {
        std::fputs("> ", stdout);
        std::fflush(stdout);
        if (!readLine(line))
            break;
        if (line.empty())
            continue;
        CompileResult compiled = compileScript(line, CompileOptions{kCompileLineTable, kStringSourceName});
        std::fwrite(compiled.messages.data(), 1, compiled.messages.size(), stderr);
        std::fflush(stderr);
        if (!compiled.ok)
            continue;
        if (!runImage(*engine, compiled.sections)) {
            printError(*engine);
            continue;
        }
        std::string text = valueToText(*engine, engine->lastResult);
        std::printf("%s\n", text.c_str());
    }
    std::fputs("\n", stdout);
    return kExitOk;
}

} // namespace quill::tool
