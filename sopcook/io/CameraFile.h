// SPDX-License-Identifier: Apache-2.0
#pragma once
// Camera files: a JSON object that becomes a camera node the operators can
// find by path ("campath").
//   {"path": "/obj/cam1", "res": [w, h], "focal": f, "aperture": a,
//    "near": n, "far": f, "transform": [16 numbers]}
// The transform is the world matrix, row-major, row-vector convention
// (translation in the last row). Instead of "transform", "translate" [x, y, z]
// and "rotate" [rx, ry, rz] (degrees, applied X then Y then Z) may be given.
#include <memory>
#include <string>
#include "OBJ/OBJ_Camera.h"

namespace sopcook
{
struct CameraSettings
{
    std::string path = "/obj/cam1";
    double res[2] = {1920, 1080};
    double focal = 50, aperture = 41.4214, near = 0.1, far = 10000;
    UT_DMatrix4 world; // identity by default
};

// Parses and checks a camera file's text; label names it in messages.
CameraSettings parseCameraJson(const std::string &text, const std::string &label, std::vector<std::string> &warnings);

// World matrix from translate and rotate (degrees, X then Y then Z).
UT_DMatrix4 cameraMatrix(const double translate[3], const double rotateDegrees[3]);

// A camera node with the given parameters, registered under settings.path for
// as long as it lives.
std::unique_ptr<OBJ_Camera> makeCamera(const CameraSettings &settings);
} // namespace sopcook
