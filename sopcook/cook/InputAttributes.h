// SPDX-License-Identifier: Apache-2.0
#pragma once
// The input's point attributes around a cook: defaults given on the command
// line (-a NAME=VALUE, --attrib-override NAME=VALUE), and warnings about the
// attributes an operator reads that the input lacks, before the cook, and
// about volumes that came out empty, after it.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "cook/DoorWording.h"
#include "cook/OperatorCook.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
struct CookOptions;

struct AttributeDefault
{
    std::string name;
    std::vector<float> value; // one entry per component
    bool replace = false;     // --attrib-override: replaces the file's values
};

// A name a point attribute can have: a letter or _, then letters, digits and _.
bool validAttributeName(const std::string &name);

// Parses NAME=VALUE (VALUE: numbers, comma-separated) of -a and of
// --attrib-override; throws Error naming the option on bad text.
std::vector<AttributeDefault> parseAttributeDefaults(const std::vector<std::string> &keep,
                                                     const std::vector<std::string> &replace);

// Checks the -a and --attrib-override options of a command before anything
// is read; throws Error.
void validateAttributeOptions(const CookOptions &options);

// Gives every point of gdp each default attribute it lacks. A file attribute
// the operators can read at the default's size is kept (-a) or replaced
// (--attrib-override); one they cannot read (strings, fewer components) is
// replaced with a warning. Remarks go to warnings, -v notes to notes.
void applyAttributeDefaults(GU_Detail &gdp, const std::vector<AttributeDefault> &defaults,
                            std::vector<std::string> &warnings, std::vector<std::string> &notes);

// What the cook about to run will read from input (null: no -i given): one
// line per attribute the operator reads that input lacks or holds with too
// few components. Warnings for those whose absence empties or zeroes a
// volume; notes (shown with -v) for the others. door spells the options the
// lines suggest.
void checkInputAttributes(OperatorCook &job, const GU_Detail *input, double time, std::vector<std::string> &warnings,
                          std::vector<std::string> &notes, const DoorWording &door = commandLineWording());

// A warning when every volume is empty, else "". path: the file written;
// empty for volumes kept in memory.
std::string emptyOutputWarning(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &path);
// After writing: a warning when every written volume is empty.
void warnIfOutputEmpty(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &path);
} // namespace sopcook
