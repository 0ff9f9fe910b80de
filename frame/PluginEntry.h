// SPDX-License-Identifier: Apache-2.0
#pragma once
// The exports every plug-in carries, and the registration of its one
// operator. Use one of them once per plug-in, at file scope:
//   SOP_PLUGIN_ENTRY(plumeweave::SOP_plumeweave, "plumeweave", "Plumeweave", 2)
//   SOP_PLUGIN_ENTRY_TRAITS(plumeweave::SOP_plumeweave, "plumeweave", "Plumeweave", 2, wisps::plumeweaveTraits())
// The second also exports the operator's traits (OperatorTraits.h), which
// TRAITS, an expression of type traits::OperatorTraits, gives once.
#include "OP/OP_Operator.h"
#include "OperatorTraits.h"
#include "SOP_VolumeOperator.h"

#define SOP_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

#define SOP_PLUGIN_ENTRY(CLASS, NAME, LABEL, MAX_INPUTS)                                                  \
    SOP_PLUGIN_EXPORT void HoudiniDSOVersion(const char **v) { *v = "13.0"; }                              \
    SOP_PLUGIN_EXPORT void HoudiniGetTagInfo(const char **v) { *v = SOP_PLUGIN_TAG; }                      \
    SOP_PLUGIN_EXPORT unsigned HoudiniCompilerVersion() { return 404; }                                    \
    SOP_PLUGIN_EXPORT void newSopOperator(OP_OperatorTable *table)                                         \
    {                                                                                                      \
        table->addOperator(new OP_Operator(NAME, LABEL, CLASS::myConstructor, CLASS::myTemplateList, 0,    \
                                           MAX_INPUTS, CLASS::myVariables, OP_FLAG_GENERATOR,              \
                                           frameInputLabels));                                             \
    }

// A host asks with the traits version and tool-chain tag it was built with;
// the record is returned only when both are this plug-in's.
#define SOP_PLUGIN_ENTRY_TRAITS(CLASS, NAME, LABEL, MAX_INPUTS, TRAITS)                                   \
    SOP_PLUGIN_ENTRY(CLASS, NAME, LABEL, MAX_INPUTS)                                                       \
    SOP_PLUGIN_EXPORT const void *sopOperatorTraits(unsigned version, const char *toolchain)               \
    {                                                                                                      \
        static const traits::OperatorTraits record = TRAITS;                                               \
        bool same = version == traits::version && toolchain && std::strcmp(toolchain, SOP_PLUGIN_TAG) == 0; \
        return same ? &record : nullptr;                                                                   \
    }
