// SPDX-License-Identifier: Apache-2.0
// slabreel's file reader: a GIF's frames found by their blocks and decoded
// one at a time must be the frames the library gives for the whole file,
// and anything the block walk does not fully understand is left to the
// library whole.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>
#include <Magick++.h>
#include "GifFrameIndex.h"
#include "ImageFrames.h"
#include "LayeredGif.h"

using imagevolume::GifFrameIndex;
using imagevolume::ImageFrames;
using imagevolume::indexGifFrames;

namespace
{
std::string tempPath(const std::string &stem)
{
    return ::testing::TempDir() + "image_frames_" + std::to_string(getpid()) + "_" + stem;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The layered GIFs, written once per test process and removed at its end.
struct Files : ::testing::Environment
{
    std::vector<std::string> written;
    void TearDown() override
    {
        for (const std::string &p : written) std::remove(p.c_str());
    }
};
Files *const files = static_cast<Files *>(::testing::AddGlobalTestEnvironment(new Files));

const std::string &layeredGif(bool interlaced)
{
    static std::string paths[2];
    std::string &p = paths[interlaced];
    if (p.empty())
    {
        p = tempPath(interlaced ? "interlaced.gif" : "layered.gif");
        testgif::writeLayeredGif(p, 13, 10, 8, interlaced);
        files->written.push_back(p);
    }
    return p;
}

// Whether two frames give the same colours and opacity over the rows of a
// width x height picture, as the operator reads them (pixels past a small
// frame's edge included).
bool samePixels(const Magick::Image &a, const Magick::Image &b, int width, int height)
{
    if (a.columns() != b.columns() || a.rows() != b.rows()) return false;
    for (int y = 0; y < height; ++y)
    {
        const Magick::PixelPacket *p = a.getConstPixels(0, y, size_t(width), 1);
        const Magick::PixelPacket *q = b.getConstPixels(0, y, size_t(width), 1);
        for (int x = 0; x < width; ++x)
            if (p[x].red != q[x].red || p[x].green != q[x].green || p[x].blue != q[x].blue ||
                p[x].opacity != q[x].opacity)
                return false;
    }
    return true;
}

bool hasTransparency(const Magick::Image &img)
{
    const Magick::PixelPacket *p = img.getConstPixels(0, 0, img.columns(), img.rows());
    for (size_t i = 0; i < img.columns() * img.rows(); ++i)
        if (p[i].opacity != 0) return true;
    return false;
}
} // namespace

TEST(ImageFrames, LayeredFramesDecodedAloneEqualTheWholeFilesFrames)
{
    for (bool interlaced : {false, true})
    {
        SCOPED_TRACE(interlaced ? "interlaced" : "not interlaced");
        const std::string &path = layeredGif(interlaced);
        std::vector<Magick::Image> whole;
        Magick::readImages(&whole, path);
        ASSERT_EQ(whole.size(), 13u);
        // The file holds what the test is about: frames smaller than the
        // picture and frames with transparent pixels.
        int small = 0, transparent = 0;
        for (const Magick::Image &f : whole)
        {
            small += f.columns() < whole[0].columns();
            transparent += hasTransparency(f);
        }
        EXPECT_GE(small, 10);
        EXPECT_GE(transparent, 5);

        const std::optional<GifFrameIndex> index = indexGifFrames(readFile(path));
        ASSERT_TRUE(index);
        EXPECT_EQ(index->frames.size(), whole.size());
        ImageFrames frames(path);
        EXPECT_EQ(frames.width(), int(whole[0].columns()));
        EXPECT_EQ(frames.height(), int(whole[0].rows()));
        ASSERT_EQ(frames.count(), int(whole.size()));
        // Last first, as the operator asks, and each frame alone.
        for (int k = frames.count() - 1; k >= 0; --k)
            EXPECT_TRUE(samePixels(frames.frame(k), whole[size_t(k)], frames.width(), frames.height())) << "frame " << k;
    }
}

TEST(ImageFrames, GifOfChosenFramesHoldsJustThoseInOrder)
{
    const std::string bytes = readFile(layeredGif(false));
    const std::optional<GifFrameIndex> index = indexGifFrames(bytes);
    ASSERT_TRUE(index);
    std::vector<Magick::Image> whole, some;
    Magick::readImages(&whole, Magick::Blob(bytes.data(), bytes.size()));
    const std::string gif = imagevolume::gifOfFrames(bytes, *index, {2, 7, 12});
    Magick::readImages(&some, Magick::Blob(gif.data(), gif.size()));
    ASSERT_EQ(some.size(), 3u);
    EXPECT_TRUE(samePixels(some[0], whole[2], 10, 8));
    EXPECT_TRUE(samePixels(some[1], whole[7], 10, 8));
    EXPECT_TRUE(samePixels(some[2], whole[12], 10, 8));
}

// Files the walk refuses: the library reads them whole, so a cook sees what
// it always did (the same frames, or the same failure).
TEST(ImageFrames, MalformedBlocksAreLeftToTheLibrary)
{
    const std::string good = readFile(layeredGif(false));
    const std::optional<GifFrameIndex> index = indexGifFrames(good);
    ASSERT_TRUE(index);
    const size_t second = index->frames[1].begin;
    std::string zeroWidth = good;
    const size_t descriptor = zeroWidth.find('\x2c', index->frames[0].begin);
    zeroWidth[descriptor + 5] = zeroWidth[descriptor + 6] = 0;
    std::string strayByte = good;
    strayByte.insert(second, 1, '\x00');
    const struct
    {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"not a GIF", "PNG and more bytes than a GIF header"},
        {"header only", good.substr(0, index->headerEnd)},
        {"no frames", good.substr(0, index->headerEnd) + "\x3b"},
        {"cut inside frame data", good.substr(0, index->frames[3].end - 5)},
        {"no trailer", good.substr(0, index->frames.back().end)},
        {"zero-width first frame", zeroWidth},
        {"stray byte between frames", strayByte},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(indexGifFrames(c.bytes));
        const std::string path = tempPath("malformed.gif");
        writeFile(path, c.bytes);
        std::vector<Magick::Image> library;
        std::optional<std::string> libraryFailure, readerFailure;
        try
        {
            Magick::readImages(&library, path);
        }
        catch (const std::exception &e)
        {
            libraryFailure = e.what();
        }
        try
        {
            ImageFrames frames(path);
            ASSERT_EQ(frames.count(), int(library.size()));
            for (int k = 0; k < frames.count(); ++k)
                EXPECT_TRUE(samePixels(frames.frame(k), library[size_t(k)], frames.width(), frames.height()));
        }
        catch (const std::exception &e)
        {
            readerFailure = e.what();
        }
        EXPECT_EQ(readerFailure, libraryFailure);
        std::remove(path.c_str());
    }
    // Bytes after the trailer are not the file's: the library stops there too.
    const std::optional<GifFrameIndex> trailing = indexGifFrames(good + "junk");
    ASSERT_TRUE(trailing);
    EXPECT_EQ(trailing->frames.size(), index->frames.size());
}

// A frame whose data the library cannot decode fails the read that needs
// it, with the message a whole read gives (naming the file).
TEST(ImageFrames, UndecodableFrameFailsAsAWholeReadDoes)
{
    std::string bytes = readFile(layeredGif(false));
    const std::optional<GifFrameIndex> index = indexGifFrames(bytes);
    ASSERT_TRUE(index);
    // Frame 4's LZW minimum code size made impossible; its blocks still walk.
    const size_t descriptor = bytes.find('\x2c', index->frames[4].begin);
    const uint8_t packed = uint8_t(bytes[descriptor + 9]);
    bytes[descriptor + 10 + imagevolume::gifblocks::colourTableBytes(packed)] = 13;
    const std::string path = tempPath("undecodable.gif");
    writeFile(path, bytes);
    ASSERT_TRUE(indexGifFrames(bytes));
    std::string whole;
    try
    {
        std::vector<Magick::Image> all;
        Magick::readImages(&all, path);
    }
    catch (const std::exception &e)
    {
        whole = e.what();
    }
    ASSERT_FALSE(whole.empty());
    ImageFrames frames(path);
    EXPECT_NO_THROW(frames.frame(3));
    try
    {
        frames.frame(4);
        ADD_FAILURE() << "frame 4 decoded";
    }
    catch (const std::exception &e)
    {
        EXPECT_EQ(std::string(e.what()), whole);
    }
    std::remove(path.c_str());
}
