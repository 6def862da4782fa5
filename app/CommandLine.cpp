// The runtime's command-line grammar.
#include "app/CommandLine.h"

namespace paloma {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

} // namespace

bool matchesSwitch(std::string_view arg, char letter) {
    if (!arg.empty() && (arg.front() == '-' || arg.front() == '/'))
        arg.remove_prefix(1);
    // Equal to the letter, or starting with it: both reduce to the first
    // character, since the text after the letter is not used.
    return !arg.empty() && lowerAscii(arg.front()) == lowerAscii(letter);
}

RunMode chooseRunMode(const std::vector<std::string>& args) {
    if (args.empty())
        return RunMode::Settings;
    std::string_view first = args.front();
    if (equalsIgnoreCase(first, "/AfterInstall"))
        return RunMode::AfterInstall;
    if (equalsIgnoreCase(first, "/BeforeUninst"))
        return RunMode::BeforeUninst;
    if (equalsIgnoreCase(first, "-setdefault"))
        return RunMode::SetDefault;
    if (matchesSwitch(first, 'c'))
        return RunMode::Settings;
    if (matchesSwitch(first, 'p'))
        return RunMode::Preview;
    if (matchesSwitch(first, 's'))
        return RunMode::FullScreen;
    return RunMode::End;
}

std::string_view hookScriptName(RunMode mode) {
    switch (mode) {
    case RunMode::AfterInstall:
        return "AfterInstall";
    case RunMode::BeforeUninst:
        return "BeforeUninst";
    default:
        return {};
    }
}

unsigned long long parsePreviewHandle(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return 0;
    unsigned long long value = 0;
    for (char c : args[1]) {
        if (c < '0' || c > '9')
            return 0;
        unsigned digit = unsigned(c - '0');
        if (value > (~0ull - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace paloma
