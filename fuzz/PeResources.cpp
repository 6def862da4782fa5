// Fuzz target: the packager's PE parser and resource writer.
#include "app/PeResources.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto image = paloma::PeImage::parse({data, size}, &error);
    if (!image) {
        if (error.empty())
            std::abort();
        return 0;
    }
    for (const std::string& module : image->importedModules())
        if (module.size() > 260)
            std::abort();
    image->set({paloma::ResourceId::of(u"PALOMA"), paloma::ResourceId::of(u"ST"), 0, 0, {1, 2, 3}});
    auto written = image->write(&error);
    if (!written)
        return 0;
    auto again = paloma::PeImage::parse(*written, &error);
    if (!again || !again->find(paloma::ResourceId::of(u"PALOMA"), paloma::ResourceId::of(u"ST")))
        std::abort(); // what we wrote must read back
    return 0;
}
