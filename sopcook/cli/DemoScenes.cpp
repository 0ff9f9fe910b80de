// SPDX-License-Identifier: Apache-2.0
#include "cli/DemoScenes.h"

#include <cmath>
#include <vector>

#include <Magick++.h>

#include "GEO/GEO_PrimPoly.h"
#include "Messages.h"

namespace sopcook
{
namespace
{
void setTuple(GU_Detail &gdp, GA_Offset pt, const char *name, std::initializer_list<float> values)
{
    GA_Attribute *a = gdp.addFloatTuple(GA_ATTRIB_POINT, name, int(values.size())).getAttribute();
    int c = 0;
    for (float v : values) a->setF(pt, c++, v);
}

GA_Offset addPoint(GU_Detail &gdp, float x, float y, float z)
{
    GA_Offset pt = gdp.appendPoint();
    gdp.setPos3(pt, UT_Vector3(x, y, z));
    return pt;
}
} // namespace

const std::map<std::string, DemoRecipe> &recipes()
{
    static const std::map<std::string, DemoRecipe> table = {
        {"plumeweave", {Scene::Points, {{"divs", {96, 72, 96}}, {"childrencount", {40}}, {"noiseamp", {0.35}}, {"noisefreq", {1.5, 1.5, 1.5}}, {"densitymult", {0.5}}}}},
        {"plumeweave_velocity_stretch", {Scene::Points, {{"divs", {80, 64, 80}}, {"childrencount", {12}}, {"docolor", {1}}, {"noisefreq", {1.5, 1.5, 1.5}}}}},
        {"plumeweave_velocity_stretchMT", {Scene::Points, {{"divs", {80, 64, 80}}, {"childrencount", {12}}, {"docolor", {1}}, {"noisefreq", {1.5, 1.5, 1.5}}}}},
        {"skinweave", {Scene::Quads, {{"divs", {96, 80, 32}}, {"childrencount", {100}}, {"docolor", {1}}, {"dovelocity", {1}}, {"noiseamp", {0.15, 0.15, 0.15}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"skinweaveMT", {Scene::Quads, {{"divs", {96, 80, 32}}, {"childrencount", {100}}, {"docolor", {1}}, {"dovelocity", {1}}, {"noiseamp", {0.15, 0.15, 0.15}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"strandcast", {Scene::Curves, {{"divs", {64, 80, 64}}, {"donoise", {1}}, {"docolor", {1}}, {"noisefreq", {2}}, {"noiseamp", {1}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"strandcastStraightMT", {Scene::Curves, {{"divs", {64, 80, 64}}, {"donoise", {1}}, {"docolor", {1}}, {"noisefreq", {2}}, {"noiseamp", {1}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"billowfold", {Scene::Points, {{"divs", {80, 64, 80}}, {"donoise", {1}}, {"noisefreq", {2, 2, 2}}, {"densitymult", {0.5}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"billowfoldMT", {Scene::Points, {{"divs", {80, 64, 80}}, {"donoise", {1}}, {"docolor", {1}}, {"noisefreq", {2, 2, 2}}, {"densitymult", {0.5}}, {"extendbounds", {0.3, 0.3, 0.3}}}}},
        {"slabreel", {Scene::Gif, {}}},
    };
    return table;
}

void buildPointCloud(GU_Detail &gdp)
{
    gdp.clearAndDestroy();
    // A Fibonacci spiral through a squashed ball: even coverage, no random numbers.
    const int count = 120;
    const float golden = 2.39996323f;
    for (int i = 0; i < count; ++i)
    {
        float u = (i + 0.5f) / count;
        float r = 0.35f + 0.65f * std::cbrt(u);
        float y = 1.0f - 2.0f * float((i * 37) % count + 0.5f) / count;
        float ring = std::sqrt(std::max(0.0f, 1.0f - y * y));
        float a = golden * i;
        float x = r * ring * std::cos(a), z = r * ring * std::sin(a);
        y *= 0.6f * r;
        GA_Offset pt = addPoint(gdp, x, y, z);
        float len = std::max(1e-6f, std::sqrt(x * x + y * y + z * z));
        setTuple(gdp, pt, "density", {1.0f});
        setTuple(gdp, pt, "pscale", {0.12f + 0.08f * (1.0f - u)});
        setTuple(gdp, pt, "radiusf", {0.15f});
        setTuple(gdp, pt, "Cd", {0.55f + 0.45f * x, 0.5f + 0.3f * y, 0.9f - 0.4f * u});
        setTuple(gdp, pt, "v", {-z * 0.4f, 0.15f, x * 0.4f}); // a swirl around y
        setTuple(gdp, pt, "N", {x / len, y / len, z / len});
        setTuple(gdp, pt, "up", {0.0f, 1.0f, 0.0f});
        setTuple(gdp, pt, "noiseoffset", {0.37f * i, 0.11f * i, 0.23f * i});
    }
}

void buildQuadGrid(GU_Detail &gdp)
{
    gdp.clearAndDestroy();
    const int nu = 5, nv = 4; // points per side: 4 x 3 quads
    std::vector<GA_Offset> pts;
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i)
        {
            float s = float(i) / (nu - 1), t = float(j) / (nv - 1);
            // In the xy plane, facing the previews' view along z.
            float x = -1.0f + 2.0f * s, y = -0.75f + 1.5f * t;
            float z = 0.25f * std::sin(3.0f * s) * std::cos(2.0f * t);
            GA_Offset pt = addPoint(gdp, x, y, z);
            pts.push_back(pt);
            setTuple(gdp, pt, "uv", {s * 2.0f, t * 2.0f, 0.0f});
            setTuple(gdp, pt, "N", {0.0f, 0.0f, 1.0f});
            setTuple(gdp, pt, "Cd", {0.3f + 0.7f * s, 0.4f, 1.0f - 0.7f * t});
            setTuple(gdp, pt, "v", {0.0f, 0.2f, 0.5f});
            setTuple(gdp, pt, "density", {1.0f});
            setTuple(gdp, pt, "pscale", {0.08f});
            setTuple(gdp, pt, "noiseoffset", {0.0f, 0.0f, 0.0f});
        }
    for (int j = 0; j + 1 < nv; ++j)
        for (int i = 0; i + 1 < nu; ++i)
        {
            GA_Offset a = pts[size_t(j * nu + i)], b = pts[size_t(j * nu + i + 1)];
            GA_Offset c = pts[size_t((j + 1) * nu + i + 1)], d = pts[size_t((j + 1) * nu + i)];
            GEO_PrimPoly::build(&gdp, {a, b, c, d}, true);
        }
}

void buildCurves(GU_Detail &gdp)
{
    gdp.clearAndDestroy();
    const int curves = 3, steps = 12;
    for (int c = 0; c < curves; ++c)
    {
        std::vector<GA_Offset> pts;
        float phase = 2.0944f * c;
        for (int s = 0; s < steps; ++s)
        {
            float t = float(s) / (steps - 1);
            float a = phase + 3.5f * t;
            float r = 0.5f + 0.15f * c;
            GA_Offset pt = addPoint(gdp, r * std::cos(a), -0.9f + 1.8f * t, r * std::sin(a));
            pts.push_back(pt);
            setTuple(gdp, pt, "pscale", {0.10f + 0.08f * std::sin(3.14159f * t)});
            setTuple(gdp, pt, "density", {1.0f});
            setTuple(gdp, pt, "N", {std::cos(a), 0.0f, std::sin(a)});
            setTuple(gdp, pt, "up", {0.0f, 1.0f, 0.0f});
            setTuple(gdp, pt, "uv", {t * 3.0f, float(c), 0.0f});
            setTuple(gdp, pt, "Cd", {c == 0 ? 1.0f : 0.3f, c == 1 ? 1.0f : 0.3f, c == 2 ? 1.0f : 0.3f});
        }
        GEO_PrimPoly::build(&gdp, pts, false);
    }
}

void writeDemoGif(const std::string &path)
{
    Magick::InitializeMagick(nullptr);
    const int w = 48, h = 32;
    std::vector<Magick::Image> frames;
    for (int f = 0; f < 3; ++f)
    {
        Magick::Image img(Magick::Geometry(w, h), Magick::Color("black"));
        img.type(Magick::TrueColorType);
        float cx = 12.0f + 12.0f * f, cy = 16.0f, radius = 9.0f;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                float g = 0.15f * float(y) / (h - 1);
                float d = std::hypot(x - cx, y - cy);
                float disc = std::clamp((radius - d) / 2.0f, 0.0f, 1.0f);
                float r = g + disc * (f == 0 ? 1.0f : 0.4f);
                float gr = g + disc * (f == 1 ? 1.0f : 0.5f);
                float b = g + disc * (f == 2 ? 1.0f : 0.3f);
                img.pixelColor(size_t(x), size_t(y), Magick::ColorRGB(std::min(r, 1.0f), std::min(gr, 1.0f), std::min(b, 1.0f)));
            }
        img.animationDelay(20);
        frames.push_back(img);
    }
    try
    {
        Magick::writeImages(frames.begin(), frames.end(), "gif:" + path);
    }
    catch (const std::exception &e)
    {
        throw Error("cannot write " + path + ": " + e.what());
    }
}
} // namespace sopcook
