// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook farm report JOBDIR`: what the tasks of a farm job did, gathered
// from the --stats lines they wrote into the job folder.
#include <ostream>
#include <string>

namespace sopcook
{
// Prints frames done and failed, cook and write seconds and peak memory;
// returns 0 when every frame (and every merge) is done, 1 otherwise. A frame
// whose task wrote no line for it (died, never ran, still running), or whose
// output does not read back complete, failed.
int reportFarmJob(const std::string &dir, std::ostream &out);
} // namespace sopcook
