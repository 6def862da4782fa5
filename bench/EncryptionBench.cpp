// Encryption of files and MD5 of files, 100 MB each, against Debian's openssl
// (`openssl enc -bf-ecb`) and md5sum in the same run. Prints one table of
// best-of-three wall-clock seconds and the ratio to the peer (goal: at most
// 1.5). The peers' results check ours: openssl's ciphertext under the same
// 16-byte key against Blowfish here, md5sum's digest against md5File's.
#include "base/Blowfish.h"
#include "host/crypto/EncryptionCore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace paloma;

constexpr size_t kSize = 100u << 20;
constexpr const char* kKeyHex = "00112233445566778899aabbccddeeff";

double bestOfThree(const std::function<bool()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!run()) {
            std::fprintf(stderr, "bench: a run failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string shellOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

void row(const char* what, double ours, const char* peer, double theirs) {
    std::printf("| %-22s | %7.3f | %-24s | %7.3f | %5.2f |\n", what, ours, peer, theirs, ours / theirs);
}

} // namespace

int main() {
    fs::path dir = fs::temp_directory_path() / ("paloma-encbench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path plain = dir / "plain.bin", sealed = dir / "sealed.bin", opened = dir / "opened.bin",
             peerOut = dir / "peer.bin";
    {
        std::vector<char> data(kSize);
        std::mt19937_64 rng(1);
        for (size_t i = 0; i + 8 <= data.size(); i += 8) {
            uint64_t v = rng();
            std::memcpy(&data[i], &v, 8);
        }
        std::ofstream(plain, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    }
    const std::string q = "'";
    const std::string openssl = "openssl enc -provider legacy -provider default -bf-ecb -nopad -K " +
                                std::string(kKeyHex) + " -in " + q + plain.string() + q + " -out " + q +
                                peerOut.string() + q;
    const std::string md5sum = "md5sum " + q + plain.string() + q;

    double enc = bestOfThree([&] { return host::encryptFile("bench password", plain, sealed); });
    double peerEnc = bestOfThree([&] { return std::system(openssl.c_str()) == 0; });
    double dec = bestOfThree([&] { return host::decryptFile("bench password", sealed, opened); });
    std::u16string digest;
    double md5 = bestOfThree([&] {
        auto d = host::md5OfFile(plain);
        digest = d.value_or(u"");
        return d.has_value();
    });
    std::string peerDigest;
    double peerMd5 = bestOfThree([&] {
        peerDigest = shellOutput(md5sum);
        return !peerDigest.empty();
    });

    // Checks: the round trip, openssl's blocks, md5sum's digest.
    bool roundTrip = readAll(opened) == readAll(plain);
    std::string ours = readAll(plain).substr(0, 1 << 20);
    std::vector<uint8_t> key;
    for (size_t i = 0; kKeyHex[i]; i += 2)
        key.push_back(uint8_t(std::stoi(std::string(kKeyHex + i, 2), nullptr, 16)));
    Blowfish(key).encryptBlocks({reinterpret_cast<uint8_t*>(ours.data()), ours.size()});
    bool sameBlocks = readAll(peerOut).substr(0, 1 << 20) == ours;
    bool sameDigest = peerDigest.substr(0, 32) == std::string(digest.begin(), digest.end());

    std::printf("| 100 MB file            | ours s  | peer                     | peer s  | ratio |\n");
    std::printf("|------------------------|---------|--------------------------|---------|-------|\n");
    row("encFile (Blowfish)", enc, "openssl enc -bf-ecb", peerEnc);
    row("decFile (Blowfish)", dec, "openssl enc -bf-ecb", peerEnc);
    row("md5File", md5, "md5sum", peerMd5);
    std::printf("checks: round trip %s, blocks equal openssl's %s, digest equals md5sum's %s\n",
                roundTrip ? "ok" : "FAILED", sameBlocks ? "ok" : "FAILED", sameDigest ? "ok" : "FAILED");
    fs::remove_all(dir);
    return roundTrip && sameBlocks && sameDigest ? 0 : 1;
}
