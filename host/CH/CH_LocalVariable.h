// SPDX-License-Identifier: Apache-2.0
#pragma once

struct CH_LocalVariable
{
    const char *name;
    int id;
    unsigned flag;
};
