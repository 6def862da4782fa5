#pragma once
// The commands of the `quill` tool. Each lives in a file of its own
// (<Name>Command.cpp) and is listed in the table in main.cpp.

#include <span>
#include <string>

namespace quill::tool {

// Arguments after the command name. Returns the process exit status.
using CommandFunction = int (*)(std::span<const std::string> args);

struct Command {
    const char* name;
    const char* usage;   // arguments, shown after "quill <name> "
    const char* summary; // one line
    CommandFunction run;
};

int compileCommand(std::span<const std::string> args);
int disasmCommand(std::span<const std::string> args);
int runCommand(std::span<const std::string> args);
int evalCommand(std::span<const std::string> args);
int classesCommand(std::span<const std::string> args);
// The interactive prompt (quill with no command).
int replCommand(std::span<const std::string> args);

// Prints "quill: " + text + newline on standard error.
void complain(const std::string& text);

// Status for a command line the command cannot understand; prints its usage.
int usageError(const char* command, const std::string& text);

} // namespace quill::tool
