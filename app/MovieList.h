#pragma once
// The movie list record (resource "ML" of type PALOMA): a kind word, the
// movie's path inside the package archive, and 260 carried bytes. In memory
// the list also holds the movie entries the application object keeps.

#include "app/FieldText.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace paloma {

constexpr size_t kMovieNameField = 1040;
constexpr uint32_t kMovieKindDefault = 2; // what the packager writes
constexpr uint32_t kMovieEntryMovie = 1;

struct MovieEntry {
    std::u16string path;
    uint32_t kind = 0; // kMovieEntryMovie marks a movie
};

struct MovieList {
    uint32_t kind = 0;
    Text name;                            // 1040-byte field
    std::array<uint8_t, 260> reserved{};  // carried
    std::vector<MovieEntry> entries;      // filled at run time, never stored
    std::u16string extraPath1, extraPath2; // cleared with the record

    // Empties the entries, the two path fields and the kind word.
    void clear();
};

// Decodes the record; false when the bytes end early.
bool readMovieList(std::span<const uint8_t> data, MovieList& out);
std::vector<uint8_t> writeMovieList(const MovieList& list);

} // namespace paloma
