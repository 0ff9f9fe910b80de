#pragma once
// Reading input geometry files into a detail: the host's ASCII JSON format
// (.geo) and PLY (ASCII and binary).
#include <string>
#include <vector>
#include "GU/GU_Detail.h"

namespace sopcook
{
// Reads path into gdp by its extension (.geo / .json, .ply). Throws Error with
// the file, the place and what was expected; recoverable oddities (unknown
// keys, unsupported primitive types) are appended to warnings.
void readGeometryFile(const std::string &path, GU_Detail &gdp, std::vector<std::string> &warnings);

// The readers proper, on the file's bytes; label names the file in messages.
void readGeoJson(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
void readPly(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);

// The whole file, or an Error saying why it cannot be read.
std::string readFileBytes(const std::string &path, const char *what = "input");
} // namespace sopcook
