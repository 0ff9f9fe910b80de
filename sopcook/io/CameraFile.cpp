// SPDX-License-Identifier: Apache-2.0
#include "io/CameraFile.h"

#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "Messages.h"
#include "io/Where.h"

namespace sopcook
{
using json = nlohmann::json;

static double positive(const json &cam, const char *key, double fallback, const std::string &label, bool required = false)
{
    auto it = cam.find(key);
    if (it == cam.end())
    {
        if (required) throw Error(label + ": missing \"" + key + "\"");
        return fallback;
    }
    if (!it->is_number()) throw Error(label + ": \"" + key + "\": expected a number, found " + it->dump());
    double v = it->get<double>();
    // The camera node keeps its parameters in single precision.
    if (!(float(v) > 0) || !std::isfinite(float(v)))
        throw Error(label + ": \"" + key + "\": expected a number above 0 (within single precision), found " + it->dump());
    return v;
}

static void numbers(const json &cam, const char *key, double *out, size_t n, const std::string &label)
{
    const json &a = cam.at(key);
    if (!a.is_array() || a.size() != n)
        throw Error(label + ": \"" + key + "\": expected an array of " + std::to_string(n) + " numbers");
    for (size_t i = 0; i < n; ++i)
    {
        if (!a[i].is_number() || !std::isfinite(a[i].get<double>()))
            throw Error(label + ": \"" + key + "\"[" + std::to_string(i) + "]: expected a number, found " + a[i].dump());
        out[i] = a[i].get<double>();
    }
}

UT_DMatrix4 cameraMatrix(const double t[3], const double r[3])
{
    // Row vectors: p' = p * Rx * Ry * Rz * T.
    UT_DMatrix4 m;
    for (int axis = 0; axis < 3; ++axis)
    {
        double a = r[axis] * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
        int u = (axis + 1) % 3, v = (axis + 2) % 3;
        UT_DMatrix4 rot;
        rot(u, u) = c;
        rot(u, v) = s;
        rot(v, u) = -s;
        rot(v, v) = c;
        m *= rot;
    }
    m.translate(t[0], t[1], t[2]);
    return m;
}

CameraSettings parseCameraJson(const std::string &text, const std::string &label, std::vector<std::string> &warnings)
{
    json cam;
    try
    {
        cam = json::parse(text);
    }
    catch (const json::exception &e) // parse errors and numbers out of range
    {
        throw Error(label + ": not valid JSON: " + jsonErrorText(e.what()));
    }
    if (!cam.is_object()) throw Error(label + ": expected a JSON object with the camera's \"res\", \"focal\", \"aperture\", \"near\", \"far\" and \"transform\"");
    static const std::set<std::string> known = {"path", "res", "focal", "aperture", "near", "far", "transform", "translate", "rotate"};
    for (auto it = cam.begin(); it != cam.end(); ++it)
        if (!known.count(it.key())) warnings.push_back(label + ": ignoring unknown key \"" + it.key() + "\"");

    CameraSettings camera;
    if (cam.contains("path"))
    {
        if (!cam["path"].is_string() || cam["path"].get<std::string>().empty() || cam["path"].get<std::string>()[0] != '/')
            throw Error(label + ": \"path\": expected an absolute node path such as \"/obj/cam1\"");
        camera.path = cam["path"].get<std::string>();
    }
    if (cam.contains("res"))
    {
        numbers(cam, "res", camera.res, 2, label);
        if (!(float(camera.res[0]) > 0 && float(camera.res[1]) > 0) || !std::isfinite(float(camera.res[0])) || !std::isfinite(float(camera.res[1])))
            throw Error(label + ": \"res\": expected a width and height above 0 (within single precision)");
    }
    // The frustum divides by focal, width and near: zero would place the
    // volume at infinity.
    camera.focal = positive(cam, "focal", camera.focal, label);
    camera.aperture = positive(cam, "aperture", camera.aperture, label);
    camera.near = positive(cam, "near", camera.near, label);
    camera.far = positive(cam, "far", camera.far, label);
    if (!(float(camera.far) > float(camera.near))) throw Error(label + ": \"far\" (" + std::to_string(camera.far) + ") must be beyond \"near\" (" + std::to_string(camera.near) + ")");

    bool hasT = cam.contains("transform");
    if (hasT && (cam.contains("translate") || cam.contains("rotate")))
        throw Error(label + ": give either \"transform\" or \"translate\"/\"rotate\", not both");
    if (hasT)
    {
        double m[16];
        numbers(cam, "transform", m, 16, label);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) camera.world(r, c) = m[r * 4 + c];
    }
    else
    {
        double t[3] = {0, 0, 0}, r[3] = {0, 0, 0};
        if (cam.contains("translate")) numbers(cam, "translate", t, 3, label);
        if (cam.contains("rotate")) numbers(cam, "rotate", r, 3, label);
        camera.world = cameraMatrix(t, r);
    }
    return camera;
}

std::unique_ptr<OBJ_Camera> makeCamera(const CameraSettings &camera)
{
    size_t slash = camera.path.rfind('/');
    std::string name = camera.path.substr(slash + 1);
    std::unique_ptr<OBJ_Camera> cam(new OBJ_Camera(name.c_str()));
    cam->setFloat("res", 0, camera.res[0]);
    cam->setFloat("res", 1, camera.res[1]);
    cam->setFloat("focal", 0, camera.focal);
    cam->setFloat("aperture", 0, camera.aperture);
    cam->setFloat("near", 0, camera.near);
    cam->setFloat("far", 0, camera.far);
    cam->setWorldTransform(camera.world);
    OPgetDirector()->registerNode(camera.path, cam.get());
    return cam;
}
} // namespace sopcook
