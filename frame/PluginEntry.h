// SPDX-License-Identifier: Apache-2.0
#pragma once
// The four exports every plug-in carries, and the registration of its one
// operator. Use once per plug-in, at file scope:
//   SOP_PLUGIN_ENTRY(plumeweave::SOP_plumeweave, "plumeweave", "Plumeweave", 2)
#include "OP/OP_Operator.h"
#include "SOP_VolumeOperator.h"

#define SOP_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// The build tag this tool chain stamps into plug-ins.
#define SOP_PLUGIN_TAG "plumeweave-suite-13.0 gcc-c++17"

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
