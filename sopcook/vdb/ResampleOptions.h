// SPDX-License-Identifier: Apache-2.0
#pragma once
// The settings of a uniform resample (--resample uniform[=SIZE]), and the
// hooks a caller gives it to show progress and stop it. Free of OpenVDB
// headers, so the writer's callers compile quickly.
#include <string>
#include "Messages.h"

namespace sopcook
{
// Watches a resample: the command line shows a progress line and stops on
// Ctrl-C through it. The vdb layer only calls it; the cook implements it.
class ResampleMonitor
{
public:
    virtual ~ResampleMonitor() = default;
    // Before the first grid, with the interrupt polls the whole resample
    // makes (roughly: one per output row and one per input leaf).
    virtual void begin(double polls) = 0;
    // Often, from several threads at once; true asks the resample to stop.
    virtual bool poll() = 0;
    // After the last grid, or when the resample stops or fails.
    virtual void end() = 0;
};

// A resample stopped through its monitor: nothing was made, nothing written.
struct ResampleInterrupted : Error
{
    using Error::Error;
};

// How the door names the resample in its messages; the command line's
// options by default.
struct ResampleWording
{
    std::string option = "--resample";          // the resample as a whole
    std::string uniform = "--resample uniform"; // a uniform resample at the typical voxel size
    std::string sized = "--resample uniform=";  // followed by a voxel size; empty where the door takes none
    std::string instead;                        // with no sized option: what to do instead of a smaller resample
};

// --resample uniform[=SIZE]: every grid resampled onto one linear transform
// with cubic voxels of edge voxelSize (0: the typical voxel edge where the
// grids hold values, see typicalVoxelEdge in Resample.h).
struct ResampleOptions
{
    bool uniform = false;
    double voxelSize = 0;
    // The memory the resampled grids may take (0: no limit but OpenVDB's); a
    // resample needing more is refused, naming a voxel size that fits.
    double memoryBytes = 0;
    ResampleMonitor *monitor = nullptr; // null: runs to the end unwatched
    ResampleWording wording;
};
} // namespace sopcook
