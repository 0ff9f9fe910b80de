// SPDX-License-Identifier: Apache-2.0
#include "cook/AttributeUse.h"

#include <map>

namespace sopcook
{
namespace
{
const char *const nothingWritten = "so nothing is written";
const std::string zeroColour = "every colour reads (0, 0, 0), so the Cd volumes stay 0";

AttributeUse essential(const char *parm, int components, const std::string &what, const char *toggle = "")
{
    return {parm, components, toggle, true, what};
}

AttributeUse optional(const char *parm, int components, const std::string &what, const char *toggle = "")
{
    return {parm, components, toggle, false, what};
}

std::vector<AttributeUse> pointWisps()
{
    // Normals, up vector and colour are looked up but never change the output.
    return {essential("densityattrib", 1, std::string("every density reads 0, ") + nothingWritten),
            essential("radiusattrib", 1, std::string("every radius reads 0, ") + nothingWritten),
            optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)")};
}

std::vector<AttributeUse> velocityWisps()
{
    return {essential("densityattrib", 1, std::string("every density reads 0, ") + nothingWritten),
            essential("pscaleattrib", 1, std::string("every footprint reads 0, ") + nothingWritten),
            essential("radiusattrib", 1, "every displacement scale reads 0, so noise moves no child: each point's streaks lie on the point"),
            essential("velocityattrib", 3, "every velocity reads (0, 0, 0), so children draw spheres, not streaks"),
            essential("colorattrib", 3, zeroColour, "docolor"),
            optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)")};
}

std::vector<AttributeUse> surfaceWisps()
{
    return {essential("densityattrib", 1, "every density reads 0, so no density is written"),
            essential("radiusattrib", 1, "every radius reads 0, so no density is written"),
            essential("colorattrib", 3, zeroColour, "docolor"),
            essential("velocityattrib", 3, "every velocity reads (0, 0, 0), so the vel volumes stay 0", "dovelocity"),
            optional("normalsattrib", 3, "every normal reads (0, 0, 0), so noise pushes children along the surface only"),
            optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)"),
            optional("uvattrib", 3, "every uv reads (0, 0, 0), so the noise is looked up at the noise offset alone")};
}

std::vector<AttributeUse> curves()
{
    return {essential("densityattrib", 1, std::string("every density reads 0, ") + nothingWritten),
            essential("radiusattrib", 1, std::string("every radius reads 0, ") + nothingWritten),
            essential("colorattrib", 3, zeroColour, "docolor"),
            optional("normalsattrib", 3, "every normal reads (0, 0, 0) in the noise frame", "donoise"),
            optional("upattrib", 3, "every up vector reads (0, 0, 0) in the noise frame", "donoise"),
            optional("uvattrib", 3, "every uv reads (0, 0, 0), so the noise has no offset along the curve", "donoise")};
}

std::vector<AttributeUse> clouds(const char *colourToggle)
{
    return {essential("densityattrib", 1, std::string("every density reads 0, ") + nothingWritten),
            essential("radiusattrib", 1, std::string("every radius reads 0, ") + nothingWritten),
            essential("colorattrib", 3, zeroColour, colourToggle),
            optional("normalsattrib", 3, "every normal reads (0, 0, 0) in each ball's noise frame (world axes when 'up' is missing too)", "donoise"),
            optional("upvectorattrib", 3, "every up vector reads (0, 0, 0) in each ball's noise frame", "donoise"),
            optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)", "donoise")};
}

const std::map<std::string, std::vector<AttributeUse>> &knownUses()
{
    static const std::map<std::string, std::vector<AttributeUse>> table = {
        {"plumeweave", pointWisps()},
        {"plumeweave_velocity_stretch", velocityWisps()},
        {"plumeweave_velocity_stretchMT", velocityWisps()},
        {"skinweave", surfaceWisps()},
        {"skinweaveMT", surfaceWisps()},
        {"strandcast", curves()},
        {"strandcastStraightMT", curves()},
        {"billowfold", clouds("")},
        {"billowfoldMT", clouds("docolor")},
        {"slabreel", {}},
    };
    return table;
}

bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

std::vector<AttributeUse> attributeUses(const std::string &op, const std::vector<std::string> &stringParms)
{
    auto it = knownUses().find(op);
    if (it != knownUses().end()) return it->second;
    std::vector<AttributeUse> uses;
    for (const std::string &p : stringParms)
        if (endsWith(p, "attrib")) uses.push_back(essential(p.c_str(), 1, "every value reads 0"));
    return uses;
}

bool noiseNeedsFrameOrUv(const std::string &op) { return op == "strandcast" || op == "strandcastStraightMT"; }
} // namespace sopcook
