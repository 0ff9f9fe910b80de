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
    std::string force;   // how to cook what the estimate refuses
    // How a long cook is stopped: by an operator that stops early, and
    // (after the operator's name) by one that cannot.
    std::string stopsEarly, cannotStop;
    std::string everyLine; // after the operators' folded lines: how to see every line
    std::string pairing;   // what pairs the input's triangles into quads
    std::string allowEmpty; // what cooks an unreadable input image to empty volumes
};

// The command line's spellings (-s, -a, --attrib-override, -i, --force, ...).
inline const DoorWording &commandLineWording()
{
    static const DoorWording w{
        [](const std::string &n, const std::string &v) { return "-s " + n + "=" + v; },
        [](const std::string &n, const std::string &v) { return "-a " + n + "=" + v; },
        [](const std::string &n, const std::string &v) { return " (--attrib-override " + n + "=" + v + " sets one value for all)"; },
        "no input geometry (-i)",
        "use --force to cook anyway",
        "Ctrl-C stops it and keeps a partial result",
        " cannot stop early, Ctrl-C twice aborts it without writing",
        " (-v or --log FILE shows every line)",
        "--triangles-to-quads",
        "--allow-empty"};
    return w;
}
} // namespace sopcook
