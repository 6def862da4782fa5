// paloma-pack: starts a manifest for a movie, builds a packaged executable
// from a manifest, checks one, lists one, or extracts its archive.
#include "tools/pack/Inspector.h"
#include "tools/pack/Manifest.h"
#include "tools/pack/Packager.h"
#include "tools/pack/ProgramPath.h"
#include "tools/pack/Starter.h"
#include "tools/pack/Verifier.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

int usage() {
    std::cerr << "usage: paloma-pack init MOVIE.swf [DIR]\n"
                 "       paloma-pack build MANIFEST.json -o OUT.exe [--runtime PATH] [--quiet]\n"
                 "         (runtime: --runtime, else the manifest's \"runtime\", else paloma.exe beside paloma-pack)\n"
                 "       paloma-pack verify EXE\n"
                 "       paloma-pack inspect EXE\n"
                 "       paloma-pack extract EXE DIR [--quiet]\n";
    return 2;
}

int fail(const std::string& message) {
    std::cerr << "paloma-pack: " << message << "\n";
    return 1;
}

int build(int argc, char** argv) {
    std::optional<std::filesystem::path> manifestPath, out, runtime;
    bool quiet = false;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
        else if (!std::strcmp(argv[i], "-o") && i + 1 < argc)
            out = argv[++i];
        else if (!std::strcmp(argv[i], "--runtime") && i + 1 < argc)
            runtime = argv[++i];
        else if (argv[i][0] != '-' && !manifestPath)
            manifestPath = argv[i];
        else
            return usage();
    }
    if (!manifestPath || !out)
        return usage();
    std::string error;
    auto manifest = paloma::pack::loadManifest(*manifestPath, error);
    if (!manifest)
        return fail(error);
    // Without --runtime or a manifest "runtime", the runtime installed
    // beside the packager.
    if (!runtime && !manifest->runtime) {
        std::error_code ec;
        std::filesystem::path beside = paloma::pack::programPath(argv[0]).parent_path() / "paloma.exe";
        if (std::filesystem::exists(beside, ec))
            runtime = beside;
    }
    if (!paloma::pack::buildPackageFile(*manifest, runtime, *out, error, quiet))
        return fail(error);
    return 0;
}

std::optional<std::vector<uint8_t>> readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int init(int argc, char** argv) {
    if (argc < 3 || argc > 4)
        return usage();
    std::optional<std::filesystem::path> dir;
    if (argc == 4)
        dir = argv[3];
    std::string error;
    auto written = paloma::pack::writeStarterManifest(argv[2], dir, error);
    if (!written)
        return fail(error);
    std::cout << "wrote " << written->string() << "\n";
    return 0;
}

int verify(const char* path) {
    auto bytes = readAll(path);
    if (!bytes)
        return fail(std::string("cannot read ") + path);
    auto report = paloma::pack::verifyPackage(*bytes);
    if (!report.problem.empty())
        return fail(std::string(path) + ": " + report.problem);
    std::cout << path << ": sound (" << report.resources << " configuration resources; archive: " << report.files
              << (report.files == 1 ? " file, " : " files, ") << report.bytes << " bytes)\n";
    return 0;
}

int inspect(const char* path) {
    auto read = readAll(path);
    if (!read)
        return fail(std::string("cannot read ") + path);
    std::vector<uint8_t>& bytes = *read;
    std::string error;
    if (!paloma::pack::inspectPackage(bytes, std::cout, error))
        return fail(std::string(path) + ": " + error);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "build")
        return build(argc, argv);
    if (command == "init")
        return init(argc, argv);
    if (command == "verify" && argc == 3)
        return verify(argv[2]);
    if (command == "inspect" && argc == 3)
        return inspect(argv[2]);
    bool quiet = argc == 5 && !std::strcmp(argv[4], "--quiet");
    if (command == "extract" && (argc == 4 || quiet)) {
        std::string error;
        if (!paloma::pack::extractPackage(argv[2], argv[3], error, quiet))
            return fail(error);
        return 0;
    }
    return usage();
}
