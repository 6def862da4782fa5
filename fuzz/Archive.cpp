// Fuzz target: finding, listing, looking up and extracting an archive.
#include "app/Archive.h"
#include "app/ShellErrors.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    paloma::MemorySource source({data, size});
    paloma::Archive archive(source);
    if (!archive.open())
        return 0;
    archive.list();
    archive.lookup(u"a/b\\c");
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("paloma_fuzz_archive_" + std::to_string(getpid()));
    fs::path root = dir / "_extra";
    try {
        archive.resolve(u"", root);
    } catch (const paloma::CZipException&) {
    }
    // Nothing may land outside the extraction folder.
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(dir, ec))
        if (item.path().filename() != "_extra")
            std::abort();
    fs::remove_all(dir);
    return 0;
}
