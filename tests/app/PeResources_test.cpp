// PE resources: parsing, adding, keeping, placement and damaged images.
#include "app/PeResources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace paloma;

namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The smallest executable layout: headers in 0x200 bytes, then `sections`
// sections of one file-alignment block each.
std::vector<uint8_t> minimalPe(bool is64, int sections = 1) {
    const size_t optSize = is64 ? 0xF0 : 0xE0;
    std::vector<uint8_t> f(0x200 + 0x200 * sections, 0);
    f[0] = 'M';
    f[1] = 'Z';
    put32(f, 0x3C, 0x40);
    f[0x40] = 'P';
    f[0x41] = 'E';
    put16(f, 0x44, is64 ? 0x8664 : 0x14C);
    put16(f, 0x46, uint16_t(sections));
    put16(f, 0x54, uint16_t(optSize));
    put16(f, 0x56, 0x0102);
    size_t opt = 0x58;
    put16(f, opt, is64 ? 0x20B : 0x10B);
    put32(f, opt + 32, 0x1000);
    put32(f, opt + 36, 0x200);
    put32(f, opt + 56, 0x1000 * (sections + 1));
    put32(f, opt + 60, 0x200);
    put32(f, opt + (is64 ? 108 : 92), 16);
    size_t table = opt + optSize;
    for (int i = 0; i < sections; ++i) {
        size_t h = table + 40 * i;
        f[h] = '.';
        f[h + 1] = char('a' + i);
        put32(f, h + 8, 0x100);
        put32(f, h + 12, 0x1000 * (i + 1));
        put32(f, h + 16, 0x200);
        put32(f, h + 20, uint32_t(0x200 + 0x200 * i));
        put32(f, h + 36, 0x60000020);
        f[0x200 + 0x200 * i] = uint8_t(0xC3); // a "ret"
    }
    return f;
}

PeResource res(std::u16string_view type, std::u16string_view name, std::vector<uint8_t> data) {
    return {ResourceId::of(type), ResourceId::of(name), kLanguageNeutral, 0, std::move(data)};
}

} // namespace

TEST(PeResources, AddsResourcesToBothFormats) {
    for (bool is64 : {false, true}) {
        auto stub = minimalPe(is64);
        auto image = PeImage::parse(stub);
        ASSERT_TRUE(image) << is64;
        EXPECT_EQ(image->is64(), is64);
        EXPECT_TRUE(image->resources().empty());
        image->set(res(u"PALOMA", u"ST", {1, 2, 3}));
        image->set(res(u"quill", u"AfterInstall", {4, 5}));
        image->set({ResourceId::of(u"ID"), ResourceId::of(kResourceRcData), 0x409, 1252, {6}});
        std::string error;
        auto written = image->write(&error);
        ASSERT_TRUE(written) << error;
        // The original code section is untouched; a section was added.
        EXPECT_TRUE(std::equal(stub.begin() + 0x200, stub.end(), written->begin() + 0x200));
        EXPECT_EQ(written->at(0x46), 2);
        auto again = PeImage::parse(*written, &error);
        ASSERT_TRUE(again) << error;
        ASSERT_NE(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST")), nullptr);
        EXPECT_EQ(*again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"st")), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(*again->find(ResourceId::of(u"QUILL"), ResourceId::of(u"AFTERINSTALL")), (std::vector<uint8_t>{4, 5}));
        auto id = again->find(ResourceId::of(u"ID"), ResourceId::of(kResourceRcData));
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(again->resources().size(), 3u);
        EXPECT_TRUE(again->overlay().empty());
        // SizeOfImage covers the new section.
        size_t opt = 0x58;
        EXPECT_GE(get32(*written, opt + 56), get32(*written, opt + (is64 ? 112 : 96) + 16) + 1);
    }
}

TEST(PeResources, KeepsExistingResourcesAndReusesTheLastSection) {
    auto image = PeImage::parse(minimalPe(true));
    ASSERT_TRUE(image);
    image->set(res(u"KEEP", u"ME", std::vector<uint8_t>(100, 7)));
    image->set({ResourceId::of(24), ResourceId::of(1), 0x409, 0, {'<', 'x', '>'}});
    auto first = image->write();
    ASSERT_TRUE(first);

    auto second = PeImage::parse(*first);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->resources().size(), 2u);
    second->set(res(u"PALOMA", u"ML", {9}));
    second->set(res(u"KEEP", u"ME", {1})); // replaces the old one
    auto written = second->write();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->at(0x46), 2); // the resource section was rewritten in place
    auto third = PeImage::parse(*written);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->resources().size(), 3u);
    EXPECT_EQ(*third->find(ResourceId::of(u"KEEP"), ResourceId::of(u"ME")), std::vector<uint8_t>{1});
    EXPECT_EQ(*third->find(ResourceId::of(24), ResourceId::of(1)), (std::vector<uint8_t>{'<', 'x', '>'}));
    // Named types come before numbered ones, in order, as the lookup needs.
    std::vector<ResourceId> types;
    for (const PeResource& r : third->resources())
        if (types.empty() || !(types.back() == r.type))
            types.push_back(r.type);
    ASSERT_EQ(types.size(), 3u);
    EXPECT_EQ(types[0].text, u"KEEP");
    EXPECT_EQ(types[1].text, u"PALOMA");
    EXPECT_EQ(types[2].number, 24);
}

TEST(PeResources, OverlayIsSeparatedAndDropped) {
    auto stub = minimalPe(false);
    stub.insert(stub.end(), {'P', 'A', 'F', 0, 1, 2, 3});
    auto image = PeImage::parse(stub);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->overlay().size(), 7u);
    auto written = image->write();
    ASSERT_TRUE(written);
    auto again = PeImage::parse(*written);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->overlay().empty());
}

TEST(PeResources, RefusesWhatIsNotAnImage) {
    std::string error;
    EXPECT_FALSE(PeImage::parse(std::vector<uint8_t>(10, 0), &error));
    EXPECT_EQ(error, "not an executable (no MZ header)");
    auto noPe = minimalPe(true);
    noPe[0x40] = 'X';
    EXPECT_FALSE(PeImage::parse(noPe, &error));
    EXPECT_EQ(error, "not a PE executable (no PE signature)");
    auto badMagic = minimalPe(true);
    put16(badMagic, 0x58, 0x107);
    EXPECT_FALSE(PeImage::parse(badMagic, &error));
    auto cut = minimalPe(true);
    cut.resize(0x300);
    EXPECT_FALSE(PeImage::parse(cut, &error));
    EXPECT_EQ(error, "a section reaches past the end of the file");
}

TEST(PeResources, NoRoomForAnotherSectionHeader) {
    // Nine sections of a PE32+ fill the 0x200 bytes of headers.
    auto full = minimalPe(true, 9);
    auto image = PeImage::parse(full);
    ASSERT_TRUE(image);
    image->set(res(u"A", u"B", {1}));
    std::string error;
    EXPECT_FALSE(image->write(&error));
    EXPECT_EQ(error, "no room for another section header");
}

TEST(PeResources, NewSectionGoesAfterEverySectionAndTheHeaders) {
    // Section headers out of address order, one of them empty: the new
    // section must not overlap any of them nor the headers.
    auto stub = minimalPe(true, 2);
    size_t table = 0x58 + 0xF0;
    put32(stub, table + 12, 0x5000);      // first section moved up
    put32(stub, table + 40 + 16, 0);      // second section holds no raw data
    put32(stub, table + 40 + 8, 0);
    put32(stub, table + 40 + 12, 0);
    auto image = PeImage::parse(stub);
    ASSERT_TRUE(image);
    image->set(res(u"PALOMA", u"ST", {1}));
    auto written = image->write();
    ASSERT_TRUE(written);
    EXPECT_EQ(get32(*written, table + 80 + 12), 0x6000u); // after the section at 0x5000
    auto again = PeImage::parse(*written);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST")));
}

TEST(PeResources, DamagedDirectoriesFailCleanly) {
    auto image = PeImage::parse(minimalPe(false));
    ASSERT_TRUE(image);
    image->set(res(u"PALOMA", u"ST", std::vector<uint8_t>(40, 1)));
    image->set(res(u"QUILL", u"INITIALIZE", std::vector<uint8_t>(40, 2)));
    auto good = *image->write();
    size_t rsrc = 0x400; // the added section's raw data

    auto loop = good;
    put32(loop, rsrc + 16 + 4, 0x80000000); // the first type points back at the root
    std::string error;
    EXPECT_FALSE(PeImage::parse(loop, &error));
    EXPECT_FALSE(error.empty());

    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        auto mangled = good;
        for (int k = 0; k < 3; ++k)
            mangled[0x40 + rng() % (mangled.size() - 0x40)] = uint8_t(rng());
        auto parsed = PeImage::parse(mangled);
        if (parsed)
            parsed->write();
    }
    for (size_t n = 0; n < good.size(); n += 7)
        PeImage::parse(std::span(good).first(n));
    SUCCEED();
}

TEST(PeResources, EmptyResourceLastInASectionItFillsExactly) {
    // An empty resource sorts last (numbered type); whatever the size of
    // the one before it, the tree ends at some point exactly on the file
    // alignment, and the empty data must still point inside the section.
    for (size_t n = 0; n < 0x400; n += 3) {
        auto image = PeImage::parse(minimalPe(false));
        ASSERT_TRUE(image);
        image->set(res(u"PALOMA", u"ST", std::vector<uint8_t>(n, 5)));
        image->set({ResourceId::of(24), ResourceId::of(1), 0x409, 0, {}});
        std::string error;
        auto written = image->write(&error);
        ASSERT_TRUE(written) << error;
        auto again = PeImage::parse(*written, &error);
        ASSERT_TRUE(again) << n << ": " << error;
        ASSERT_NE(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST")), nullptr);
        EXPECT_EQ(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST"))->size(), n);
        ASSERT_NE(again->find(ResourceId::of(24), ResourceId::of(1)), nullptr);
        EXPECT_TRUE(again->find(ResourceId::of(24), ResourceId::of(1))->empty());
    }
}

TEST(PeResources, SectionsNamedInTheDroppedStringTableGo) {
    // A linker's debug build: code, a non-discardable section with a long
    // name, then two discardable debug sections named "/4" and "/19" at the
    // top of the address space, then the symbol and string tables.
    auto stub = minimalPe(true, 4);
    size_t table = 0x58 + 0xF0;
    auto name = [&](int i, const char* text) {
        std::fill(stub.begin() + table + 40 * i, stub.begin() + table + 40 * i + 8, 0);
        std::copy(text, text + strlen(text), stub.begin() + table + 40 * i);
    };
    name(1, "/30");
    name(2, "/4");
    name(3, "/19");
    put32(stub, table + 40 * 2 + 36, 0x42000040);
    put32(stub, table + 40 * 3 + 36, 0x42000040);
    put32(stub, 0x58 + 112 + 8 * 6, 0x3000); // a debug directory in "/4"
    put32(stub, 0x58 + 112 + 8 * 6 + 4, 28);
    const char strings[] = "\0\0\0\0.debug_info\0.debug_abbrev\0.gnu_debuglink";
    put32(stub, 0x44 + 8, uint32_t(stub.size())); // symbol table, no symbols
    stub.insert(stub.end(), strings, strings + sizeof strings);
    put32(stub, stub.size() - sizeof strings, uint32_t(sizeof strings));

    auto image = PeImage::parse(stub);
    ASSERT_TRUE(image);
    image->set(res(u"PALOMA", u"ST", {1}));
    std::string error;
    auto written = image->write(&error);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(written->at(0x46), 3); // two kept, one added
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&(*written)[table + 40])), ".gnu_deb");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&(*written)[table + 80])), ".rsrc");
    EXPECT_EQ(get32(*written, table + 80 + 12), 0x3000u); // takes the debug sections' place
    EXPECT_EQ(get32(*written, table + 120), 0u);          // the old headers are cleared
    EXPECT_EQ(get32(*written, 0x44 + 8), 0u);             // no symbol table
    EXPECT_EQ(get32(*written, 0x58 + 112 + 8 * 6), 0u);   // nor debug directory
    EXPECT_EQ(written->size(), 0x800u);
    auto again = PeImage::parse(*written, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_TRUE(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST")));
}

TEST(PeResources, ResourceSectionOverTheHeadersIsNotRewritten) {
    // The resource section, last and the only one with raw data, has that
    // data at offset 0: the headers. Rewriting it in place would overwrite them.
    auto stub = minimalPe(false, 2);
    size_t table = 0x58 + 0xE0;
    put32(stub, table + 16, 0); // the code section holds no raw data
    put32(stub, table + 40 + 20, 0);
    put32(stub, 0x58 + 96 + 8 * 2, 0x2000);
    put32(stub, 0x58 + 96 + 8 * 2 + 4, 0x10);
    auto image = PeImage::parse(stub);
    ASSERT_TRUE(image);
    image->set(res(u"PALOMA", u"ST", {1}));
    std::string error;
    auto written = image->write(&error);
    if (written) {
        auto again = PeImage::parse(*written, &error);
        ASSERT_TRUE(again) << error;
        EXPECT_TRUE(again->find(ResourceId::of(u"PALOMA"), ResourceId::of(u"ST")));
    } else {
        EXPECT_EQ(error, "no room for another section header");
    }
}
