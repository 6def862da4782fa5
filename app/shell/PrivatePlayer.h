#pragma once
// The private player: a copy of the player control taken out of the packaged
// player installer, preferred to the installed control. Prepared once per
// process on the first request; the file is deleted at process end.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace paloma {

// How the control file came to be (or did not).
enum class ControlSource {
    None,          // nothing usable: the registered player is used
    Cabinet,       // from the installer's "CABINET" resource
    Nsis,          // from the installer's first extracted ".ocx" file
    InstallerRun,  // the installer was run silently: the registered player is used
};

// Copies every ".ocx" file of a cabinet to `controlPath` (a later one
// replaces an earlier one), with the cabinet's date, time and the read-only,
// hidden, system and archive bits. True when at least one was copied.
bool copyControlFromCabinet(const std::string& cabinetPath, const std::string& controlPath);

// Takes the control out of the installer into `controlPath`: the "CABINET"
// resource first, else an ".ocx" of a script-built installer, else runs the
// installer with "\"<path>\" /Q /S" and waits for it. Temporary cabinet files
// are deleted; on None and InstallerRun no control file is left behind.
ControlSource takeControlFromInstaller(const std::string& installerPath, const std::string& controlPath);

class PrivatePlayer {
public:
    // The control file's path, empty when there is none; the first call
    // prepares it from the packaged installer record.
    const std::string& path();
    ControlSource source() const { return source_; }

    // Modules loaded from the control file, released at the end.
    void addModule(HMODULE module) { modules_.push_back(module); }

    // Releases every module and deletes an extracted control file.
    void release();

    ~PrivatePlayer() { release(); }

private:
    void prepare();

    std::string path_;
    bool extracted_ = false;
    bool prepared_ = false;
    ControlSource source_ = ControlSource::None;
    std::vector<HMODULE> modules_;
    std::vector<uint8_t> record_; // the player-installer record, 276 bytes
};

PrivatePlayer& privatePlayer();

} // namespace paloma
