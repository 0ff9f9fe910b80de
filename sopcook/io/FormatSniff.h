// SPDX-License-Identifier: Apache-2.0
#pragma once
// Telling a geometry file's format by its first bytes, whatever its name, and
// saying in words what a file that is no geometry looks like.
#include <string>

namespace sopcook
{
enum class GeometryFormat
{
    JsonGeometry,  // the host's JSON geometry, ASCII or binary
    ClassicBinary, // "BgeoV"
    ClassicAscii,  // "PGEOMETRY"
    Ply,
    Obj,
    Stl,  // ASCII or binary
    Gltf, // .gltf (JSON) or .glb
    Fbx,  // ASCII or binary
    X3d,  // the XML encoding
    Unknown
};

// The format of uncompressed bytes. ext (lower case, no dot) decides only
// what the bytes cannot: a text file of nothing but '#' comments is an empty
// OBJ when named .obj.
GeometryFormat sniffGeometryFormat(const std::string &bytes, const std::string &ext);

// What bytes of no known format look like, for the error: "looks like a PNG
// image", "text starting 'hello'", "binary data", "the file is empty".
std::string describeContent(const std::string &bytes);
} // namespace sopcook
