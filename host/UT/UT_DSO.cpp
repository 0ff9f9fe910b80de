// SPDX-License-Identifier: Apache-2.0
#include "UT_DSO.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "OP/OP_Operator.h"

bool UT_DSO::loadSopPlugin(const std::string &path, OP_OperatorTable &table, std::string &error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
    {
        error = path + ": no such file";
        return false;
    }
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char *why = dlerror();
        error = path + ": cannot load: " + (why ? why : "unknown error");
        return false;
    }
    typedef void (*VersionFn)(const char **);
    typedef void (*RegisterFn)(OP_OperatorTable *);
    auto version = reinterpret_cast<VersionFn>(dlsym(handle, "HoudiniDSOVersion"));
    auto reg = reinterpret_cast<RegisterFn>(dlsym(handle, "newSopOperator"));
    if (!version || !reg)
    {
        error = path + ": not a surface-operator plug-in (missing " +
                (version ? "newSopOperator" : "HoudiniDSOVersion") + ")";
        dlclose(handle);
        return false;
    }
    const char *v = nullptr;
    version(&v);
    if (!v || std::strcmp(v, hostVersion()) != 0)
    {
        error = path + ": built for version " + (v ? v : "(none)") + ", this host is " + hostVersion();
        dlclose(handle);
        return false;
    }
    size_t before = table.operators().size();
    reg(&table);
    // Optional: what the operators say about themselves; a host that does
    // not know the export never looks it up.
    auto traits = reinterpret_cast<OP_PluginFunction>(dlsym(handle, "sopOperatorTraits"));
    for (size_t i = before; i < table.operators().size(); ++i)
    {
        table.operators()[i]->setDSOPath(path);
        table.operators()[i]->setTraitsEntry(traits);
    }
    if (table.operators().size() == before)
    {
        error = path + ": registered no new operator";
        return false;
    }
    return true;
}

std::vector<std::string> UT_DSO::findPlugins(const std::vector<std::string> &folders)
{
    std::vector<std::string> found;
    for (const std::string &folder : folders)
    {
        DIR *dir = opendir(folder.c_str());
        if (!dir) continue;
        std::vector<std::string> here;
        while (dirent *e = readdir(dir))
        {
            std::string name = e->d_name;
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) here.push_back(folder + "/" + name);
        }
        closedir(dir);
        std::sort(here.begin(), here.end());
        found.insert(found.end(), here.begin(), here.end());
    }
    return found;
}
