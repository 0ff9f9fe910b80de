// SPDX-License-Identifier: Apache-2.0
#pragma once
// The compressed wrappings geometry files come in: gzip (.bgeo.gz, .geo.gz)
// and the host's seekable Blosc container (.bgeo.sc). Each returns the payload,
// refusing (before allocating it) a payload larger than limits allow.
#include <string>

#include "io/ReadLimits.h"

namespace sopcook
{
bool isGzip(const std::string &bytes);
std::string gunzip(const std::string &bytes, const std::string &label, const ReadLimits &limits);

bool isBloscContainer(const std::string &bytes);
std::string unpackBloscContainer(const std::string &bytes, const std::string &label, const ReadLimits &limits);
} // namespace sopcook
