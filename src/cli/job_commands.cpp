// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/job_commands.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/pair_options.h"
#include "model/job.h"
#include "project/project_file.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace tavrel::cli {
namespace {

// One action of `new` or `edit` as read from the command line. Pair options are kept as the
// arguments they came in, checked once on a scratch pair while reading (so a bad value is
// refused before the file is opened) and applied to the real pair later.
struct Action
{
    enum class Kind
    {
        Add,
        Change,
        Enable,
        Disable,
        Remove,
    };
    Kind kind;
    std::string option;      // "--pair", "--change", ...
    std::string_view target; // the PAIR of --change, --enable, --disable and --remove
    model::FolderPair added; // the pair of --pair
    std::vector<std::span<const std::string_view>> pairOptions;

    // "--change Docs": names the action in messages.
    std::string label() const { return option + " " + quoteArgument(target); }
};

struct CommandLine
{
    std::optional<std::string_view> file;
    bool force = false;
    bool help = false;
    std::vector<Action> actions;
};

CommandLine readCommandLine(std::span<const std::string_view> arguments, bool editing)
{
    CommandLine line;
    ArgumentReader reader(arguments);
    Action* current = nullptr; // the action pair options apply to
    model::FolderPair scratch;
    while (reader.next()) {
        const std::string_view argument = reader.current();
        if (!reader.isOption()) {
            if (line.file)
                throw UsageError("one project file only (" + quoteArgument(*line.file) + " and " +
                                 quoteArgument(argument) + ")");
            line.file = argument;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            line.help = true;
            return line;
        }
        if (argument == "--force" && !editing) {
            reader.noValue();
            line.force = true;
            continue;
        }
        if (argument == "--pair") {
            const auto values = reader.values(4, "NAME METHOD ORG TGT");
            Action add{Action::Kind::Add, "--pair", values[0], pairFromArguments("--pair", values), {}};
            line.actions.push_back(std::move(add));
            current = &line.actions.back();
            scratch = current->added;
            continue;
        }
        if (editing && (argument == "--change" || argument == "--enable" || argument == "--disable" ||
                        argument == "--remove")) {
            const Action::Kind kind = argument == "--change"    ? Action::Kind::Change
                                      : argument == "--enable"  ? Action::Kind::Enable
                                      : argument == "--disable" ? Action::Kind::Disable
                                                                : Action::Kind::Remove;
            const std::string_view target = reader.value();
            if (target.empty())
                throw UsageError(std::string(argument) + " needs a PAIR (a slot number or a pair's name)");
            line.actions.push_back(Action{kind, std::string(argument), target, {}, {}});
            current = kind == Action::Kind::Change ? &line.actions.back() : nullptr;
            scratch = {};
            continue;
        }
        if (isPairOption(argument)) {
            if (current == nullptr)
                throw UsageError(
                    std::string(argument) + ": pair options follow " +
                    (editing ? "--pair NAME METHOD ORG TGT or --change PAIR" : "--pair NAME METHOD ORG TGT"));
            applyPairOption(reader, scratch);
            current->pairOptions.push_back(reader.taken());
            continue;
        }
        throw UsageError("unknown option " + quoteArgument(argument));
    }
    if (!line.file)
        throw UsageError("no project file given");
    if (line.actions.empty())
        throw UsageError(editing ? "nothing to change (--pair, --change, --enable, --disable or --remove)"
                                 : "no pair given (--pair NAME METHOD ORG TGT)");
    return line;
}

// Applies the kept pair options to `pair` and checks it whole.
void finishPair(const Action& action, model::FolderPair& pair)
{
    for (const std::span<const std::string_view> option : action.pairOptions) {
        ArgumentReader again(option);
        again.next();
        applyPairOption(again, pair);
    }
    checkWholePair(pair, action.label());
    settlePair(pair);
}

void apply(model::Job& job, const Action& action)
{
    if (action.kind == Action::Kind::Add) {
        model::FolderPair* pair = job.addPair();
        if (pair == nullptr)
            throw UsageError(action.label() + ": a job holds at most " + std::to_string(model::kMaxPairs) +
                             " pairs");
        *pair = action.added;
        finishPair(action, *pair);
        return;
    }
    const int slot = findPair(job, action.option, action.target);
    switch (action.kind) {
    case Action::Kind::Change:
        finishPair(action, *job.pairAt(slot));
        break;
    case Action::Kind::Enable:
    case Action::Kind::Disable:
        job.pairAt(slot)->enabled = action.kind == Action::Kind::Enable ? 1 : 0;
        break;
    case Action::Kind::Remove:
        job.removePair(slot);
        break;
    case Action::Kind::Add:
        break;
    }
}

// The window's message for a file it cannot save, with the cause on a line of its own.
ExitCode cannotSave(std::string_view file, std::string_view cause)
{
    std::string text = "tavrel-sync-cli: Failed to save TSP file.\ntavrel-sync-cli: ";
    text += quoteArgument(file);
    text += ": ";
    text += cause;
    text += "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return ExitCode::CannotSave;
}

ExitCode save(const model::Job& job, std::string_view file)
{
    std::error_code error;
    if (project::saveProject(job, std::filesystem::path(file), error))
        return ExitCode::Succeeded;
    return cannotSave(file, error ? error.message() : std::string("the job cannot be stored"));
}

} // namespace

ExitCode runNew(std::span<const std::string_view> arguments)
{
    model::Job job;
    std::string_view file;
    try {
        const CommandLine line = readCommandLine(arguments, false);
        if (line.help)
            return printCommandHelp("new");
        for (const Action& action : line.actions)
            apply(job, action);
        file = *line.file;
        std::error_code error;
        if (!line.force && std::filesystem::symlink_status(std::filesystem::path(file), error).type() !=
                               std::filesystem::file_type::not_found)
            return cannotSave(file, "exists; --force replaces it");
    } catch (const UsageError& error) {
        return usageError(std::string("new: ") + error.what());
    }
    return save(job, file);
}

ExitCode runEdit(std::span<const std::string_view> arguments)
{
    CommandLine line;
    try {
        line = readCommandLine(arguments, true);
        if (line.help)
            return printCommandHelp("edit");
    } catch (const UsageError& error) {
        return usageError(std::string("edit: ") + error.what());
    }
    model::Job job;
    if (!openJobFile(job, *line.file))
        return ExitCode::ProjectRefused;
    try {
        for (const Action& action : line.actions)
            apply(job, action);
    } catch (const UsageError& error) {
        return usageError(std::string("edit: ") + error.what());
    }
    return save(job, *line.file);
}

} // namespace tavrel::cli
