// The settings record, movie list, installer record and field texts.
#include "app/MovieList.h"
#include "app/PlayerInstaller.h"
#include "app/RuntimeSettings.h"

#include "base/ByteReader.h"

#include <gtest/gtest.h>

using namespace paloma;

namespace {

RuntimeSettings sampleSettings() {
    RuntimeSettings s;
    s.texts = {u"Title", u"Description", u"Author", u"(c) 2026 Someone", u"", std::nullopt, u"1.2"};
    s.wakeUpMethods = kWakeMouseMove | kWakeEsc | kWakeHotKey;
    s.optionFlags = kOptionBackgroundColour | kOptionMute;
    s.hotKeyCode = 0x51;
    s.hotKeyModifiers = kHotKeyCtrl | kHotKeyAlt;
    s.backgroundColour = 0x00336699;
    s.preview = {kPreviewFile, u"preview.swf"};
    s.help = {1, u"help\\index.chm"};
    s.linkCaption = u"Home page";
    s.linkTarget = u"http://example.com/";
    s.mailCaption = u"Write to us";
    s.mailAddress = u"me@example.com";
    s.linkColour = 0xFF0000;
    s.mailColour = 0x00FF00;
    s.linkFont = {-12, 0, 0, 0, 700, 1, 0, 0, 0, 3, 2, 1, 34, u"Arial"};
    s.mailFont = {-11, 0, 0, 0, 400, 0, 1, 0, 0, 0, 0, 0, 0, u"Tahoma"};
    s.pageFlags = kPagePlaysFile;
    s.pageReserved = 7;
    s.pageMoviePath = u"about.swf";
    s.pageExtra = u"extra";
    s.trailerWord1 = 1;
    s.trailerText = u"trailer";
    s.trailerWord2 = 2;
    s.trailerTime = {2026, 12, 2, 8, 15, 50, 1, 999};
    s.trailerWord3 = 3;
    s.trailerPath = u"C:\\path";
    s.trailerShort1 = 4;
    s.trailerShort2 = 5;
    return s;
}

} // namespace

TEST(RuntimeSettings, RoundTripKeepsEveryField) {
    RuntimeSettings s = sampleSettings();
    auto bytes = writeRuntimeSettings(s);
    RuntimeSettings back;
    ASSERT_TRUE(readRuntimeSettings(bytes, back));
    EXPECT_EQ(back, s);
    EXPECT_EQ(writeRuntimeSettings(back), bytes);
    EXPECT_FALSE(back.texts[5].has_value()); // absent stays absent
    ASSERT_TRUE(back.texts[4].has_value());  // empty stays empty
    EXPECT_TRUE(back.texts[4]->empty());
}

TEST(RuntimeSettings, LayoutOfTheFirstFields) {
    RuntimeSettings s;
    s.texts[0] = u"T";
    s.wakeUpMethods = 0x11223344;
    s.hotKeyCode = 0xAABB;
    auto bytes = writeRuntimeSettings(s);
    ByteReader r(bytes);
    EXPECT_EQ(r.u32(), 2u); // "T" and its NUL
    EXPECT_EQ(r.u16(), u'T');
    EXPECT_EQ(r.u16(), 0);
    for (int i = 1; i < 7; ++i)
        EXPECT_EQ(r.u32(), 0u); // absent texts
    EXPECT_EQ(r.u32(), 0x11223344u);
    EXPECT_EQ(r.u32(), 0u);
    EXPECT_EQ(r.u16(), 0xAABB);
}

TEST(RuntimeSettings, EmbeddedContentIsWrittenAndSkipped) {
    RuntimeSettings s = sampleSettings();
    std::vector<std::u16string> asked;
    auto embed = [&](const std::u16string& path) -> std::optional<std::vector<uint8_t>> {
        asked.push_back(path);
        if (path == u"preview.swf")
            return std::vector<uint8_t>{'F', 'W', 'S', 9, 9};
        if (path == u"about.swf")
            return std::vector<uint8_t>(1000, 0xEE);
        return std::nullopt;
    };
    auto plain = writeRuntimeSettings(s);
    auto embedded = writeRuntimeSettings(s, embed);
    EXPECT_EQ(embedded.size(), plain.size() + 5 + 1000);
    EXPECT_EQ(asked, (std::vector<std::u16string>{u"preview.swf", u"help\\index.chm", u"about.swf"}));
    RuntimeSettings back;
    ASSERT_TRUE(readRuntimeSettings(embedded, back));
    EXPECT_EQ(back, s);
}

TEST(RuntimeSettings, TruncationAnywhereFails) {
    auto bytes = writeRuntimeSettings(sampleSettings(), [](const std::u16string&) {
        return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>(3, 1));
    });
    RuntimeSettings back;
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(readRuntimeSettings(std::span(bytes).first(n), back)) << n;
    EXPECT_TRUE(readRuntimeSettings(bytes, back));
    // An embedded length past the end fails too.
    RuntimeSettings s;
    s.preview.path = u"x";
    auto one = writeRuntimeSettings(s);
    size_t lengthAt = 7 * 4 + 16 + 4 + 4 + 4;
    one[lengthAt + 3] = 0x7F;
    EXPECT_FALSE(readRuntimeSettings(one, back));
}

TEST(RuntimeSettings, FixedFieldsAreCutOnReading) {
    RuntimeSettings s;
    s.preview.path = std::u16string(400, u'p');
    s.linkFont.faceName = std::u16string(40, u'f');
    s.texts[0] = std::u16string(400, u't'); // heap text: kept whole
    RuntimeSettings back;
    ASSERT_TRUE(readRuntimeSettings(writeRuntimeSettings(s), back));
    EXPECT_EQ(back.preview.path->size(), 259u);
    EXPECT_EQ(back.linkFont.faceName->size(), 31u);
    EXPECT_EQ(back.texts[0]->size(), 400u);
}

TEST(FieldText, FitsTheAnsiForm) {
    EXPECT_EQ(fitToField(std::u16string_view(u"abc"), 4), u"abc");
    EXPECT_EQ(fitToField(std::u16string_view(u"abcd"), 4), u"abc");
    EXPECT_EQ(fitToField(std::u16string_view(u"abc"), 0), u"");
    // The result is the longest prefix that fits, and a surrogate pair
    // stays whole or goes whole (how many bytes a pair takes in the ANSI
    // code page depends on the system).
    const std::u16string text = u"a\U0001F600b\u00e9\U0001F601cd";
    for (size_t field = 1; field < 12; ++field) {
        std::u16string fit = fitToField(std::u16string_view(text), field);
        EXPECT_EQ(text.compare(0, fit.size(), fit), 0) << field;
        EXPECT_LT(ansiLength(fit), field) << field;
        if (!fit.empty()) {
            EXPECT_FALSE(fit.back() >= 0xD800 && fit.back() <= 0xDBFF) << field;
        }
        if (fit.size() < text.size()) {
            size_t next = fit.size() + (text[fit.size()] >= 0xD800 && text[fit.size()] <= 0xDBFF ? 2 : 1);
            EXPECT_GE(ansiLength(std::u16string_view(text).substr(0, next)), field) << field;
        }
    }
    EXPECT_EQ(fitToField(Text(), 10), std::nullopt);
}

TEST(MovieList, RoundTripClearAndTruncation) {
    MovieList list;
    list.kind = kMovieKindDefault;
    list.name = u"movie.swf";
    list.reserved[0] = 0x42;
    list.reserved[259] = 0x24;
    auto bytes = writeMovieList(list);
    EXPECT_EQ(bytes.size(), 4u + 4u + 20u + 260u);
    MovieList back;
    ASSERT_TRUE(readMovieList(bytes, back));
    EXPECT_EQ(back.kind, 2u);
    EXPECT_EQ(back.name, list.name);
    EXPECT_EQ(back.reserved, list.reserved);
    MovieList cut;
    EXPECT_FALSE(readMovieList(std::span(bytes).first(bytes.size() - 1), cut));
    EXPECT_FALSE(readMovieList({}, cut));
    back.entries.push_back({u"a.swf", kMovieEntryMovie});
    back.extraPath1 = u"x";
    back.clear();
    EXPECT_TRUE(back.entries.empty());
    EXPECT_TRUE(back.extraPath1.empty());
    EXPECT_EQ(back.kind, 0u);
}

TEST(PlayerInstaller, ExactlyTheRecordSize) {
    PlayerInstallerRecord record{kPlayerInstallerWords, "install_flash_player_active_x.exe"};
    auto bytes = writePlayerInstallerRecord(record);
    ASSERT_EQ(bytes.size(), kPlayerInstallerRecordSize);
    auto back = readPlayerInstallerRecord(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->words, kPlayerInstallerWords);
    EXPECT_EQ(back->fileName, record.fileName);
    EXPECT_FALSE(readPlayerInstallerRecord(std::span(bytes).first(275)));
    bytes.push_back(0);
    EXPECT_FALSE(readPlayerInstallerRecord(bytes));
    // A name without NUL stops at the field's last byte.
    std::vector<uint8_t> full(276, 'n');
    auto longName = readPlayerInstallerRecord(full);
    ASSERT_TRUE(longName);
    EXPECT_EQ(longName->fileName.size(), 259u);
    EXPECT_EQ(writePlayerInstallerRecord({{}, std::string(500, 'z')}).size(), 276u);
}
