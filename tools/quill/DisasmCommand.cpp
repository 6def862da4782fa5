// quill disasm FILE.qsc: the sections, constant pool, function table and the
// code of every function of a compiled image.
#include <cstdio>

#include "script/QuillTools.h"
#include "tools/quill/Commands.h"

namespace quill::tool {

int disasmCommand(std::span<const std::string> args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usageError("disasm", args.size() == 1 ? "unknown option " + args[0]
                                                     : std::string("one image file expected"));
    const std::string& file = args[0];
    std::optional<RawImage> raw = readImageFile(std::filesystem::path(file));
    if (!raw) {
        complain(file + ": " + kImageUnreadable);
        return 1;
    }
    std::string error;
    std::optional<SectionSet> sections = decodeSections(*raw, &error);
    if (!sections) {
        complain(file + ": " + error);
        return 1;
    }
    bool ok = true;
    std::string text = disassemble(*raw, *sections, &ok);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!ok) {
        complain(file + ": " + kUnimplementedBytecode);
        return 1;
    }
    return 0;
}

} // namespace quill::tool
