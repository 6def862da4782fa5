// Resource block reader and writer.
#include "app/ResourceBlock.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "base/Zlib.h"

namespace paloma {

const char* zipErrorMessage(int zlibCode) {
    switch (zlibCode) {
    case kZlibBufError:
        return kZipBufError;
    case kZlibMemError:
        return kZipMemError;
    case kZlibDataError:
        return kZipDataError;
    case kZlibStreamError:
        return kZipStreamError;
    default:
        return kZipOtherError;
    }
}

std::vector<uint8_t> readResourceBlock(std::span<const uint8_t> block) {
    // 1. The header alone is no block.
    if (block.size() <= kResourceBlockHeaderSize)
        throw CZipException(kZipBadLength);
    // 2. Magic and version together.
    if (block[0] != 'P' || block[1] != 'B' || block[2] != 1 || block[3] != 0)
        throw CZipException(kZipBadHeader);
    // 3. Sizes; trailing bytes after the stream are allowed.
    ByteReader header(block.subspan(4, 8));
    uint32_t plainSize = header.u32();
    uint32_t packedSize = header.u32();
    if (block.size() - kResourceBlockHeaderSize < packedSize)
        throw CZipException(kZipBadLength);
    // 4. Inflate in one call into at most the plain size.
    std::vector<uint8_t> out;
    int rc = zlibUncompress(block.subspan(kResourceBlockHeaderSize, packedSize), plainSize, out);
    if (rc != kZlibOk)
        throw CZipException(zipErrorMessage(rc));
    return out;
}

bool tryReadResourceBlock(std::span<const uint8_t> block, std::vector<uint8_t>& out, std::string* message) {
    out.clear();
    try {
        out = readResourceBlock(block);
        return true;
    } catch (const CZipException& e) {
        if (message)
            *message = e.what();
        return false;
    }
}

std::vector<uint8_t> writeResourceBlock(std::span<const uint8_t> plain) {
    std::vector<uint8_t> stream = zlibCompress(plain);
    ByteWriter w;
    w.u8('P');
    w.u8('B');
    w.u16(1);
    w.u32(uint32_t(plain.size()));
    w.u32(uint32_t(stream.size()));
    w.u32(crc32Of(plain));
    w.bytes(stream);
    return w.take();
}

} // namespace paloma
