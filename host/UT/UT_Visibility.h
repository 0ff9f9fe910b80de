// SPDX-License-Identifier: Apache-2.0
#pragma once
// Host classes keep default visibility so plug-ins built with hidden
// visibility still share their type information with the host process.
#define UT_API __attribute__((visibility("default")))
