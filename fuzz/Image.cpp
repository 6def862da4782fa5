// Fuzz target: compiled images from untrusted files. The reader, the section
// decoder, the code verifier and the disassembler must refuse or accept any
// bytes without a fault, and an accepted image must survive being written
// and read again.
#include <cstdint>
#include <cstdlib>

#include "script/image/Disasm.h"
#include "script/image/Image.h"
#include "script/image/ImageCode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill;
    std::optional<RawImage> raw = readImage(std::span<const uint8_t>(data, size));
    if (!raw)
        return 0;
    std::string error;
    std::optional<SectionSet> sections = decodeSections(*raw, &error);
    if (!sections) {
        if (error != kUnimplementedBytecode)
            std::abort();
        return 0;
    }
    bool verified = verifyCode(*sections);
    bool shown = false;
    disassemble(*raw, *sections, &shown);
    if (shown != verified)
        std::abort();

    std::optional<SectionSet> again = loadImage(writeImage(*sections, 1));
    if (!again || !(*again == *sections) || verifyCode(*again) != verified)
        std::abort();
    return 0;
}
