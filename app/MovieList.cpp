// The movie list record.
#include "app/MovieList.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

#include <algorithm>

namespace paloma {

void MovieList::clear() {
    entries.clear();
    extraPath1.clear();
    extraPath2.clear();
    kind = 0;
}

bool readMovieList(std::span<const uint8_t> data, MovieList& out) {
    ByteReader r(data);
    uint32_t kind = r.u32();
    Text name = fitToField(r.string16(), kMovieNameField);
    auto reserved = r.bytes(260);
    if (!r.ok())
        return false;
    out.kind = kind;
    out.name = std::move(name);
    std::copy(reserved.begin(), reserved.end(), out.reserved.begin());
    return true;
}

std::vector<uint8_t> writeMovieList(const MovieList& list) {
    ByteWriter w;
    w.u32(list.kind);
    w.string16(list.name);
    w.bytes(list.reserved);
    return w.take();
}

} // namespace paloma
