// SPDX-License-Identifier: Apache-2.0
#pragma once
// GIFs as an optimising encoder leaves them, for the image tests: after a
// full first frame, smaller frames placed inside the picture with every
// disposal method in turn, a transparent colour in every other one and a
// comment block before one. Tests that include this link Magick++.
#include <string>
#include <vector>
#include <Magick++.h>

namespace testgif
{
// A frame reduced to a palette without dithering, which GIF needs anyway:
// left to the encoder, its dithering quantizer clears a 128 MB table for
// every frame written (about 0.3 s each).
inline void toPalette(Magick::Image &img)
{
    img.quantizeDither(false);
    img.quantize();
}

// A channel value in [0, 1) for pixel s of channel c.
inline double channel(int s, int c)
{
    unsigned h = unsigned(s) * 2654435761u ^ unsigned(c + 7) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return double(h & 0xffff) / 65536.0;
}

// `frames` frames over a picture of width x height (at least 8 x 6).
inline void writeLayeredGif(const std::string &path, int frames, int width, int height, bool interlaced = false)
{
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> images;
    for (int f = 0; f < frames; ++f)
    {
        const int w = f == 0 ? width : 2 + f % 6, h = f == 0 ? height : 1 + f % 5;
        Magick::Image img(Magick::Geometry(size_t(w), size_t(h)), Magick::Color("black"));
        img.type(Magick::TrueColorType);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const int s = (f * height + y) * width + x;
                img.pixelColor(size_t(x), size_t(y), Magick::ColorRGB(channel(s, 0), channel(s, 1), channel(s, 2)));
            }
        if (f % 2) img.transparent(img.pixelColor(0, 0));
        toPalette(img);
        img.page(Magick::Geometry(size_t(width), size_t(height), f % 4, f % 3));
        img.gifDisposeMethod(size_t(f % 4));
        if (f == 2) img.comment("frame two");
        if (interlaced) img.interlaceType(Magick::LineInterlace);
        images.push_back(img);
    }
    Magick::writeImages(images.begin(), images.end(), "gif:" + path);
}
} // namespace testgif
