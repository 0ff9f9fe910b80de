// SPDX-License-Identifier: Apache-2.0
#include "cook/ResampleWatch.h"

#include "UT/UT_Interrupt.h"

namespace sopcook
{
ResampleWatch::ResampleWatch(const std::string &label, bool showProgress)
    : myLabel(label), myShowProgress(showProgress)
{
}

void ResampleWatch::begin(double polls)
{
    myArmed = !SignalGuard::interrupted();
    if (myArmed) setInterruptMessage("interrupted; stopping the resample, nothing is written (again to abort at once)");
    ProgressLine::Work work;
    work.polls = polls;
    work.stoppingNote = myArmed ? "stopping the resample" : "Ctrl-C again to abort without writing";
    myProgress = std::make_unique<ProgressLine>(myLabel + " resampling", myShowProgress, work);
}

bool ResampleWatch::poll()
{
    // Counted as the cook's polls are, so the progress line moves.
    UTgetInterrupt()->opInterrupt();
    if (myArmed && SignalGuard::interrupted()) myStopped.store(true);
    return myStopped.load();
}

void ResampleWatch::end() { myProgress.reset(); }
} // namespace sopcook
