#pragma once
// The machine settings a full-screen run changes and restores at exit: the
// CD autorun policy and the speakers' mute state.

namespace paloma {

// Sets or clears the CD-ROM bit (0x20) of the per-user policy value
// "NoDriveTypeAutoRun", only where that value exists. Answers whether
// autorun was enabled before (also when the key or value is missing), which
// passed back as `enable` restores the earlier state.
bool setCdAutorun(bool enable);

// The speakers' mute control of mixer device 0.
struct MuteState {
    bool saved = false;   // the control's state before applying
    bool changed = false; // whether applying changed it
};

// Applying: with mute wanted, reads and saves the control's state and sets
// it when it differs. Answers whether anything changed.
bool applyMute(bool muteWanted, MuteState& state);
// Sets the control back to the saved state.
void restoreMute(const MuteState& state);

} // namespace paloma
