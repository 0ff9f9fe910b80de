// SPDX-License-Identifier: Apache-2.0
#pragma once
// How each door spells the options a shared message tells the user to use:
// the command line says `-s name=value`, the Python module `params["name"]`.
#include <functional>
#include <string>

namespace sopcook
{
struct DoorWording
{
    // Setting parameter name to value.
    std::function<std::string(const std::string &name, const std::string &value)> parameter;
    // Giving the points attribute name (value: a hint such as VALUE or X,Y,Z).
    std::function<std::string(const std::string &name, const std::string &value)> attribute;
    // After "give it N numbers per point": how to set one value for all, with
    // its leading space and parentheses, or "" where the door has no way.
    std::function<std::string(const std::string &name, const std::string &value)> sameForAll;
    std::string noInput; // how a cook with no input geometry is described
};

// The command line's spellings (-s, -a, --attrib-override, -i).
inline const DoorWording &commandLineWording()
{
    static const DoorWording w{
        [](const std::string &n, const std::string &v) { return "-s " + n + "=" + v; },
        [](const std::string &n, const std::string &v) { return "-a " + n + "=" + v; },
        [](const std::string &n, const std::string &v) { return " (--attrib-override " + n + "=" + v + " sets one value for all)"; },
        "no input geometry (-i)"};
    return w;
}
} // namespace sopcook
