// The screen saver's mute option against the sound server's mixer: muted for
// the run, restored after it only when the run changed it.
#include "app/shell/ScreenSaverOptions.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

using namespace paloma;

namespace {

// The speakers' mute control of mixer device 0, read and written by the test
// on its own handle.
class Speakers {
public:
    Speakers() {
        control_.cbStruct = sizeof control_;
        if (mixerOpen(&mixer_, 0, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR)
            return;
        MIXERLINEA line = {};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        if (mixerGetLineInfoA(HMIXEROBJ(mixer_), &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != MMSYSERR_NOERROR)
            return;
        MIXERLINECONTROLSA controls = {};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control_;
        controls.pamxctrl = &control_;
        found_ = mixerGetLineControlsA(HMIXEROBJ(mixer_), &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
                 MMSYSERR_NOERROR;
    }
    ~Speakers() {
        if (mixer_)
            mixerClose(mixer_);
    }
    Speakers(const Speakers&) = delete;
    Speakers& operator=(const Speakers&) = delete;

    bool found() const { return found_; }
    bool muted() {
        MIXERCONTROLDETAILS_BOOLEAN value = {};
        auto d = details(&value);
        EXPECT_EQ(mixerGetControlDetailsA(HMIXEROBJ(mixer_), &d, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
        return value.fValue != 0;
    }
    void setMuted(bool muted) {
        MIXERCONTROLDETAILS_BOOLEAN value = {muted ? 1L : 0L};
        auto d = details(&value);
        ASSERT_EQ(mixerSetControlDetails(HMIXEROBJ(mixer_), &d, MIXER_SETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
    }

private:
    MIXERCONTROLDETAILS details(MIXERCONTROLDETAILS_BOOLEAN* value) const {
        MIXERCONTROLDETAILS d = {};
        d.cbStruct = sizeof d;
        d.dwControlID = control_.dwControlID;
        d.cChannels = 1;
        d.cbDetails = sizeof *value;
        d.paDetails = value;
        return d;
    }

    HMIXER mixer_ = nullptr;
    MIXERCONTROLA control_ = {};
    bool found_ = false;
};

} // namespace

TEST(ScreenSaverMute, MutesForTheRunAndRestoresOnlyWhatItChanged) {
    ASSERT_GT(mixerGetNumDevs(), 0u) << "the sound server gives the multimedia layer a mixer";
    Speakers speakers;
    ASSERT_TRUE(speakers.found());

    // Not muted before: muted during the run, not muted after it.
    speakers.setMuted(false);
    MuteState state;
    bool changed = applyMute(true, state);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(state.changed);
    EXPECT_FALSE(state.saved);
    EXPECT_TRUE(speakers.muted());
    if (changed)
        restoreMute(state);
    EXPECT_FALSE(speakers.muted());

    // Already muted: the run changes nothing, so exit restores nothing.
    speakers.setMuted(true);
    MuteState again;
    changed = applyMute(true, again);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(again.changed);
    EXPECT_TRUE(again.saved);
    EXPECT_TRUE(speakers.muted());
    speakers.setMuted(false);
}
