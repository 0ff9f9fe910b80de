// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reading input geometry files into a detail: the host's JSON geometry, ASCII
// (.geo) or binary (.bgeo), plain, gzipped or in the Blosc container (.sc);
// the classic pre-JSON formats; PLY (ASCII and binary); the mesh formats OBJ,
// STL, glTF 2, FBX and X3D.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "io/ReadLimits.h"

namespace sopcook
{
// Reads path into gdp, telling the format by the file's first bytes (the name
// decides only between formats that cannot be told apart). Throws Error with
// the file, the place and what was expected; recoverable oddities (unknown
// keys, unsupported primitive types) are appended to warnings.
void readGeometryFile(const std::string &path, GU_Detail &gdp, std::vector<std::string> &warnings);

// The same on a file's bytes; label names the file in messages.
void readGeometryBytes(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);

// The readers proper; label names the file in messages. readGeoJson takes
// ASCII and binary JSON geometry.
void readGeoJson(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
void readGeoJson(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings,
                 const ReadLimits &limits);
void readPly(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
void readObj(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
// STL, glTF, FBX and X3D through Assimp; hint is the extension Assimp knows the
// format by ("stl", "gltf", "glb", "fbx", "x3d").
void readAssimp(const std::string &bytes, const std::string &label, const std::string &hint, GU_Detail &gdp,
                std::vector<std::string> &warnings);

// The whole file, or an Error saying why it cannot be read.
std::string readFileBytes(const std::string &path, const char *what = "input");
} // namespace sopcook
