// Temporary directory, run folder and temporary file names.
#include "app/TempPaths.h"

#include <cstdio>

namespace paloma {

namespace {

constexpr size_t kMaxTempDirectory = 259;

bool usable(const std::optional<std::string>& value) {
    return value && !value->empty() && value->size() <= kMaxTempDirectory;
}

std::string withBackslash(std::string dir) {
    if (!dir.empty() && dir.back() == '/')
        dir.back() = '\\';
    if (dir.empty() || dir.back() != '\\')
        dir += '\\';
    return dir;
}

} // namespace

std::string chooseTempDirectory(const std::optional<std::string>& tmp, const std::optional<std::string>& temp,
                                std::string_view windowsDirectory) {
    if (usable(tmp))
        return withBackslash(*tmp);
    if (usable(temp))
        return withBackslash(*temp);
    return withBackslash(std::string(windowsDirectory));
}

std::string runFolderName(std::string_view tempDirectory, std::string_view bracedGuid) {
    std::string path = withBackslash(std::string(tempDirectory));
    path += bracedGuid;
    path += '\\';
    return path;
}

bool isRunFolderName(std::string_view name) {
    constexpr std::string_view shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (name.size() != shape.size())
        return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        char c = name[i];
        if (shape[i] != 'x' ? c != shape[i]
                            : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::string formatTempFileName(std::string_view folder, uint32_t ticks, int counter, std::string_view suffix) {
    char number[32];
    std::snprintf(number, sizeof number, "%04X%d", unsigned(ticks), counter);
    std::string name(folder);
    name += number;
    name += suffix;
    return name;
}

std::optional<std::string> findFreeTempFileName(std::string_view folder, uint32_t ticks, std::string_view suffix,
                                                const std::function<bool(const std::string&)>& exists) {
    for (int counter = 0; counter < kTempCounterLimit; ++counter) {
        std::string candidate = formatTempFileName(folder, ticks, counter, suffix);
        if (!exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

} // namespace paloma
