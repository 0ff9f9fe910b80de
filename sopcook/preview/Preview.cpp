// SPDX-License-Identifier: Apache-2.0
#include "preview/Preview.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <Magick++.h>

#include "preview/BitmapFont.h"
#include "GEO/GEO_PrimVolume.h"
#include "Messages.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
namespace
{
const GEO_PrimVolume *volumeNamed(const GU_Detail &gdp, const char *name)
{
    GA_Attribute *names = gdp.findAttribute(GA_ATTRIB_PRIMITIVE, "name");
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
    {
        auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p));
        if (!vol) continue;
        if (!name || (names && names->getStorageClass() == GA_STORECLASS_STRING && names->getS(p) == name)) return vol;
    }
    return nullptr;
}

bool sameRes(const GEO_PrimVolume *a, const GEO_PrimVolume *b)
{
    if (!a || !b) return false;
    int ra[3], rb[3];
    a->getRes(ra[0], ra[1], ra[2]);
    b->getRes(rb[0], rb[1], rb[2]);
    return ra[0] == rb[0] && ra[1] == rb[1] && ra[2] == rb[2];
}

// True once any voxel was written (tiles are allocated on the first write).
bool holdsValues(const GEO_PrimVolume *vol)
{
    const UT_VoxelArrayF &v = *vol->getVoxels();
    for (int z = 0; z < v.getTileRes(2); ++z)
        for (int y = 0; y < v.getTileRes(1); ++y)
            for (int x = 0; x < v.getTileRes(0); ++x)
                if (v.tileData(x, y, z)) return true;
    return false;
}

double percentile(std::vector<double> values, double q)
{
    if (values.empty()) return 0;
    size_t k = size_t(q * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + long(k), values.end());
    return values[k];
}

struct Image
{
    int w = 0, h = 0;
    std::vector<float> rgb; // row 0 at the top
    float *at(int x, int y) { return &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3]; }
};

// Bilinear resampling to the display size.
Image resample(Image &src, int w, int h)
{
    Image out;
    out.w = w;
    out.h = h;
    out.rgb.assign(size_t(w) * size_t(h) * 3, 0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float sx = std::clamp((x + 0.5f) * src.w / w - 0.5f, 0.0f, float(src.w - 1));
            float sy = std::clamp((y + 0.5f) * src.h / h - 0.5f, 0.0f, float(src.h - 1));
            int x0 = int(sx), y0 = int(sy);
            int x1 = std::min(x0 + 1, src.w - 1), y1 = std::min(y0 + 1, src.h - 1);
            float fx = sx - x0, fy = sy - y0;
            for (int c = 0; c < 3; ++c)
            {
                float top = src.at(x0, y0)[c] * (1 - fx) + src.at(x1, y0)[c] * fx;
                float bottom = src.at(x0, y1)[c] * (1 - fx) + src.at(x1, y1)[c] * fx;
                out.at(x, y)[c] = top * (1 - fy) + bottom * fy;
            }
        }
    return out;
}

void drawCaption(Image &img, const std::string &text)
{
    // Twice the font size where it fits, and the text cut to the image width.
    int scale = int(text.size()) * 12 + 12 <= img.w && img.h >= 120 ? 2 : 1;
    const int advance = 6 * scale, pad = 3 * scale;
    int width = int(text.size()) * advance + 2 * pad, height = 7 * scale + 2 * pad;
    int x0 = 0, y0 = img.h - height;
    if (y0 < 0) return;
    for (int y = y0; y < img.h; ++y)
        for (int x = x0; x < std::min(img.w, x0 + width); ++x)
            for (int c = 0; c < 3; ++c) img.at(x, y)[c] *= 0.35f; // darken behind the text
    int cx = x0 + pad;
    for (char ch : text)
    {
        const uint8_t *g = glyph5x7(ch);
        if (g)
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g[row] & (0x10 >> col))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                            {
                                int x = cx + col * scale + dx, y = y0 + pad + row * scale + dy;
                                if (x < img.w && y < img.h)
                                    for (int c = 0; c < 3; ++c) img.at(x, y)[c] = 0.92f;
                            }
        cx += advance;
    }
}
} // namespace

static void initializeMagick()
{
    static std::once_flag once;
    std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

// Writes img as PNG to path (through a link: to its target) by a temporary
// file and a rename.
static void writePng(Magick::Image &img, const std::string &path, const char *what)
{
    const std::string target = writeTarget(path);
    std::string temp = temporaryPath(target);
    try
    {
        img.magick("PNG");
        img.depth(8);
        img.write("png:" + temp);
    }
    catch (const std::exception &e)
    {
        unlink(temp.c_str());
        throw Error(std::string("cannot write ") + what + " " + path + ": " + e.what());
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0)
    {
        int err = errno;
        unlink(temp.c_str());
        throw Error(std::string("cannot write ") + what + " " + path + ": " + std::strerror(err));
    }
}

void writeContactSheet(const std::vector<std::string> &images, const std::string &path, int tile)
{
    if (images.empty()) return;
    initializeMagick();
    const int columns = std::min<int>(4, int(images.size())), gap = 4;
    int rows = (int(images.size()) + columns - 1) / columns;
    size_t W = size_t(columns * tile + (columns + 1) * gap), H = size_t(rows * tile + (rows + 1) * gap);
    try
    {
        Magick::Image sheet(Magick::Geometry(W, H), Magick::Color("#181818"));
        for (size_t i = 0; i < images.size(); ++i)
        {
            Magick::Image img(images[i]);
            img.resize(Magick::Geometry(size_t(tile), size_t(tile)));
            long x = long(gap + int(i % size_t(columns)) * (tile + gap)) + (tile - long(img.columns())) / 2;
            long y = long(gap + int(i / size_t(columns)) * (tile + gap)) + (tile - long(img.rows())) / 2;
            sheet.composite(img, x, y, Magick::OverCompositeOp);
        }
        sheet.type(Magick::TrueColorType);
        sheet.depth(8);
        writePng(sheet, path, "contact sheet");
    }
    catch (const Magick::Exception &e)
    {
        throw Error("cannot write contact sheet " + path + ": " + e.what());
    }
}

namespace
{
// The volumes a preview shows: density (or the first volume), and the colour
// volumes when they match it and hold values.
struct PreviewVolumes
{
    const GEO_PrimVolume *density = nullptr;
    const GEO_PrimVolume *cd[3] = {nullptr, nullptr, nullptr};
    bool colour = false;
    int n[3] = {0, 0, 0};
};

PreviewVolumes findPreviewVolumes(const GU_Detail &gdp, const std::string &path)
{
    PreviewVolumes v;
    v.density = volumeNamed(gdp, "density");
    if (!v.density) v.density = volumeNamed(gdp, nullptr);
    if (!v.density) throw Error("cannot write preview " + path + ": the cook produced no volume");
    const char *names[3] = {"Cd.x", "Cd.y", "Cd.z"};
    for (int c = 0; c < 3; ++c) v.cd[c] = volumeNamed(gdp, names[c]);
    v.colour = sameRes(v.density, v.cd[0]) && sameRes(v.density, v.cd[1]) && sameRes(v.density, v.cd[2]) &&
               (holdsValues(v.cd[0]) || holdsValues(v.cd[1]) || holdsValues(v.cd[2]));
    v.density->getRes(v.n[0], v.n[1], v.n[2]);
    return v;
}

// Exposure: the 98th percentile of the optical depths (over pixels that see
// any density) becomes depth 3, that is 95% opacity.
double extinction(const PreviewVolumes &v)
{
    std::vector<double> depths;
    for (int j = 0; j < v.n[1]; ++j)
        for (int i = 0; i < v.n[0]; ++i)
        {
            double tau = 0;
            for (int k = 0; k < v.n[2]; ++k) tau += std::max(0.0, double(v.density->getValueAtIndex(i, j, k)));
            if (tau > 0) depths.push_back(tau);
        }
    double p = percentile(depths, 0.98);
    return p > 0 ? 3.0 / p : 1.0;
}

// Integrates front (high k) to back with absorption; then exposes colour
// sums so the brightest pixels just reach white, over a faint background.
Image integrate(const PreviewVolumes &v, double sigma)
{
    Image img;
    img.w = std::max(v.n[0], 1);
    img.h = std::max(v.n[1], 1);
    img.rgb.assign(size_t(img.w) * size_t(img.h) * 3, 0.0f);
    std::vector<float> transmit(size_t(img.w) * size_t(img.h), 1.0f);
    std::vector<double> brightness;
    for (int j = 0; j < v.n[1]; ++j)
        for (int i = 0; i < v.n[0]; ++i)
        {
            double T = 1, L[3] = {0, 0, 0};
            for (int k = v.n[2] - 1; k >= 0 && T > 1e-4; --k)
            {
                double rho = std::max(0.0, double(v.density->getValueAtIndex(i, j, k)));
                if (rho <= 0) continue;
                double a = 1 - std::exp(-sigma * rho);
                double c[3] = {1, 1, 1};
                if (v.colour)
                    for (int ch = 0; ch < 3; ++ch) c[ch] = std::max(0.0, double(v.cd[ch]->getValueAtIndex(i, j, k))) / rho;
                for (int ch = 0; ch < 3; ++ch) L[ch] += T * a * c[ch];
                T *= 1 - a;
            }
            float *px = img.at(i, img.h - 1 - j);
            for (int ch = 0; ch < 3; ++ch) px[ch] = float(L[ch]);
            transmit[size_t(img.h - 1 - j) * size_t(img.w) + size_t(i)] = float(T);
            if (T < 1) brightness.push_back(std::max({L[0], L[1], L[2]}));
        }
    double white = v.colour ? percentile(brightness, 0.995) : 1.0;
    if (!(white > 0)) white = 1;
    const float background = 0.012f;
    for (size_t i = 0; i < transmit.size(); ++i)
        for (int ch = 0; ch < 3; ++ch)
        {
            float &px = img.rgb[i * 3 + size_t(ch)];
            px = std::min(1.0f, float(px / white) + transmit[i] * background);
        }
    return img;
}

// Display size: the longer side 384 pixels, aspect from the world extents.
void displaySize(const GEO_PrimVolume &density, const Image &img, int &W, int &H)
{
    const UT_Matrix3 &X = density.getTransform();
    double wx = std::sqrt(double(X(0, 0)) * X(0, 0) + double(X(0, 1)) * X(0, 1) + double(X(0, 2)) * X(0, 2));
    double wy = std::sqrt(double(X(1, 0)) * X(1, 0) + double(X(1, 1)) * X(1, 1) + double(X(1, 2)) * X(1, 2));
    double aspect = wx > 0 && wy > 0 ? wx / wy : double(img.w) / img.h;
    aspect = std::clamp(aspect, 1.0 / 8, 8.0);
    W = aspect >= 1 ? 384 : std::max(48, int(std::lround(384 * aspect)));
    H = aspect >= 1 ? std::max(48, int(std::lround(384 / aspect))) : 384;
}

// sRGB-like gamma so faint wisps stay visible.
std::vector<unsigned char> toBytes(const Image &img)
{
    std::vector<unsigned char> bytes(img.rgb.size());
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        double v = std::pow(std::clamp(double(img.rgb[i]), 0.0, 1.0), 1.0 / 2.2);
        bytes[i] = static_cast<unsigned char>(std::lround(v * 255));
    }
    return bytes;
}
} // namespace

void writePreview(const GU_Detail &gdp, const std::string &path, const std::string &caption)
{
    PreviewVolumes volumes = findPreviewVolumes(gdp, path);
    Image img = integrate(volumes, extinction(volumes));
    int W, H;
    displaySize(*volumes.density, img, W, H);
    Image shown = resample(img, W, H);
    drawCaption(shown, caption);
    std::vector<unsigned char> bytes = toBytes(shown);
    initializeMagick();
    Magick::Image out(size_t(W), size_t(H), "RGB", Magick::CharPixel, bytes.data());
    writePng(out, path, "preview");
}
} // namespace sopcook
