// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbFile.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <streambuf>
#include <vector>

#include "Messages.h"
#include "vdb/AbortHook.h"
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
    removeOnAbort("");
}
} // namespace

std::string writeTarget(const std::string &path)
{
    std::string target = path;
    for (int hops = 0;; ++hops)
    {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        if (hops == 40) throw Error("cannot write " + path + ": too many levels of symbolic links");
        std::vector<char> link(size_t(st.st_size > 0 ? st.st_size : 4095) + 1);
        const ssize_t n = readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || size_t(n) >= link.size()) return target; // changed under us: let the write report it
        const std::string to(link.data(), size_t(n));
        const size_t slash = target.rfind('/');
        target = to[0] == '/' || slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
    }
}

std::string temporaryPrefix(const std::string &fileName)
{
    const std::string suffix = ".partial-";
    const size_t pidRoom = 10; // digits of the largest process id
    if (fileName.size() + suffix.size() + pidRoom <= NAME_MAX) return fileName + suffix;
    uint64_t hash = 14695981039346656037ull; // FNV-1a: the same in every process
    for (unsigned char c : fileName) hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof(tail), "~%016llx", static_cast<unsigned long long>(hash));
    size_t keep = NAME_MAX - suffix.size() - pidRoom - std::strlen(tail);
    // Cut between characters, not inside a UTF-8 sequence.
    while (keep > 0 && (static_cast<unsigned char>(fileName[keep]) & 0xC0) == 0x80) --keep;
    return fileName.substr(0, keep) + tail + suffix;
}

std::string temporaryPath(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return folder + temporaryPrefix(path.substr(folder.size())) + std::to_string(getpid());
}

void checkWritable(const std::string &path)
{
    if (path.empty()) throw Error("no output file given");
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw Error("cannot write " + path + ": is a directory");
    std::string probe = temporaryPath(writeTarget(path));
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

void writeGridsVdb(openvdb::GridPtrVec &grids, const std::string &path, VdbCompression compression)
{
    const uint32_t flags = compressionFlags(compression);
    keepFreedMemoryForReuse();
    const std::string target = writeTarget(path);
    std::string temp = temporaryPath(target);
    removeOnAbort(temp);
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
    if (std::rename(temp.c_str(), target.c_str()) != 0)
    {
        int err = errno;
        discard(temp);
        throw Error("cannot write " + path + ": " + std::strerror(err));
    }
    removeOnAbort("");
}
} // namespace sopcook
