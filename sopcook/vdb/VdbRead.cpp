// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbRead.h"

#include <fstream>
#include <new>

#include <openvdb/io/Stream.h>

#include "Messages.h"

namespace sopcook
{
openvdb::GridPtrVecPtr readVdbGrids(const std::string &path) { return readVdbGrids(path, checkVdbArchive(path)); }

openvdb::GridPtrVecPtr readVdbGrids(const std::string &path, const VdbArchiveCheck &check)
{
    if (!check.whole())
        throw Error(path + (!check.opened ? ": " : check.isVdb ? ": damaged VDB file: " : ": not a readable VDB file: ") + check.fault);
    try
    {
        // A Stream keeps the grids in file order (a File sorts them by name).
        std::ifstream in(path, std::ios::binary);
        openvdb::io::Stream stream(in);
        openvdb::GridPtrVecPtr grids = stream.getGrids();
        // The library does not notice a read that comes up short.
        if (!in || !grids || int64_t(grids->size()) != check.gridCount)
            throw Error(path + ": damaged VDB file: it changed while it was read");
        return grids;
    }
    catch (const Error &)
    {
        throw;
    }
    catch (const std::bad_alloc &)
    {
        throw Error(path + ": out of memory reading it");
    }
    catch (const std::exception &e)
    {
        throw Error(path + ": not a readable VDB file: " + printableText(e.what(), 200));
    }
}
} // namespace sopcook
