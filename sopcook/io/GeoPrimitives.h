// SPDX-License-Identifier: Apache-2.0
#pragma once
// The primitives list of JSON geometry: polygons and particle systems become
// primitives of the detail; every other type is skipped and counted, so the
// primitive numbering (and primitive attributes) stay aligned with the file.
#include <map>
#include <string>
#include <vector>

#include "GU/GU_Detail.h"
#include "io/GeoDocument.h"

namespace sopcook
{
struct PrimitiveReader
{
    GU_Detail &gdp;
    const std::vector<int64_t> &pointref;  // file vertex -> point
    std::vector<GA_Offset> &primOffsets;   // file primitive -> detail offset, or GA_INVALID_OFFSET
    int64_t maxPrimitives;                 // a bound on what the file can describe
    std::map<std::string, int64_t> skipped; // type -> count

    void read(const json &prims, const Where &w);

private:
    void readEntry(const json &entry, const Where &w);
    void readRun(const GeoMap &header, const json &body, const Where &w);
    void polygonRun(const GeoMap &body, bool closed, const Where &w);
    void add(const std::string &type, const std::function<const json *(const std::string &)> &field, const Where &w);
    void skip(const std::string &type, int64_t n, const Where &w);
    std::vector<GA_Offset> points(const json &vertices, const Where &w) const;
};
} // namespace sopcook
