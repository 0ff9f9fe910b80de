// SPDX-License-Identifier: Apache-2.0
#pragma once
// The image file of one cook: the first image's width and height and the
// number of frames up front, the frames decoded only when asked for. A GIF
// whose blocks are well formed is sized from a header-only read of its
// first frame, and each frame asked for is decoded from a GIF of that frame
// alone (GifFrameIndex.h), so a slab cook decodes only its slab's frames.
// Any other file is decoded whole, once, by the library.
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#include <Magick++.h>
#include "GifFrameIndex.h"

namespace imagevolume
{
class ImageFrames
{
public:
    // Throws the library's exception when it cannot read the file.
    explicit ImageFrames(const std::string &path) : path_(path)
    {
        readBytes();
        index_ = indexGifFrames(bytes_);
        if (!index_)
        {
            bytes_.clear();
            std::vector<Magick::Image> all;
            Magick::readImages(&all, path);
            frames_.assign(all.begin(), all.end());
            if (!all.empty() && all[0].isValid()) setSize(all[0]);
            return;
        }
        // Unread frames are left unmade: a library image costs its set-up.
        frames_.resize(index_->frames.size());
        Magick::Image first = frameImage();
        first.ping(frameBlob(0));
        if (first.isValid()) setSize(first);
    }

    int width() const { return width_; }
    int height() const { return height_; }
    int count() const { return int(frames_.size()); }

    // Frame i in file order, decoded on first use.
    const Magick::Image &frame(int i)
    {
        std::optional<Magick::Image> &frame = frames_[size_t(i)];
        if (!frame)
        {
            frame = frameImage();
            frame->read(frameBlob(i));
        }
        return *frame;
    }

private:
    // The file's bytes in one read; left empty for what cannot be read so
    // (a pipe, a file that changes size), which the library then reads.
    void readBytes()
    {
        std::ifstream file(path_, std::ios::binary | std::ios::ate);
        const std::streamoff size = file ? std::streamoff(file.tellg()) : -1;
        if (size <= 0) return;
        bytes_.resize(size_t(size));
        if (!file.seekg(0) || !file.read(&bytes_[0], size) || file.peek() != EOF) bytes_.clear();
    }

    void setSize(const Magick::Image &first)
    {
        width_ = int(first.constImage()->columns);
        height_ = int(first.constImage()->rows);
    }

    Magick::Blob frameBlob(int i) const
    {
        const std::string gif = gifOfFrames(bytes_, *index_, {i});
        return Magick::Blob(gif.data(), gif.size());
    }

    // An image to read one frame's GIF into, named as the file so that the
    // library's messages name it as a read of the whole file would.
    Magick::Image frameImage() const
    {
        Magick::Image image;
        image.magick("GIF");
        image.fileName(path_);
        return image;
    }

    std::string path_;
    std::string bytes_;
    std::optional<GifFrameIndex> index_;
    std::vector<std::optional<Magick::Image>> frames_;
    int width_ = 0, height_ = 0;
};
} // namespace imagevolume
