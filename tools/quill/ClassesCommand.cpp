// quill classes: the classes and global functions of a new engine, one
// global name a line, in the order the engine registers them (eval and evals
// last). A name is listed when the engine binds a native object to it.
#include <cstdio>
#include <string>
#include <string_view>

#include "host/ClassOrder.h"
#include "script/Quill.h"
#include "tools/quill/Commands.h"

namespace quill::tool {

namespace {

bool boundToClass(Engine& engine, std::string_view name) {
    SymbolId id;
    return engine.findName(name, id) && engine.global(id).isNative();
}

} // namespace

int classesCommand(std::span<const std::string> args) {
    if (!args.empty())
        return usageError("classes", "takes no arguments");
    auto engine = createEngine(paloma::host::hostEngineOptions());
    if (!engine) {
        complain("cannot create an engine");
        return 1;
    }
    auto list = [&](std::string_view names) {
        while (!names.empty()) {
            size_t comma = names.find(',');
            std::string_view name = names.substr(0, comma);
            while (!name.empty() && name.front() == ' ')
                name.remove_prefix(1);
            if (!name.empty() && boundToClass(*engine, name))
                std::printf("%.*s\n", int(name.size()), name.data());
            names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
        }
    };
    for (const paloma::host::ClassEntry& entry : paloma::host::classOrder())
        list(entry.globals);
    list("eval, evals");
    return 0;
}

} // namespace quill::tool
