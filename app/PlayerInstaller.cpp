// The player-installer record.
#include "app/PlayerInstaller.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

#include <algorithm>

namespace paloma {

std::optional<PlayerInstallerRecord> readPlayerInstallerRecord(std::span<const uint8_t> data) {
    if (data.size() != kPlayerInstallerRecordSize)
        return std::nullopt;
    ByteReader r(data);
    PlayerInstallerRecord record;
    for (uint32_t& word : record.words)
        word = r.u32();
    auto field = r.bytes(260);
    // The name ends at its NUL or, without one, at the field's last byte.
    auto end = std::find(field.begin(), field.begin() + 259, uint8_t(0));
    record.fileName.assign(field.begin(), end);
    return record;
}

std::vector<uint8_t> writePlayerInstallerRecord(const PlayerInstallerRecord& record) {
    ByteWriter w;
    for (uint32_t word : record.words)
        w.u32(word);
    size_t n = std::min<size_t>(record.fileName.size(), 259);
    w.bytes({reinterpret_cast<const uint8_t*>(record.fileName.data()), n});
    w.zeros(260 - n);
    return w.take();
}

} // namespace paloma
