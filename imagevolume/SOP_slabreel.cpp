// SPDX-License-Identifier: Apache-2.0
// slabreel: the frames of an animated GIF become the z slices of four
// volumes, grey level into density and red, green, blue into colour.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <Magick++.h>
#include "PluginEntry.h"
#include "ImageFrames.h"
#include "ImageStackTraits.h"
#include "SOP_VolumeOperator.h"
#include "VolumeSetup.h"

namespace slabreel
{

class SOP_slabreel : public SOP_VolumeOperator<SOP_slabreel>
{
public:
    SOP_slabreel(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};

static PRM_Name offsetName("offset", "Offset");
static PRM_Name gifFileName("giffile", "Gif File");

PRM_Template SOP_slabreel::myTemplateList[] = {
    PRM_Template(PRM_INT, 1, &offsetName),
    PRM_Template(PRM_FILE, 1, &gifFileName),
    PRM_Template(),
};

// Pixels are square in x and y and the frames fill the depth from -1 to 1,
// whatever the picture's size. A zero width has no voxels; its y scale is 1.
static UT_Matrix4 stackTransform(int width, int height)
{
    double aspect = width > 0 ? double(height) / double(width) : 1.0;
    UT_Matrix4 m(0.0f);
    m(0, 0) = 1.0f;
    m(1, 1) = float(aspect);
    m(2, 2) = 1.0f;
    return m;
}

// Slice that frame f (counted from the last frame) lands in. A negative
// offset rotates the other way, so every slice is written exactly once.
static int targetSlice(int f, int offset, int frameCount)
{
    int64_t z = (int64_t(f) + int64_t(offset)) % frameCount;
    return int(z < 0 ? z + frameCount : z);
}

// One pixel into voxel (x, y, z): grey level into density, channels into
// colour, each from the 16-bit quantum value.
static void setPixelVoxels(VolumeSet &volumes, const Magick::PixelPacket &pixel, int x, int y, int z)
{
    double r = double(pixel.red) / 65535.0;
    double g = double(pixel.green) / 65535.0;
    double b = double(pixel.blue) / 65535.0;
    volumes.handle(0)->setValue(x, y, z, float((r + g + b) / 3.0));
    volumes.handle(1)->setValue(x, y, z, float(r));
    volumes.handle(2)->setValue(x, y, z, float(g));
    volumes.handle(3)->setValue(x, y, z, float(b));
}

// Sizes the volumes to the stack and writes every frame into its slice, the
// last frame first, with the picture's bottom row at y = 0.
static void fillVolume(VolumeSet &volumes, imagevolume::ImageFrames &stack, int offset)
{
    const int W = stack.width(), H = stack.height(), F = stack.count();
    shapeVolumes(volumes, stackTransform(W, H), W, H, F);
    const SlabRange slab(volumes.handle(0));
    for (int f = 0; f < F; ++f)
    {
        // A frame whose slice lies outside the slab is not decoded at all.
        const int z = targetSlice(f, offset, F);
        if (!slab.contains(z)) continue;
        const Magick::Image &frame = stack.frame(F - 1 - f);
        for (int y = 0; y < H; ++y)
        {
            // Whole rows from the pixel cache: Image::pixelColor returns a
            // stale palette entry on palette (PseudoClass) images, which most
            // GIF frames are. Pixels past a smaller frame's edge come from the
            // library's virtual-pixel rule, as single reads would.
            const Magick::PixelPacket *row = frame.getConstPixels(0, H - 1 - y, W, 1);
            for (int x = 0; x < W; ++x) setPixelVoxels(volumes, row[x], x, y, z);
        }
    }
}

OP_ERROR SOP_slabreel::cookMySop(OP_Context &context)
{
    CookGrid g;
    g.time = float(context.getTime());
    g.thread = context.getThread();

    if (lockInputs(context) > UT_ERROR_ERROR) return error();
    gdp->clearAndDestroy();
    // Built now, shaped once the picture is known; until then they keep the
    // host's default size and placement, all zero.
    VolumeSet volumes = createNamedVolumes(gdp, "/obj/slabreel:0",
                                           {fields::density, fields::colour[0], fields::colour[1], fields::colour[2]});

    UT_String path = evalString(g, "giffile");
    char cwd[4096];
    if (FILE *file = std::fopen(path.c_str(), "r"))
    {
        std::fclose(file);
        if (getcwd(cwd, sizeof(cwd)))
        {
            try
            {
                // The library guards its own start-up, so repeating it on
                // every cook is harmless.
                Magick::InitializeMagick(cwd);
                imagevolume::ImageFrames stack(path.c_str());
                fillVolume(volumes, stack, evalInt(g, "offset"));
            }
            catch (const std::exception &e)
            {
                // A file the library cannot decode leaves empty volumes; its
                // message goes to the node instead of through the host.
                shapeVolumes(volumes, UT_Matrix4(), 1, 1, 1);
                addWarning(e.what());
            }
        }
    }

    unlockInputs();
    return error();
}

} // namespace slabreel

SOP_PLUGIN_ENTRY_TRAITS(slabreel::SOP_slabreel, "slabreel", "slabreel", 0,
                        imagevolume::slabreelTraits())
