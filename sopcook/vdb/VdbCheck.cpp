// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include <openvdb/openvdb.h>

#include "vdb/VolumeGrids.h"

namespace sopcook
{
namespace
{
// The layout versions this walk knows: per-grid compression and mask
// compression (222) up to the current one. Older files differ in the node
// layouts; newer ones are not written yet.
constexpr uint32_t oldestVersion = openvdb::OPENVDB_FILE_VERSION_NODE_MASK_COMPRESSION;
constexpr uint32_t newestVersion = openvdb::OPENVDB_FILE_VERSION;
constexpr const char *halfSuffix = "_HalfFloat";
constexpr const char *delayedLoadType = "__delayedload";
// Names and type names longer than this are damage, not names.
constexpr uint64_t longestName = 4096;
constexpr size_t windowBytes = size_t(1) << 20;

// Blosc's chunk header: version bytes, flags, type size, then the sizes.
constexpr uint64_t bloscHeaderBytes = 16;

// Thrown inside the walk; becomes VdbArchiveCheck::fault.
struct Fault
{
    std::string what;
};

// Bytes of a file read through a window, so walking a big file's leaves is a
// pointer bump, not a system call, and no read ever passes the file's end.
class FileBytes
{
public:
    FileBytes(int fd, uint64_t size) : myFd(fd), mySize(size), myWindow(windowBytes) {}
    uint64_t size() const { return mySize; }
    uint64_t pos() const { return myPos; }
    uint64_t left() const { return mySize - myPos; }
    // True when n more bytes are in the file.
    bool has(uint64_t n) const { return n <= left(); }

    // The next n bytes (n at most the window), valid until the next call.
    const unsigned char *take(uint64_t n)
    {
        if (myPos < myStart || myPos + n > myStart + myFilled) fill(n);
        const unsigned char *p = myWindow.data() + (myPos - myStart);
        myPos += n;
        return p;
    }
    void skip(uint64_t n) { myPos += n; }

private:
    void fill(uint64_t n)
    {
        if (n > myWindow.size()) myWindow.resize(size_t(n));
        myStart = myPos;
        myFilled = 0;
        const uint64_t want = std::min<uint64_t>(myWindow.size(), mySize - myPos);
        while (myFilled < want)
        {
            const ssize_t got = pread(myFd, myWindow.data() + myFilled, size_t(want - myFilled), off_t(myPos + myFilled));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw Fault{std::string("read failed: ") + std::strerror(errno)};
            if (got == 0) throw Fault{"the file shrank while it was read"};
            myFilled += uint64_t(got);
        }
        if (myFilled < n) throw Fault{"the file shrank while it was read"};
    }

    int myFd;
    uint64_t mySize, myPos = 0, myStart = 0, myFilled = 0;
    std::vector<unsigned char> myWindow;
};

template <typename T>
T load(const unsigned char *p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

int countBits(const unsigned char *bytes, size_t n)
{
    int on = 0;
    for (size_t i = 0; i < n; ++i) on += __builtin_popcount(bytes[i]);
    return on;
}

// A voxel value type as stored: its size, and its size as a half float
// (the same for types that have none).
struct ValueLayout
{
    uint64_t bytes, halfBytes;
};

bool valueLayout(const std::string &name, ValueLayout &layout)
{
    static const std::map<std::string, ValueLayout> layouts = {
        {"float", {4, 2}},   {"double", {8, 2}},  {"int32", {4, 4}}, {"int64", {8, 8}},
        {"vec3i", {12, 12}}, {"vec3s", {12, 6}}, {"vec3d", {24, 6}},
    };
    auto it = layouts.find(name);
    if (it == layouts.end()) return false;
    layout = it->second;
    return true;
}

// Bytes a linear map's body takes, from what the library writes for one.
bool linearMapBytes(const std::string &type, uint64_t &bytes)
{
    static const std::map<std::string, uint64_t> sizes = [] {
        std::map<std::string, uint64_t> s;
        for (const char *name : {"AffineMap", "UnitaryMap", "ScaleMap", "UniformScaleMap", "TranslationMap",
                                 "ScaleTranslateMap", "UniformScaleTranslateMap"})
        {
            if (!openvdb::math::MapRegistry::isRegistered(name)) continue;
            std::ostringstream out;
            openvdb::math::MapRegistry::createMap(name)->write(out);
            s[name] = uint64_t(out.str().size());
        }
        return s;
    }();
    auto it = sizes.find(type);
    if (it == sizes.end()) return false;
    bytes = it->second;
    return true;
}

// Valid UTF-8 without control characters: what a name written by a program
// looks like; a flipped bit in one rarely does.
bool plainName(const std::string &s)
{
    for (size_t i = 0; i < s.size();)
    {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7f) return false;
        const int more = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xe ? 2 : (c >> 3) == 0x1e ? 3 : -1;
        if (more < 0 || (more > 0 && i + size_t(more) >= s.size())) return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + size_t(k)]) >> 6) != 0x2) return false;
        i += size_t(more) + 1;
    }
    return true;
}

// The walk itself, in the order the library reads.
class ArchiveWalk
{
public:
    ArchiveWalk(FileBytes &bytes, VdbArchiveCheck &out) : myBytes(bytes), myOut(out) {}

    void run()
    {
        myWhere = "the header";
        header();
        myWhere = "the file's metadata";
        metadata();
        myWhere = "the grid count";
        const int32_t count = int32();
        // A grid takes at least its three names' lengths, three offsets,
        // compression, metadata count and transform name length.
        if (count < 0 || !fits(uint64_t(count), 48)) fault("a grid count of " + std::to_string(count) + (count < 0 ? "" : moreThanLeft()));
        myOut.gridCount = count;
        for (int32_t g = 0; g < count; ++g) grid();
        if (myBytes.left() > 0)
        {
            myWhere = "the end of the file";
            fault(std::to_string(myBytes.left()) + " bytes after the last grid");
        }
    }

private:
    [[noreturn]] void fault(const std::string &what, uint64_t at = UINT64_MAX) const
    {
        throw Fault{what + " at byte " + std::to_string(at == UINT64_MAX ? myBytes.pos() : at) + ", in " + myWhere};
    }
    [[noreturn]] void cutShort() const
    {
        throw Fault{"cut short at byte " + std::to_string(myBytes.size()) + ", in " + myWhere};
    }
    // count records of at least each bytes fit in what is left.
    bool fits(uint64_t count, uint64_t each) const { return count <= myBytes.left() / std::max<uint64_t>(each, 1); }
    std::string moreThanLeft() const { return " (more than the " + std::to_string(myBytes.left()) + " bytes left)"; }

    const unsigned char *take(uint64_t n)
    {
        if (!myBytes.has(n)) cutShort();
        return myBytes.take(n);
    }
    void skip(uint64_t n)
    {
        if (!myBytes.has(n)) cutShort();
        myBytes.skip(n);
    }
    uint32_t uint32() { return load<uint32_t>(take(4)); }
    int32_t int32() { return load<int32_t>(take(4)); }
    int64_t int64() { return load<int64_t>(take(8)); }
    std::string string(const char *what)
    {
        const uint64_t at = myBytes.pos();
        const uint32_t n = uint32();
        if (n > longestName || !myBytes.has(n)) fault(std::string(what) + " of " + std::to_string(n) + " bytes", at);
        const unsigned char *p = take(n);
        return std::string(reinterpret_cast<const char *>(p), n);
    }
    std::string name(const char *what)
    {
        const uint64_t at = myBytes.pos();
        std::string s = string(what);
        if (!plainName(s)) fault(std::string(what) + " '" + printableText(s, 40) + "' that is not text", at);
        return s;
    }

    void header()
    {
        const unsigned char *magic = take(8);
        if (load<int64_t>(magic) != openvdb::OPENVDB_MAGIC) throw Fault{"not a VDB file (no VDB magic number at its start)"};
        myOut.isVdb = true;
        myVersion = uint32();
        if (myVersion < oldestVersion || myVersion > newestVersion)
            fault("file format version " + std::to_string(myVersion) + " (sopcook reads " + std::to_string(oldestVersion) + "-" +
                  std::to_string(newestVersion) + ")");
        skip(8); // library major and minor version
        const unsigned char offsets = *take(1);
        if (offsets > 1) fault("a grid-offsets flag of " + std::to_string(offsets));
        myHasOffsets = offsets == 1;
        // The file's UUID as text: 8-4-4-4-12 hexadecimal digits.
        const unsigned char *uuid = take(36);
        for (int i = 0; i < 36; ++i)
        {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? uuid[i] != '-' : !std::isxdigit(uuid[i])) fault("a damaged file UUID", myBytes.pos() - 36 + uint64_t(i));
        }
    }

    // A metadata map: a count, then name, type name, size and value each.
    void metadata()
    {
        const uint64_t at = myBytes.pos();
        const uint32_t count = uint32();
        if (!fits(count, 12)) fault(std::to_string(count) + " metadata records" + moreThanLeft(), at);
        std::set<std::string> names;
        for (uint32_t i = 0; i < count; ++i)
        {
            const uint64_t recordAt = myBytes.pos();
            const std::string key = name("a metadata name");
            if (key.empty()) fault("a metadata record without a name", recordAt);
            if (!names.insert(key).second) fault("metadata '" + printableText(key, 40) + "' given twice", recordAt);
            const std::string type = name("a metadata type name");
            const uint64_t sizeAt = myBytes.pos();
            const uint32_t bytes = uint32();
            if (!myBytes.has(bytes)) fault("metadata '" + printableText(key, 40) + "' of " + std::to_string(bytes) + " bytes", sizeAt);
            metadataValue(key, type, bytes, sizeAt);
        }
    }

    void metadataValue(const std::string &key, const std::string &type, uint32_t bytes, uint64_t sizeAt)
    {
        if (type == "string" || type == delayedLoadType) return skip(bytes);
        if (!openvdb::Metadata::isRegisteredType(type))
            fault("metadata '" + printableText(key, 40) + "' of unknown type '" + printableText(type, 40) + "'", sizeAt);
        const uint32_t expected = openvdb::Metadata::createMetadata(type)->size();
        if (bytes != expected)
            fault("metadata '" + printableText(key, 40) + "' of type " + type + " with " + std::to_string(bytes) + " bytes, not " +
                      std::to_string(expected),
                  sizeAt);
        const unsigned char *value = take(bytes);
        if (type == "bool" && value[0] > 1) fault("metadata '" + printableText(key, 40) + "' holding a bool of " + std::to_string(value[0]), sizeAt + 4);
    }

    // A grid's three names: the unique one, the type (its half-float suffix
    // taken off) and the grid it instances, empty for none.
    struct GridNames
    {
        std::string unique, type, parent;
        bool half = false;
    };

    void grid()
    {
        VdbGridEntry entry;
        const GridNames names = gridNames(entry);
        myOut.grids.push_back(entry);
        const ValueLayout layout = gridLayout(names, entry.name);
        gridBody(names, layout, entry.name);
        myOut.grids.back().whole = true;
    }

    GridNames gridNames(VdbGridEntry &entry)
    {
        GridNames names;
        myWhere = "grid " + std::to_string(myOut.grids.size()) + "'s descriptor";
        const uint64_t nameAt = myBytes.pos();
        names.unique = string("a grid name");
        const std::string &unique = names.unique;
        // Grids of the same name carry a separator and a number.
        const size_t separator = unique.find('\x1e');
        entry.name = printableText(unique.substr(0, separator), 60);
        const std::string number = separator == std::string::npos ? "0" : unique.substr(separator + 1);
        if (!plainName(unique.substr(0, separator)) || number.empty() ||
            number.find_first_not_of("0123456789") != std::string::npos)
            fault("a grid name '" + printableText(unique, 40) + "' that is not text", nameAt);
        myWhere = "grid '" + entry.name + "'";
        std::string &type = names.type;
        type = name("a grid type name");
        names.half = type.size() > std::strlen(halfSuffix) &&
                     type.compare(type.size() - std::strlen(halfSuffix), std::string::npos, halfSuffix) == 0;
        if (names.half) type.erase(type.size() - std::strlen(halfSuffix));
        entry.type = printableText(type, 40);
        names.parent = name("an instance parent name");
        return names;
    }

    // The value layout of a tree type sopcook reads; an instance must follow
    // an earlier grid of its type, and no name may come twice.
    ValueLayout gridLayout(const GridNames &names, const std::string &entryName)
    {
        const std::string &type = names.type, &parent = names.parent;
        ValueLayout layout{0, 0};
        const std::string prefix = "Tree_", suffix = "_5_4_3";
        const bool treeShape = type.size() > prefix.size() + suffix.size() && type.compare(0, prefix.size(), prefix) == 0 &&
                               type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (!treeShape || !valueLayout(type.substr(prefix.size(), type.size() - prefix.size() - suffix.size()), layout) ||
            !openvdb::GridBase::isRegistered(type))
            fault("grid type '" + printableText(type, 40) + "' (sopcook reads float, double, int32, int64 and vec3 grids)");
        if (!parent.empty() && (!myTypes.count(parent) || myTypes[parent] != type))
            fault("an instance of '" + printableText(parent, 40) + "', which is not an earlier grid of its type");
        if (!myTypes.emplace(names.unique, type).second) fault("a second grid named '" + entryName + "'");
        return layout;
    }

    // What follows the names: offsets, compression, metadata, transform and,
    // unless the grid is an instance, its tree; the offsets must agree with
    // where each part was found.
    void gridBody(const GridNames &names, const ValueLayout &layout, const std::string &entryName)
    {
        const int64_t gridPos = int64(), blockPos = int64(), endPos = int64();
        const uint64_t start = myBytes.pos();
        // A stream written without offsets leaves them zero.
        if (!myHasOffsets && (gridPos || blockPos || endPos)) fault("grid offsets in a file without offsets", start - 24);
        myWhere = "grid '" + entryName + "' compression";
        const uint64_t compressionAt = myBytes.pos();
        myCompression = uint32();
        using namespace openvdb::io;
        if ((myCompression & ~uint32_t(COMPRESS_ZIP | COMPRESS_ACTIVE_MASK | COMPRESS_BLOSC)) ||
            ((myCompression & COMPRESS_ZIP) && (myCompression & COMPRESS_BLOSC)))
            fault("compression flags " + std::to_string(myCompression), compressionAt);
        myWhere = "grid '" + entryName + "' metadata";
        metadata();
        myWhere = "grid '" + entryName + "' transform";
        transform();
        const bool instance = !names.parent.empty();
        if (!instance)
        {
            myWhere = "grid '" + entryName + "' topology";
            topology(layout, names.half);
            const uint64_t blocks = myBytes.pos();
            myWhere = "grid '" + entryName + "' values";
            buffers(layout, names.half);
            if (myHasOffsets && uint64_t(blockPos) != blocks) fault("a value offset of " + std::to_string(blockPos), start - 16);
        }
        if (myHasOffsets && !instance && (uint64_t(gridPos) != start || uint64_t(endPos) != myBytes.pos()))
            fault("grid offsets " + std::to_string(gridPos) + " and " + std::to_string(endPos), start - 24);
    }

    void transform()
    {
        const std::string type = name("a transform type name");
        uint64_t bytes = 0;
        if (type == "NonlinearFrustumMap")
        {
            skip(48 + 16); // bounding box, taper, depth
            const std::string second = name("a transform type name");
            if (!linearMapBytes(second, bytes)) fault("a frustum over an unknown map '" + printableText(second, 40) + "'");
        }
        else if (!linearMapBytes(type, bytes))
            fault("an unknown transform '" + printableText(type, 40) + "'");
        skip(bytes);
    }

    // The tree's node structure: root tiles and children, then each internal
    // node's masks and values, down to the leaves' masks.
    void topology(const ValueLayout &layout, bool half)
    {
        const uint64_t at = myBytes.pos();
        if (int32() != 1) fault("a buffer count other than 1", at);
        skip(layout.bytes); // background
        const uint64_t countsAt = myBytes.pos();
        const uint32_t tiles = uint32(), children = uint32();
        if (!fits(tiles, 13 + layout.bytes) || !fits(children, 12 + 2 * 4096 + 1) ||
            uint64_t(tiles) * (13 + layout.bytes) + uint64_t(children) * (12 + 2 * 4096 + 1) > myBytes.left())
            fault(std::to_string(tiles) + " root tiles and " + std::to_string(children) + " root children" + moreThanLeft(), countsAt);
        std::set<std::array<int32_t, 3>> origins;
        for (uint32_t t = 0; t < tiles; ++t)
        {
            rootOrigin(origins);
            skip(layout.bytes);
            const uint64_t activeAt = myBytes.pos();
            if (*take(1) > 1) fault("a tile whose active flag is neither 0 nor 1", activeAt);
        }
        myLeaves = 0;
        myLeafMasks = fnvStart;
        for (uint32_t c = 0; c < children; ++c)
        {
            rootOrigin(origins);
            internalNode(5, layout, half);
        }
    }

    // A root entry's origin: a multiple of a root child's width, far from
    // the ends of the coordinate range, given once.
    void rootOrigin(std::set<std::array<int32_t, 3>> &origins)
    {
        const uint64_t at = myBytes.pos();
        const unsigned char *p = take(12);
        std::array<int32_t, 3> o{load<int32_t>(p), load<int32_t>(p + 4), load<int32_t>(p + 8)};
        for (int32_t v : o)
            if ((v & 4095) != 0 || v < -(int32_t(1) << 30) || v > (int32_t(1) << 30))
                fault("a root node origin " + std::to_string(o[0]) + " " + std::to_string(o[1]) + " " + std::to_string(o[2]), at);
        if (!origins.insert(o).second) fault("a root node origin given twice", at);
    }

    void internalNode(int log2, const ValueLayout &layout, bool half)
    {
        const uint64_t maskBytes = (uint64_t(1) << (3 * log2)) / 8;
        const unsigned char *children = take(maskBytes);
        const std::vector<unsigned char> childMask(children, children + maskBytes);
        const int active = countBits(take(maskBytes), maskBytes);
        compressedValues(uint64_t(1) << (3 * log2), uint64_t(active), layout, half);
        for (uint64_t i = 0; i < maskBytes; ++i)
            for (int b = 0; b < 8; ++b)
                if (childMask[i] >> b & 1)
                {
                    if (log2 == 5)
                        internalNode(4, layout, half);
                    else
                    {
                        const unsigned char *leafMask = take(64);
                        myLeafMasks = fnv(myLeafMasks, leafMask, 64);
                        ++myLeaves;
                    }
                }
    }

    // Each leaf's value buffer, in the order the topology gave the leaves.
    void buffers(const ValueLayout &layout, bool half)
    {
        // A leaf buffer takes at least its mask and the values' flag.
        if (!fits(myLeaves, 65)) fault(std::to_string(myLeaves) + " leaves" + moreThanLeft());
        uint64_t masks = fnvStart;
        for (uint64_t leaf = 0; leaf < myLeaves; ++leaf)
        {
            const unsigned char *mask = take(64);
            masks = fnv(masks, mask, 64);
            compressedValues(512, uint64_t(countBits(mask, 64)), layout, half);
        }
        if (masks != myLeafMasks) fault("leaf masks that differ from the topology's");
    }

    // A node's values as io::readCompressedValues reads them: a flag saying
    // which inactive values and masks follow, then the values themselves.
    void compressedValues(uint64_t count, uint64_t active, const ValueLayout &layout, bool half)
    {
        using namespace openvdb::io;
        const uint64_t at = myBytes.pos();
        const unsigned char flag = *take(1);
        if (flag > NO_MASK_AND_ALL_VALS) fault("a value flag of " + std::to_string(flag), at);
        if (flag == NO_MASK_AND_ONE_INACTIVE_VAL || flag == MASK_AND_ONE_INACTIVE_VAL || flag == MASK_AND_TWO_INACTIVE_VALS)
            skip(layout.bytes * (flag == MASK_AND_TWO_INACTIVE_VALS ? 2 : 1));
        if (flag == MASK_AND_NO_INACTIVE_VALS || flag == MASK_AND_ONE_INACTIVE_VAL || flag == MASK_AND_TWO_INACTIVE_VALS)
            skip(count / 8);
        const uint64_t stored = (myCompression & COMPRESS_ACTIVE_MASK) && flag != NO_MASK_AND_ALL_VALS ? active : count;
        const bool asHalf = half && layout.halfBytes != layout.bytes;
        if (asHalf && stored == 0) return; // half values of none are not written
        chunk(stored * (asHalf ? layout.halfBytes : layout.bytes));
    }

    // One run of values: raw, or zip or blosc data behind its size (a
    // negative size marks data stored raw).
    void chunk(uint64_t bytes)
    {
        using namespace openvdb::io;
        if (!(myCompression & (COMPRESS_ZIP | COMPRESS_BLOSC))) return skip(bytes);
        const uint64_t at = myBytes.pos();
        const int64_t n = int64();
        if (n <= 0)
        {
            if (n == INT64_MIN || uint64_t(-n) != bytes)
                fault("a raw chunk of " + std::to_string(n == INT64_MIN ? n : -n) + " bytes where " + std::to_string(bytes) + " belong", at);
            return skip(bytes);
        }
        if (!myBytes.has(uint64_t(n))) fault("a compressed chunk of " + std::to_string(n) + " bytes", at);
        if (myCompression & COMPRESS_BLOSC)
        {
            // The decompressor trusts its header's sizes.
            if (uint64_t(n) < bloscHeaderBytes) fault("a blosc chunk of " + std::to_string(n) + " bytes", at);
            const unsigned char *h = take(bloscHeaderBytes);
            if (load<uint32_t>(h + 4) != bytes || load<uint32_t>(h + 12) != uint64_t(n))
                fault("a blosc chunk whose header does not match its size", at);
            return skip(uint64_t(n) - bloscHeaderBytes);
        }
        skip(uint64_t(n));
    }

    static constexpr uint64_t fnvStart = 1469598103934665603ull;
    static uint64_t fnv(uint64_t h, const unsigned char *p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
        return h;
    }

    FileBytes &myBytes;
    VdbArchiveCheck &myOut;
    std::string myWhere;
    uint32_t myVersion = 0, myCompression = 0;
    bool myHasOffsets = false;
    uint64_t myLeaves = 0, myLeafMasks = fnvStart;
    std::map<std::string, std::string> myTypes;
};
} // namespace

void prepareVdbReading()
{
    static std::once_flag once;
    std::call_once(once, [] {
        initializeVdb();
        if (openvdb::Metadata::isRegisteredType(delayedLoadType)) openvdb::Metadata::unregisterType(delayedLoadType);
    });
}

VdbArchiveCheck checkVdbArchive(const std::string &path)
{
    prepareVdbReading();
    VdbArchiveCheck out;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        out.fault = std::string("cannot open: ") + std::strerror(errno);
        return out;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        out.fault = "not a regular file";
        close(fd);
        return out;
    }
    out.opened = true;
    try
    {
        FileBytes bytes(fd, uint64_t(st.st_size));
        ArchiveWalk(bytes, out).run();
    }
    catch (const Fault &f)
    {
        out.fault = printableText(f.what, 300);
    }
    catch (const std::exception &e)
    {
        out.fault = printableText(e.what(), 300);
    }
    close(fd);
    return out;
}

std::string printableText(const std::string &text, size_t maxLength)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    size_t used = 0;
    for (; used < text.size() && out.size() <= maxLength; ++used)
    {
        const unsigned char c = static_cast<unsigned char>(text[used]);
        if (c >= 0x20 && c < 0x7f)
            out += char(c);
        else
            out += {'\\', 'x', hex[c >> 4], hex[c & 15]};
    }
    if (used < text.size() || out.size() > maxLength)
    {
        out.resize(std::min(out.size(), maxLength > 3 ? maxLength - 3 : size_t(0)));
        out += "...";
    }
    return out;
}
} // namespace sopcook
