// SPDX-License-Identifier: Apache-2.0
#pragma once
// Running the built sopcook from a test and reading back what it wrote:
// for test programs that define SOPCOOK_BINARY and link OpenVDB.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <openvdb/openvdb.h>

namespace sopcooktest
{
// A scratch folder per test, removed afterwards.
class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/sopcook-test-XXXXXX";
        myPath = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + myPath + "'").c_str()); }
    std::string operator/(const std::string &name) const { return myPath + "/" + name; }
    const std::string &path() const { return myPath; }

    // Names in the folder, sorted.
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        if (DIR *d = opendir(myPath.c_str()))
        {
            while (dirent *e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string myPath;
};

inline bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline void writeText(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }

inline std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CliRun
{
    int status;
    std::string out; // stdout
    std::string err; // stderr
};

// Runs the built sopcook with the given arguments (shell syntax).
inline CliRun runSopcook(const std::string &args, const std::string &env = "")
{
    TempDir tmp;
    std::string cmd = env + " '" SOPCOOK_BINARY "' " + args + " >'" + (tmp / "out") + "' 2>'" + (tmp / "err") + "'";
    int raw = std::system(cmd.c_str());
    CliRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readText(tmp / "out");
    r.err = readText(tmp / "err");
    return r;
}

// Grids of a file in the order the library lists them.
inline openvdb::GridPtrVec readGrids(const std::string &path)
{
    openvdb::initialize();
    openvdb::io::File file(path);
    file.open();
    openvdb::GridPtrVecPtr grids = file.getGrids();
    file.close();
    return *grids;
}

inline openvdb::FloatGrid::Ptr floatGrid(const openvdb::GridPtrVec &grids, const std::string &name)
{
    for (auto &g : grids)
        if (g->getName() == name) return openvdb::GridBase::grid<openvdb::FloatGrid>(g);
    return nullptr;
}
} // namespace sopcooktest
