// The CD autorun policy and the speakers' mute state.
#include "app/shell/ScreenSaverOptions.h"

#include "host/framework/WinHandles.h"

#include <mmsystem.h>

namespace paloma {

namespace {

constexpr const wchar_t* kPolicyKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr DWORD kCdRomBit = 0x20;

// The mixer's mute control of the speakers line; false when there is none.
class SpeakerMute {
public:
    SpeakerMute() {
        if (mixerGetNumDevs() == 0 || mixerOpen(&mixer_, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) {
            mixer_ = nullptr;
            return;
        }
        MIXERLINEW line = {};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        if (mixerGetLineInfoW(HMIXEROBJ(mixer_), &line, MIXER_GETLINEINFOF_COMPONENTTYPE | MIXER_OBJECTF_HMIXER) !=
            MMSYSERR_NOERROR)
            return;
        MIXERLINECONTROLSW controls = {};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control_;
        controls.pamxctrl = &control_;
        control_.cbStruct = sizeof control_;
        found_ = mixerGetLineControlsW(HMIXEROBJ(mixer_), &controls,
                                       MIXER_GETLINECONTROLSF_ONEBYTYPE | MIXER_OBJECTF_HMIXER) == MMSYSERR_NOERROR;
    }
    ~SpeakerMute() {
        if (mixer_)
            mixerClose(mixer_);
    }
    SpeakerMute(const SpeakerMute&) = delete;
    SpeakerMute& operator=(const SpeakerMute&) = delete;

    bool found() const { return found_; }
    bool read(bool& muted) {
        MIXERCONTROLDETAILS_BOOLEAN value = {};
        MIXERCONTROLDETAILS details = details_(&value);
        if (mixerGetControlDetailsW(HMIXEROBJ(mixer_), &details,
                                    MIXER_GETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) != MMSYSERR_NOERROR)
            return false;
        muted = value.fValue != 0;
        return true;
    }
    bool write(bool muted) {
        MIXERCONTROLDETAILS_BOOLEAN value = {muted ? 1L : 0L};
        MIXERCONTROLDETAILS details = details_(&value);
        return mixerSetControlDetails(HMIXEROBJ(mixer_), &details,
                                      MIXER_SETCONTROLDETAILSF_VALUE | MIXER_OBJECTF_HMIXER) == MMSYSERR_NOERROR;
    }

private:
    MIXERCONTROLDETAILS details_(MIXERCONTROLDETAILS_BOOLEAN* value) const {
        MIXERCONTROLDETAILS d = {};
        d.cbStruct = sizeof d;
        d.dwControlID = control_.dwControlID;
        d.cChannels = 1;
        d.cbDetails = sizeof *value;
        d.paDetails = value;
        return d;
    }

    HMIXER mixer_ = nullptr;
    MIXERCONTROLW control_ = {};
    bool found_ = false;
};

} // namespace

bool setCdAutorun(bool enable) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPolicyKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return true;
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key.get(), L"NoDriveTypeAutoRun", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value)
        return true;
    bool wasEnabled = (value & kCdRomBit) == 0;
    DWORD updated = enable ? (value & ~kCdRomBit) : (value | kCdRomBit);
    RegSetValueExW(key.get(), L"NoDriveTypeAutoRun", 0, type, reinterpret_cast<const BYTE*>(&updated), sizeof updated);
    return wasEnabled;
}

bool applyMute(bool muteWanted, MuteState& state) {
    state.changed = false;
    if (!muteWanted)
        return false;
    SpeakerMute mute;
    bool current = false;
    if (!mute.found() || !mute.read(current))
        return false;
    state.saved = current;
    if (current != muteWanted)
        state.changed = mute.write(muteWanted);
    return state.changed;
}

void restoreMute(const MuteState& state) {
    SpeakerMute mute;
    if (mute.found())
        mute.write(state.saved);
}

} // namespace paloma
