// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writing a cooked detail's volumes to an OpenVDB file, kept free of OpenVDB
// headers so callers compile quickly (VolumeGrids.h has the grid-level calls,
// VdbFile.h the file-level ones).
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "vdb/ResampleOptions.h"

namespace sopcook
{
// Which grids a file gets besides one float grid per volume.
enum class VectorGrids
{
    None, // float grids only
    Also, // float grids, then one vec3 grid per complete x/y/z triple
    Only  // triples as vec3 grids only, other volumes as float grids
};

// Voxels holding NaN or an infinity, and the first of them in (z, y, x) tile
// order.
struct NonFinite
{
    uint64_t count = 0;
    int first[3] = {-1, -1, -1};

    void add(int x, int y, int z, uint64_t n = 1)
    {
        if (count == 0) first[0] = x, first[1] = y, first[2] = z;
        count += n;
    }
};

// How leaf values are stored. OpenVDB never zips fog volumes (every float
// grid sopcook writes): zip compresses the vector grids only.
enum class VdbCompression
{
    None,
    Zip,
    Blosc
};
constexpr VdbCompression defaultCompression = VdbCompression::Blosc;

const char *compressionName(VdbCompression c);
// "none", "zip" or "blosc"; throws Error on anything else (the caller names
// the option).
VdbCompression parseCompression(const std::string &name);

struct VolumeSummary
{
    std::string name;
    int res[3] = {0, 0, 0};
    uint64_t voxels = 0;
    uint64_t active = 0; // non-zero voxels
    NonFinite nonFinite;
};

// The volumes of gdp, in primitive order.
std::vector<VolumeSummary> summarizeVolumes(const GU_Detail &gdp);

// Fails early, before a long cook, when path cannot be created.
void checkWritable(const std::string &path);

// String metadata given to every grid of a file (e.g. which slab of which
// cook it holds).
using FileMetadata = std::map<std::string, std::string>;

// The metadata key an interrupted cook's file and grids carry; its value says
// what stopped the cook.
constexpr const char *partialKey = "sopcook_partial";

// The metadata key of a grid's value checksum (gridValueChecksum). Given in
// a FileMetadata, it asks for every grid's own, computed as it is written.
constexpr const char *checksumKey = "sopcook_checksum";

// Writes the volumes of gdp to path through a temporary file in the same
// folder and a rename, so path is either complete or untouched. Returns the
// volumes written; throws Error on failure.
std::vector<VolumeSummary> writeVolumesVdb(const GU_Detail &gdp, const std::string &path, VectorGrids vectors,
                                           std::vector<std::string> &warnings, const FileMetadata &metadata = {},
                                           const ResampleOptions &resample = {},
                                           VdbCompression compression = defaultCompression);

// True when path ends in ".vdb" (any case).
inline bool hasVdbExtension(const std::string &path)
{
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char &c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".vdb";
}

// The file that writing path replaces: path itself, or where the link path
// names finally points (so an output that is a link is written through it,
// and the link stays). Throws Error on a loop of links.
std::string writeTarget(const std::string &path);

// The start of the temporary names of an output named fileName (no folder):
// "NAME.partial-". A name too long for the process id to fit the file
// system's name limit after it is cut and ends in a hash of the whole name.
std::string temporaryPrefix(const std::string &fileName);

// The temporary name that writing path uses: beside path, the prefix of its
// name and this process's id.
std::string temporaryPath(const std::string &path);
} // namespace sopcook
