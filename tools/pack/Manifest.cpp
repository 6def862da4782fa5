// Reading the packager's manifest.
#include "tools/pack/Manifest.h"

#include "tools/pack/SettingWords.h"

#include "base/TextCodec.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <set>

namespace paloma::pack {

namespace {

using nlohmann::json;

std::vector<MenuItemRecord> menuItems(const json& list, const std::string& path, int depth);

struct ManifestError {
    std::string field;
    std::string message;
};

[[noreturn]] void fail(const std::string& field, const std::string& message) { throw ManifestError{field, message}; }

// One JSON object of the manifest, with its field path for messages. Every
// field read is remembered; finish() refuses the ones nobody read.
class Fields {
public:
    Fields(const json& value, std::string path) : value_(value), path_(std::move(path)) {
        if (!value_.is_object())
            fail(path_.empty() ? "(top level)" : path_, "expected an object");
    }

    std::string name(const std::string& key) const { return path_.empty() ? key : path_ + "." + key; }

    const json* get(const std::string& key) {
        seen_.insert(key);
        auto it = value_.find(key);
        if (it == value_.end() || it->is_null())
            return nullptr;
        return &*it;
    }

    std::optional<std::u16string> text(const std::string& key) {
        const json* v = get(key);
        if (!v)
            return std::nullopt;
        if (!v->is_string())
            fail(name(key), "expected a string");
        std::u16string t = utf8ToUtf16(v->get<std::string>());
        if (t.find(u'\0') != std::u16string::npos)
            fail(name(key), "must not contain a NUL character");
        return t;
    }

    std::u16string text(const std::string& key, std::u16string_view fallback) {
        auto t = text(key);
        return t ? *t : std::u16string(fallback);
    }

    // A text that must fit a fixed field of the runtime.
    std::optional<std::u16string> fieldText(const std::string& key, size_t fieldBytes) {
        auto t = text(key);
        if (t && ansiLength(*t) >= fieldBytes)
            fail(name(key), "longer than " + std::to_string(fieldBytes - 1) + " bytes");
        return t;
    }

    bool flag(const std::string& key, bool fallback) {
        const json* v = get(key);
        if (!v)
            return fallback;
        if (!v->is_boolean())
            fail(name(key), "expected true or false");
        return v->get<bool>();
    }

    int64_t integer(const std::string& key, int64_t fallback, int64_t lo, int64_t hi) {
        const json* v = get(key);
        if (!v)
            return fallback;
        if (!v->is_number_integer())
            fail(name(key), "expected a whole number");
        int64_t n = v->is_number_unsigned() ? int64_t(std::min<uint64_t>(v->get<uint64_t>(), uint64_t(INT64_MAX)))
                                            : v->get<int64_t>();
        if (n < lo || n > hi)
            fail(name(key), "must be between " + std::to_string(lo) + " and " + std::to_string(hi));
        return n;
    }

    uint32_t colour(const std::string& key, uint32_t fallback) {
        auto c = optionalColour(key);
        return c ? *c : fallback;
    }

    std::optional<uint32_t> optionalColour(const std::string& key) {
        const json* v = get(key);
        if (!v)
            return std::nullopt;
        auto c = v->is_string() ? colourOf(v->get<std::string>()) : std::nullopt;
        if (!c)
            fail(name(key), "expected a colour \"#RRGGBB\"");
        return c;
    }

    std::string choice(const std::string& key, const std::vector<std::string>& words, const std::string& fallback) {
        const json* v = get(key);
        if (!v)
            return fallback;
        if (v->is_string())
            for (const std::string& w : words)
                if (v->get<std::string>() == w)
                    return w;
        std::string list;
        for (const std::string& w : words)
            list += (list.empty() ? "\"" : ", \"") + w + "\"";
        fail(name(key), "expected one of " + list);
    }

    uint32_t flags(const std::string& key, const std::vector<FlagWord>& table, uint32_t fallback) {
        const json* v = get(key);
        if (!v)
            return fallback;
        if (!v->is_array())
            fail(name(key), "expected a list of words");
        uint32_t bits = 0;
        for (size_t i = 0; i < v->size(); ++i) {
            const json& item = (*v)[i];
            auto bit = item.is_string() ? flagOf(table, item.get<std::string>()) : std::nullopt;
            if (!bit)
                fail(name(key) + "[" + std::to_string(i) + "]",
                     "unknown word" + (item.is_string() ? " \"" + item.get<std::string>() + "\"" : std::string()) +
                         "; expected one of " + wordsOf(table, ~0u & allBits(table)));
            bits |= *bit;
        }
        return bits;
    }

    void finish() const {
        for (auto it = value_.begin(); it != value_.end(); ++it)
            if (!seen_.count(it.key()))
                fail(name(it.key()), "unknown field");
    }

private:
    static uint32_t allBits(const std::vector<FlagWord>& table) {
        uint32_t b = 0;
        for (const FlagWord& f : table)
            b |= f.bit;
        return b;
    }

    const json& value_;
    std::string path_;
    std::set<std::string> seen_;
};

FontRecord defaultFont(bool underline) {
    FontRecord f;
    f.height = -11;
    f.weight = 400;
    f.underline = underline;
    f.charSet = 1; // the system's default character set
    f.faceName = u"Tahoma";
    return f;
}

FontRecord readFont(Fields& parent, const std::string& key, bool underline) {
    FontRecord f = defaultFont(underline);
    const json* v = parent.get(key);
    if (!v)
        return f;
    Fields font(*v, parent.name(key));
    if (auto face = font.fieldText("face", kFaceNameField))
        f.faceName = face;
    f.height = int32_t(font.integer("height", f.height, -1000, 1000));
    f.width = uint32_t(font.integer("width", 0, 0, 1000));
    f.escapement = uint32_t(font.integer("escapement", 0, 0, 3600));
    f.orientation = uint32_t(font.integer("orientation", 0, 0, 3600));
    f.weight = uint32_t(font.integer("weight", f.weight, 0, 1000));
    f.italic = font.flag("italic", false);
    f.underline = font.flag("underline", underline);
    f.strikeOut = font.flag("strikeOut", false);
    f.charSet = uint8_t(font.integer("charSet", f.charSet, 0, 255));
    f.outPrecision = uint8_t(font.integer("outPrecision", 0, 0, 255));
    f.clipPrecision = uint8_t(font.integer("clipPrecision", 0, 0, 255));
    f.quality = uint8_t(font.integer("quality", 0, 0, 255));
    f.pitchAndFamily = uint8_t(font.integer("pitchAndFamily", 0, 0, 255));
    font.finish();
    return f;
}

std::filesystem::path diskPath(const std::filesystem::path& base, const std::u16string& text) {
    std::filesystem::path p = pathOf(text);
    return p.is_absolute() ? p : base / p;
}

Manifest readManifest(const json& doc, const std::filesystem::path& baseDir) {
    Manifest m;
    m.baseDir = baseDir;
    RuntimeSettings& s = m.settings;
    Fields top(doc, "");

    if (auto runtime = top.text("runtime"))
        m.runtime = diskPath(baseDir, *runtime);

    // Project texts.
    std::u16string title = top.text("title", u"Screen saver");
    std::u16string author = top.text("author", u"");
    std::u16string version = top.text("version", u"1.0");
    std::u16string product = top.text("product", title);
    s.texts[kTextTitle] = title;
    s.texts[1] = top.text("description", u"");
    s.texts[2] = author;
    s.texts[kTextRights] = top.text("rights", u"");
    s.texts[4] = u"";
    s.texts[5] = product;
    s.texts[kTextVersion] = version;
    m.identity = top.text("identity", (author.empty() ? u"Paloma" : author) + u"/" + product + u"\\V" + version);

    // Screen-saver options.
    s.wakeUpMethods = top.flags("wakeUp", wakeUpWords(), kWakeLeftButton | kWakeRightButton | kWakeMouseMove | kWakeKeyStroke);
    if (const json* hk = top.get("hotKey")) {
        Fields hotKey(*hk, "hotKey");
        const json* key = hotKey.get("key");
        if (!key)
            fail("hotKey.key", "missing");
        if (key->is_string()) {
            auto code = keyOf(key->get<std::string>());
            if (!code)
                fail("hotKey.key", "unknown key \"" + key->get<std::string>() + "\"");
            s.hotKeyCode = *code;
        } else {
            s.hotKeyCode = uint16_t(hotKey.integer("key", 0, 1, 254));
        }
        s.hotKeyModifiers = uint16_t(hotKey.flags("modifiers", modifierWords(), 0));
        hotKey.finish();
    }
    if ((s.wakeUpMethods & kWakeHotKey) && s.hotKeyCode == 0)
        fail("hotKey", "missing, but \"wakeUp\" names \"hotKey\"");
    if (const json* opts = top.get("options")) {
        Fields options(*opts, "options");
        for (const FlagWord& f : optionWords())
            if (options.flag(f.word, false))
                s.optionFlags |= f.bit;
        options.finish();
    }
    if (auto colour = top.optionalColour("backgroundColour")) {
        s.optionFlags |= kOptionBackgroundColour;
        s.backgroundColour = *colour;
    }

    // Preview and help entries.
    if (const json* pv = top.get("preview")) {
        Fields preview(*pv, "preview");
        std::string mode = preview.choice("mode", {"icon", "movie", "file"}, "icon");
        s.preview.path = preview.fieldText("path", kPathField);
        s.preview.selector = mode == "icon" ? kPreviewIcon : mode == "movie" ? kPreviewMovie : kPreviewFile;
        if (mode == "file" && (!s.preview.path || s.preview.path->empty()))
            fail("preview.path", "missing, but \"preview.mode\" is \"file\"");
        preview.finish();
    }
    if (const json* hp = top.get("help")) {
        Fields help(*hp, "help");
        s.help.path = help.fieldText("path", kPathField);
        if (!s.help.path || s.help.path->empty())
            fail("help.path", "missing");
        s.help.selector = 1;
        help.finish();
    }

    // "About me" page.
    s.linkColour = s.mailColour = 0xFF0000; // blue
    s.linkFont = s.mailFont = defaultFont(true);
    if (const json* ab = top.get("about")) {
        Fields about(*ab, "about");
        if (const json* lk = about.get("link")) {
            Fields link(*lk, "about.link");
            s.linkCaption = link.text("caption");
            s.linkTarget = link.text("target");
            s.linkColour = link.colour("colour", s.linkColour);
            s.linkFont = readFont(link, "font", true);
            link.finish();
        }
        if (const json* ml = about.get("mail")) {
            Fields mail(*ml, "about.mail");
            s.mailCaption = mail.text("caption");
            s.mailAddress = mail.text("address");
            s.mailColour = mail.colour("colour", s.mailColour);
            s.mailFont = readFont(mail, "font", true);
            mail.finish();
        }
        std::string plays = about.choice("plays", {"nothing", "movie", "file"}, "nothing");
        s.pageMoviePath = about.fieldText("file", kPathField);
        if (plays == "movie")
            s.pageFlags = kPagePlaysMovie;
        else if (plays == "file") {
            s.pageFlags = kPagePlaysFile;
            if (!s.pageMoviePath || s.pageMoviePath->empty())
                fail("about.file", "missing, but \"about.plays\" is \"file\"");
        }
        if (auto picture = about.text("picture"))
            m.picture = diskPath(baseDir, *picture);
        about.finish();
    }

    // Files, movie, installer.
    if (const json* fl = top.get("files")) {
        if (!fl->is_array())
            fail("files", "expected a list of paths");
        for (size_t i = 0; i < fl->size(); ++i) {
            if (!(*fl)[i].is_string())
                fail("files[" + std::to_string(i) + "]", "expected a string");
            m.files.push_back(diskPath(baseDir, utf8ToUtf16((*fl)[i].get<std::string>())));
        }
    }
    m.movie.kind = kMovieKindDefault;
    m.movie.name = top.fieldText("movie", kMovieNameField);
    if (!m.movie.name) {
        for (const auto& f : m.files) {
            std::u16string name = f.filename().u16string();
            if (name.size() > 4 && utf16ToUtf8(name.substr(name.size() - 4)) == ".swf")
                m.movie.name = name;
            if (m.movie.name)
                break;
        }
        if (!m.movie.name)
            fail("movie", "missing, and no \".swf\" file among \"files\"");
    }
    m.installer = top.fieldText("installer", kPathField);

    // Scripts.
    if (const json* sc = top.get("scripts")) {
        if (!sc->is_object())
            fail("scripts", "expected an object of script names and files");
        for (auto it = sc->begin(); it != sc->end(); ++it) {
            std::string field = "scripts." + it.key();
            if (it.key().empty())
                fail("scripts", "a script name is empty");
            if (!it->is_string())
                fail(field, "expected the path of a .qls or .qsc file");
            m.scripts.push_back({utf8ToUtf16(it.key()), diskPath(baseDir, utf8ToUtf16(it->get<std::string>()))});
        }
    }
    // Menus: stored as MENUS resources for Menu.load.
    if (const json* menus = top.get("menus")) {
        if (!menus->is_object())
            fail("menus", "expected an object of menu names and item lists");
        for (auto it = menus->begin(); it != menus->end(); ++it) {
            if (it.key().empty())
                fail("menus", "a menu name is empty");
            m.menus.push_back({utf8ToUtf16(it.key()), menuItems(*it, "menus." + it.key(), 0)});
        }
    }
    top.finish();
    return m;
}

} // namespace

namespace {

// A menu's items: {"id", "caption", "icon", "separator", "disabled",
// "checked", "grayed", "default", "items" (a popup's items)}.
std::vector<MenuItemRecord> menuItems(const json& list, const std::string& path, int depth) {
    if (!list.is_array())
        fail(path, "expected an array of menu items");
    if (depth >= kMaxMenuDepth)
        fail(path, "menus nested too deeply");
    std::vector<MenuItemRecord> items;
    for (size_t i = 0; i < list.size(); ++i) {
        std::string at = path + "[" + std::to_string(i) + "]";
        Fields f(list[i], at);
        MenuItemRecord item;
        item.textId = f.text("id", u"");
        item.caption = f.text("caption", u"");
        item.iconFile = f.text("icon", u"");
        if (f.flag("separator", false))
            item.flags |= kMenuItemSeparator;
        if (f.flag("disabled", false))
            item.flags |= kMenuItemDisabled;
        if (f.flag("checked", false))
            item.flags |= kMenuItemChecked;
        if (f.flag("grayed", false))
            item.flags |= kMenuItemGrayed;
        if (f.flag("default", false))
            item.flags |= kMenuItemDefault;
        if (const json* sub = f.get("items")) {
            item.flags |= kMenuItemPopup;
            item.items = menuItems(*sub, at + ".items", depth + 1);
        } else if (!(item.flags & kMenuItemSeparator) && item.textId.empty()) {
            fail(at, "a command item needs an \"id\"");
        }
        f.finish();
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

std::optional<Manifest> parseManifest(std::string_view text, const std::filesystem::path& baseDir, std::string& error) {
    json doc = json::parse(text.begin(), text.end(), nullptr, false, true);
    if (doc.is_discarded()) {
        // Parse again with exceptions for the position of the fault.
        try {
            json again = json::parse(text.begin(), text.end(), nullptr, true, true);
            (void)again;
        } catch (const json::exception& e) {
            error = std::string("manifest is not valid JSON: ") + e.what();
            return std::nullopt;
        }
        error = "manifest is not valid JSON";
        return std::nullopt;
    }
    try {
        return readManifest(doc, baseDir);
    } catch (const ManifestError& e) {
        error = "manifest field \"" + e.field + "\": " + e.message;
        return std::nullopt;
    }
}

std::optional<Manifest> loadManifest(const std::filesystem::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read manifest " + path.string();
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseManifest(text, path.parent_path(), error);
}

} // namespace paloma::pack
