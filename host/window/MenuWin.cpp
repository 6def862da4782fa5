// Menu: script menus from the MENUS resource or item by item, attached to
// the main window, popups, accelerators from captions, and commands reported
// to Menu.onCommand by the items' text ids.
#include <algorithm>
#include <memory>
#include <vector>

#include "app/ResourceBlock.h"
#include "base/TextCodec.h"
#include "host/HostServices.h"
#include "host/app/ApplicationState.h"
#include "host/app/HotKeyText.h"
#include "host/framework/HostClass.h"
#include "host/window/MenuCommands.h"
#include "app/MenusResource.h"
#include "host/window/Window.h"

namespace paloma::host {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

namespace {

// The process-wide side of script menus.
struct MenuState {
    MenuCommandTable commands;
    HookHandler onCommand, onUpdateItem;
    std::vector<HACCEL> accelerators; // consulted by the main window's loop
};

MenuState& menuState() {
    static MenuState state;
    return state;
}

void setHook(HookHandler& h, Engine* owner, const Value& v) {
    if (h.value && h.engine)
        h.engine->unpin(h.value);
    h = HookHandler{};
    if (owner && v.isFunction())
        h = HookHandler{owner, owner->pin(v)};
}

void destroyIcon(uintptr_t icon) { DestroyIcon(HICON(icon)); }

// A Menu object's native data.
struct MenuData {
    HMENU menu = nullptr;
    HACCEL accel = nullptr;
    bool borrowed = false;

    void dropAccelerators() {
        if (!accel)
            return;
        auto& list = menuState().accelerators;
        list.erase(std::remove(list.begin(), list.end(), accel), list.end());
        DestroyAcceleratorTable(accel);
        accel = nullptr;
    }
    // Destroys the menu it owns (detached from the main window first).
    void release() {
        dropAccelerators();
        if (menu && !borrowed) {
            HWND main = HWND(hostServices().playerWindow());
            if (main && GetMenu(main) == menu) {
                SetMenu(main, nullptr);
                DrawMenuBar(main);
            }
            DestroyMenu(menu);
        }
        menu = nullptr;
        borrowed = false;
    }
    void replace(HMENU fresh) {
        release();
        menu = fresh;
    }
    ~MenuData() { release(); }
};

MenuData* dataOf(void* self) { return static_cast<MenuData*>(self); }

std::wstring wide(std::string_view ansi) {
    std::u16string w = ansiToUtf16(ansi);
    return std::wstring(w.begin(), w.end());
}

// A command item: its id from the text id, with its icon.
bool addCommand(HMENU menu, UINT position, bool insert, const std::string& textId, const std::wstring& caption,
                const std::string& iconFile, UINT extraFlags = 0) {
    uintptr_t icon = 0;
    if (!iconFile.empty())
        if (auto path = additionalFilePath(iconFile))
            icon = uintptr_t(LoadImageA(nullptr, path->c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
    auto id = menuState().commands.allocate(textId, icon);
    if (!id) {
        if (icon)
            DestroyIcon(HICON(icon));
        return false;
    }
    UINT flags = MF_STRING | extraFlags | (insert ? MF_BYPOSITION : 0);
    return insert ? InsertMenuW(menu, position, flags, *id, caption.c_str()) != 0
                  : AppendMenuW(menu, flags, *id, caption.c_str()) != 0;
}

// ---- the MENUS resource ---------------------------------------------------------------

bool buildItems(HMENU menu, const std::vector<MenuItemRecord>& items) {
    UINT position = 0;
    for (const MenuItemRecord& item : items) {
        std::wstring caption(item.caption.begin(), item.caption.end());
        if (item.flags & kMenuItemPopup) {
            HMENU popup = CreatePopupMenu();
            if (!popup || !buildItems(popup, item.items) ||
                !AppendMenuW(menu, MF_POPUP | MF_STRING, UINT_PTR(popup), caption.c_str())) {
                if (popup)
                    DestroyMenu(popup);
                return false;
            }
        } else if (item.flags & kMenuItemSeparator) {
            if (!AppendMenuW(menu, MF_SEPARATOR, 0, nullptr))
                return false;
        } else {
            UINT flags = (item.flags & kMenuItemDisabled ? MF_DISABLED : 0) |
                         (item.flags & kMenuItemChecked ? MF_CHECKED : 0) |
                         (item.flags & kMenuItemGrayed ? MF_GRAYED : 0);
            // An item whose id cannot be had is left out.
            addCommand(menu, 0, false, utf16ToAnsi(item.textId), caption, utf16ToAnsi(item.iconFile), flags);
        }
        if (item.flags & kMenuItemDefault)
            SetMenuDefaultItem(menu, position, TRUE);
        ++position;
    }
    return true;
}

std::optional<std::vector<uint8_t>> menusResource(const std::string& name) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceA(self, name.c_str(), "MENUS");
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return std::nullopt;
    try {
        return readResourceBlock(std::span<const uint8_t>(bytes, SizeofResource(self, found)));
    } catch (...) {
        return std::nullopt;
    }
}

// ---- accelerators ------------------------------------------------------------------------

void collectAccelerators(HMENU menu, std::vector<ACCEL>& out) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            collectAccelerators(sub, out);
            continue;
        }
        UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
        if (state & MF_SEPARATOR)
            continue;
        char caption[512] = {};
        GetMenuStringA(menu, UINT(i), caption, sizeof caption, MF_BYPOSITION);
        const char* tab = std::strchr(caption, '\t');
        if (!tab)
            continue;
        std::string keys = tab + 1;
        while (!keys.empty() && (keys.back() == ' ' || keys.back() == '\t'))
            keys.pop_back();
        keys.erase(0, keys.find_first_not_of(" \t") == std::string::npos ? keys.size() : keys.find_first_not_of(" \t"));
        uint16_t hotKey = parseHotKeyText(keys);
        if (!hotKeyCode(hotKey))
            continue;
        uint8_t flags = hotKeyFlags(hotKey);
        BYTE virt = FVIRTKEY | (flags & kHotKeyCtrlFlag ? FCONTROL : 0) | (flags & kHotKeyShiftFlag ? FSHIFT : 0) |
                    (flags & kHotKeyAltFlag ? FALT : 0);
        out.push_back(ACCEL{virt, hotKeyCode(hotKey), WORD(GetMenuItemID(menu, i))});
    }
}

// ---- members -------------------------------------------------------------------------------

int withMenu(MemberCall& c, MenuData*& data) {
    data = c.self ? dataOf(c.self) : nullptr;
    return data ? 1 : 0;
}

int load(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    c.result = booleanResult(false);
    auto name = c.string(1);
    if (!name)
        return 1;
    auto bytes = menusResource(*name);
    auto items = bytes ? readMenusResource(*bytes) : std::nullopt;
    if (!items)
        return 1;
    HMENU menu = CreateMenu();
    if (!menu)
        return 1;
    if (!buildItems(menu, *items)) {
        DestroyMenu(menu); // the partial menu goes
        return 1;
    }
    d->replace(menu);
    c.result = booleanResult(true);
    return 1;
}

template <bool Popup>
int createMenu(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    HMENU menu = Popup ? CreatePopupMenu() : CreateMenu();
    if (menu)
        d->replace(menu);
    c.result = booleanResult(menu != nullptr);
    return 1;
}

int setMenu(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    HWND main = HWND(hostServices().playerWindow());
    c.result = booleanResult(d->menu && main && SetMenu(main, d->menu) && DrawMenuBar(main));
    return 1;
}

// appendItem / insertItem from argument `first` on.
bool addItem(MemberCall& c, MenuData& d, int64_t first, bool insert, UINT position) {
    Value a = c.arg(first);
    if (void* other = quill::instanceData(a, c.engine, "Menu")) {
        MenuData* sub = dataOf(other);
        auto caption = c.string(first + 1);
        if (!sub->menu || !caption || sub->menu == d.menu)
            return false;
        UINT flags = MF_POPUP | MF_STRING | (insert ? MF_BYPOSITION : 0);
        std::wstring text = wide(*caption);
        bool added = insert ? InsertMenuW(d.menu, position, flags, UINT_PTR(sub->menu), text.c_str()) != 0
                            : AppendMenuW(d.menu, flags, UINT_PTR(sub->menu), text.c_str()) != 0;
        // The outer menu now owns the popup and destroys it with itself;
        // the popup's own object must not destroy it a second time (or
        // while the outer menu still shows it).
        if (added)
            sub->borrowed = true;
        return added;
    }
    auto textId = c.string(first), caption = c.string(first + 1);
    if (textId && caption) {
        auto icon = c.string(first + 2);
        return addCommand(d.menu, position, insert, *textId, wide(*caption), icon ? *icon : std::string());
    }
    return insert ? InsertMenuW(d.menu, position, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr) != 0
                  : AppendMenuW(d.menu, MF_SEPARATOR, 0, nullptr) != 0;
}

int appendItem(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    c.result = booleanResult(d->menu && addItem(c, *d, 1, false, 0));
    return 1;
}

int insertItem(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    auto position = c.number(1);
    c.result = booleanResult(d->menu && position && addItem(c, *d, 2, true, UINT(*position)));
    return 1;
}

int removeItem(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    auto position = c.number(1);
    c.result = booleanResult(d->menu && position && RemoveMenu(d->menu, UINT(*position), MF_BYPOSITION));
    return 1;
}

int getSubMenu(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    c.result = nullResult();
    auto position = c.number(1);
    HMENU sub = d->menu && position ? GetSubMenu(d->menu, int(*position)) : nullptr;
    if (!sub)
        return 1;
    auto borrowed = std::make_unique<MenuData>();
    borrowed->menu = sub;
    borrowed->borrowed = true;
    quill::bindNativeObject(c.engine, c.result, c.cls, borrowed.release());
    return 1;
}

int show(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    c.result = nullResult();
    HWND main = HWND(hostServices().playerWindow());
    if (!d->menu || !main)
        return 1;
    POINT at;
    GetCursorPos(&at);
    if (auto x = c.number(1))
        at.x = LONG(*x);
    if (auto y = c.number(2))
        at.y = LONG(*y);
    // A menu bar is shown through its first popup.
    HMENU shown = d->menu;
    UINT id = UINT(TrackPopupMenu(shown, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN, at.x, at.y, 0, main, nullptr));
    if (const MenuCommand* command = menuState().commands.find(id))
        c.result = ansiTextResult(c.engine, command->textId);
    return 1;
}

int enableAccel(MemberCall& c) {
    MenuData* d;
    if (!withMenu(c, d))
        return 0;
    if (!c.put)
        return 1; // write only
    d->dropAccelerators();
    if (!quill::toBoolean(c.value) || !d->menu)
        return 1;
    std::vector<ACCEL> entries;
    collectAccelerators(d->menu, entries);
    if (entries.empty())
        return 1;
    d->accel = CreateAcceleratorTableW(entries.data(), int(entries.size()));
    if (d->accel)
        menuState().accelerators.push_back(d->accel);
    return 1;
}

template <int Which>
int processHook(MemberCall& c) {
    HookHandler& h = Which == 0 ? menuState().onCommand : menuState().onUpdateItem;
    if (!c.put)
        c.value = h.value ? h.value->value : Value::undefined();
    else if (c.value.isFunction())
        setHook(h, &c.engine, c.value);
    return 1;
}

constexpr Member kMenuMembers[] = {
    Member::method("load", load, 0, Fallback::False),
    Member::method("createMenu", createMenu<false>, 0, Fallback::False),
    Member::method("createPopupMenu", createMenu<true>, 0, Fallback::False),
    Member::method("setMenu", setMenu, 0, Fallback::False),
    Member::method("appendItem", appendItem, 0, Fallback::False),
    Member::method("insertItem", insertItem, 0, Fallback::False),
    Member::method("removeItem", removeItem, 0, Fallback::False),
    Member::method("getSubMenu", getSubMenu, 0, Fallback::Null),
    Member::method("show", show, 0, Fallback::Null),
    Member::property("enableAccel", enableAccel),
    Member::event("onCommand", processHook<0>),
    Member::event("onUpdateItem", processHook<1>),
};

void menuConstruct(Engine& engine, NativeClass* cls, ArgList, Value& result) {
    auto data = std::make_unique<MenuData>();
    quill::bindNativeObject(engine, result, cls, data.release());
}

void menuCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    menuConstruct(engine, cls, args, result);
}

void menuDestroy(NativeClass*, void* data) { delete static_cast<MenuData*>(data); }

// Freed with the Menu class: the command table's icons go and the table is
// emptied.
struct MenuClassWatch {
    ~MenuClassWatch() { menuState().commands.clear(destroyIcon); }
};

void menuEngineGone(Engine* gone) {
    MenuState& state = menuState();
    for (HookHandler* h : {&state.onCommand, &state.onUpdateItem})
        if (h->engine == gone)
            *h = HookHandler{};
}

} // namespace

void registerMenuClass(Engine& engine) {
    NativeClass* cls = registerHostClass(engine, {.className = "Menu",
                                                  .members = kMenuMembers,
                                                  .call = menuCall,
                                                  .construct = menuConstruct,
                                                  .destroyData = menuDestroy});
    memberIds(cls).setState(new MenuClassWatch);
    applicationState().menuEngineGone = menuEngineGone;
}

bool dispatchMenuCommand(unsigned id) {
    MenuState& state = menuState();
    const MenuCommand* command = state.commands.find(id);
    HookHandler handler = state.onCommand;
    if (!command || !handler.engine || !handler.value)
        return command != nullptr;
    Engine& engine = *handler.engine;
    std::string textId = command->textId;
    ScriptCallScope scope;
    Value self = engine.global(engine.internName("Menu"));
    Value list[] = {Value::integer(1), ansiTextResult(engine, textId)};
    if (!quill::callWithThis(engine, self, handler.value->value, ArgList{list}) && engine.errorText[0])
        quill::writeTrace(engine, engine.errorText);
    return true;
}

bool translateMenuAccelerator(MSG& msg) {
    HWND main = HWND(hostServices().playerWindow());
    if (!main || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    for (HACCEL table : menuState().accelerators)
        if (TranslateAcceleratorW(main, table, &msg))
            return true;
    return false;
}

void releaseMenuState() {
    MenuState& state = menuState();
    state.commands.clear(destroyIcon);
    // The tables themselves belong to their Menu objects.
    state.accelerators.clear();
}

} // namespace paloma::host
