// Splitting a command line into its items.
#include "host/app/CommandItems.h"

namespace paloma::host {

namespace {

// One item from `at`: its text, and `at` moved past the character that ends it.
std::string nextItem(std::string_view line, size_t& at) {
    char quote = line[at];
    size_t end;
    if (quote == '"' || quote == '\'') {
        ++at;
        end = line.find(quote, at);
    } else {
        end = line.find(' ', at);
    }
    if (end == std::string_view::npos)
        end = line.size();
    std::string item(line.substr(at, end - at));
    at = end < line.size() ? end + 1 : end;
    return item;
}

void skipBlanks(std::string_view line, size_t& at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
}

} // namespace

std::vector<std::string> commandItems(std::string_view commandLine) {
    std::vector<std::string> items;
    size_t at = 0;
    // 1. The program path.
    skipBlanks(commandLine, at);
    if (at < commandLine.size())
        nextItem(commandLine, at);
    // 2.-3.
    for (;;) {
        skipBlanks(commandLine, at);
        if (at >= commandLine.size())
            break;
        std::string item = nextItem(commandLine, at);
        if (!item.empty())
            items.push_back(std::move(item));
    }
    return items;
}

} // namespace paloma::host
