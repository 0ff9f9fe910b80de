// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <memory>
#include <string>
#include <vector>
#include "CH/CH_LocalVariable.h"
#include "PRM/PRM_Template.h"

class OP_Network;
class OP_Node;
class OP_Operator;

typedef OP_Node *(*OP_Constructor)(OP_Network *, const char *, OP_Operator *);
// A function a plug-in exports, called through its own type by who knows it.
typedef void (*OP_PluginFunction)();

static constexpr unsigned OP_FLAG_GENERATOR = 0x02;

// One operator type: its names, factory, parameters and inputs.
class UT_API OP_Operator
{
public:
    OP_Operator(const char *name, const char *english, OP_Constructor construct, PRM_Template *templates,
                unsigned min_sources, unsigned max_sources = 9999, CH_LocalVariable *variables = nullptr,
                unsigned flags = 0, const char **inputlabels = nullptr);
    virtual ~OP_Operator();

    const std::string &getName() const { return myName; }
    const std::string &getEnglish() const { return myEnglish; }
    PRM_Template *getParmTemplates() const { return myTemplates; }
    CH_LocalVariable *getVariables() const { return myVariables; }
    unsigned minInputs() const { return myMinSources; }
    unsigned maxInputs() const { return myMaxSources; }
    unsigned getFlags() const { return myFlags; }
    std::string getInputLabel(unsigned idx) const;
    OP_Node *constructNode(OP_Network *parent, const char *name);

    // The plug-in library that registered this operator ("" when built in).
    const std::string &getDSOPath() const { return myDSOPath; }
    void setDSOPath(const std::string &path) { myDSOPath = path; }

    // The plug-in's optional "sopOperatorTraits" export (null when none):
    // what the operator says about itself to hosts that ask.
    OP_PluginFunction getTraitsEntry() const { return myTraitsEntry; }
    void setTraitsEntry(OP_PluginFunction entry) { myTraitsEntry = entry; }

private:
    std::string myName, myEnglish;
    OP_Constructor myConstructor;
    PRM_Template *myTemplates;
    unsigned myMinSources, myMaxSources;
    CH_LocalVariable *myVariables;
    unsigned myFlags;
    std::vector<std::string> myInputLabels;
    std::string myDSOPath;
    OP_PluginFunction myTraitsEntry = nullptr;
};

// The host's table of operator types; owns what is added to it.
class UT_API OP_OperatorTable
{
public:
    OP_OperatorTable();
    ~OP_OperatorTable();

    // False (and the operator deleted) when the name is taken.
    bool addOperator(OP_Operator *op);
    OP_Operator *getOperator(const std::string &name) const;
    const std::vector<std::unique_ptr<OP_Operator>> &operators() const { return myOperators; }

private:
    std::vector<std::unique_ptr<OP_Operator>> myOperators;
};
