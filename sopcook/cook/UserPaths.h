// SPDX-License-Identifier: Apache-2.0
#pragma once
// The files a command names, checked before anything is read or written: no
// output may be an input or another output (after links and frame numbers
// are resolved), and each output must be named as what it holds. A mistyped
// option then costs one error line, never a user's file.
#include <string>
#include <vector>
#include "OP/OP_Operator.h"

namespace sopcook
{
struct CookOptions;

// What an output file holds, which its name must say.
enum class OutputKind
{
    Vdb,  // NAME.vdb
    Png,  // NAME.png
    Text, // anything but a geometry, image or VDB name
};

// One file as the user named it.
struct NamedPath
{
    std::string option; // how it was named: "-i", "--preview", "-s giffile=", "part"
    std::string given;  // as written, frame pattern and all
    std::string path;   // the file (the frame's number expanded)
};

struct NamedOutput : NamedPath
{
    OutputKind kind = OutputKind::Vdb;
};

struct UserPaths
{
    std::vector<NamedPath> inputs;    // read
    std::vector<NamedOutput> outputs; // replaced or created
};

// Throws Error naming both when an output is the same file as an input or
// another output (through links, hard links and relative names too), and
// when an output's name does not say what it holds. Touches no file.
void checkUserPaths(const UserPaths &paths);

// The files of `sopcook cook` for every frame: -i, -b, --camera and the
// file parameters set with -s are read; -o, --preview and --log written
// (none with --estimate). op may be null: file parameters are then left out.
UserPaths cookUserPaths(const OP_Operator *op, const CookOptions &options, const std::vector<int> &frames);

// The files of `sopcook merge OUT PARTS...`.
UserPaths mergeUserPaths(const std::string &out, const std::vector<std::string> &parts);

// Where the file a user names really lies: the same path made absolute with
// every link resolved, or, for a file not there yet, the real folder plus
// the name. Never fails: an unresolvable folder is kept as written.
std::string resolvedPath(const std::string &path);
} // namespace sopcook
