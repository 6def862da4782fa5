// The `quill` command: compiles, disassembles and runs Quill scripts.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/quill/Commands.h"

namespace quill::tool {

namespace {

const Command kCommands[] = {
    {"compile", "FILE [-o OUT] [--lines] [--listing LISTFILE] [--warn-semicolon] [--ecma]",
     "compile a script to an image (default OUT: FILE with the extension .qsc)", compileCommand},
    {"disasm", "FILE.qsc", "show the sections, constants, functions and code of an image",
     disasmCommand},
    {"run", "[--max-ms N] [--gc-stats] FILE|- [ARGS...]",
     "run a script (source or image; - reads standard input); exit 1: not compiled, 2: runtime error",
     runCommand},
    {"eval", "[--max-ms N] TEXT", "run script text and print its result", evalCommand},
    {"classes", "", "list the classes and global functions an engine registers, in their order", classesCommand},
};

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: quill <command> [arguments]\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  quill %s %s\n      %s\n", c.name, c.usage, c.summary);
}

} // namespace

void complain(const std::string& text) { std::fprintf(stderr, "quill: %s\n", text.c_str()); }

int usageError(const char* command, const std::string& text) {
    complain(text);
    for (const Command& c : kCommands)
        if (std::strcmp(c.name, command) == 0)
            std::fprintf(stderr, "usage: quill %s %s\n", c.name, c.usage);
    return 2;
}

} // namespace quill::tool

int main(int argc, char** argv) {
    using namespace quill::tool;
    if (argc < 2)
        return replCommand({});
    std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        printUsage(stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : kCommands)
        if (name == c.name)
            return c.run(args);
    complain("unknown command '" + name + "'");
    printUsage(stderr);
    return 2;
}
