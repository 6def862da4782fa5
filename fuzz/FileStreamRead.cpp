// Fuzz target: FileStream's file read with every typed reader. The first
// byte of each step chooses the reader; the file holds the input itself.
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/files/BufferedFile.h"

using paloma::host::BufferedFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto file = BufferedFile::openTemporary();
    if (!file)
        return 0;
    file->write(std::span<const uint8_t>(data, size));
    file->seek(0);
    for (size_t step = 0; step < size && step < 64; ++step) {
        switch (data[step] % 12) {
        case 0: file->get(); break;
        case 1: file->getShort(); break;
        case 2: file->getLong(); break;
        case 3: file->getFloat(); break;
        case 4: file->getDouble(); break;
        case 5: file->read(data[step] * 37u); break;
        case 6: file->readLine(); break;
        case 7: file->readString(); break;
        case 8: file->readUnicodeString(); break;
        case 9: file->unget(data[step]); break;
        case 10: file->seek(int64_t(data[step]) - 100); break;
        case 11: file->truncate(data[step]); break;
        }
        // Reads and writes mix on the same stream.
        if (data[step] & 0x80)
            file->put(data[step]);
    }
    return 0;
}
