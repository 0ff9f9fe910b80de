// SPDX-License-Identifier: Apache-2.0
#pragma once
// A uniform resample watched as a cook is: a progress line while it runs,
// and a first Ctrl-C or SIGTERM stops it (nothing is written). A signal that
// arrived during the cook has already asked for the partial result, so it
// does not stop the resample of that result; a further one aborts as usual.
#include <atomic>
#include <memory>
#include <string>
#include "cook/Interrupts.h"
#include "vdb/ResampleOptions.h"

namespace sopcook
{
class ResampleWatch : public ResampleMonitor
{
public:
    // label: what the progress line names ("OPERATOR frame 3");
    // showProgress: draw the line (a terminal, or -v).
    ResampleWatch(const std::string &label, bool showProgress);

    void begin(double polls) override;
    bool poll() override;
    void end() override;

    // True once a signal stopped the resample.
    bool stopped() const { return myStopped.load(); }

private:
    std::string myLabel;
    bool myShowProgress;
    bool myArmed = false; // no signal yet when the resample began
    std::atomic<bool> myStopped{false}; // set from the resampling threads
    std::unique_ptr<ProgressLine> myProgress;
};
} // namespace sopcook
