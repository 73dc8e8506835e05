// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/history_command.h"
#include "cli/job_commands.h"
#include "cli/pair_options.h"
#include "cli/run_command.h"
#include "cli/schedule_command.h"
#include "cli/show_command.h"
#include "cli/state_command.h"
#include "cli/watch_command.h"
#include "project/project_file.h"
#include "text/text_codec.h"

#include <array>
#include <filesystem>
#include <string>

namespace tavrel::cli {
namespace {

// New subcommands are added here (and nowhere else in this folder besides their own file);
// the usage text follows the table.
constexpr std::array kCommands{
    CliCommand{"run",
               "JOB.TSP [--report FILE] [--json] [--no-progress] [--debug] [-q | -v]\n"
               "[--dry-run] [--allow-mass-delete] [--create-missing] [--no-history]\n"
               "[--notify always|errors|never]",
               "Runs the job as the window's Execute does. stdout gets the log, then \"End process.\"\n"
               "and the outcome; stderr gets each error line with the system's reason.\n"
               "  --report FILE        write the HTML report there (default: report.htm beside the\n"
               "                       program, else in the user's data folder); a FILE that\n"
               "                       cannot be written is an error and nothing runs\n"
               "  -q, --quiet          print no log and no outcome: only the errors, on stderr\n"
               "  -v, --verbose        also print each change as the report records it, a line\n"
               "                       each: [A] folder made, [C] copied, [O] overwritten, [D] deleted\n"
               "  --json               end with one line of JSON: the result, the errors, every\n"
               "                       counter\n"
               "  --no-progress        no progress line (it is shown only when stderr is a terminal)\n"
               "  --debug              print the folders the counting walk searches, on stderr\n"
               "  --dry-run            change nothing: print the log the run would print, then\n"
               "                       \"Preview: \" and its outcome (the JSON gets \"preview\":true)\n"
               "  --allow-mass-delete  let Absolute Copy delete more than half of a target's files\n"
               "                       (without it, those deletions are skipped with an error)\n"
               "  --create-missing     make a target folder that existed when its pair last ran\n"
               "                       and is missing now (without it: an error, as its drive\n"
               "                       may be away; a drive that is not mounted is never written)\n"
               "  --no-history         do not keep the report in the run history (the user's data\n"
               "                       folder's reports/, the newest 100 runs)\n"
               "  --notify WHEN        a desktop notification at the end, with an action that opens\n"
               "                       the report: always, errors (errors, conflicts, skipped mass\n"
               "                       deletions, a stop, a full disk) or never; default: never when\n"
               "                       stdin or stderr is a terminal, else errors (timers, scripts)\n"
               "Each error line on stderr starts with \"tavrel-sync-cli: \"; when stdout and stderr\n"
               "are one file, it gives only the reason below the log's line.\n"
               "Exit status: 0 succeeded, 1 stopped, 2 disk full, 3 project refused,\n"
               "4 completed with errors, 64 usage, 73 the --report FILE cannot be written;\n"
               "a dry run's status is that of its outcome.\n"
               "Ctrl+C, SIGTERM and SIGHUP stop the run.\n",
               runRun},
    CliCommand{"show", "JOB.TSP",
               "Prints every pair of the job as the window's pair information panel shows it,\n"
               "each headed by its slot number.\n",
               runShow},
    CliCommand{"new", "JOB.TSP --pair NAME METHOD ORG TGT [PAIR OPTIONS] [--pair ...] [--force]",
               "Writes a new project file with the pairs given. Each value is checked as the pair\n"
               "dialog checks it. An existing file is kept unless --force is given.\n",
               runNew},
    CliCommand{"edit", "JOB.TSP ACTION [PAIR OPTIONS]...",
               "Changes a project file; the actions apply in order and the file is written once,\n"
               "only when all of them are valid.\n"
               "  --pair NAME METHOD ORG TGT   add a pair (as `new` does)\n"
               "  --change PAIR                change the pair: the pair options after it apply to it\n"
               "  --enable PAIR | --disable PAIR\n"
               "  --remove PAIR\n"
               "PAIR is a slot number as `show` prints it, or a pair's name.\n",
               runEdit},
    CliCommand{"state", "forget JOB.TSP PAIR",
               "Forgets what a Synchronize pair that remembers (--remember) knows of its last run:\n"
               "its next run is a first run again, which copies both ways and deletes nothing.\n"
               "PAIR is a slot number as `show` prints it, or a pair's name.\n",
               runState},
    CliCommand{"schedule",
               "JOB.TSP --daily HH:MM | --hourly | --every DURATION | --on-login | --watch\n"
               "JOB.TSP --remove | --list",
               "Runs the job by a systemd user timer: writes tavrel-sync-NAME.service and .timer\n"
               "(NAME: the file's name without extension, escaped as systemd-escape does) in\n"
               "$XDG_CONFIG_HOME/systemd/user/ and enables the timer with systemctl --user.\n"
               "  --daily HH:MM     every day at that time\n"
               "  --hourly          at the start of every hour\n"
               "  --every DURATION  a systemd time span after boot and after each run (30min, 2h, 1d)\n"
               "  --on-login        no timer: the service runs when the user's manager starts\n"
               "  --watch           no timer: the service starts with the user's manager and runs\n"
               "                    `watch` (Type=simple), syncing each change as it comes\n"
               "  --remove          disable and delete the job's units\n"
               "  --list            the jobs scheduled so, with their schedule\n"
               "Without a user manager the units are written but not enabled, said on stderr.\n"
               "The run's output goes to the journal (journalctl --user -u UNIT); a run that ends\n"
               "with errors or a stop shows a desktop notification (see run --notify).\n"
               "Exit status: 0 done, 3 project refused, 64 usage, 73 a unit could not be written.\n",
               runSchedule},
    CliCommand{"watch",
               "JOB.TSP [--delay SECONDS] [--full-every HOURS] [--poll SECONDS] [--json]\n"
               "[--notify always|errors|never]",
               "Runs the job, then watches both folders of every enabled pair and runs again when\n"
               "they have been quiet for the delay, handling only the folders that changed.\n"
               "  --delay SECONDS     quiet time before a run (default 10); a steady stream of\n"
               "                      changes still runs after six delays\n"
               "  --full-every HOURS  run the whole job that often (default 24), and whenever the\n"
               "                      system lost track of changes\n"
               "  --poll SECONDS      how often folders on FUSE, NFS or SMB volumes, and trees over\n"
               "                      fs.inotify.max_user_watches, are compared (default 60)\n"
               "  --json              one JSON object per run instead of a line of text\n"
               "  --notify WHEN       a desktop notification after each run: always, errors (the\n"
               "                      default unless started from a terminal) or never\n"
               "A pair with a missing folder (a drive away) waits until it is back, then runs whole.\n"
               "Each run keeps its report in the run history. Ctrl+C, SIGTERM and SIGHUP stop the\n"
               "current run and end the watch; the exit status is that of the last run (0 before\n"
               "any), as for run.\n",
               runWatch},
    CliCommand{"history", "[JOB.TSP] [--open N]",
               "Lists the runs whose reports are kept (the user's data folder's reports/, the\n"
               "newest 100), newest first and numbered from 1: start time, outcome, errors,\n"
               "changes and job; with JOB.TSP, only that job's runs.\n"
               "  --open N   print only the path of run N's report, to open it:\n"
               "             xdg-open \"$(tavrel-sync-cli history --open 1)\"\n"
               "Exit status: 0 done, 64 usage (also a number the list does not have).\n",
               runHistory},
};

// The usage line of `command` after `prefix`: a second line of its arguments is indented to
// where they begin.
std::string usageLine(std::string_view prefix, const CliCommand& command)
{
    const std::string start = std::string(prefix) + std::string(command.name) + " ";
    std::string line = start;
    for (const char c : command.arguments) {
        line.push_back(c);
        if (c == '\n')
            line.append(start.size(), ' ');
    }
    return line + "\n";
}

} // namespace

std::span<const CliCommand> cliCommands()
{
    return kCommands;
}

void printUsage(std::FILE* stream)
{
    std::fputs("usage:\n", stream);
    for (const CliCommand& command : kCommands)
        std::fputs(usageLine("  tavrel-sync-cli ", command).c_str(), stream);
    std::fputs("  tavrel-sync-cli --help | --version\n"
               "  tavrel-sync-cli COMMAND --help\n",
               stream);
}

// One line for the mistake and one for where help is, as rsync and git do: a script's log is
// not flooded with the whole usage text on every typo.
ExitCode usageError(std::string_view reason)
{
    std::string help = "tavrel-sync-cli --help";
    for (const CliCommand& command : kCommands) {
        const std::string_view name = command.name;
        if (reason.starts_with(name) && reason.substr(name.size()).starts_with(": ")) {
            help = "tavrel-sync-cli " + std::string(name);
            help += " --help";
        }
    }
    std::string text = "tavrel-sync-cli: ";
    text += reason;
    text += "\nTry '";
    text += help;
    text += "' for more information.\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return ExitCode::Usage;
}

ExitCode printCommandHelp(std::string_view name)
{
    for (const CliCommand& command : kCommands) {
        if (command.name != name)
            continue;
        std::string text = usageLine("usage: tavrel-sync-cli ", command) + std::string(command.help);
        if (name == "new" || name == "edit")
            text += std::string(kPairOptionsHelp);
        text += "\"--\" ends the options; what follows is the project file.\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        return ExitCode::Succeeded;
    }
    return usageError("unknown command: " + std::string(name));
}

bool openJobFile(model::Job& job, std::string_view file)
{
    project::OpenFailure failure;
    if (project::openProject(job, std::filesystem::path(file), failure))
        return true;
    job.clear();
    std::string reason = "tavrel-sync-cli: ";
    reason += quoteArgument(file);
    reason += ": ";
    reason += project::refusalText(failure);
    reason += "\n";
    std::fputs("tavrel-sync-cli: Failed to open TSP file.\n", stderr);
    std::fwrite(reason.data(), 1, reason.size(), stderr);
    return false;
}

} // namespace tavrel::cli
