// The services host classes use, and their defaults.
#include "host/HostServices.h"

#include <fstream>
#include <map>
#include <sstream>

namespace paloma::host {

namespace {

HostServices* gInstalled = nullptr;

} // namespace

HostServices& hostServices() {
    static HostServices defaults;
    return gInstalled ? *gInstalled : defaults;
}

// The profile file: "[section]" lines and "entry=value" lines (the usual
// profile format; names compare as written).
namespace {

using ProfileData = std::map<std::string, std::map<std::string, std::string>>;

ProfileData readProfileFile(const std::string& path) {
    ProfileData data;
    std::ifstream in(path, std::ios::binary);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
        } else if (auto eq = line.find('='); eq != std::string::npos) {
            data[section][line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return data;
}

} // namespace

std::optional<std::string> HostServices::readProfileString(const std::string& section, const std::string& entry) {
    std::string path = profilePath();
    if (path.empty())
        return std::nullopt;
    ProfileData data = readProfileFile(path);
    auto s = data.find(section);
    if (s == data.end())
        return std::nullopt;
    auto e = s->second.find(entry);
    if (e == s->second.end())
        return std::nullopt;
    return e->second;
}

bool HostServices::writeProfileString(const std::string& section, const std::string& entry, const std::string& value) {
    std::string path = profilePath();
    if (path.empty() || value.find('\n') != std::string::npos)
        return false;
    ProfileData data = readProfileFile(path);
    data[section][entry] = value;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [name, entries] : data) {
        out << '[' << name << "]\r\n";
        for (const auto& [key, text] : entries)
            out << key << '=' << text << "\r\n";
    }
    return bool(out);
}

ScopedHostServices::ScopedHostServices(HostServices& services) : previous_(gInstalled) { gInstalled = &services; }

ScopedHostServices::~ScopedHostServices() { gInstalled = previous_; }

ScriptCallScope::ScriptCallScope() { hostServices().enterScripts(); }

ScriptCallScope::~ScriptCallScope() { hostServices().leaveScripts(); }

} // namespace paloma::host
