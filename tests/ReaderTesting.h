// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the geometry reader tests share: a detail written out as comparable
// text, reading bytes into one, and the error a call throws.
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "GEO/GEO_PrimPoly.h"
#include "GU/GU_Detail.h"
#include "Messages.h"
#include "io/GeometryFile.h"

namespace readertesting
{
// How describe() writes a detail.
struct DetailText
{
    // Point, primitive and global attributes as "owner name[size]:"; when
    // off, point attributes only, as "name:".
    bool everyOwner = true;
    // Each primitive's line starts with its type name; when off, every
    // primitive that is not a closed polygon reads "open".
    bool typeNames = true;
    // Values rounded to thousandths, with no "-0" (meshes written by hand
    // through other programs' readers).
    bool thousandths = false;
};

// The mesh tests' text: point attributes, rounded, and open or closed.
inline const DetailText meshText{false, false, true};

inline void describeValues(std::ostream &out, const GA_Attribute &a, const DetailText &style)
{
    for (GA_Offset e = 0; e < a.size(); ++e)
        for (int c = 0; c < a.getTupleSize(); ++c)
            if (style.thousandths)
            {
                const double v = std::round(a.getF(e, c) * 1000) / 1000;
                out << " " << (v == 0 ? 0.0 : v);
            }
            else if (a.getStorageClass() == GA_STORECLASS_FLOAT)
                out << " " << a.getF(e, c);
            else
                out << " '" << a.getS(e, c) << "'";
}

// Counts, attributes with their values, and each primitive's points, as one
// text two details can be compared by.
inline std::string describe(const GU_Detail &gdp, const DetailText &style = {})
{
    std::ostringstream out;
    out << "points " << gdp.getNumPoints() << " prims " << gdp.getNumPrimitives() << "\n";
    const std::pair<GA_AttributeOwner, const char *> owners[] = {
        {GA_ATTRIB_POINT, "point"}, {GA_ATTRIB_PRIMITIVE, "prim"}, {GA_ATTRIB_GLOBAL, "global"}};
    for (auto &owner : owners)
    {
        if (!style.everyOwner && owner.first != GA_ATTRIB_POINT) continue;
        for (const auto &a : gdp.attributes(owner.first))
        {
            if (style.everyOwner) out << owner.second << " " << a->getName() << "[" << a->getTupleSize() << "]:";
            else out << a->getName() << ":";
            describeValues(out, *a, style);
            out << "\n";
        }
    }
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
    {
        const GA_Primitive *prim = gdp.getPrimitive(p);
        auto *poly = dynamic_cast<const GEO_PrimPoly *>(prim);
        if (style.typeNames)
        {
            out << prim->getTypeName();
            if (poly) out << (poly->isClosed() ? " closed" : " open");
        }
        else
            out << (poly && poly->isClosed() ? "closed" : "open");
        for (int v = 0; v < prim->getVertexCount(); ++v) out << " " << prim->getPointOffset(v);
        out << "\n";
    }
    return out.str();
}

inline std::string readBytes(const std::string &bytes, const std::string &label,
                             std::vector<std::string> *warnings = nullptr, const DetailText &style = {})
{
    GU_Detail gdp;
    std::vector<std::string> w;
    sopcook::readGeometryBytes(bytes, label, gdp, warnings ? *warnings : w);
    return describe(gdp, style);
}

inline std::string fileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The message of the sopcook::Error f throws; empty when it throws none.
inline std::string errorOf(const std::function<void()> &f)
{
    try
    {
        f();
    }
    catch (const sopcook::Error &e)
    {
        return e.what();
    }
    return "";
}

// bytes as a gzip stream.
inline std::string gzip(const std::string &bytes)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, uLong(bytes.size())) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    zs.avail_in = uInt(bytes.size());
    zs.next_out = reinterpret_cast<Bytef *>(&out[0]);
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}
} // namespace readertesting
