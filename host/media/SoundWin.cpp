// Sound: the first audio mixer's volume, mute and recording-source controls.
//
// The mixer is process-wide: it is opened on mixer device 0 at the first
// construction and closed when the last Sound object goes. Its control-change
// notifications reach a message-only window of the class, which calls the
// handler of the control on every live Sound object.
#include "host/media/MediaClasses.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "host/framework/Arguments.h"
#include "host/framework/Events.h"
#include "host/framework/HostClass.h"

namespace paloma::host {

namespace {

using quill::Value;

// The controls, in handler-slot order.
enum Control : size_t {
    kMasterMute,
    kMasterVolume,
    kWaveMute,
    kWaveVolume,
    kMidiMute,
    kMidiVolume,
    kCDMute,
    kCDVolume,
    kLineInMute,
    kLineInVolume,
    kMicrophoneMute,
    kMicrophoneVolume,
    kRecordMicrophoneVolume,
    kRecordLineInVolume,
    kMicrophoneSelect,
    kLineInSelect,
    kControlCount
};

struct ControlInfo {
    bool found = false;
    DWORD id = 0;
    DWORD channels = 1; // capped at 2
    LONG minimum = 0, maximum = 0;
    // Selection items: the item index in a multiple-item control.
    DWORD items = 0;
    DWORD item = 0;
    bool mux = false;
};

class Mixer;
std::weak_ptr<Mixer>& sharedMixer() {
    static std::weak_ptr<Mixer> mixer;
    return mixer;
}

struct SoundCore;
std::set<SoundCore*>& liveCores() {
    static std::set<SoundCore*> cores;
    return cores;
}
void controlChanged(HMIXER mixer, DWORD controlId);

LRESULT CALLBACK notifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_MIXM_CONTROL_CHANGE) {
        controlChanged(reinterpret_cast<HMIXER>(wParam), static_cast<DWORD>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createNotifyWindow() {
    static const ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = notifyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Paloma_Mixer_Notify";
        return RegisterClassW(&wc);
    }();
    if (!atom)
        return nullptr;
    return CreateWindowExW(0, L"Paloma_Mixer_Notify", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class Mixer {
public:
    Mixer() {
        if (mixerGetNumDevs() == 0)
            return;
        window_ = createNotifyWindow();
        DWORD_PTR callback = reinterpret_cast<DWORD_PTR>(window_);
        if (mixerOpen(&mixer_, 0, callback, 0, MIXER_OBJECTF_MIXER | (window_ ? CALLBACK_WINDOW : 0)) !=
            MMSYSERR_NOERROR) {
            mixer_ = nullptr;
            return;
        }
        MIXERCAPSA caps = {};
        if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(mixer_), &caps, sizeof caps) == MMSYSERR_NOERROR)
            name_.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        lookUpControls();
    }
    ~Mixer() {
        if (mixer_)
            mixerClose(mixer_);
        if (window_)
            DestroyWindow(window_);
    }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    bool open() const { return mixer_ != nullptr; }
    HMIXER handle() const { return mixer_; }
    const std::string& name() const { return name_; }
    const ControlInfo& control(size_t i) const { return controls_[i]; }
    // The control of an id, or kControlCount.
    size_t indexOf(DWORD id) const {
        for (size_t i = 0; i < kControlCount; ++i)
            if (controls_[i].found && controls_[i].id == id)
                return i;
        return kControlCount;
    }

    // Percentages of a volume control, one per channel.
    std::optional<std::vector<int64_t>> volume(size_t i) {
        const ControlInfo& c = controls_[i];
        std::array<MIXERCONTROLDETAILS_UNSIGNED, 2> values = {};
        if (!c.found || !details(c, c.channels, 0, sizeof values[0], values.data(), false))
            return std::nullopt;
        int64_t range = int64_t(c.maximum) - c.minimum;
        std::vector<int64_t> percents;
        for (DWORD ch = 0; ch < c.channels; ++ch)
            percents.push_back(range > 0 ? (int64_t(values[ch].dwValue) - c.minimum) * 100 / range : 0);
        return percents;
    }
    void setVolume(size_t i, int64_t left, int64_t right) {
        const ControlInfo& c = controls_[i];
        if (!c.found)
            return;
        // Percentages beyond 0-100 would name values outside the control's
        // range. The value is rounded up so that reading it back (rounded
        // down) gives the percentage written.
        auto raw = [&](int64_t percent) {
            percent = std::clamp<int64_t>(percent, 0, 100);
            return static_cast<DWORD>(c.minimum + ((int64_t(c.maximum) - c.minimum) * percent + 99) / 100);
        };
        std::array<MIXERCONTROLDETAILS_UNSIGNED, 2> values = {{{raw(left)}, {raw(right)}}};
        details(c, c.channels, 0, sizeof values[0], values.data(), true);
    }
    std::optional<bool> flag(size_t i) {
        const ControlInfo& c = controls_[i];
        MIXERCONTROLDETAILS_BOOLEAN value = {};
        if (!c.found || !details(c, 1, 0, sizeof value, &value, false))
            return std::nullopt;
        return value.fValue != 0;
    }
    void setFlag(size_t i, bool on) {
        const ControlInfo& c = controls_[i];
        MIXERCONTROLDETAILS_BOOLEAN value = {on ? 1L : 0L};
        if (c.found)
            details(c, 1, 0, sizeof value, &value, true);
    }
    // The selection items of a select control.
    std::optional<bool> selected(size_t i) {
        const ControlInfo& c = controls_[i];
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> items(c.items);
        if (!c.found || !details(c, 1, c.items, sizeof items[0], items.data(), false))
            return std::nullopt;
        return items[c.item].fValue != 0;
    }
    void select(size_t i, bool on) {
        const ControlInfo& c = controls_[i];
        std::vector<MIXERCONTROLDETAILS_BOOLEAN> items(c.items);
        if (!c.found || !details(c, 1, c.items, sizeof items[0], items.data(), false))
            return;
        if (c.mux) {
            if (!on)
                return; // a mux always has one source selected
            for (auto& item : items)
                item.fValue = 0;
        }
        items[c.item].fValue = on ? 1 : 0;
        details(c, 1, c.items, sizeof items[0], items.data(), true);
    }

private:
    bool details(const ControlInfo& c, DWORD channels, DWORD items, DWORD itemSize, void* values, bool set) {
        MIXERCONTROLDETAILS d = {};
        d.cbStruct = sizeof d;
        d.dwControlID = c.id;
        d.cChannels = channels;
        d.cMultipleItems = items;
        d.cbDetails = itemSize;
        d.paDetails = values;
        HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer_);
        MMRESULT rc = set ? mixerSetControlDetails(object, &d, MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER)
                          : mixerGetControlDetailsA(object, &d, MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER);
        return rc == MMSYSERR_NOERROR;
    }

    bool lineOfType(DWORD componentType, MIXERLINEA& line) {
        line = {};
        line.cbStruct = sizeof line;
        line.dwComponentType = componentType;
        return mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer_), &line,
                                 MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER) == MMSYSERR_NOERROR;
    }

    bool controlOfType(const MIXERLINEA& line, DWORD type, ControlInfo& out) {
        MIXERCONTROLA control = {};
        control.cbStruct = sizeof control;
        MIXERLINECONTROLSA controls = {};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = type;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        if (mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(mixer_), &controls,
                                  MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
            return false;
        out.found = true;
        out.id = control.dwControlID;
        out.channels = (control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : std::clamp<DWORD>(line.cChannels, 1, 2);
        out.minimum = control.Bounds.lMinimum;
        out.maximum = control.Bounds.lMaximum;
        out.items = control.cMultipleItems;
        return true;
    }

    void lineControls(DWORD componentType, size_t mute, size_t volume) {
        MIXERLINEA line;
        if (!lineOfType(componentType, line))
            return;
        controlOfType(line, MIXERCONTROL_CONTROLTYPE_MUTE, controls_[mute]);
        controlOfType(line, MIXERCONTROL_CONTROLTYPE_VOLUME, controls_[volume]);
    }

    void lookUpControls() {
        lineControls(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, kMasterMute, kMasterVolume);
        lineControls(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, kWaveMute, kWaveVolume);
        lineControls(MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, kMidiMute, kMidiVolume);
        lineControls(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, kCDMute, kCDVolume);
        lineControls(MIXERLINE_COMPONENTTYPE_SRC_LINE, kLineInMute, kLineInVolume);
        lineControls(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, kMicrophoneMute, kMicrophoneVolume);

        // The recording side: the wave-in destination's sources and its
        // selection control.
        MIXERLINEA waveIn;
        if (!lineOfType(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, waveIn))
            return;
        for (DWORD s = 0; s < waveIn.cConnections; ++s) {
            MIXERLINEA source = {};
            source.cbStruct = sizeof source;
            source.dwDestination = waveIn.dwDestination;
            source.dwSource = s;
            if (mixerGetLineInfoA(reinterpret_cast<HMIXEROBJ>(mixer_), &source,
                                  MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
                continue;
            if (source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE)
                controlOfType(source, MIXERCONTROL_CONTROLTYPE_VOLUME, controls_[kRecordMicrophoneVolume]);
            else if (source.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_LINE)
                controlOfType(source, MIXERCONTROL_CONTROLTYPE_VOLUME, controls_[kRecordLineInVolume]);
        }
        ControlInfo selection;
        bool mux = controlOfType(waveIn, MIXERCONTROL_CONTROLTYPE_MUX, selection);
        if (!mux && !controlOfType(waveIn, MIXERCONTROL_CONTROLTYPE_MIXER, selection))
            return;
        if (selection.items == 0 || selection.items > 256)
            return;
        std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts(selection.items);
        MIXERCONTROLDETAILS d = {};
        d.cbStruct = sizeof d;
        d.dwControlID = selection.id;
        d.cChannels = 1;
        d.cMultipleItems = selection.items;
        d.cbDetails = sizeof texts[0];
        d.paDetails = texts.data();
        if (mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(mixer_), &d,
                                    MIXER_GETCONTROLDETAILSF_LISTTEXT | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
            return;
        selection.mux = mux;
        selection.channels = 1;
        for (DWORD i = 0; i < selection.items; ++i) {
            std::string_view text(texts[i].szName, strnlen(texts[i].szName, sizeof texts[i].szName));
            size_t slot = text == "Microphone" ? kMicrophoneSelect : text == "Line In" ? kLineInSelect : kControlCount;
            if (slot != kControlCount) {
                controls_[slot] = selection;
                controls_[slot].item = i;
            }
        }
    }

    HMIXER mixer_ = nullptr;
    HWND window_ = nullptr;
    std::string name_;
    std::array<ControlInfo, kControlCount> controls_{};
};

std::shared_ptr<Mixer> openMixer() {
    auto mixer = sharedMixer().lock();
    if (!mixer) {
        mixer = std::make_shared<Mixer>();
        sharedMixer() = mixer;
    }
    return mixer;
}

// What a Sound object and its playback and recording objects share: the
// mixer, the handlers and the Sound object's own Value.
struct SoundCore {
    quill::Engine& engine;
    std::shared_ptr<Mixer> mixer = openMixer();
    EventSlots<kControlCount> events;
    Value playback, recording;

    explicit SoundCore(quill::Engine& e) : engine(e) { liveCores().insert(this); }
    ~SoundCore() { liveCores().erase(this); }
    SoundCore(const SoundCore&) = delete;
    SoundCore& operator=(const SoundCore&) = delete;

    void mark(quill::Engine& e) const {
        events.mark(e);
        quill::markValue(e, playback);
        quill::markValue(e, recording);
    }
};

// The live Sound object of each engine: construction gives it again.
std::map<quill::Engine*, SoundCore*>& soundOfEngine() {
    static std::map<quill::Engine*, SoundCore*> sounds;
    return sounds;
}

void controlChanged(HMIXER mixer, DWORD controlId) {
    auto shared = sharedMixer().lock();
    if (!shared || shared->handle() != mixer)
        return;
    size_t index = shared->indexOf(controlId);
    if (index == kControlCount)
        return;
    // Handlers may drop Sound objects: fire on a snapshot, checking each
    // core is still alive first.
    std::vector<SoundCore*> cores(liveCores().begin(), liveCores().end());
    auto fire = [&](SoundCore* core, size_t slot) {
        if (liveCores().count(core) && core->events.hasHandler(slot))
            core->events.fire(core->engine, slot, {Value::integer(0)});
    };
    for (SoundCore* core : cores) {
        if (index == kMicrophoneSelect || index == kLineInSelect) {
            fire(core, kLineInSelect);
            fire(core, kMicrophoneSelect);
        } else {
            fire(core, index);
        }
    }
}

// The Sound object and its two parts hold the core.
struct Sound {
    std::shared_ptr<SoundCore> core;
    void markValues(quill::Engine& e) const { core->mark(e); }
    ~Sound() {
        auto& sounds = soundOfEngine();
        auto it = sounds.find(&core->engine);
        if (it != sounds.end() && it->second == core.get())
            sounds.erase(it);
    }
};
struct SoundPart {
    std::shared_ptr<SoundCore> core;
    void markValues(quill::Engine& e) const { core->mark(e); }
};

// Volume properties (the row's tag is the control).
void volumeProperty(SoundCore& core, MemberCall& c) {
    size_t i = static_cast<size_t>(c.member.tag);
    Mixer& mixer = *core.mixer;
    if (!mixer.open() || !mixer.control(i).found)
        return; // undefined, writes ignored
    if (!c.put) {
        auto percents = mixer.volume(i);
        if (!percents)
            return;
        if (percents->size() == 1) {
            c.value = integerResult((*percents)[0]);
        } else {
            c.value = arrayResult(c.engine);
            for (int64_t p : *percents)
                appendElement(c.engine, c.value, integerResult(p));
        }
        return;
    }
    if (c.value.isArray()) {
        std::vector<int64_t> parts;
        for (const Value& v : quill::arrayGather(c.value.asArray())) {
            auto n = numberFrom(v);
            parts.push_back(n ? *n : 0);
        }
        if (parts.empty())
            return;
        mixer.setVolume(i, parts[0], parts.size() > 1 ? parts[1] : parts[0]);
    } else if (auto n = numberFrom(c.value)) {
        mixer.setVolume(i, *n, *n);
    }
}

void muteProperty(SoundCore& core, MemberCall& c) {
    size_t i = static_cast<size_t>(c.member.tag);
    Mixer& mixer = *core.mixer;
    if (!mixer.open() || !mixer.control(i).found)
        return;
    if (!c.put) {
        if (auto on = mixer.flag(i))
            c.value = booleanResult(*on);
    } else if (auto on = booleanFrom(c.value, true)) {
        mixer.setFlag(i, *on);
    }
}

void selectProperty(SoundCore& core, MemberCall& c) {
    size_t i = static_cast<size_t>(c.member.tag);
    Mixer& mixer = *core.mixer;
    if (!mixer.open() || !mixer.control(i).found)
        return;
    if (!c.put) {
        if (auto on = mixer.selected(i))
            c.value = booleanResult(*on);
    } else if (auto on = booleanFrom(c.value, true)) {
        mixer.select(i, *on);
    }
}

template <void (*F)(SoundCore&, MemberCall&)>
int partMember(MemberCall& c) {
    if (!c.self)
        return 0;
    if (auto* part = liveObject<SoundPart>(c.self))
        F(*part->core, c);
    return 1;
}

int partEvent(MemberCall& c) {
    if (!c.self)
        return 0;
    if (auto* part = liveObject<SoundPart>(c.self))
        part->core->events.access(static_cast<size_t>(c.member.tag), c.put, c.value);
    return 1;
}

constexpr Member partRow(const char* name, int (*handler)(MemberCall&), size_t control) {
    Member m{name, handler == partEvent ? MemberKind::Event : MemberKind::Property, handler};
    m.tag = static_cast<int>(control);
    return m;
}

constexpr Member kPlaybackMembers[] = {
    partRow("masterMute", partMember<muteProperty>, kMasterMute),
    partRow("masterVolume", partMember<volumeProperty>, kMasterVolume),
    partRow("waveMute", partMember<muteProperty>, kWaveMute),
    partRow("waveVolume", partMember<volumeProperty>, kWaveVolume),
    partRow("midiMute", partMember<muteProperty>, kMidiMute),
    partRow("midiVolume", partMember<volumeProperty>, kMidiVolume),
    partRow("CDMute", partMember<muteProperty>, kCDMute),
    partRow("CDVolume", partMember<volumeProperty>, kCDVolume),
    partRow("lineInMute", partMember<muteProperty>, kLineInMute),
    partRow("lineInVolume", partMember<volumeProperty>, kLineInVolume),
    partRow("microphoneMute", partMember<muteProperty>, kMicrophoneMute),
    partRow("microphoneVolume", partMember<volumeProperty>, kMicrophoneVolume),
    partRow("onMasterMute", partEvent, kMasterMute),
    partRow("onMasterVolumeChange", partEvent, kMasterVolume),
    partRow("onWaveMute", partEvent, kWaveMute),
    partRow("onWaveVolumeChange", partEvent, kWaveVolume),
    partRow("onMidiMute", partEvent, kMidiMute),
    partRow("onMidiVolumeChange", partEvent, kMidiVolume),
    partRow("onCDMute", partEvent, kCDMute),
    partRow("onCDVolumeChange", partEvent, kCDVolume),
    partRow("onLineInMute", partEvent, kLineInMute),
    partRow("onLineInVolumeChange", partEvent, kLineInVolume),
    partRow("onMicrophoneMute", partEvent, kMicrophoneMute),
    partRow("onMicrophoneVolumeChange", partEvent, kMicrophoneVolume),
};

constexpr Member kRecordingMembers[] = {
    partRow("lineInSelect", partMember<selectProperty>, kLineInSelect),
    partRow("lineInVolume", partMember<volumeProperty>, kRecordLineInVolume),
    partRow("microphoneSelect", partMember<selectProperty>, kMicrophoneSelect),
    partRow("microphoneVolume", partMember<volumeProperty>, kRecordMicrophoneVolume),
    partRow("onLineInSelect", partEvent, kLineInSelect),
    partRow("onLineInVolumeChange", partEvent, kRecordLineInVolume),
    partRow("onMicrophoneSelect", partEvent, kMicrophoneSelect),
    partRow("onMicrophoneVolumeChange", partEvent, kRecordMicrophoneVolume),
};

void mixerName(Sound& s, MemberCall& c) {
    if (!c.put && s.core->mixer->open())
        c.value = ansiTextResult(c.engine, s.core->mixer->name());
}
void playback(Sound& s, MemberCall& c) {
    if (!c.put)
        c.value = s.core->playback;
}
void recording(Sound& s, MemberCall& c) {
    if (!c.put)
        c.value = s.core->recording;
}

constexpr Member kSoundMembers[] = {
    property<mixerName>("mixerName"),
    property<playback>("playback"),
    property<recording>("recording"),
};

constexpr const char* kPlaybackClass = "Sound.playback";
constexpr const char* kRecordingClass = "Sound.recording";

bool makePart(quill::Engine& engine, const char* className, const std::shared_ptr<SoundCore>& core, Value& out) {
    auto part = std::make_unique<SoundPart>();
    part->core = core;
    quill::NativeClass* cls = classBoundTo(engine, className);
    if (!cls)
        return false;
    bindHandle(engine, cls, std::move(part), out);
    return true;
}

void soundConstruct(quill::Engine& engine, quill::NativeClass* cls, quill::ArgList, Value& result) {
    auto& sounds = soundOfEngine();
    if (auto it = sounds.find(&engine); it != sounds.end()) {
        result = it->second->events.self();
        return;
    }
    auto core = std::make_shared<SoundCore>(engine);
    Value playbackObject, recordingObject;
    if (!makePart(engine, kPlaybackClass, core, playbackObject) ||
        !makePart(engine, kRecordingClass, core, recordingObject)) {
        result = Value::null();
        return;
    }
    core->playback = playbackObject;
    core->recording = recordingObject;
    auto sound = std::make_unique<Sound>();
    sound->core = core;
    bindHandle(engine, cls, std::move(sound), result);
    core->events.setSelf(result);
    sounds[&engine] = core.get();
}

void soundCall(quill::Engine& engine, quill::NativeClass* cls, void*, Value& result, quill::ArgList args) {
    soundConstruct(engine, cls, args, result);
}

} // namespace

void registerSoundClass(quill::Engine& engine) {
    // The two parts are classes of their own ("[object Sound.playback]"),
    // under globals that no script name can reach.
    registerHostClass(engine, {.className = kPlaybackClass,
                               .members = kPlaybackMembers,
                               .destroyData = destroyHandle<SoundPart>,
                               .markData = markHandle<SoundPart>});
    registerHostClass(engine, {.className = kRecordingClass,
                               .members = kRecordingMembers,
                               .destroyData = destroyHandle<SoundPart>,
                               .markData = markHandle<SoundPart>});
    registerHostClass(engine, {.className = "Sound",
                               .members = kSoundMembers,
                               .call = soundCall,
                               .construct = soundConstruct,
                               .destroyData = destroyHandle<Sound>,
                               .markData = markHandle<Sound>});
}

} // namespace paloma::host
