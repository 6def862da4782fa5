#pragma once
// The portable side of the FlashPlayer object: the binding table between
// script Values and movie variables (with the clip paths it implies), the
// reading of a movie variable's text as a Value, the conversion of movie
// coordinates to the player window's per scale mode, and the inspection of
// a movie file or of a projector's appended movie.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/Quill.h"

namespace paloma::host {

// Movie variable paths compare without regard to case.
bool samePath(std::u16string_view a, std::u16string_view b);

// The binding table: entries (movie variable path, a Value owned by the
// table) and the clip table (each prefix of a bound path that ends before a
// dot, counted by the bindings that imply it), 17 buckets each.
class BindingTable {
public:
    static constexpr size_t kBuckets = 17;
    // h = (h >> 7) ^ (h >> 16) ^ c ^ (h << 5) over the lower-cased units.
    static uint32_t bucketOf(std::u16string_view path);

    // Binds a path (once: a second bind of the same path changes nothing).
    void bind(std::u16string_view path);
    // Removes the binding of a path and releases the clip paths it implied;
    // a path that is not bound changes nothing.
    void unbind(std::u16string_view path);
    void clear();

    // The bound Value of a path; null when the path is not bound.
    quill::Value* find(std::u16string_view path);
    bool isClip(std::u16string_view path) const;
    // The number of bindings that imply a clip path (0: none).
    int clipCount(std::u16string_view path) const;
    size_t size() const;

    struct Entry {
        std::u16string path;
        quill::Value value;
    };
    // Every binding, for updating all of them (entries stay put while the
    // table is not changed).
    std::vector<Entry*> entries();
    void mark(quill::Engine& engine) const;

private:
    struct Clip {
        std::u16string path;
        int count = 0;
    };
    std::array<std::vector<Entry>, kBuckets> entries_;
    std::array<std::vector<Clip>, kBuckets> clips_;
};

// The Value of a movie variable's text: "true", "false", "undefined", an
// integer (with C base prefixes), a decimal number, else the text itself.
quill::Value movieTextValue(quill::Engine& engine, std::u16string_view text);

// A movie rectangle in the player window's client coordinates.
struct WindowRect {
    int64_t left = 0, right = 0, top = 0, bottom = 0;
};
// The movie of width W and height H (both positive) shown in a client area
// of cw x ch under the scale mode (0 show all, 1 no border, 2 exact fit,
// 3 no scale); nothing when the movie size is not known or the mode is none
// of these.
std::optional<WindowRect> movieToWindow(int scaleMode, double movieWidth, double movieHeight, double clientWidth,
                                        double clientHeight, double left, double right, double top, double bottom);

// What getMovieInfo reports of a movie.
struct MovieInfo {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int rate = 0; // whole frames per second
    int frameCount = 0;
    int version = 0;
    uint32_t size = 0; // the file length the header gives
};
// The header of a movie file (".swf") or of the movie appended to a
// projector (".exe"); nothing for another extension, a missing file or a
// header that cannot be read.
std::optional<MovieInfo> readMovieInfo(const std::filesystem::path& path);

} // namespace paloma::host
