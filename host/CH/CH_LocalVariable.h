#pragma once

struct CH_LocalVariable
{
    const char *name;
    int id;
    unsigned flag;
};
