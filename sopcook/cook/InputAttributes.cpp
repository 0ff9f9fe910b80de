// SPDX-License-Identifier: Apache-2.0
#include "cook/InputAttributes.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "Messages.h"
#include "cook/AttributeUse.h"
#include "cook/CookCommand.h"
#include "cook/ParmAssign.h"

namespace sopcook
{
bool validAttributeName(const std::string &name)
{
    if (name.empty() || !(std::isalpha((unsigned char)name[0]) || name[0] == '_')) return false;
    for (char c : name)
        if (!(std::isalnum((unsigned char)c) || c == '_')) return false;
    return true;
}

namespace
{
AttributeDefault parseOne(const std::string &text, const char *option, bool replace)
{
    size_t eq = text.find('=');
    AttributeDefault d;
    d.replace = replace;
    d.name = text.substr(0, eq);
    if (eq == std::string::npos || !validAttributeName(d.name))
        throw Error(std::string(option) + " " + text + ": expected NAME=VALUE (a point attribute name, numbers comma-separated)");
    if (d.name == "P") throw Error(std::string(option) + " " + text + ": point positions come from the input file");
    std::string rest = text.substr(eq + 1);
    size_t start = 0;
    while (true)
    {
        size_t comma = rest.find(',', start);
        std::string part = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char *end = nullptr;
        double v = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 3.4e38)
            throw Error(std::string(option) + " " + text + ": '" + part + "' is not a finite number");
        d.value.push_back(float(v));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return d;
}

// Why the operators cannot read name with `components` components from gdp's
// points ("" when they can), as the end of "point attribute 'X' ...".
std::string unreadable(const GU_Detail &gdp, const std::string &name, int components)
{
    GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_POINT, name.c_str());
    if (!a) return "missing";
    if (a->getStorageClass() != GA_STORECLASS_FLOAT) return "holds text, not numbers";
    if (a->getScope() != GA_SCOPE_PUBLIC) return "is not public";
    if (a->getTupleSize() < components)
        return "has " + std::to_string(a->getTupleSize()) + (a->getTupleSize() == 1 ? " component" : " components");
    return "";
}

std::string valueHint(int components) { return components == 1 ? "VALUE" : "X,Y,Z"; }

std::string describe(const AttributeUse &use, const std::string &name, const std::string &why, const DoorWording &door)
{
    if (name.empty())
        return use.parm + " names no attribute: " + use.consequence + "; name one with " + door.parameter(use.parm, "NAME");
    if (why == "missing")
        return "input has no point attribute '" + name + "' (" + use.parm + "): " + use.consequence + "; add it with " +
               door.attribute(name, valueHint(use.components));
    std::string reads = " where " + use.parm + " reads " + std::to_string(use.components);
    return "point attribute '" + name + "' " + why + (why.rfind("has ", 0) == 0 ? reads : " (" + use.parm + ")") + ": " +
           use.consequence + "; give it " + std::to_string(use.components) + " number" + (use.components == 1 ? "" : "s") +
           " per point" + door.sameForAll(name, valueHint(use.components));
}

bool toggleOn(OP_Node &node, const std::string &toggle, double time)
{
    return toggle.empty() || (node.hasParm(toggle.c_str()) && node.evalInt(toggle.c_str(), 0, time) != 0);
}

std::string stringParm(OP_Node &node, const std::string &parm, double time)
{
    UT_String value;
    node.evalStringT(value, parm.c_str(), 0, time, 0);
    return value.toStdString();
}

// Noise that is 0 everywhere without any of the frame or uv attributes the
// operator names (the curve casts' normals, up and uv).
void checkNoiseFrame(OperatorCook &job, const GU_Detail &input, double time, std::vector<std::string> &warnings,
                     std::vector<std::string> &notes, size_t firstNote, const DoorWording &door)
{
    const traits::NoiseFrame frame = noiseFrame(job.op());
    if (frame.parms.empty() || !toggleOn(job.node(), frame.toggle, time)) return;
    std::string names, parms;
    for (const std::string &p : frame.parms)
    {
        std::string name = job.node().hasParm(p.c_str()) ? stringParm(job.node(), p, time) : "";
        if (!name.empty() && unreadable(input, name, 3).empty()) return;
        names += (names.empty() ? "'" : ", '") + name + "'";
        parms += (parms.empty() ? "" : ", ") + p;
    }
    notes.resize(firstNote); // the notes on each say less than this
    warnings.push_back("input has none of the point attributes " + names + " (" + parms + "): with " + frame.toggle +
                       " on the noise reads 0 everywhere, so nothing is written; add a frame with " + door.attribute("N", "0,0,1") +
                       " " + door.attribute("up", "0,1,0"));
}
} // namespace

std::vector<AttributeDefault> parseAttributeDefaults(const std::vector<std::string> &keep,
                                                     const std::vector<std::string> &replace)
{
    std::vector<AttributeDefault> out;
    for (const std::string &t : keep) out.push_back(parseOne(t, "-a", false));
    for (const std::string &t : replace) out.push_back(parseOne(t, "--attrib-override", true));
    return out;
}

void validateAttributeOptions(const CookOptions &o)
{
    parseAttributeDefaults(o.attribs, o.attribOverrides);
    if (o.input.empty() && !(o.attribs.empty() && o.attribOverrides.empty()))
        throw Error(std::string(o.attribs.empty() ? "--attrib-override" : "-a") +
                    " gives attributes to the points of the input: give the input with -i");
}

void applyAttributeDefaults(GU_Detail &gdp, const std::vector<AttributeDefault> &defaults,
                            std::vector<std::string> &warnings, std::vector<std::string> &notes)
{
    for (const AttributeDefault &d : defaults)
    {
        int size = int(d.value.size());
        std::string why = unreadable(gdp, d.name, size);
        const char *option = d.replace ? "--attrib-override " : "-a ";
        if (why.empty() && !d.replace)
        {
            notes.push_back("-a " + d.name + ": the input has its own '" + d.name +
                            "'; its values are kept (--attrib-override replaces them)");
            continue;
        }
        if (why != "missing" && !why.empty() && !d.replace)
            warnings.push_back("the input's point attribute '" + d.name + "' " + why + "; " + option + d.name +
                               " replaces it with " + std::to_string(size) + (size == 1 ? " number" : " numbers"));
        if (why != "missing") gdp.destroyAttribute(GA_ATTRIB_POINT, d.name.c_str());
        GA_Attribute *a = gdp.addFloatTuple(GA_ATTRIB_POINT, d.name.c_str(), size).getAttribute();
        for (GA_Offset pt = 0; pt < gdp.getNumPoints(); ++pt)
            for (int c = 0; c < size; ++c) a->setF(pt, c, d.value[size_t(c)]);
    }
}

void checkInputAttributes(OperatorCook &job, const GU_Detail *input, double time, std::vector<std::string> &warnings,
                          std::vector<std::string> &notes, const DoorWording &door)
{
    const OP_Operator &op = job.op();
    if (op.maxInputs() == 0) return;
    if (!input || input->getNumPoints() == 0)
    {
        warnings.push_back((input ? std::string("the input has no points") : door.noInput) + ": " +
                           op.getName() + " writes empty volumes");
        return;
    }
    std::vector<std::string> strings;
    for (const PRM_Template *p : valueParameters(op))
        if (p->isStringType()) strings.push_back(p->getToken());
    size_t firstNote = notes.size();
    for (const AttributeUse &use : attributeUses(op, strings))
    {
        if (!job.node().hasParm(use.parm.c_str()) || !toggleOn(job.node(), use.toggle, time)) continue;
        std::string name = stringParm(job.node(), use.parm, time);
        std::string why = name.empty() ? "missing" : unreadable(*input, name, use.components);
        if (why.empty()) continue;
        (use.essential ? warnings : notes).push_back(describe(use, name, why, door));
    }
    checkNoiseFrame(job, *input, time, warnings, notes, firstNote, door);
}

std::string emptyOutputWarning(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &path)
{
    if (volumes.empty()) return "";
    for (const VolumeSummary &v : volumes)
        if (v.active > 0) return "";
    return std::string(volumes.size() == 1 ? "the volume " : "every volume ") + op +
           (path.empty() ? " made" : " wrote to " + path) + " is empty (no voxel holds a value)";
}

void warnIfOutputEmpty(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &path)
{
    if (std::string w = emptyOutputWarning(op, volumes, path); !w.empty()) warn(w);
}
} // namespace sopcook
