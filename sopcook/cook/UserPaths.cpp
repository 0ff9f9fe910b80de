// SPDX-License-Identifier: Apache-2.0
#include "cook/UserPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "Messages.h"
#include "cook/CookCommand.h"
#include "cook/Frames.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
namespace
{
std::string lowered(std::string s)
{
    for (char &c : s) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Names a log must not take: what a cook reads or writes. A log given such a
// name is almost always a slip of the wrong option.
bool namesCookData(const std::string &path)
{
    static const char *const extensions[] = {".vdb", ".geo",  ".bgeo", ".gz",  ".sc",  ".json", ".ply",
                                             ".obj", ".abc",  ".png",  ".gif", ".jpg", ".jpeg", ".exr",
                                             ".tif", ".tiff", ".bmp",  ".tga", ".hdr", ".webp"};
    const std::string name = lowered(path);
    for (const char *e : extensions)
        if (endsWith(name, e)) return true;
    return false;
}

void checkKind(const NamedOutput &o)
{
    const std::string name = lowered(o.path);
    switch (o.kind)
    {
    case OutputKind::Vdb:
        if (!hasVdbExtension(o.path)) throw Error(o.option + " " + o.given + ": the output is an OpenVDB file; name it NAME.vdb");
        break;
    case OutputKind::Png:
        if (!endsWith(name, ".png")) throw Error(o.option + " " + o.given + ": the preview is a PNG image; name it NAME.png");
        break;
    case OutputKind::Text:
        if (namesCookData(o.path))
            throw Error(o.option + " " + o.given + ": a log is text; give it a name that is no geometry, image or VDB " +
                        "file (such as cook.log)");
        break;
    }
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string absolute(const std::string &path)
{
    if (!path.empty() && path[0] == '/') return path;
    char cwd[4096];
    return getcwd(cwd, sizeof(cwd)) ? std::string(cwd) + "/" + path : path;
}

// A file as the system knows it: its real name, and for an existing file
// its device and inode, which hard links share.
struct FileIdentity
{
    std::string real;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
};

FileIdentity identify(const std::string &path)
{
    FileIdentity id;
    id.real = resolvedPath(path);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    return id;
}

// "-i in.$F4.geo (in.0002.geo)": a file as named, with the frame's name
// where a pattern made it.
std::string described(const NamedPath &p)
{
    const char *gap = !p.option.empty() && p.option.back() == '=' ? "" : " ";
    return p.option + gap + p.given + (p.path != p.given ? " (" + p.path + ")" : "");
}

// ", both /real/name": where a link or relative name hides that two paths meet.
std::string meeting(const NamedPath &a, const NamedPath &b, const FileIdentity &id)
{
    return a.path == b.path || id.real == a.path ? "" : ", both " + id.real;
}

// Every frame's name of a pattern, or the name once when it has no $F.
template <class Path>
void addExpanded(std::vector<Path> &list, Path p, const std::vector<int> &frames)
{
    if (p.given.empty()) return;
    if (p.given.find("$F") == std::string::npos || frames.empty())
    {
        p.path = p.given;
        list.push_back(p);
        return;
    }
    for (int f : frames)
    {
        p.path = expandFrame(p.given, f);
        list.push_back(p);
    }
}
} // namespace

std::string resolvedPath(const std::string &path)
{
    std::string target = path;
    try
    {
        target = writeTarget(path);
    }
    catch (const Error &)
    {
        // A loop of links: compared by the name as written.
    }
    if (char *real = realpath(target.c_str(), nullptr))
    {
        std::string out(real);
        std::free(real);
        return out;
    }
    const std::string name = nameOf(target);
    if (char *folder = realpath(folderOf(target).c_str(), nullptr))
    {
        std::string out(folder);
        std::free(folder);
        return (out == "/" ? "" : out) + "/" + name;
    }
    return absolute(target);
}

void checkUserPaths(const UserPaths &paths)
{
    // Each distinct name is looked up once, and files are matched through
    // maps: a long frame range names thousands of files.
    std::map<std::string, FileIdentity> known;
    auto lookUp = [&](const std::string &path) -> const FileIdentity & {
        auto it = known.find(path);
        if (it == known.end()) it = known.emplace(path, identify(path)).first;
        return it->second;
    };
    struct Seen
    {
        std::map<std::string, const NamedPath *> byName;
        std::map<std::pair<dev_t, ino_t>, const NamedPath *> byInode;
        const NamedPath *find(const FileIdentity &id) const
        {
            auto n = byName.find(id.real);
            if (n != byName.end()) return n->second;
            auto i = id.exists ? byInode.find({id.device, id.inode}) : byInode.end();
            return i == byInode.end() ? nullptr : i->second;
        }
        void add(const FileIdentity &id, const NamedPath &p)
        {
            byName.emplace(id.real, &p);
            if (id.exists) byInode.emplace(std::make_pair(id.device, id.inode), &p);
        }
    };
    Seen inputs, outputs;
    for (const NamedPath &i : paths.inputs) inputs.add(lookUp(i.path), i);
    for (const NamedOutput &o : paths.outputs)
    {
        const FileIdentity &id = lookUp(o.path);
        if (const NamedPath *i = inputs.find(id))
            throw Error(described(o) + " would overwrite the input " + described(*i) + meeting(o, *i, id) +
                        "; name another file");
    }
    for (const NamedOutput &o : paths.outputs)
    {
        const FileIdentity &id = lookUp(o.path);
        if (const NamedPath *earlier = outputs.find(id))
            throw Error(described(*earlier) + " and " + described(o) + " name the same file" + meeting(*earlier, o, id) +
                        "; give each output its own name");
        outputs.add(id, o);
    }
    for (const NamedOutput &o : paths.outputs) checkKind(o);
}

UserPaths cookUserPaths(const OP_Operator *op, const CookOptions &o, const std::vector<int> &frames)
{
    UserPaths paths;
    addExpanded(paths.inputs, NamedPath{"-i", o.input, ""}, frames);
    addExpanded(paths.inputs, NamedPath{"-b", o.bbox, ""}, frames);
    addExpanded(paths.inputs, NamedPath{"--camera", o.camera, ""}, frames);
    if (op)
    {
        // File parameters as the last -s of each leaves them; operators take
        // their text as it stands.
        std::map<std::string, std::string> files;
        for (const std::string &s : o.settings)
        {
            const std::string name = s.substr(0, s.find('='));
            for (const PRM_Template *t = op->getParmTemplates(); t && !t->isTerminator(); ++t)
                if (t->getType() == PRM_FILE && name == t->getToken() && name.size() < s.size())
                    files[name] = s.substr(name.size() + 1);
        }
        for (const auto &[name, file] : files) addExpanded(paths.inputs, NamedPath{"-s " + name + "=", file, ""}, {});
    }
    if (o.estimateOnly) return paths;
    addExpanded(paths.outputs, NamedOutput{{"-o", o.output, ""}, OutputKind::Vdb}, frames);
    addExpanded(paths.outputs, NamedOutput{{"--preview", o.preview, ""}, OutputKind::Png}, frames);
    addExpanded(paths.outputs, NamedOutput{{"--log", o.log, ""}, OutputKind::Text}, {});
    return paths;
}

UserPaths mergeUserPaths(const std::string &out, const std::vector<std::string> &parts)
{
    UserPaths paths;
    for (const std::string &p : parts) paths.inputs.push_back(NamedPath{"part", p, p});
    paths.outputs.push_back(NamedOutput{{"merge output", out, out}, OutputKind::Vdb});
    return paths;
}
} // namespace sopcook
