#pragma once
// Checking a built package as the runtime reads it: every configuration
// resource, the identity, the archive and every file in it.

#include <cstdint>
#include <span>
#include <string>

namespace paloma::pack {

struct VerifyReport {
    std::string problem;  // the first problem found; empty when sound
    size_t resources = 0; // configuration resources checked
    size_t files = 0;     // archive files extracted and checked
    uint64_t bytes = 0;   // their bytes
};

// Checks, in this order, stopping at the first problem: the executable's
// headers and resource directory; the resource blocks (settings, movie
// list, picture, installer record, scripts), each inflated and its CRC
// compared; the identity's digest; the fingerprint; the archive's trailer,
// magic, version and group; every entry of the tree, each file inflated to
// memory and its CRC compared; and that the movie and the player installer
// the resources name are in the archive.
VerifyReport verifyPackage(std::span<const uint8_t> exe);

} // namespace paloma::pack
