// MCI: one device of the Media Control Interface per object, driven through
// the command messages, with video shown in a child window of the main
// window and completion notifications as window messages.
#include "host/media/MediaClasses.h"

#include <windows.h>

#include <mmsystem.h>

#include <digitalv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/HostServices.h"
#include "host/framework/Arguments.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"
#include "host/window/Window.h"

namespace paloma::host {

namespace {

using quill::Value;

constexpr wchar_t kPlaybackClass[] = L"Paloma_Playback_Window";
constexpr size_t kNotifyEvent = 0;

// The aliases generated for devices opened without one, in opening order.
int nextAlias = 0;

LRESULT CALLBACK playbackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool registerPlaybackClass() {
    static const ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = playbackProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kPlaybackClass;
        return RegisterClassW(&wc);
    }();
    return atom != 0;
}

struct Mci {
    quill::Engine& engine;
    MCIDEVICEID device = 0;
    DWORD lastError = 0;
    std::string deviceType, fileName, alias;
    int64_t from = -1, to = -1, frames = 0, track = 0, channel = 0;
    int64_t left = 0, top = 0, width = 0, height = 0;
    bool notify = false, wait = false, shareable = false, recordMode = false;
    EventSlots<1> events;
    HWND window = nullptr;

    explicit Mci(quill::Engine& e) : engine(e) {
        if (!registerPlaybackClass())
            return;
        // A child of the main window; a hidden window of its own where the
        // program has none (notifications still arrive).
        HWND parent = hostServices().playerWindow();
        DWORD style = parent ? WS_CHILD | WS_CLIPCHILDREN : WS_POPUP | WS_CLIPCHILDREN;
        window = CreateWindowExW(0, kPlaybackClass, L"Playback", style, 0, 0, 0, 0, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (window)
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Mci() {
        if (window)
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (device)
            mciSendCommandA(device, MCI_CLOSE, MCI_WAIT, 0);
        if (window)
            DestroyWindow(window);
    }
    Mci(const Mci&) = delete;
    Mci& operator=(const Mci&) = delete;
    void markValues(quill::Engine& e) const { events.mark(e); }

    DWORD flags() const { return (notify ? MCI_NOTIFY : 0) | (wait ? MCI_WAIT : 0); }
    DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(window); }

    // Sends a command to the open device and keeps its result as the last
    // error. `parms` must start with the callback field.
    template <class P>
    bool send(UINT message, DWORD flagBits, P& parms) {
        parms.dwCallback = callback();
        lastError = mciSendCommandA(device, message, flagBits | flags(), reinterpret_cast<DWORD_PTR>(&parms));
        return lastError == 0;
    }

    // A status item (with extra flags such as the track), 0 on failure.
    int64_t status(DWORD item, DWORD extra = 0, DWORD trackNumber = 0) {
        MCI_STATUS_PARMS parms = {};
        parms.dwItem = item;
        parms.dwTrack = trackNumber;
        parms.dwCallback = callback();
        lastError = mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM | extra | (wait ? MCI_WAIT : 0),
                                    reinterpret_cast<DWORD_PTR>(&parms));
        return lastError ? 0 : static_cast<int64_t>(static_cast<int32_t>(parms.dwReturn));
    }
    bool capability(DWORD item) {
        MCI_GETDEVCAPS_PARMS parms = {};
        parms.dwItem = item;
        parms.dwCallback = callback();
        lastError = mciSendCommandA(device, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | (wait ? MCI_WAIT : 0),
                                    reinterpret_cast<DWORD_PTR>(&parms));
        return lastError == 0 && parms.dwReturn != 0;
    }

    bool querySource(RECT& rect) {
        MCI_DGV_RECT_PARMS parms = {};
        if (!send(MCI_WHERE, MCI_DGV_WHERE_SOURCE, parms))
            return false;
        rect = parms.rc;
        return true;
    }
    void putDestination(int w, int h) {
        MCI_DGV_RECT_PARMS parms = {};
        parms.rc = {0, 0, w, h};
        send(MCI_PUT, MCI_DGV_PUT_DESTINATION | MCI_DGV_RECT, parms);
    }

    void open() {
        std::string useAlias = alias;
        if (useAlias.empty()) {
            char generated[32];
            std::snprintf(generated, sizeof generated, "_Quill_MCI_%d", nextAlias);
            useAlias = generated;
        }
        MCI_OPEN_PARMSA parms = {};
        DWORD bits = MCI_OPEN_ALIAS | (shareable ? MCI_OPEN_SHAREABLE : 0);
        if (!deviceType.empty()) {
            parms.lpstrDeviceType = deviceType.c_str();
            bits |= MCI_OPEN_TYPE;
        }
        if (!fileName.empty()) {
            parms.lpstrElementName = fileName.c_str();
            bits |= MCI_OPEN_ELEMENT;
        }
        parms.lpstrAlias = useAlias.c_str();
        parms.dwCallback = callback();
        // A second open of the object first lets the earlier device go.
        if (device)
            close();
        lastError = mciSendCommandA(0, MCI_OPEN, bits | flags(), reinterpret_cast<DWORD_PTR>(&parms));
        if (lastError)
            return;
        device = parms.wDeviceID;
        if (alias.empty())
            ++nextAlias; // only opened devices use up a number
        alias = useAlias;
        from = to = -1;
        DWORD error = 0;
        if (window && capability(MCI_GETDEVCAPS_HAS_VIDEO)) {
            MCI_DGV_WINDOW_PARMSA windowParms = {};
            windowParms.hWnd = window;
            send(MCI_WINDOW, MCI_DGV_WINDOW_HWND, windowParms);
            error = lastError;
            RECT source = {};
            if ((width == 0 || height == 0) && querySource(source)) {
                width = source.right - source.left;
                height = source.bottom - source.top;
            }
            putDestination(int(width), int(height));
            MoveWindow(window, int(left), int(top), int(width), int(height), TRUE);
            ShowWindow(window, SW_SHOWNOACTIVATE);
        }
        lastError = error;
    }

    void close() {
        MCI_GENERIC_PARMS parms = {};
        send(MCI_CLOSE, 0, parms);
        if (window)
            ShowWindow(window, SW_HIDE);
        if (lastError == 0)
            device = 0;
    }

    void play() {
        MCI_PLAY_PARMS parms = {};
        DWORD bits = 0;
        if (from >= 0) {
            parms.dwFrom = DWORD(from);
            bits |= MCI_FROM;
        }
        if (to >= 0) {
            parms.dwTo = DWORD(to);
            bits |= MCI_TO;
        }
        send(MCI_PLAY, bits, parms);
    }

    void record() {
        MCI_RECORD_PARMS parms = {};
        DWORD bits = recordMode ? MCI_RECORD_OVERWRITE : MCI_RECORD_INSERT;
        if (from >= 0) {
            parms.dwFrom = DWORD(from);
            bits |= MCI_FROM;
        }
        if (to >= 0) {
            parms.dwTo = DWORD(to);
            bits |= MCI_TO;
        }
        send(MCI_RECORD, bits, parms);
    }

    bool step(bool backwards) {
        MCI_DGV_STEP_PARMS parms = {};
        parms.dwFrames = DWORD(frames);
        return send(MCI_STEP, MCI_DGV_STEP_FRAMES | (backwards ? MCI_DGV_STEP_REVERSE : 0), parms);
    }

    bool seek(DWORD bits) {
        MCI_SEEK_PARMS parms = {};
        parms.dwTo = DWORD(to); // -1 is refused by the device as out of range
        return send(MCI_SEEK, bits, parms);
    }

    // Paints the current frame into `dc`; false when the device cannot.
    bool paint(HDC dc) {
        if (!device)
            return false;
        MCI_DGV_UPDATE_PARMS parms = {};
        parms.hDC = dc;
        parms.rc = {0, 0, int(width), int(height)};
        return send(MCI_UPDATE, MCI_DGV_UPDATE_HDC | MCI_DGV_RECT, parms);
    }

    void run(const std::string& name) {
        auto is = [&](const char* command) { return _stricmp(name.c_str(), command) == 0; };
        MCI_GENERIC_PARMS generic = {};
        if (is("open")) {
            open();
        } else if (is("close")) {
            close();
        } else if (is("play")) {
            play();
        } else if (is("pause")) {
            send(MCI_PAUSE, 0, generic);
        } else if (is("stop")) {
            send(MCI_STOP, 0, generic);
        } else if (is("resume")) {
            send(MCI_RESUME, 0, generic);
        } else if (is("back") || is("step")) {
            if (step(is("back")))
                from = -1;
        } else if (is("prev") || is("next")) {
            if (seek(is("prev") ? MCI_SEEK_TO_START : MCI_SEEK_TO_END))
                from = -1;
        } else if (is("seek")) {
            if (seek(MCI_TO))
                from = -1;
        } else if (is("record")) {
            record();
        } else if (is("eject")) {
            MCI_SET_PARMS parms = {};
            send(MCI_SET, MCI_SET_DOOR_OPEN, parms);
        } else if (is("save")) {
            MCI_SAVE_PARMSA parms = {};
            parms.lpfilename = fileName.c_str();
            send(MCI_SAVE, MCI_SAVE_FILE, parms);
        } else if (is("update")) {
            if (window) {
                HDC dc = GetDC(window);
                paint(dc);
                ReleaseDC(window, dc);
            }
        } else if (is("where")) {
            RECT source = {};
            if (querySource(source)) {
                width = source.right - source.left;
                height = source.bottom - source.top;
            }
        }
    }

    // channel: 0 both on, 1 left only, 2 right only.
    void setChannel(int64_t value) {
        channel = value;
        if (!device)
            return;
        auto audio = [&](DWORD which, bool on) {
            MCI_SET_PARMS parms = {};
            parms.dwAudio = which;
            send(MCI_SET, MCI_SET_AUDIO | (on ? MCI_SET_ON : MCI_SET_OFF), parms);
        };
        if (value == 1) {
            audio(MCI_SET_AUDIO_LEFT, true);
            audio(MCI_SET_AUDIO_RIGHT, false);
        } else if (value == 2) {
            audio(MCI_SET_AUDIO_RIGHT, true);
            audio(MCI_SET_AUDIO_LEFT, false);
        } else {
            audio(MCI_SET_AUDIO_ALL, true);
        }
    }
};

LRESULT CALLBACK playbackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* mci = reinterpret_cast<Mci*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case MM_MCINOTIFY:
        if (mci && mci->events.hasHandler(kNotifyEvent)) {
            // The handler may release this object: nothing of it is used after.
            mci->events.fire(mci->engine, kNotifyEvent, {Value::integer(1), Value::integer(int64_t(wParam))});
        }
        return 0;
    case WM_SIZE: {
        RECT client;
        GetClientRect(window, &client);
        if (HWND child = GetWindow(window, GW_CHILD))
            MoveWindow(child, 0, 0, client.right, client.bottom, TRUE);
        else if (mci && mci->device)
            mci->putDestination(client.right, client.bottom);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (!mci || !mci->paint(dc))
            FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(window, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- members --------------------------------------------------------------------------

void command(Mci& m, MemberCall& c) {
    if (c.put) {
        if (auto name = stringFrom(c.value))
            m.run(*name);
    }
}

// canRecord, canStep, canEject, canPlay: the row's tag is the capability item.
void capabilityProperty(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(m.capability(DWORD(c.member.tag)));
}

// length, position, tracks, mode, timeFormat: the row's tag is the status item.
void statusProperty(Mci& m, MemberCall& c) {
    if (!c.put) {
        c.value = integerResult(m.status(DWORD(c.member.tag)));
    } else if (c.member.tag == MCI_STATUS_TIME_FORMAT) {
        if (auto format = numberFrom(c.value)) {
            MCI_SET_PARMS parms = {};
            parms.dwTimeFormat = DWORD(*format);
            m.send(MCI_SET, MCI_SET_TIME_FORMAT, parms);
        }
    }
}
void start(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.status(MCI_STATUS_POSITION, MCI_STATUS_START));
}
void trackLength(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.status(MCI_STATUS_LENGTH, MCI_TRACK, DWORD(m.track)));
}
void trackPosition(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.status(MCI_STATUS_POSITION, MCI_TRACK, DWORD(m.track)));
}

void deviceID(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.device);
}
void error(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(m.lastError != 0);
}
void errorMsg(Mci& m, MemberCall& c) {
    if (c.put)
        return;
    char text[129] = {};
    if (m.lastError && !mciGetErrorStringA(m.lastError, text, 128))
        text[0] = 0;
    c.value = ansiTextResult(c.engine, text);
}

template <std::string Mci::*Field>
void textProperty(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = ansiTextResult(c.engine, m.*Field);
    else if (auto text = stringFrom(c.value))
        m.*Field = *text;
}
template <int64_t Mci::*Field>
void integerProperty(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.*Field);
    else if (auto n = numberFrom(c.value))
        m.*Field = *n;
}
template <bool Mci::*Field>
void flagProperty(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = booleanResult(m.*Field);
    else if (auto on = booleanFrom(c.value, true))
        m.*Field = *on;
}
void channel(Mci& m, MemberCall& c) {
    if (!c.put)
        c.value = integerResult(m.channel);
    else if (auto n = numberFrom(c.value))
        m.setChannel(*n);
}
void playerWindow(Mci& m, MemberCall& c) {
    if (!c.put && m.window)
        makeWindowObject(c.engine, m.window, c.value);
}

void sendCmdString(Mci& m, MemberCall& c) {
    auto text = c.string(1);
    if (!text)
        return;
    char reply[4097] = {};
    MCIERROR rc = mciSendStringA(text->c_str(), reply, 4096, m.window);
    if (rc) {
        reply[0] = 0;
        if (!mciGetErrorStringA(rc, reply, 4096))
            reply[0] = 0;
    }
    c.result = ansiTextResult(c.engine, reply);
}

void getDevices(MemberCall& c) {
    c.result = arrayResult(c.engine);
    MCI_SYSINFO_PARMSA count = {};
    DWORD quantity = 0;
    count.lpstrReturn = reinterpret_cast<LPSTR>(&quantity);
    count.dwRetSize = sizeof quantity;
    if (mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_QUANTITY, reinterpret_cast<DWORD_PTR>(&count)))
        return;
    for (DWORD i = 1; i <= quantity && i <= 4096; ++i) {
        char name[256] = {};
        MCI_SYSINFO_PARMSA parms = {};
        parms.lpstrReturn = name;
        parms.dwRetSize = sizeof name - 1;
        parms.dwNumber = i;
        if (mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_NAME, reinterpret_cast<DWORD_PTR>(&parms)))
            name[0] = 0;
        appendElement(c.engine, c.result, ansiTextResult(c.engine, name));
    }
}

// makeHMS, makeMSF (three bytes) and makeTMSF (four): integers only.
void pack(MemberCall& c) {
    int parts = c.member.tag;
    uint32_t packed = 0;
    for (int i = 1; i <= parts; ++i) {
        Value v = c.arg(i);
        if (!v.isInteger())
            return;
        packed |= (uint32_t(v.asInteger()) & 0xFF) << (8 * (i - 1));
    }
    c.result = integerResult(packed);
}
// The unpacking methods: the row's tag is the byte.
void unpack(MemberCall& c) {
    Value v = c.arg(1);
    if (v.isInteger())
        c.result = integerResult((uint64_t(v.asInteger()) >> (8 * c.member.tag)) & 0xFF);
}

template <auto F>
constexpr Member taggedProperty(const char* name, int tag) {
    Member m = property<F>(name);
    m.tag = tag;
    return m;
}
template <auto F>
constexpr Member taggedMethod(const char* name, int tag) {
    Member m = classMethod<F>(name);
    m.tag = tag;
    return m;
}

constexpr Member kMembers[] = {
    taggedProperty<capabilityProperty>("canEject", MCI_GETDEVCAPS_CAN_EJECT),
    taggedProperty<capabilityProperty>("canPlay", MCI_GETDEVCAPS_CAN_PLAY),
    taggedProperty<capabilityProperty>("canRecord", MCI_GETDEVCAPS_CAN_RECORD),
    taggedProperty<capabilityProperty>("canStep", MCI_GETDEVCAPS_HAS_VIDEO),
    property<command>("command"),
    property<deviceID>("deviceID"),
    property<textProperty<&Mci::deviceType>>("deviceType"),
    property<textProperty<&Mci::fileName>>("fileName"),
    property<textProperty<&Mci::alias>>("alias"),
    property<error>("error"),
    property<errorMsg>("errorMsg"),
    property<integerProperty<&Mci::from>>("from"),
    property<integerProperty<&Mci::to>>("to"),
    property<integerProperty<&Mci::frames>>("frames"),
    property<integerProperty<&Mci::track>>("track"),
    taggedProperty<statusProperty>("length", MCI_STATUS_LENGTH),
    taggedProperty<statusProperty>("position", MCI_STATUS_POSITION),
    taggedProperty<statusProperty>("mode", MCI_STATUS_MODE),
    taggedProperty<statusProperty>("tracks", MCI_STATUS_NUMBER_OF_TRACKS),
    property<start>("start"),
    property<trackLength>("trackLength"),
    property<trackPosition>("trackPosition"),
    taggedProperty<statusProperty>("timeFormat", MCI_STATUS_TIME_FORMAT),
    property<flagProperty<&Mci::notify>>("notify"),
    property<flagProperty<&Mci::wait>>("wait"),
    property<flagProperty<&Mci::shareable>>("sharable"),
    property<flagProperty<&Mci::recordMode>>("recordMode"),
    property<channel>("channel"),
    property<integerProperty<&Mci::left>>("left"),
    property<integerProperty<&Mci::top>>("top"),
    property<integerProperty<&Mci::width>>("width"),
    property<integerProperty<&Mci::height>>("height"),
    property<playerWindow>("playerWindow"),
    event<Mci, kNotifyEvent>("onNotify"),
    method<sendCmdString>("sendCmdString"),
    classMethod<getDevices>("getDevices"),
    taggedMethod<pack>("makeHMS", 3),
    taggedMethod<pack>("makeMSF", 3),
    taggedMethod<pack>("makeTMSF", 4),
    taggedMethod<unpack>("hmsHour", 0),
    taggedMethod<unpack>("hmsMinute", 1),
    taggedMethod<unpack>("hmsSecond", 2),
    taggedMethod<unpack>("msfMinute", 0),
    taggedMethod<unpack>("msfSecond", 1),
    taggedMethod<unpack>("msfFrame", 2),
    taggedMethod<unpack>("tmsfTrack", 0),
    taggedMethod<unpack>("tmsfMinute", 1),
    taggedMethod<unpack>("tmsfSecond", 2),
    taggedMethod<unpack>("tmsfFrame", 3),
};

void mciConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    Mci* mci = bindHandle(engine, cls, std::make_unique<Mci>(engine), result);
    mci->events.setSelf(result);
}

void mciCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    mciConstruct(engine, cls, args, result);
}

} // namespace

void registerMCIClass(quill::Engine& engine) {
    registerHostClass(engine, {.className = "MCI",
                               .members = kMembers,
                               .call = mciCall,
                               .construct = mciConstruct,
                               .destroyData = destroyHandle<Mci>,
                               .markData = markHandle<Mci>});
}

} // namespace paloma::host
