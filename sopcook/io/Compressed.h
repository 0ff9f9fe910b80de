// SPDX-License-Identifier: Apache-2.0
#pragma once
// The compressed wrappings geometry files come in: gzip (.bgeo.gz, .geo.gz)
// and the host's seekable Blosc container (.bgeo.sc). Each returns the payload.
#include <string>

namespace sopcook
{
bool isGzip(const std::string &bytes);
std::string gunzip(const std::string &bytes, const std::string &label);

bool isBloscContainer(const std::string &bytes);
std::string unpackBloscContainer(const std::string &bytes, const std::string &label);
} // namespace sopcook
