// The camera-file reader on arbitrary bytes: a checked spec or
// sopcook::Error. An accepted spec must also make a camera node.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CameraFile.h"
#include "Messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> warnings;
    sopcook::CameraSpec spec;
    try
    {
        spec = sopcook::parseCameraJson(text, "fuzz.json", warnings);
    }
    catch (const sopcook::Error &)
    {
        return 0;
    }
    // What the reader accepts, the operators get: it must be usable.
    if (!(spec.res[0] > 0) || !(spec.res[1] > 0) || !std::isfinite(spec.focal) || !(spec.focal > 0) ||
        !(spec.aperture > 0) || !std::isfinite(spec.aperture) || !(spec.near > 0) || !(spec.far > spec.near) ||
        !std::isfinite(spec.far))
        std::abort();
    // The camera node keeps its parameters in single precision.
    if (!std::isfinite(float(spec.res[0])) || !std::isfinite(float(spec.res[1])) || !std::isfinite(float(spec.focal)) ||
        !std::isfinite(float(spec.aperture)) || !std::isfinite(float(spec.far)) || !(float(spec.near) > 0) ||
        !(float(spec.far) > float(spec.near)))
        std::abort();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(spec.world(r, c))) std::abort();
    std::unique_ptr<OBJ_Camera> cam = sopcook::makeCamera(spec);
    return 0;
}
