// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbFile.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <streambuf>
#include <vector>

#include "cook/Interrupts.h"
#include "Messages.h"
#include "vdb/LeafBuffers.h"
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

// The file's output buffer, handing the kernel blocks of megabytes.
// std::filebuf passes every write of 1 KB or more (each leaf's values)
// straight to the kernel, and the file system then zeroes the partly written
// page again on every such call: a third of a big file's write went there.
class BlockFileBuffer : public std::streambuf
{
public:
    explicit BlockFileBuffer(int fd) : myFd(fd), myBlock(size_t(4) << 20) { resetBlock(); }
    // errno of the first failed write or seek, 0 while none failed.
    int error() const { return myError; }

protected:
    int_type overflow(int_type c) override
    {
        if (!drain()) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override
    {
        std::streamsize done = 0;
        while (done < n)
        {
            if (pptr() == epptr() && !drain()) break;
            const std::streamsize k = std::min<std::streamsize>(epptr() - pptr(), n - done);
            std::memcpy(pptr(), s + done, size_t(k));
            pbump(int(k));
            done += k;
        }
        return done;
    }
    int sync() override { return drain() ? 0 : -1; }
    // The archive seeks back to fill in offsets once a grid is written.
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        if (!drain()) return pos_type(off_type(-1));
        const int whence = dir == std::ios_base::beg ? SEEK_SET : (dir == std::ios_base::cur ? SEEK_CUR : SEEK_END);
        const off_t at = lseek(myFd, off_t(off), whence);
        if (at < 0) myError = errno;
        return at < 0 ? pos_type(off_type(-1)) : pos_type(off_type(at));
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    void resetBlock() { setp(myBlock.data(), myBlock.data() + myBlock.size()); }
    bool drain()
    {
        if (myError) return false;
        const char *p = pbase();
        size_t n = size_t(pptr() - pbase());
        while (n > 0)
        {
            const ssize_t w = ::write(myFd, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0)
            {
                myError = w < 0 ? errno : EIO;
                return false;
            }
            p += w;
            n -= size_t(w);
        }
        resetBlock();
        return true;
    }

    int myFd;
    int myError = 0;
    std::vector<char> myBlock;
};

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
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw writeFailure(errno);
    int err = 0;
    try
    {
        BlockFileBuffer buffer(fd);
        std::ostream os(&buffer);
        CheckedArchive archive;
        archive.setCompression(compression);
        archive.writeTo(os, withParallelLeafWrites(grids));
        os.flush();
        // The stream stops writing at the first failure; the buffer knows why.
        if (!os || buffer.error()) err = buffer.error() ? buffer.error() : EIO;
    }
    catch (...)
    {
        close(fd);
        throw;
    }
    if (!err && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    if (err) throw writeFailure(err);
}

// OpenVDB's zip writer sets up zlib for every leaf, a few hundred kilobytes
// allocated and freed each time. By default the allocator hands such memory
// back to the kernel on every free, and with the leaves written on several
// threads each hand-back interrupts the others to flush their TLBs: a
// fifth of a zip write went there. Freed memory now stays for reuse.
void keepFreedMemoryForReuse()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    });
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
    keepFreedMemoryForReuse();
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
