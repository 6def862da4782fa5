#pragma once
// Shared pieces of the player host tests: a scratch folder with movies, the
// stand-in player's log, recording services and script engine, and a message
// loop with the application's idle processing.

#include "app/shell/MainWnd.h"
#include "script/compiler/Compiler.h"
#include "tests/support/MovieBytes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace paloma::testing {

// A script compiled to the image bytes a QUILL resource holds.
inline std::vector<uint8_t> compiled(const std::string& source) {
    quill::CompileResult result = quill::compileScript(source, quill::CompileOptions{});
    EXPECT_TRUE(result.ok) << result.messages;
    return quill::writeImage(result.sections);
}

inline std::wstring fakePlayerPath() {
    std::string path = PALOMA_FAKEPLAYER_PATH;
    return std::wstring(path.begin(), path.end());
}

// A fresh folder per test, with the stand-in's log inside it.
class Scratch {
public:
    Scratch() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int counter = 0;
        dir_ = std::filesystem::path(temp) /
               (L"paloma-player-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        std::filesystem::create_directories(dir_);
        log_ = dir_ / L"calls.log";
        SetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_LOG", log_.c_str());
        SetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_SCRIPT", nullptr);
    }
    ~Scratch() {
        SetEnvironmentVariableW(L"PALOMA_FAKEPLAYER_LOG", nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::wstring write(const std::wstring& name, const std::vector<uint8_t>& bytes) const {
        std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p.wstring();
    }
    std::wstring writeText(const std::wstring& name, const std::string& text) const {
        return write(name, std::vector<uint8_t>(text.begin(), text.end()));
    }
    // A movie with an event script beside it.
    std::wstring movie(const std::wstring& name, const std::string& events = {}, MovieShape shape = {}) const {
        std::wstring path = write(name, movieBytes(shape));
        if (!events.empty())
            writeText(name + L".events", events);
        return path;
    }

    std::vector<std::string> log() const {
        std::ifstream in(log_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool logHas(const std::string& line) const {
        for (const std::string& l : log())
            if (l == line)
                return true;
        return false;
    }
    size_t logCount(const std::string& prefix) const {
        size_t n = 0;
        for (const std::string& l : log())
            if (l.rfind(prefix, 0) == 0)
                ++n;
        return n;
    }
    std::string logText() const {
        std::string out;
        for (const std::string& l : log())
            out += l + "\n";
        return out;
    }

    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::filesystem::path log_;
};

inline std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += char(c < 128 ? c : '?');
    return out;
}

class RecordingServices : public shell::ShellServices {
public:
    std::wstring playerPath;
    std::map<std::wstring, std::vector<uint8_t>> resources;
    std::map<std::wstring, std::wstring> badResources;
    std::map<std::wstring, int> resourceReads;
    std::vector<std::wstring> messages;
    std::vector<std::wstring> programs;
    std::vector<HMODULE> modules;

    std::wstring privatePlayerPath() override { return playerPath; }
    void keepPlayerModule(HMODULE module) override { modules.push_back(module); }
    std::optional<std::vector<uint8_t>> readScriptResource(const std::wstring& name, std::wstring& error) override {
        ++resourceReads[name];
        error.clear();
        if (auto bad = badResources.find(name); bad != badResources.end()) {
            error = bad->second;
            return std::nullopt;
        }
        auto it = resources.find(name);
        if (it == resources.end())
            return std::nullopt;
        return it->second;
    }
    void showMessage(HWND, const std::wstring& text) override { messages.push_back(text); }
    void startProgram(const std::wstring& commandLine) override { programs.push_back(commandLine); }
};

// A script engine that records what it is asked to run. A compiled image is
// its bytes as text; `onRun` lets a test act from inside a run.
class RecordingScripts : public shell::ShellScripts {
public:
    struct Shared {
        bool engine = false;
        std::vector<std::string> runs; // "image:<text>", "eval:<text>", "file:<path>:<compiled>", "menu:<id>"
        std::vector<int> depths;       // dispatch depth seen by each run
        int destroyed = 0;
        int released = 0;
        int stateCreated = 0;
        std::vector<std::wstring> calls;
        std::optional<std::wstring> answer;
        std::function<Result(const std::string&)> onRun;
    };
    explicit RecordingScripts(Shared& shared) : s_(shared) {}

    bool hasEngine() const override { return s_.engine; }
    void destroyEngine() override {
        if (s_.engine)
            ++s_.destroyed;
        s_.engine = false;
    }
    Result runImage(std::span<const uint8_t> image, std::shared_ptr<void>& state) override {
        if (!state) {
            state = std::make_shared<int>(0);
            ++s_.stateCreated;
        }
        ++*std::static_pointer_cast<int>(state);
        return record("image:" + std::string(image.begin(), image.end()));
    }
    Result evalSource(const std::wstring& source) override { return record("eval:" + narrow(source)); }
    Result runFile(const std::wstring& path, bool compiled) override {
        return record("file:" + narrow(path) + (compiled ? ":compiled" : ":source"));
    }
    void menuCommand(unsigned id) override { record("menu:" + std::to_string(id)); }
    std::optional<std::wstring> flashCall(const std::wstring& request) override {
        s_.calls.push_back(request);
        s_.depths.push_back(shell::dispatchDepth());
        return s_.answer;
    }
    void releaseGlobalState() override { ++s_.released; }

private:
    Result record(const std::string& what) {
        s_.engine = true;
        s_.runs.push_back(what);
        s_.depths.push_back(shell::dispatchDepth());
        return s_.onRun ? s_.onRun(what) : Result::Other;
    }
    Shared& s_;
};

// The message loop with the application's idle processing: queued script
// commands run one per idle pass. Ends on WM_QUIT (true), when `until` holds
// or after the timeout (false).
struct LoopResult {
    bool quit = false;
    int idlePasses = 0;
};

inline LoopResult runLoop(DWORD timeoutMs, const std::function<bool()>& until = {},
                          std::vector<int>* pendingRunPasses = nullptr) {
    LoopResult result;
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        // A close that waits for a running script is re-posted again and
        // again; the clock must still end a nested loop.
        while (GetTickCount() - start <= timeoutMs && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                result.quit = true;
                return result;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (until && until())
            return result;
        ++result.idlePasses;
        if (shell::CMainWnd* w = shell::CMainWnd::current(); w && w->hasPendingCommands()) {
            if (pendingRunPasses)
                pendingRunPasses->push_back(result.idlePasses);
            w->runPendingCommand();
            continue;
        }
        if (GetTickCount() - start > timeoutMs)
            return result;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline RECT screenRect() { return RECT{0, 0, 640, 480}; }

// A test of the main window: COM, the stand-in player, the shell scripts
// the test installs (makeScripts), and the window, the scripts and the
// script cache gone again afterwards.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        services.playerPath = fakePlayerPath();
        shell::setShellScripts(makeScripts());
        shell::scriptCache().clear();
    }
    void TearDown() override {
        if (shell::CMainWnd* w = shell::CMainWnd::current())
            DestroyWindow(w->hwnd());
        runLoop(50);
        shell::setShellScripts(nullptr);
        shell::scriptCache().clear();
        OleUninitialize();
    }
    virtual std::unique_ptr<shell::ShellScripts> makeScripts() = 0;

    Scratch scratch;
    RecordingServices services;
};

} // namespace paloma::testing
