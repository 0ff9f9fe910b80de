// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbComplete.h"

#include "Messages.h"
#include "vdb/SlabIdentity.h"
#include "vdb/VdbCheck.h"
#include "vdb/VdbRead.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
std::string incompleteReason(const std::string &path, const openvdb::GridPtrVec &grids)
{
    if (grids.empty()) return path + ": holds no grids";
    for (const openvdb::GridBase::Ptr &g : grids)
        if (auto mark = g->getMetadata<openvdb::StringMetadata>(partialKey))
            return path + ": holds the partial result of an interrupted cook (" + printableText(mark->value(), 60) + ")";
    return "";
}

bool isCompleteVdb(const std::string &path, const std::string &slab, std::string *why)
{
    auto no = [&](const std::string &reason) {
        if (why) *why = reason;
        return false;
    };
    openvdb::GridPtrVecPtr grids;
    try
    {
        grids = readVdbGrids(path);
    }
    catch (const std::exception &e)
    {
        return no(e.what());
    }
    std::string reason = incompleteReason(path, *grids);
    if (!reason.empty()) return no(reason);
    for (const openvdb::GridBase::Ptr &g : *grids)
    {
        auto mark = g->getMetadata<openvdb::StringMetadata>(slabmeta::slab);
        if ((mark ? mark->value() : "") != slab)
            return no(path + ": grid '" + printableText(g->getName(), 60) + "' is " +
                      (slab.empty() ? "a slab, not a whole cook" : "not of slab " + slab));
    }
    return true;
}
} // namespace sopcook
