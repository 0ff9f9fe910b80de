// SPDX-License-Identifier: Apache-2.0
// The camera-file reader on arbitrary bytes: a checked camera or
// sopcook::Error. An accepted camera must also make a camera node.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "io/CameraFile.h"
#include "Messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> warnings;
    sopcook::CameraSettings camera;
    try
    {
        camera = sopcook::parseCameraJson(text, "fuzz.json", warnings);
    }
    catch (const sopcook::Error &)
    {
        return 0;
    }
    // What the reader accepts, the operators get: it must be usable.
    if (!(camera.res[0] > 0) || !(camera.res[1] > 0) || !std::isfinite(camera.focal) || !(camera.focal > 0) ||
        !(camera.aperture > 0) || !std::isfinite(camera.aperture) || !(camera.near > 0) || !(camera.far > camera.near) ||
        !std::isfinite(camera.far))
        std::abort();
    // The camera node keeps its parameters in single precision.
    if (!std::isfinite(float(camera.res[0])) || !std::isfinite(float(camera.res[1])) || !std::isfinite(float(camera.focal)) ||
        !std::isfinite(float(camera.aperture)) || !std::isfinite(float(camera.far)) || !(float(camera.near) > 0) ||
        !(float(camera.far) > float(camera.near)))
        std::abort();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(camera.world(r, c))) std::abort();
    std::unique_ptr<OBJ_Camera> cam = sopcook::makeCamera(camera);
    return 0;
}
