// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <map>
#include <string>
#include "OP_Node.h"

class UT_API OP_Network : public OP_Node
{
public:
    using OP_Node::OP_Node;
};

// The root of the node tree: finds nodes by absolute path ("/obj/cam1").
class UT_API OP_Director : public OP_Network
{
public:
    OP_Director();
    OP_Node *findNode(const char *path) const;
    // Makes node findable under path (replacing any node there).
    void registerNode(const std::string &path, OP_Node *node);
    void unregisterNode(OP_Node *node);

private:
    std::map<std::string, OP_Node *> myNodes;
};

UT_API OP_Director *OPgetDirector();
