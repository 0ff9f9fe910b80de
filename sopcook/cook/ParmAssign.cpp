// SPDX-License-Identifier: Apache-2.0
#include "cook/ParmAssign.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "Messages.h"

namespace sopcook
{
std::vector<const PRM_Template *> valueParameters(const OP_Operator &op)
{
    std::vector<const PRM_Template *> out;
    for (const PRM_Template *t = op.getParmTemplates(); t && !t->isTerminator(); ++t)
        if (t->isValueParm()) out.push_back(t);
    return out;
}

static std::string formatNumber(double v)
{
    std::ostringstream s;
    s.precision(9);
    s << v;
    return s.str();
}

std::string defaultText(const PRM_Template &parm)
{
    int n = parm.getVectorSize() > 0 ? parm.getVectorSize() : 1;
    std::string out;
    for (int i = 0; i < n; ++i)
    {
        if (i) out += ", ";
        if (parm.isStringType())
        {
            const char *s = parm.getDefaultString(i);
            out += std::string("\"") + (s ? s : "") + "\"";
        }
        else if (parm.getType() == PRM_TOGGLE)
            out += parm.getDefaultFloat(i) != 0 ? "on" : "off";
        else
            out += formatNumber(parm.getDefaultFloat(i));
    }
    return out;
}

static std::vector<std::string> splitComponents(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true)
    {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t b = part.find_first_not_of(" \t"), e = part.find_last_not_of(" \t");
        parts.push_back(b == std::string::npos ? "" : part.substr(b, e - b + 1));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

static double parseComponent(const PRM_Template &parm, const std::string &text, const std::string &setting)
{
    std::string name = parm.getToken();
    if (parm.getType() == PRM_TOGGLE)
    {
        std::string t = text;
        for (char &c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (t == "1" || t == "on" || t == "true" || t == "yes") return 1;
        if (t == "0" || t == "off" || t == "false" || t == "no") return 0;
        throw Error(setting + ": toggle '" + name + "' takes 0/1 or on/off, not '" + text + "'");
    }
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end || !std::isfinite(v))
        throw Error(setting + ": '" + text + "' is not a number (" + name + " is " +
                    (parm.getType() == PRM_INT ? "an integer" : "a float") + " parameter)");
    if (parm.getType() == PRM_INT)
    {
        if (v != std::floor(v)) throw Error(setting + ": '" + text + "' is not a whole number (" + name + " is an integer parameter)");
        if (v < -2147483648.0 || v > 2147483647.0)
            throw Error(setting + ": '" + text + "' is out of the integer range (-2147483648 to 2147483647)");
    }
    return v;
}

static const PRM_Template *findParameter(const OP_Operator &op, const std::vector<const PRM_Template *> &parms,
                                        const std::string &name, const std::string &setting)
{
    for (const PRM_Template *p : parms)
        if (name == p->getToken()) return p;
    std::string valid;
    for (const PRM_Template *p : parms) valid += (valid.empty() ? "" : ", ") + std::string(p->getToken());
    throw Error(setting + ": " + op.getName() + " has no parameter '" + name + "'; valid: " +
                (valid.empty() ? "(none)" : valid));
}

// The components of one VALUE, parsed for parm.
static ParmSetting parseSetting(const PRM_Template &parm, const std::string &value, const std::string &setting)
{
    int size = parm.getVectorSize() > 0 ? parm.getVectorSize() : 1;
    ParmSetting p{&parm, {}, {}};
    if (parm.isStringType() && size == 1)
    {
        p.strings.push_back(value);
        return p;
    }
    std::vector<std::string> parts = splitComponents(value);
    if (int(parts.size()) != size)
        throw Error(setting + ": '" + parm.getToken() + "' takes " + std::to_string(size) + " comma-separated " +
                    (size == 1 ? "value" : "values") + " (" + parm.getTypeName() + "), got " + std::to_string(parts.size()));
    for (const std::string &part : parts)
    {
        if (parm.isStringType())
            p.strings.push_back(part);
        else
            p.numbers.push_back(parseComponent(parm, part, setting));
    }
    return p;
}

std::vector<ParmSetting> parseParameters(const OP_Operator &op, const std::vector<ParmText> &given, const DoorWording &door)
{
    std::vector<ParmSetting> checked;
    std::vector<const PRM_Template *> parms = valueParameters(op);
    for (const ParmText &g : given)
    {
        // setting: the value as the door spells it, the start of every message.
        const std::string setting = door.parameter(g.name, g.shown);
        const PRM_Template *parm = findParameter(op, parms, g.name, setting);
        checked.push_back(parseSetting(*parm, g.value, setting));
    }
    return checked;
}

std::vector<ParmSetting> parseParameters(const OP_Operator &op, const std::vector<std::string> &assignments)
{
    std::vector<ParmText> given;
    for (const std::string &a : assignments)
    {
        size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) throw Error("-s " + a + ": expected NAME=VALUE");
        given.push_back({a.substr(0, eq), a.substr(eq + 1), a.substr(eq + 1)});
    }
    return parseParameters(op, given, commandLineWording());
}

std::vector<std::string> parameterAdjustments(const std::vector<ParmSetting> &settings, const DoorWording &door)
{
    std::vector<std::string> notes;
    for (const ParmSetting &p : settings)
    {
        // The volume operators build at least 2 voxels along every axis.
        if (std::strcmp(p.parm->getToken(), "divs") != 0 || p.parm->getType() != PRM_INT) continue;
        std::string given, used;
        bool changed = false;
        for (size_t i = 0; i < p.numbers.size(); ++i)
        {
            changed |= p.numbers[i] < 2;
            given += (i ? "," : "") + formatNumber(p.numbers[i]);
            used += (i ? "," : "") + formatNumber(p.numbers[i] < 2 ? 2 : p.numbers[i]);
        }
        if (changed)
            notes.push_back(door.parameter("divs", given) + ": a volume has at least 2 divisions along each axis; cooking divs=" + used);
    }
    return notes;
}

void applyParameters(OP_Node &node, const std::vector<ParmSetting> &settings)
{
    for (const ParmSetting &p : settings)
    {
        for (size_t i = 0; i < p.numbers.size(); ++i) node.setFloat(p.parm->getToken(), int(i), p.numbers[i]);
        for (size_t i = 0; i < p.strings.size(); ++i) node.setString(p.parm->getToken(), int(i), p.strings[i]);
    }
}

void assignParameters(OP_Node &node, const OP_Operator &op, const std::vector<std::string> &assignments)
{
    applyParameters(node, parseParameters(op, assignments));
}
} // namespace sopcook
