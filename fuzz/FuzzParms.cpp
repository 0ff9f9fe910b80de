// -s NAME=VALUE settings (one per line of the input) against a small
// operator with every kind of parameter: either all are set, or
// sopcook::Error and none is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Messages.h"
#include "ParmAssign.h"
#include "SOP/SOP_Node.h"

namespace
{
PRM_Name divsName("divs"), sizeName("size"), countName("count"), flagName("flag"), nameName("name"),
    pathName("path"), fileName("file"), tagsName("tags");
PRM_Default threeTens[] = {PRM_Default(10), PRM_Default(10), PRM_Default(10)};
PRM_Default nameDefault(0, "density");

PRM_Template templates[] = {
    PRM_Template(PRM_INT, 3, &divsName, threeTens),
    PRM_Template(PRM_FLT, 3, &sizeName, PRMoneDefaults),
    PRM_Template(PRM_SEPARATOR, 1, nullptr),
    PRM_Template(PRM_INT, 1, &countName, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &flagName),
    PRM_Template(PRM_STRING, 1, &nameName, &nameDefault),
    PRM_Template(PRM_STRING_OPREF, 1, &pathName),
    PRM_Template(PRM_FILE, 1, &fileName),
    PRM_Template(PRM_STRING, 2, &tagsName),
    PRM_Template(),
};

class SOP_FuzzTarget : public SOP_Node
{
public:
    using SOP_Node::SOP_Node;
    static OP_Node *create(OP_Network *net, const char *name, OP_Operator *op) { return new SOP_FuzzTarget(net, name, op); }

protected:
    OP_ERROR cookMySop(OP_Context &) override { return error(); }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static OP_Operator op("fuzztarget", "Fuzz Target", SOP_FuzzTarget::create, templates, 0, 0);
    std::vector<std::string> settings;
    std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t start = 0; start <= text.size();)
    {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        settings.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    SOP_FuzzTarget node(nullptr, "fuzz1", &op);
    try
    {
        sopcook::assignParameters(node, op, settings);
    }
    catch (const sopcook::Error &)
    {
    }
    return 0;
}
