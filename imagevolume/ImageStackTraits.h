// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the image stack tells a host (OperatorTraits.h): its image input, how
// to read that file's frames and sizes and how to word a failed read, and
// its cost. Cost: the file's frames become the z slices of four
// volumes of the first frame's width and height, every voxel written. While
// it cooks, the file's bytes and every frame it decoded (each at its own
// size) are held: a whole cook decodes them all, a slab cook its slab's
// frames when the file is a GIF. The frames and their sizes come from a
// header-only read of the file (the library's ping), so the estimate counts
// what the file holds, not what its header claims.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <Magick++.h>
#include "OperatorTraits.h"

namespace imagevolume
{
using PingedStack = traits::ImageStack;

// The library's message without its source location (" @ error/gif.c/...")
// and the program-name prefix it may carry.
inline std::string libraryReason(const std::string &message)
{
    std::string text = message;
    size_t at = text.find(" @ ");
    if (at != std::string::npos) text.erase(at);
    const char *client = MagickCore::GetClientName();
    std::string prefix = std::string(client ? client : "") + ": ";
    if (prefix.size() > 2 && text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    if (text.find("bad_alloc") != std::string::npos) return "out of memory";
    return text;
}

inline PingedStack pingStack(const std::string &path)
{
    PingedStack s;
    if (path.empty())
    {
        s.problem = "no image file (set giffile=FILE)";
        return s;
    }
    if (!std::ifstream(path, std::ios::binary))
    {
        s.problem = std::strerror(errno);
        return s;
    }
    Magick::InitializeMagick(nullptr);
    MagickCore::ImageInfo *info = MagickCore::CloneImageInfo(nullptr);
    MagickCore::ExceptionInfo *exception = MagickCore::AcquireExceptionInfo();
    path.copy(info->filename, MaxTextExtent - 1);
    info->filename[std::min(path.size(), size_t(MaxTextExtent - 1))] = 0;
    MagickCore::Image *images = MagickCore::PingImages(info, exception);
    for (MagickCore::Image *i = images; i; i = MagickCore::GetNextImageInList(i))
    {
        if (s.frames == 0)
        {
            s.width = double(i->columns);
            s.height = double(i->rows);
        }
        s.frames += 1;
        s.pixels += double(i->columns) * double(i->rows);
    }
    if (exception->severity >= MagickCore::ErrorException || !images)
        s.problem = exception->reason ? libraryReason(exception->reason) : "not an image the library can read";
    if (images) MagickCore::DestroyImageList(images);
    MagickCore::DestroyExceptionInfo(exception);
    MagickCore::DestroyImageInfo(info);
    return s;
}

// slabreel never polls: its cook runs to the end.
inline void slabreelCost(const cost::Parms &p, const cost::InputCounts &, cost::OperatorCost &c)
{
    c.volumes = 4;
    c.filled = true;
    c.stopsEarly = false;
    const std::string path = p.text("giffile");
    // The operator turns a file it cannot decode into a node warning and
    // empty volumes.
    c.warningFailure = "cannot read image " + (path.empty() ? std::string("''") : path);
    PingedStack s = pingStack(path);
    if (!s.problem.empty())
    {
        c.problem = c.warningFailure + ": " + s.problem;
        return;
    }
    c.grid.res[0] = s.width;
    c.grid.res[1] = s.height;
    c.grid.res[2] = s.frames;
    c.grid.known = true;
    c.grid.text = "giffile=" + path + " (" + cost::number(s.width) + " x " + cost::number(s.height) + " pixels, " +
                  cost::number(s.frames) + (s.frames == 1 ? " frame)" : " frames)");
    std::error_code unsized;
    const std::uintmax_t fileBytes = std::filesystem::file_size(path, unsized);
    c.heldBytes = s.pixels * sizeof(MagickCore::PixelPacket) + (unsized ? 0.0 : double(fileBytes));
    c.add(4 * c.grid.voxels() + s.pixels, 4 * c.grid.voxels() + s.pixels, cost::visit, c.grid.text);
}

// The operator reads no geometry and no attributes: its volumes come from
// the file giffile names.
inline traits::OperatorTraits slabreelTraits()
{
    traits::OperatorTraits t;
    t.input = traits::InputKind::Image;
    t.cost = slabreelCost;
    t.attributesKnown = true;
    t.image.fileParm = "giffile";
    t.image.read = pingStack;
    t.image.failureReason = libraryReason;
    return t;
}
} // namespace imagevolume
