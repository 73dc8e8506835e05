// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/show_command.h"

#include "cli/arguments.h"
#include "cli/cli_command.h"
#include "cli/terminal_text.h"
#include "model/job.h"
#include "project/project_file.h"
#include "text/text_codec.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace tavrel::cli {
namespace {

// Text from a project file on one line of the listing; a crafted file cannot send commands to
// the terminal, and a lone surrogate shows as U+FFFD.
std::string printable(std::u16string_view text)
{
    return printableText(text::toUtf8(text), Breaks::Escape);
}

std::string orUnknownValue(std::u16string_view text, int32_t value)
{
    if (!text.empty())
        return text::toUtf8(text);
    return "(unknown value " + std::to_string(value) + ")";
}

std::string yesNo(int32_t value)
{
    return value != 0 ? "YES" : "NO";
}

std::string joinedOrNone(const model::PatternList& list)
{
    return list.empty() ? std::string("(None)") : printable(model::joinPatternList(list));
}

void addRow(std::string& out, std::string_view heading, const std::string& value)
{
    constexpr std::size_t kValueColumn = 39; // the longest heading, its colon and one space
    out += "  ";
    out += heading;
    out += ':';
    out.append(heading.size() + 1 < kValueColumn ? kValueColumn - heading.size() - 1 : 1, ' ');
    out += value;
    out += '\n';
}

} // namespace

std::string describePair(int slot, const model::FolderPair& pair)
{
    std::string out = "[slot " + std::to_string(slot) + "]";
    // Appended piece by piece here and below: GCC 12 warns falsely (-Wrestrict) on
    // "literal" + string.
    if (!pair.name.empty())
        out.append(" ").append(printable(pair.name));
    out += '\n';
    addRow(out, "Enabled", yesNo(pair.enabled));
    addRow(out, "ORG", printable(pair.orgPath));
    addRow(out, "TGT", printable(pair.tgtPath));
    out += "  Method: " + orUnknownValue(model::methodLabel(pair.method), static_cast<int32_t>(pair.method)) +
           "\n";
    addRow(out, "Files/Folders to include",
           printable(model::joinPatternList(pair.includeFiles)) + " / " +
               printable(model::joinPatternList(pair.includeFolders)));
    addRow(out, "Files/Folders to exclude",
           joinedOrNone(pair.excludeFiles) + " / " + joinedOrNone(pair.excludeFolders));
    addRow(out, "Check file contents",
           orUnknownValue(model::contentCheckPanelText(pair.contentCheck),
                          static_cast<int32_t>(pair.contentCheck)));
    const std::pair<std::string_view, model::AttributeMode> modes[] = {
        {"Read-only files", pair.readOnlyMode},
        {"Hidden files", pair.hiddenMode},
        {"System files", pair.systemMode},
    };
    for (const auto& [heading, mode] : modes)
        addRow(out, heading, orUnknownValue(model::attributePanelText(mode), static_cast<int32_t>(mode)));
    addRow(out, "Include subfolders", yesNo(pair.includeSubfolders));
    addRow(out, "Take the deleted files to recycle bin", yesNo(pair.recycleDeleted));
    // The options the panel has no room for, only when set: a job without them shows as ever.
    const model::PairExtras& extras = pair.extras;
    const model::PairExtras defaults;
    if (extras.rememberState)
        addRow(out, "Remember state", yesNo(1));
    if (extras.conflictPolicy != defaults.conflictPolicy) {
        const std::string word = model::conflictPolicyWord(extras.conflictPolicy);
        addRow(out, "Conflicts",
               word.empty()
                   ? "(unknown value " + std::to_string(static_cast<int32_t>(extras.conflictPolicy)) + ")"
                   : word);
    }
    if (!extras.versionsFolder.empty())
        addRow(out, "Versions folder", printableText(extras.versionsFolder, Breaks::Escape));
    if (extras.keepVersions != 0)
        addRow(out, "Keep versions", std::to_string(extras.keepVersions));
    if (extras.keepDays != 0)
        addRow(out, "Keep days", std::to_string(extras.keepDays));
    if (extras.hasPairId())
        addRow(out, "Pair id", model::pairIdText(extras.pairId));
    return out;
}

ExitCode runShow(std::span<const std::string_view> arguments)
{
    std::optional<std::string_view> file;
    try {
        ArgumentReader reader(arguments);
        while (reader.next()) {
            if (reader.isOption() && (reader.current() == "--help" || reader.current() == "-h"))
                return printCommandHelp("show");
            if (reader.isOption())
                throw UsageError("unknown option " + quoteArgument(reader.current()));
            if (file)
                throw UsageError("only one project file can be shown");
            file = reader.current();
        }
        if (!file)
            throw UsageError("no project file given");
    } catch (const UsageError& error) {
        return usageError(std::string("show: ") + error.what());
    }

    model::Job job;
    if (!openJobFile(job, *file))
        return ExitCode::ProjectRefused;

    std::string out = text::displayName(*file) + ": ";
    out += job.count() == 1 ? "1 pair\n" : std::to_string(job.count()) + " pairs\n";
    for (int slot : job.occupiedSlots())
        out.append("\n").append(describePair(slot, *job.pairAt(slot)));
    std::fwrite(out.data(), 1, out.size(), stdout);
    return ExitCode::Succeeded;
}

} // namespace tavrel::cli
