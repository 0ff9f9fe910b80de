// SPDX-License-Identifier: Apache-2.0
#include "cook/PluginRegistry.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "Messages.h"
#include "UT/UT_DSO.h"

namespace sopcook
{
static std::string executableFolder()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    std::string path;
    if (n > 0)
        path.assign(buf, size_t(n));
    else
    {
        Dl_info info;
        if (dladdr(reinterpret_cast<void *>(&executableFolder), &info) && info.dli_fname) path = info.dli_fname;
    }
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::vector<std::string> PluginRegistry::defaultFolders() { return searchPath(executableFolder()); }

std::string PluginRegistry::hostLibraryFolder()
{
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&UT_DSO::findPlugins), &info) || !info.dli_fname) return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::vector<std::string> PluginRegistry::searchPath(const std::string &fallback)
{
    std::vector<std::string> folders;
    if (const char *env = std::getenv("SOPCOOK_DSO_PATH"); env && *env)
    {
        std::string all = env;
        size_t start = 0;
        while (start <= all.size())
        {
            size_t colon = all.find(':', start);
            if (colon == std::string::npos) colon = all.size();
            if (colon > start) folders.push_back(all.substr(start, colon - start));
            start = colon + 1;
        }
        return folders;
    }
    // Beside the fallback (the build tree keeps plug-ins there), then the
    // installed plug-in folder beside the host library.
    folders.push_back(fallback);
    char plugins[PATH_MAX];
    std::string installed = hostLibraryFolder() + "/" SOPCOOK_PLUGIN_SUBDIR;
    if (realpath(installed.c_str(), plugins) && plugins != fallback) folders.push_back(plugins);
    return folders;
}

PluginRegistry::PluginRegistry() : PluginRegistry(defaultFolders()) {}

PluginRegistry::PluginRegistry(const std::vector<std::string> &folders) : myFolders(folders) { load(); }

// True when the library exports the plug-in entry point; other shared
// libraries (the host toolkit itself, for one) are not plug-ins.
static bool looksLikePlugin(const std::string &path, std::string &why)
{
    void *handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle)
    {
        const char *e = dlerror();
        why = path + ": cannot load: " + (e ? e : "unknown error");
        return false;
    }
    bool plugin = dlsym(handle, "newSopOperator") != nullptr;
    dlclose(handle);
    return plugin;
}

void PluginRegistry::load()
{
    for (const std::string &path : UT_DSO::findPlugins(myFolders))
    {
        std::string why;
        if (!looksLikePlugin(path, why))
        {
            if (!why.empty()) myProblems.push_back(why);
            continue;
        }
        if (!UT_DSO::loadSopPlugin(path, myTable, why)) myProblems.push_back(why);
    }
}

std::vector<std::string> PluginRegistry::names() const
{
    std::vector<std::string> out;
    for (auto &op : myTable.operators()) out.push_back(op->getName());
    return out;
}

OP_Operator &PluginRegistry::require(const std::string &name) const
{
    if (OP_Operator *op = find(name)) return *op;
    std::string installed;
    for (const std::string &n : names()) installed += (installed.empty() ? "" : ", ") + n;
    std::string where;
    for (const std::string &f : myFolders) where += (where.empty() ? "" : ":") + f;
    if (installed.empty())
        throw Error("unknown operator '" + name + "': no plug-ins found in " + where +
                    " (set SOPCOOK_DSO_PATH to the folder that holds them)");
    throw Error("unknown operator '" + name + "'; installed: " + installed);
}
} // namespace sopcook
