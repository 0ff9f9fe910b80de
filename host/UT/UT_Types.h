// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include "UT_Visibility.h"

typedef double fpreal;
typedef double fpreal64;
typedef float fpreal32;
typedef int64_t exint;

// Geometry element offsets and indices. Details keep their elements packed,
// so an offset always equals the element's index.
typedef int64_t GA_Offset;
typedef int64_t GA_Index;
typedef int64_t GA_Size;
static constexpr GA_Offset GA_INVALID_OFFSET = -1;

enum UT_ErrorSeverity
{
    UT_ERROR_NONE = 0,
    UT_ERROR_MESSAGE,
    UT_ERROR_WARNING,
    UT_ERROR_ERROR,
    UT_ERROR_ABORT,
    UT_ERROR_FATAL
};
typedef UT_ErrorSeverity OP_ERROR;
