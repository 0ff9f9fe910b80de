// SPDX-License-Identifier: Apache-2.0
#include "farm/FarmCommands.h"

#include <iostream>

#include "cook/PluginRegistry.h"
#include "cook/UserPaths.h"
#include "farm/FarmFiles.h"
#include "farm/FarmReport.h"
#include "farm/SlurmSubmit.h"
#include "vdb/Merge.h"

namespace sopcook
{
FarmCommands::FarmCommands(CLI::App &app)
{
    myFarm = app.add_subcommand("farm", "Cook on a render farm (Slurm): frames as array tasks, huge frames as slabs");
    myFarm->require_subcommand(1);
    CLI::App *slurm = myFarm->add_subcommand("slurm", "Submit to Slurm with sbatch");
    slurm->require_subcommand(1);
    mySlurmCook = slurm->add_subcommand("cook", "Submit `sopcook cook` as an array job: one task per frame, chunk or slab");
    addCookArguments(*mySlurmCook, myCook);
    FarmOptions &f = myFarmOptions;
    mySlurmCook->add_option("--chunk", f.chunk, "Frames per task (default 1)");
    mySlurmCook->add_option("--slabs", f.slabs, "Split every frame into N z-slab tasks, merged by a job that runs after them");
    mySlurmCook->add_option("--partition", f.partition, "Slurm partition");
    mySlurmCook->add_option("--time", f.time, "Slurm time limit per task (such as 30 or 2:00:00)");
    mySlurmCook->add_option("--mem", f.mem, "Memory per task (such as 8G; default: from the cook's estimate)");
    mySlurmCook->add_option("--job-dir", f.jobDir, "Job folder for scripts, stats and logs (default: OUTPUT-NAME.farm next to the output)");
    mySlurmCook->add_flag("--dry-run", f.dryRun, "Print the sbatch scripts instead of submitting them");
    mySlurmCook->add_flag("--resubmit", f.resubmit,
                          "Into a job folder holding an earlier job's stats and logs: move them aside (to JOBDIR/earlier-N)");

    myReport = myFarm->add_subcommand("report", "Frames done and failed, timings and peak memory of a farm job");
    myReport->add_option("JOBDIR", myJobDir, "The job folder `farm slurm cook` wrote")->required();

    myMerge = app.add_subcommand("merge", "Join the slab files of one cook (cook --slab I/N) into one .vdb file");
    myMerge->add_option("OUT", myMergeOut, "Merged .vdb file")->required();
    myMerge->add_option("PARTS", myMergeParts, "The slab files, every slab once")->required();
}

bool FarmCommands::chosen() const { return myFarm->parsed() || myMerge->parsed(); }

int FarmCommands::run()
{
    if (myMerge->parsed())
    {
        checkUserPaths(mergeUserPaths(myMergeOut, myMergeParts));
        mergeSlabFiles(myMergeOut, myMergeParts);
        return 0;
    }
    if (myReport->parsed()) return reportFarmJob(myJobDir, std::cout);
    myCook.finish();
    myFarmOptions.cookWords = cookCommandWords(myCook, taskOptions(), absolutePath);
    PluginRegistry plugins;
    return runFarmSlurmCook(plugins, myCook.options, myFarmOptions);
}
} // namespace sopcook
