// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cook/Interrupts.h"
#include "Messages.h"
#include "vdb/LeakForExit.h"

namespace sopcook
{
namespace
{
// The archive a .vdb file holds, written to a stream sopcook checks:
// openvdb::io::File::write does not notice a write that fails (a full disk,
// a file-size limit) and leaves a truncated file behind as if complete.
struct CheckedArchive : openvdb::io::Archive
{
    void writeTo(std::ostream &os, const openvdb::GridPtrVec &grids) const { write(os, grids, /*seekable=*/true); }
};

std::runtime_error writeFailure(int err) { return std::runtime_error(std::strerror(err ? err : EIO)); }

uint32_t compressionFlags(VdbCompression c)
{
    // Inactive values are all the background, so only active ones are stored.
    uint32_t flags = openvdb::io::COMPRESS_ACTIVE_MASK;
    if (c == VdbCompression::Zip)
    {
        if (!openvdb::io::Archive::hasZLibCompression()) throw Error("this OpenVDB library cannot write zip compression");
        flags |= openvdb::io::COMPRESS_ZIP;
    }
    if (c == VdbCompression::Blosc)
    {
        if (!openvdb::io::Archive::hasBloscCompression()) throw Error("this OpenVDB library cannot write blosc compression");
        flags |= openvdb::io::COMPRESS_BLOSC;
    }
    return flags;
}

// Writes grids to path, then flushes them to the disk; throws on any failure.
void writeArchiveChecked(const std::string &path, const openvdb::GridPtrVec &grids, uint32_t compression)
{
    std::ofstream os(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!os) throw writeFailure(errno);
    errno = 0;
    CheckedArchive archive;
    archive.setCompression(compression);
    archive.writeTo(os, grids);
    os.flush();
    // The stream stops writing at the first failure; errno still holds why.
    if (!os) throw writeFailure(errno);
    os.close();
    if (os.fail()) throw writeFailure(errno);
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) throw writeFailure(errno);
    int synced = fsync(fd);
    int err = errno;
    close(fd);
    if (synced != 0) throw writeFailure(err);
}

// Removes the temporary file on the way out of a failed write.
void discard(const std::string &temp)
{
    unlink(temp.c_str());
    setRemoveOnAbort("");
}
} // namespace

std::string temporaryPath(const std::string &path) { return path + ".partial-" + std::to_string(getpid()); }

void checkWritable(const std::string &path)
{
    if (path.empty()) throw Error("no output file given");
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw Error("cannot write " + path + ": is a directory");
    std::string probe = temporaryPath(path);
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

void writeGridsVdb(openvdb::GridPtrVec &grids, const std::string &path, VdbCompression compression)
{
    const uint32_t flags = compressionFlags(compression);
    std::string temp = temporaryPath(path);
    setRemoveOnAbort(temp);
    try
    {
        writeArchiveChecked(temp, grids, flags);
    }
    catch (const std::bad_alloc &)
    {
        discard(temp);
        leakForExit(grids);
        throw Error("cannot write " + path + ": out of memory");
    }
    catch (const std::exception &e)
    {
        discard(temp);
        throw Error("cannot write " + path + ": " + e.what());
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
    {
        int err = errno;
        discard(temp);
        throw Error("cannot write " + path + ": " + std::strerror(err));
    }
    setRemoveOnAbort("");
}
} // namespace sopcook
