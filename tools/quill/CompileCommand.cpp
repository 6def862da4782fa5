// quill compile FILE [-o OUT] [--lines] [--listing LISTFILE] [--warn-semicolon]
// [--ecma]: compiles a script file to an image (by default FILE with the
// extension .qsc), optionally writes a listing, and reports the compiler's
// messages on standard error. Exit status 0, or 1 when compilation fails.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "script/QuillTools.h"
#include "tools/quill/Commands.h"

namespace quill::tool {

namespace {

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int compileCommand(std::span<const std::string> args) {
    std::string file, output, listing;
    CompileOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--listing") {
            if (i + 1 == args.size())
                return usageError("compile", a + " needs a file name");
            (a == "-o" ? output : listing) = args[++i];
        } else if (a == "--lines") {
            options.flags |= kCompileLineTable;
        } else if (a == "--warn-semicolon") {
            options.flags |= kCompileWarnSemicolon;
        } else if (a == "--ecma") {
            options.flags |= kCompileEcmaWarnings;
        } else if (!a.empty() && a[0] == '-') {
            return usageError("compile", "unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return usageError("compile", "one script file expected");
        }
    }
    if (file.empty())
        return usageError("compile", "no script file given");
    if (output.empty())
        output = std::filesystem::path(file).replace_extension(".qsc").string();

    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "can't open the script file: %s\n", file.c_str());
        return 1;
    }
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    options.sourceName = file;
    CompileResult result = compileScript(source, options);
    std::fwrite(result.messages.data(), 1, result.messages.size(), stderr);
    std::fflush(stderr);

    // The listing file is created whenever one is asked for; it holds the
    // code only when compilation succeeded.
    if (!listing.empty()) {
        std::string text =
            result.ok ? formatListing(result.sections) : std::string("; -*- asm -*-\r\n");
        if (!writeText(listing, text)) {
            complain("can't write the listing file " + listing);
            return 1;
        }
    }
    if (!result.ok)
        return 1;
    if (!writeImageFile(std::filesystem::path(output), writeImage(result.sections))) {
        complain("can't write the image file " + output);
        return 1;
    }
    return 0;
}

} // namespace quill::tool
