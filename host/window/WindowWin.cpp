// Window: any window of the system wrapped by its handle, and its messages
// turned into script events by subclassing.
#include "host/window/Window.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "host/HostServices.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"

namespace paloma::host {

using quill::ArgList;
using quill::Engine;
using quill::NativeClass;
using quill::Value;

namespace {

enum WindowEvent {
    kOnQueryClose,
    kOnClose,
    kOnEnter,
    kOnLeave,
    kOnHover,
    kOnSize,
    kOnContextMenu,
    kOnMove,
    kOnExitSizeMove,
    kOnEnterSizeMove,
    kOnMoving,
    kOnSizing,
    kOnDeactivate,
    kOnActivate,
    kOnMessage,
    kWindowEventCount = 16, // one spare slot
};

constexpr UINT_PTR kHoverTimer = 100;
constexpr UINT kHoverDelay = 500;
constexpr UINT kTrackingOff = 0x8291;
constexpr UINT kTrackingOn = 0x8292;
constexpr UINT kMainCloseRequest = 0x8064;

// One per window handle, shared by every Window object of the window.
struct WindowRecord {
    HWND hwnd = nullptr;
    WNDPROC previous = nullptr;
    Engine* engine = nullptr; // the handlers' engine
    int objects = 0;          // Window objects of the window
    bool captured = false, timerRunning = false, tracking = true;
    bool windowGone = false;
    const void* selfData = nullptr; // the native data of the object in `self`
    EventSlots<kWindowEventCount> events;
};

// The records of live windows by handle. (A hash map: the same lookup by
// handle as fixed buckets keyed by handle mod 17.) A record whose window is
// destroyed leaves the table at once, so a new window that gets the same
// handle starts afresh; its Window objects keep it until they go.
std::unordered_map<HWND, std::shared_ptr<WindowRecord>>& records() {
    static std::unordered_map<HWND, std::shared_ptr<WindowRecord>> table;
    return table;
}

std::shared_ptr<WindowRecord> findRecord(HWND hwnd) {
    auto it = records().find(hwnd);
    return it == records().end() ? nullptr : it->second;
}

LRESULT CALLBACK windowEventProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void forget(const WindowRecord* record) {
    auto it = records().find(record->hwnd);
    if (it != records().end() && it->second.get() == record)
        records().erase(it);
}

// The last Window object of a window went: the previous procedure comes
// back (when the window still exists and ours is in place).
void detach(WindowRecord& record) {
    if (!record.windowGone && IsWindow(record.hwnd) &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrW(record.hwnd, GWLP_WNDPROC)) == windowEventProc)
        SetWindowLongPtrW(record.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record.previous));
    forget(&record);
}

// The native data of a Window object.
struct WindowData {
    std::shared_ptr<WindowRecord> record;
    HWND hwnd() const { return record && !record->windowGone && IsWindow(record->hwnd) ? record->hwnd : nullptr; }
    ~WindowData() {
        if (!record)
            return;
        if (record->selfData == this) {
            record->events.setSelf(Value::undefined());
            record->selfData = nullptr;
        }
        if (--record->objects == 0)
            detach(*record);
    }
};

// ---- events -------------------------------------------------------------------------

bool fire(WindowRecord& r, int slot, std::initializer_list<Value> args) {
    if (!r.engine || !r.events.hasHandler(size_t(slot)))
        return false;
    ScriptCallScope scope;
    bool ok = r.events.fire(*r.engine, size_t(slot), args);
    if (!ok && r.engine->errorText[0])
        quill::writeTrace(*r.engine, r.engine->errorText);
    return ok;
}

Value integer(int64_t v) { return Value::integer(v); }

// onMoving/onSizing: the handler may change the proposed rectangle.
void fireRectEvent(WindowRecord& r, int slot, WPARAM edge, RECT* rect) {
    if (!rect || !r.engine || !r.events.hasHandler(size_t(slot)))
        return;
    Engine& engine = *r.engine;
    quill::ValueRoot box(engine, objectResult(engine));
    setField(engine, box.value, "left", integer(rect->left));
    setField(engine, box.value, "top", integer(rect->top));
    setField(engine, box.value, "right", integer(rect->right));
    setField(engine, box.value, "bottom", integer(rect->bottom));
    fire(r, slot, {integer(int64_t(edge)), box.value});
    LONG* sides[] = {&rect->left, &rect->top, &rect->right, &rect->bottom};
    const char* names[] = {"left", "top", "right", "bottom"};
    for (int i = 0; i < 4; ++i) {
        Value v;
        if (box.value.isObject() && quill::objectGetByName(engine, box.value.asObject(), names[i], v) && v.isInteger())
            *sides[i] = LONG(v.asInteger());
    }
}

bool cursorInside(HWND hwnd) {
    POINT at;
    RECT rc;
    return GetCursorPos(&at) && GetWindowRect(hwnd, &rc) && PtInRect(&rc, at);
}

void stopHover(WindowRecord& r) {
    if (r.captured && GetCapture() == r.hwnd)
        ReleaseCapture();
    r.captured = false;
    if (r.timerRunning)
        KillTimer(r.hwnd, kHoverTimer);
    r.timerRunning = false;
}

// The handler's own result, for the events that use it.
LRESULT eventMessage(WindowRecord& r, UINT msg, WPARAM wParam, LPARAM lParam, bool& done) {
    done = false;
    switch (msg) {
    case WM_MOVE:
        fire(r, kOnMove, {integer(short(LOWORD(lParam))), integer(short(HIWORD(lParam)))});
        break;
    case WM_SIZE:
        fire(r, kOnSize, {integer(int64_t(wParam)), integer(LOWORD(lParam)), integer(HIWORD(lParam))});
        break;
    case WM_CLOSE:
        if (r.events.hasHandler(kOnQueryClose)) {
            bool ok = fire(r, kOnQueryClose, {});
            if (!ok || !r.engine || !quill::toBoolean(r.engine->lastResult)) {
                done = true; // refused
                return 0;
            }
        }
        fire(r, kOnClose, {});
        if (r.hwnd == HWND(hostServices().playerWindow())) {
            // The shell closes its own window.
            SetWindowLongPtrW(r.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(r.previous));
            PostMessageW(r.hwnd, kMainCloseRequest, 0, 0);
            done = true;
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        fire(r, wParam ? kOnActivate : kOnDeactivate, {});
        break;
    case WM_CONTEXTMENU:
    case WM_RBUTTONDOWN:
        if (r.events.hasHandler(kOnContextMenu)) {
            fire(r, kOnContextMenu, {});
            done = true;
            return 0;
        }
        break;
    case WM_ENTERSIZEMOVE:
        fire(r, kOnEnterSizeMove, {});
        break;
    case WM_EXITSIZEMOVE:
        fire(r, kOnExitSizeMove, {});
        break;
    case WM_MOVING:
        fireRectEvent(r, kOnMoving, wParam, reinterpret_cast<RECT*>(lParam));
        break;
    case WM_SIZING:
        fireRectEvent(r, kOnSizing, wParam, reinterpret_cast<RECT*>(lParam));
        break;
    case WM_MOUSEMOVE:
        if (r.tracking && (r.events.hasHandler(kOnEnter) || r.events.hasHandler(kOnLeave) ||
                           r.events.hasHandler(kOnHover))) {
            if (cursorInside(r.hwnd)) {
                if (GetCapture() != r.hwnd) {
                    SetCapture(r.hwnd);
                    r.captured = true;
                    r.timerRunning = SetTimer(r.hwnd, kHoverTimer, kHoverDelay, nullptr) != 0;
                    fire(r, kOnEnter, {});
                }
            } else {
                stopHover(r);
                fire(r, kOnLeave, {});
            }
        }
        break;
    case WM_TIMER:
        if (wParam == kHoverTimer) {
            if (cursorInside(r.hwnd)) {
                fire(r, kOnHover, {});
            } else {
                stopHover(r);
                fire(r, kOnLeave, {});
            }
        }
        break;
    case kTrackingOff:
        r.tracking = false;
        break;
    case kTrackingOn:
        r.tracking = true;
        break;
    }
    return 0;
}

LRESULT CALLBACK windowEventProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The record stays while its events run (a handler's collection may
    // free the last Window object of the window).
    std::shared_ptr<WindowRecord> r = findRecord(hwnd);
    if (!r)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    WNDPROC previous = r->previous;
    bool done = false;
    LRESULT result = eventMessage(*r, msg, wParam, lParam, done);
    if (!done)
        fire(*r, kOnMessage, {integer(msg), integer(int64_t(wParam)), integer(int64_t(lParam))});
    if (msg == WM_NCDESTROY) {
        // Put the previous procedure back before the window goes.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        r->windowGone = true;
        forget(r.get());
    }
    if (done)
        return result;
    return previous ? CallWindowProcW(previous, hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---- wrapping ------------------------------------------------------------------------

NativeClass* windowClass(Engine& engine) { return quill::classBoundTo(engine, "Window"); }

bool wrap(Engine& engine, NativeClass* cls, HWND hwnd, Value& out) {
    out = Value::null();
    if (!cls || !hwnd || !IsWindow(hwnd))
        return false;
    std::shared_ptr<WindowRecord> r = findRecord(hwnd);
    if (r && r->engine != &engine)
        return false; // the window's events run in another engine
    if (!r) {
        auto fresh = std::make_shared<WindowRecord>();
        fresh->hwnd = hwnd;
        fresh->engine = &engine;
        // Only windows of this process can be subclassed.
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        if (process == GetCurrentProcessId()) {
            fresh->previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowEventProc)));
        }
        r = fresh;
        records()[hwnd] = std::move(fresh);
    }
    auto data = std::make_unique<WindowData>();
    data->record = r;
    ++r->objects;
    WindowData* raw = data.get();
    quill::bindNativeObject(engine, out, cls, data.release());
    r->events.setSelf(out);
    r->selfData = raw;
    return true;
}

WindowData* dataOf(void* self) { return static_cast<WindowData*>(self); }

// ---- members ---------------------------------------------------------------------------

using WindowMember = void (*)(HWND, MemberCall&);

// Untyped rows: the handle is checked once for every member.
template <WindowMember F>
int windowMember(MemberCall& c) {
    if (!c.self)
        return 0;
    HWND hwnd = dataOf(c.self)->hwnd();
    if (hwnd)
        F(hwnd, c);
    return 1;
}

template <WindowMember F>
constexpr Member windowMethod(const char* name, Fallback neutral = Fallback::Undefined) {
    return Member::method(name, windowMember<F>, 0, neutral);
}
template <WindowMember F>
constexpr Member windowProperty(const char* name) {
    return Member::property(name, windowMember<F>);
}

template <int Slot>
int eventProperty(MemberCall& c) {
    if (!c.self)
        return 0;
    WindowData* d = dataOf(c.self);
    if (!d->record)
        return 1;
    if (c.put) {
        d->record->events.access(size_t(Slot), 1, c.value);
    } else {
        d->record->events.access(size_t(Slot), 0, c.value);
        if (c.value.isUndefined())
            c.value = Value::null();
    }
    return 1;
}

void show(HWND h, MemberCall&) { ShowWindow(h, SW_SHOW); }
void hide(HWND h, MemberCall&) { ShowWindow(h, SW_HIDE); }
void close(HWND h, MemberCall&) { PostMessageW(h, WM_CLOSE, 0, 0); }
void bringToTop(HWND h, MemberCall&) { SetForegroundWindow(h); }

void center(HWND h, MemberCall&) {
    RECT rc, area;
    GetWindowRect(h, &rc);
    HWND over = (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : GetWindow(h, GW_OWNER);
    if (over) {
        GetWindowRect(over, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    int w = rc.right - rc.left, hgt = rc.bottom - rc.top;
    POINT at = {area.left + (area.right - area.left - w) / 2, area.top + (area.bottom - area.top - hgt) / 2};
    if (GetWindowLongW(h, GWL_STYLE) & WS_CHILD)
        ScreenToClient(GetParent(h), &at);
    SetWindowPos(h, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void update(HWND h, MemberCall& c) {
    c.result = booleanResult(RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN) != 0);
}

struct Collected {
    Engine* engine;
    NativeClass* cls;
    Value list;
    const std::string* title;
};

BOOL CALLBACK collectWindow(HWND h, LPARAM p) {
    auto* into = reinterpret_cast<Collected*>(p);
    if (into->title) {
        char text[512] = {};
        GetWindowTextA(h, text, sizeof text);
        if (_stricmp(text, into->title->c_str()) != 0)
            return TRUE;
    }
    Value w;
    if (wrap(*into->engine, into->cls, h, w))
        appendElement(*into->engine, into->list, w);
    return TRUE;
}

void getChildren(HWND h, MemberCall& c) {
    quill::ValueRoot list(c.engine, arrayResult(c.engine));
    Collected into{&c.engine, c.cls, list.value, nullptr};
    EnumChildWindows(h, collectWindow, reinterpret_cast<LPARAM>(&into));
    c.result = list.value;
}

// A Window object that names no window (`find` without a match).
Value emptyWindow(Engine& engine, NativeClass* cls) {
    Value out;
    auto data = std::make_unique<WindowData>();
    quill::bindNativeObject(engine, out, cls, data.release());
    return out;
}

void find(MemberCall& c) {
    auto cls = c.string(1), name = c.string(2);
    HWND found = FindWindowA(cls ? cls->c_str() : nullptr, name ? name->c_str() : nullptr);
    Value w;
    c.result = found && wrap(c.engine, c.cls, found, w) ? w : emptyWindow(c.engine, c.cls);
}

void getWindowsByName(MemberCall& c) {
    quill::ValueRoot list(c.engine, arrayResult(c.engine));
    std::string title;
    bool byTitle = c.has(1);
    if (byTitle)
        title = quill::valueToText(c.engine, c.arg(1));
    Collected into{&c.engine, c.cls, list.value, byTitle ? &title : nullptr};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&into));
    c.result = list.value;
}

void create(MemberCall& c) {
    c.result = nullResult();
    auto className = c.string(1);
    HWND main = HWND(hostServices().playerWindow());
    if (!className || !main)
        return;
    HWND made = CreateWindowExA(0, className->c_str(), "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, main, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    Value w;
    if (made && wrap(c.engine, c.cls, made, w))
        c.result = w;
}

template <int Index>
void modifyStyle(HWND h, MemberCall& c) {
    auto remove = c.number(1), add = c.number(2);
    if (!remove || !add)
        return;
    LONG_PTR style = GetWindowLongPtrW(h, Index);
    style = (style & ~LONG_PTR(*remove)) | LONG_PTR(*add);
    SetWindowLongPtrW(h, Index, style);
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// The window rectangle in its parent's client coordinates (a child) or on
// the screen.
RECT placeOf(HWND h) {
    RECT rc;
    GetWindowRect(h, &rc);
    if (GetWindowLongW(h, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void move(HWND h, MemberCall& c) {
    RECT rc = placeOf(h);
    LONG* sides[] = {&rc.left, &rc.top, &rc.right, &rc.bottom};
    for (int i = 0; i < 4; ++i)
        if (Value v = c.arg(i + 1); v.isInteger())
            *sides[i] = LONG(v.asInteger());
    MoveWindow(h, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void animate(HWND h, MemberCall& c) {
    c.result = booleanResult(false);
    auto time = c.number(1), flags = c.number(2);
    if (!time || !flags)
        return;
    using AnimateWindowFn = BOOL(WINAPI*)(HWND, DWORD, DWORD);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto fn = user ? reinterpret_cast<AnimateWindowFn>(reinterpret_cast<void*>(GetProcAddress(user, "AnimateWindow")))
                   : nullptr;
    if (fn)
        c.result = booleanResult(fn(h, DWORD(*time), DWORD(*flags)) != 0);
}

void placeAt(HWND h, int x, int y) {
    SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

// Slides the top-left corner from (x0, y0) to (x1, y1), one pixel a step.
void slideWindow(HWND h, int x0, int y0, int x1, int y1, int delay) {
    if (x0 == x1 && y0 == y1)
        return;
    if (x0 == x1) {
        int step = y1 > y0 ? 1 : -1;
        for (int y = y0; y != y1; y += step) {
            placeAt(h, x0, y);
            Sleep(DWORD(delay));
        }
    } else {
        int span = x1 > x0 ? x1 - x0 : x0 - x1, step = x1 > x0 ? 1 : -1;
        for (int k = 0; k < span; ++k) {
            placeAt(h, x0 + k * step, y0 + int(int64_t(k) * (y1 - y0) / span));
            Sleep(DWORD(delay));
        }
    }
    placeAt(h, x1, y1);
}

// The inside and outside positions of `fly` for a w x h window.
void flyPositions(const RECT& area, int w, int h, int corner, int direction, POINT& inside, POINT& outside) {
    switch (corner) {
    case 0: inside = {area.right - w, area.bottom - h}; break;
    case 1: inside = {area.right - w, area.top}; break;
    case 2: inside = {area.left, area.top}; break;
    default: inside = {area.left, area.bottom - h}; break;
    }
    outside = inside;
    if (direction == 0 || direction == 2)
        outside.x = corner <= 1 ? area.right : area.left - w;
    if (direction == 1 || direction == 2)
        outside.y = corner == 0 || corner == 3 ? area.bottom : area.top - h;
}

namespace {

void fly(HWND h, MemberCall& c) {
    int corner = 0, direction = 0, delay = 10;
    bool in = true;
    if (c.has(1)) {
        Value v = c.arg(1);
        corner = v.isInteger() && v.asInteger() >= 0 && v.asInteger() <= 3 ? int(v.asInteger()) : 3;
    }
    if (c.has(2)) {
        Value v = c.arg(2);
        direction = v.isInteger() && v.asInteger() >= 0 && v.asInteger() <= 2 ? int(v.asInteger()) : 2;
    }
    if (c.has(3))
        in = quill::toBoolean(c.arg(3));
    if (c.has(4)) {
        Value v = c.arg(4);
        delay = v.isInteger() && v.asInteger() >= 0 ? int(std::min<int64_t>(v.asInteger(), 10000)) : 10;
    }
    RECT area, rc;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(h, &rc);
    POINT inside, outside;
    flyPositions(area, rc.right - rc.left, rc.bottom - rc.top, corner, direction, inside, outside);
    if (in)
        slideWindow(h, outside.x, outside.y, inside.x, inside.y, delay);
    else
        slideWindow(h, inside.x, inside.y, outside.x, outside.y, delay);
}

void fly2(HWND h, MemberCall& c) {
    int64_t v[5];
    for (int i = 0; i < 5; ++i) {
        auto n = c.number(i + 1);
        if (!n)
            return;
        v[i] = *n;
    }
    slideWindow(h, int(v[0]), int(v[1]), int(v[2]), int(v[3]), int(std::clamp<int64_t>(v[4], 0, 10000)));
}

// ---- properties ------------------------------------------------------------------------

void caption(HWND h, MemberCall& c) {
    if (!c.put) {
        int n = GetWindowTextLengthW(h);
        std::wstring text(size_t(n) + 1, L'\0');
        n = GetWindowTextW(h, text.data(), n + 1);
        c.value = wideTextResult(c.engine, text.c_str(), size_t(n));
        return;
    }
    std::u16string text = quill::toText(c.engine, c.value);
    SetWindowTextW(h, reinterpret_cast<const wchar_t*>(text.c_str()));
}

template <int Side>
void side(HWND h, MemberCall& c) {
    RECT rc = placeOf(h);
    int x = rc.left, y = rc.top, w = rc.right - rc.left, hgt = rc.bottom - rc.top;
    int* values[] = {&x, &y, &w, &hgt};
    if (!c.put) {
        c.value = integer(*values[Side]);
        return;
    }
    if (!c.value.isInteger())
        return;
    *values[Side] = int(c.value.asInteger());
    SetWindowPos(h, nullptr, x, y, w, hgt, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void parent(HWND h, MemberCall& c) {
    if (!c.put) {
        Value w;
        HWND p = GetParent(h);
        c.value = p && wrap(c.engine, c.cls, p, w) ? w : nullResult();
        return;
    }
    void* data = quill::instanceData(c.value, c.engine, "Window");
    if (!data)
        return;
    SetParent(h, static_cast<WindowData*>(data)->hwnd());
}

void handle(HWND h, MemberCall& c) {
    if (!c.put)
        c.value = integer(int64_t(reinterpret_cast<intptr_t>(h)));
}

void className(HWND h, MemberCall& c) {
    if (c.put)
        return;
    char name[256] = {};
    int n = GetClassNameA(h, name, sizeof name);
    c.value = ansiTextResult(c.engine, std::string(name, n > 0 ? size_t(n) : 0));
}

void visible(HWND h, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(IsWindowVisible(h) != 0);
}

void enable(HWND h, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(IsWindowEnabled(h) != 0);
    else
        EnableWindow(h, quill::toBoolean(c.value));
}

void windowState(HWND h, MemberCall& c) {
    if (!c.put) {
        const char* state = IsIconic(h) ? "minimized" : IsZoomed(h) ? "maximized" : "normal";
        c.value = ansiTextResult(c.engine, state);
        return;
    }
    if (c.value.isInteger()) {
        ShowWindow(h, int(c.value.asInteger()));
    } else if (auto text = stringFrom(c.value)) {
        if (*text == "normal")
            ShowWindow(h, SW_SHOWNORMAL);
        else if (*text == "maximized")
            ShowWindow(h, SW_SHOWMAXIMIZED);
        else if (*text == "minimized")
            ShowWindow(h, SW_SHOWMINIMIZED);
    }
}

void clientRect(HWND h, MemberCall& c) {
    if (c.put)
        return;
    RECT rc;
    GetClientRect(h, &rc);
    Value box = objectResult(c.engine);
    setField(c.engine, box, "left", integer(rc.left));
    setField(c.engine, box, "top", integer(rc.top));
    setField(c.engine, box, "width", integer(rc.right - rc.left));
    setField(c.engine, box, "height", integer(rc.bottom - rc.top));
    c.value = box;
}

int classFind(MemberCall& c) {
    find(c);
    return 1;
}
int classGetWindowsByName(MemberCall& c) {
    getWindowsByName(c);
    return 1;
}
int classCreate(MemberCall& c) {
    create(c);
    return 1;
}

constexpr Member kWindowMembers[] = {
    windowMethod<show>("show"),
    windowMethod<hide>("hide"),
    windowMethod<close>("close"),
    windowMethod<bringToTop>("bringToTop"),
    windowMethod<center>("center"),
    windowMethod<update>("update"),
    windowMethod<getChildren>("getChildren"),
    Member::method("find", classFind),
    Member::method("getWindowsByName", classGetWindowsByName),
    Member::method("create", classCreate, 0, Fallback::Null),
    windowMethod<modifyStyle<GWL_STYLE>>("modifyStyle"),
    windowMethod<modifyStyle<GWL_EXSTYLE>>("modifyStyleEx"),
    windowMethod<move>("move"),
    windowMethod<animate>("animate", Fallback::False),
    windowMethod<fly>("fly"),
    windowMethod<fly2>("fly2"),
    windowProperty<caption>("caption"),
    windowProperty<side<0>>("left"),
    windowProperty<side<1>>("top"),
    windowProperty<side<2>>("width"),
    windowProperty<side<3>>("height"),
    windowProperty<parent>("parent"),
    windowProperty<handle>("handle"),
    windowProperty<className>("className"),
    windowProperty<visible>("visible"),
    windowProperty<enable>("enable"),
    windowProperty<windowState>("windowState"),
    windowProperty<clientRect>("clientRect"),
    Member::event("onQueryClose", eventProperty<kOnQueryClose>),
    Member::event("onClose", eventProperty<kOnClose>),
    Member::event("onEnter", eventProperty<kOnEnter>),
    Member::event("onLeave", eventProperty<kOnLeave>),
    Member::event("onHover", eventProperty<kOnHover>),
    Member::event("onSize", eventProperty<kOnSize>),
    Member::event("onContextMenu", eventProperty<kOnContextMenu>),
    Member::event("onMove", eventProperty<kOnMove>),
    Member::event("onExitSizeMove", eventProperty<kOnExitSizeMove>),
    Member::event("onEnterSizeMove", eventProperty<kOnEnterSizeMove>),
    Member::event("onMoving", eventProperty<kOnMoving>),
    Member::event("onSizing", eventProperty<kOnSizing>),
    Member::event("onDeactivate", eventProperty<kOnDeactivate>),
    Member::event("onActivate", eventProperty<kOnActivate>),
    Member::event("onMessage", eventProperty<kOnMessage>),
};

void windowConstruct(Engine& engine, NativeClass* cls, ArgList args, Value& result) {
    result = Value::null();
    Value h = args.arg(1);
    if (h.isInteger())
        wrap(engine, cls, HWND(intptr_t(h.asInteger())), result);
}

void windowCall(Engine& engine, NativeClass* cls, void*, Value& result, ArgList args) {
    windowConstruct(engine, cls, args, result);
}

void windowDestroy(NativeClass*, void* data) { delete static_cast<WindowData*>(data); }

void windowMark(Engine& engine, NativeClass*, void* data) {
    if (const auto& r = static_cast<WindowData*>(data)->record)
        r->events.mark(engine);
}

constexpr IntegerConstant kAnimationConstants[] = {
    {"$AW_HOR_POSITIVE", 1}, {"$AW_HOR_NEGATIVE", 2}, {"$AW_VER_POSITIVE", 4},
    {"$AW_VER_NEGATIVE", 8}, {"$AW_CENTER", 16},      {"$AW_HIDE", 0x10000},
    {"$AW_ACTIVATE", 0x20000}, {"$AW_SLIDE", 0x40000}, {"$AW_BLEND", 0x80000},
};

} // namespace

void registerWindowClass(Engine& engine) {
    registerHostClass(engine, {.className = "Window",
                               .members = kWindowMembers,
                               .call = windowCall,
                               .construct = windowConstruct,
                               .destroyData = windowDestroy,
                               .markData = windowMark,
                               .constants = kAnimationConstants});
}

bool makeWindowObject(Engine& engine, HWND window, Value& out) { return wrap(engine, windowClass(engine), window, out); }

HWND windowHandleOf(Engine& engine, const Value& v) {
    void* data = quill::instanceData(v, engine, "Window");
    return data ? static_cast<WindowData*>(data)->hwnd() : nullptr;
}

} // namespace paloma::host
