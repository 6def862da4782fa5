// Fuzz target: the profile-file parser and its edits. Parsing keeps every
// byte; an entry written can be read back, also after the file is read anew.
#include "host/system/ProfileFile.h"

#include <cstdint>
#include <cstdlib>

using paloma::host::ProfileFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ProfileFile profile = ProfileFile::parse(bytes);
    if (profile.serialize() != bytes)
        std::abort();
    for (const std::string& name : profile.getSectionNames())
        for (const std::string& entry : profile.getSection(name))
            profile.getInt(name, entry.substr(0, entry.find('=')));
    profile.writeString("Fuzz", "key", "value");
    profile.deleteKey("", "top");
    if (profile.getString("fuzz", "KEY") != "value")
        std::abort();
    ProfileFile again = ProfileFile::parse(profile.serialize());
    if (again.getString("fuzz", "KEY") != "value")
        std::abort();
    again.writeSection("fuzz", {"a=1", "b=2"});
    if (again.getSection("fuzz").size() != 2 || again.getString("Fuzz", "b") != "2")
        std::abort();
    again.deleteSection("fuzz");
    return 0;
}
