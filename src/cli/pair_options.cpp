// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/pair_options.h"

#include "model/pair_rules.h"
#include "model/pattern_list.h"
#include "model/text_rules.h"
#include "project/project_codec.h"
#include "text/case_fold.h"
#include "text/text_codec.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tavrel::cli {

const std::string_view kPairOptionsHelp =
    "Pair options (each applies to the pair of the --pair, or of edit's --change, before it):\n"
    "  --include-files PATTERNS    files to handle, ';'-separated (default *)\n"
    "  --exclude-files PATTERNS    files to leave alone (default none)\n"
    "  --include-folders PATTERNS  folders to enter (default *)\n"
    "  --exclude-folders PATTERNS  folders to leave alone (default none)\n"
    "                              patterns match names: * any run, ? one character\n"
    "  --check auto|check|notcheck         content check of Copy and Absolute Copy\n"
    "  --read-only involve|copyonly|ignore how read-only files are treated\n"
    "  --hidden involve|copyonly|ignore    how hidden files are treated\n"
    "  --system involve|copyonly|ignore    how system files are treated\n"
    "  --subfolders | --no-subfolders      include subfolders (default on)\n"
    "  --recycle | --no-recycle            deleted files go to the trash (default on)\n"
    "  --enabled | --disabled              the pair takes part in runs (default on)\n"
    "  --name NAME  --method METHOD  --org PATH  --tgt PATH   change those fields\n"
    "Synchronize pairs that remember their last run (--remember needs --method sync):\n"
    "  --remember | --no-remember          remember each run, so the next one also carries\n"
    "                                      deletions across and sees conflicts (default off)\n"
    "  --conflicts skip|keep-both|org-wins|tgt-wins   an item changed on both sides since the\n"
    "                                      last run: left and logged, both kept (the older\n"
    "                                      under a .conflict-DATE-TIME name), or one side wins\n"
    "  --versions DIR                      replaced and deleted files go there, dated, instead\n"
    "                                      of the trash; \"\" goes back to the trash switch.\n"
    "                                      DIR must lie outside ORG and TGT\n"
    "  --keep-versions N                   keep the N newest versions of a file (0: all)\n"
    "  --keep-days D                       drop versions older than D days (0: never)\n"
    "METHOD: light | update | copy | absolute | sync (Light Copy, Update Copy, Copy,\n"
    "Absolute Copy, Synchronize). NAME: 1 to 20 bytes of UTF-8. A relative ORG or TGT is taken\n"
    "from the current folder and stored whole.\n";

namespace {

constexpr std::array<std::string_view, 5> kMethodWords = {"light", "update", "copy", "absolute", "sync"};
constexpr std::array<std::string_view, 3> kCheckWords = {"auto", "check", "notcheck"};
constexpr std::array<std::string_view, 3> kModeWords = {"involve", "copyonly", "ignore"};
constexpr std::array<std::string_view, 4> kConflictWords = {"skip", "keep-both", "org-wins", "tgt-wins"};
constexpr uint32_t kMostVersions = 100'000;
constexpr uint32_t kMostDays = 36'500;

template <typename Enum, std::size_t N>
Enum pick(std::string_view option, std::string_view word, const std::array<std::string_view, N>& words,
          std::string_view what)
{
    const std::string wanted = text::lowerAscii(word);
    for (std::size_t i = 0; i < N; ++i) {
        if (wanted == words[i])
            return static_cast<Enum>(i);
    }
    std::string choices;
    for (std::size_t i = 0; i < N; ++i)
        choices += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(words[i]);
    throw UsageError(std::string(option) + ": unknown " + std::string(what) + " \"" +
                     text::displayName(word) + "\" (" + choices + ")");
}

std::u16string textOf(std::string_view option, std::string_view what, std::string_view value)
{
    // A project file keeps text, not bytes: a name in another encoding could not be given back.
    if (!text::isValidUtf8(value))
        throw UsageError(std::string(option) + ": " + std::string(what) + " " + quoteArgument(value) +
                         " is not valid UTF-8");
    return text::fromUtf8(value);
}

std::u16string nameOf(std::string_view option, std::string_view value)
{
    std::u16string name = model::trimSpaces(textOf(option, "the pair name", value));
    if (name.empty())
        throw UsageError(std::string(option) + ": a pair name cannot be empty");
    if (std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; }))
        throw UsageError(std::string(option) + ": a pair name cannot hold control characters");
    // The file keeps 20 bytes of UTF-8; more would come back cut.
    if (name.size() > model::kNameCapacity || text::toUtf8(name).size() > project::kNameFieldSize)
        throw UsageError(std::string(option) + ": the pair name " + quoteArgument(value) + " is " +
                         std::to_string(text::toUtf8(name).size()) +
                         " bytes of UTF-8; a pair name holds at most 20");
    return name;
}

std::u16string pathOf(std::string_view option, std::string_view what, std::string_view value)
{
    textOf(option, what, value);
    if (model::trimSpaces(text::fromUtf8(value)).empty())
        throw UsageError(std::string(option) + ": the " + std::string(what) + " path cannot be empty");
    std::string stored(value);
    if (!std::filesystem::path(stored).is_absolute()) {
        std::error_code error;
        const std::filesystem::path here = std::filesystem::current_path(error);
        if (error)
            throw UsageError(std::string(option) + ": " + std::string(what) + " " + quoteArgument(value) +
                             " is relative and the current folder is unknown");
        stored = (here / stored).lexically_normal().string();
    }
    std::u16string path = text::fromUtf8(stored);
    if (path.size() > model::kPathCapacity ||
        stored.size() > static_cast<std::size_t>(project::kMaxTextBytes))
        throw UsageError(std::string(option) + ": the " + std::string(what) + " path " +
                         quoteArgument(stored) + " is " + std::to_string(stored.size()) +
                         " bytes of UTF-8; a pair keeps at most 259 characters in 260 bytes");
    return path;
}

// A versions folder as stored: absolute, dots taken out, UTF-8; "" clears it.
std::string versionsFolderOf(std::string_view option, std::string_view value)
{
    textOf(option, "the versions folder", value);
    if (model::trimSpaces(text::fromUtf8(value)).empty())
        return {};
    std::filesystem::path folder(std::string{value});
    if (!folder.is_absolute()) {
        std::error_code error;
        const std::filesystem::path here = std::filesystem::current_path(error);
        if (error)
            throw UsageError(std::string(option) + ": " + quoteArgument(value) +
                             " is relative and the current folder is unknown");
        folder = here / folder;
    }
    std::string stored = folder.lexically_normal().string();
    while (stored.size() > 1 && stored.back() == '/')
        stored.pop_back();
    if (stored.size() > model::kMaxVersionsFolderBytes)
        throw UsageError(std::string(option) + ": the versions folder is longer than 4095 bytes");
    return stored;
}

uint32_t countOf(std::string_view option, std::string_view value, uint32_t most)
{
    const bool digits = !value.empty() && value.size() <= 9 &&
                        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoul(std::string(value)) > most)
        throw UsageError(std::string(option) + ": " + quoteArgument(value) +
                         " is not a whole number from 0 to " + std::to_string(most));
    return static_cast<uint32_t>(std::stoul(std::string(value)));
}

void setPatterns(std::string_view option, std::string_view value, model::FolderPair& pair,
                 model::PatternListKind kind)
{
    const std::u16string text = textOf(option, "the pattern list", value);
    if (text.size() > model::kPatternTextCapacity)
        throw UsageError(std::string(option) + ": the pattern list is longer than 1022 characters");
    const bool include =
        kind == model::PatternListKind::FilesInclude || kind == model::PatternListKind::FoldersInclude;
    // The list would cut a longer item silently; a command line says so instead.
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t stop = std::min(text.find(u';', start), text.size());
        const std::u16string item = model::trimSpaces(std::u16string_view(text).substr(start, stop - start));
        if (item.size() > model::kItemCapacity)
            throw UsageError(std::string(option) + ": the pattern " +
                             quoteArgument(text::toUtf8(item.substr(0, 40))) +
                             "... is longer than 259 characters");
        start = stop + 1;
    }
    model::FolderPair scratch;
    model::parsePatternList(scratch, text, kind);
    const model::PatternList& list = *scratch.patternList(kind);
    if (include && list.empty())
        throw UsageError(std::string(option) + ": needs at least one pattern (* for all " +
                         (kind == model::PatternListKind::FilesInclude ? "files)" : "folders)"));
    for (const std::u16string& item : list) {
        const std::string bytes = text::toUtf8(item);
        if (item.find(u'/') != std::u16string::npos)
            throw UsageError(std::string(option) + ": the pattern " + quoteArgument(bytes) +
                             " holds a '/'; patterns match names, not paths");
        if (bytes.size() > static_cast<std::size_t>(project::kMaxTextBytes))
            throw UsageError(std::string(option) + ": the pattern " + quoteArgument(bytes.substr(0, 40)) +
                             "... is longer than a pair keeps (260 bytes of UTF-8)");
    }
    *pair.patternList(kind) = list;
}

struct Flag
{
    std::string_view option;
    int32_t model::FolderPair::*field;
    int32_t value;
};
constexpr Flag kFlags[] = {
    {"--subfolders", &model::FolderPair::includeSubfolders, 1},
    {"--no-subfolders", &model::FolderPair::includeSubfolders, 0},
    {"--recycle", &model::FolderPair::recycleDeleted, 1},
    {"--no-recycle", &model::FolderPair::recycleDeleted, 0},
    {"--enabled", &model::FolderPair::enabled, 1},
    {"--disabled", &model::FolderPair::enabled, 0},
};

struct PatternOption
{
    std::string_view option;
    model::PatternListKind kind;
};
constexpr PatternOption kPatternOptions[] = {
    {"--include-files", model::PatternListKind::FilesInclude},
    {"--exclude-files", model::PatternListKind::FilesExclude},
    {"--include-folders", model::PatternListKind::FoldersInclude},
    {"--exclude-folders", model::PatternListKind::FoldersExclude},
};

struct ModeOption
{
    std::string_view option;
    model::AttributeMode model::FolderPair::*field;
};
constexpr ModeOption kModeOptions[] = {
    {"--read-only", &model::FolderPair::readOnlyMode},
    {"--hidden", &model::FolderPair::hiddenMode},
    {"--system", &model::FolderPair::systemMode},
};

constexpr std::string_view kValueOptions[] = {"--check",    "--name",          "--method",
                                              "--org",      "--tgt",           "--conflicts",
                                              "--versions", "--keep-versions", "--keep-days"};
constexpr std::string_view kRememberOptions[] = {"--remember", "--no-remember"};

} // namespace

model::FolderPair pairFromArguments(std::string_view option, std::span<const std::string_view> values)
{
    model::FolderPair pair;
    pair.name = nameOf(option, values[0]);
    pair.method = pick<model::SyncMethod>(option, values[1], kMethodWords, "method");
    pair.orgPath = pathOf(option, "ORG", values[2]);
    pair.tgtPath = pathOf(option, "TGT", values[3]);
    pair.includeFiles.append(u"*");
    pair.includeFolders.append(u"*");
    pair.includeSubfolders = 1;
    pair.recycleDeleted = 1;
    return pair;
}

bool isPairOption(std::string_view option)
{
    const auto named = [option](const auto& entry) { return entry.option == option; };
    return std::any_of(std::begin(kFlags), std::end(kFlags), named) ||
           std::any_of(std::begin(kPatternOptions), std::end(kPatternOptions), named) ||
           std::any_of(std::begin(kModeOptions), std::end(kModeOptions), named) ||
           std::find(std::begin(kValueOptions), std::end(kValueOptions), option) != std::end(kValueOptions) ||
           std::find(std::begin(kRememberOptions), std::end(kRememberOptions), option) !=
               std::end(kRememberOptions);
}

bool applyPairOption(ArgumentReader& reader, model::FolderPair& pair)
{
    const std::string_view option = reader.current();
    for (const Flag& flag : kFlags) {
        if (flag.option == option) {
            reader.noValue();
            pair.*flag.field = flag.value;
            return true;
        }
    }
    for (const PatternOption& patterns : kPatternOptions) {
        if (patterns.option == option) {
            setPatterns(option, reader.value(), pair, patterns.kind);
            return true;
        }
    }
    for (const ModeOption& mode : kModeOptions) {
        if (mode.option == option) {
            pair.*mode.field = pick<model::AttributeMode>(option, reader.value(), kModeWords, "mode");
            return true;
        }
    }
    if (option == "--check")
        pair.contentCheck =
            pick<model::ContentCheckMode>(option, reader.value(), kCheckWords, "content check");
    else if (option == "--name")
        pair.name = nameOf(option, reader.value());
    else if (option == "--method")
        pair.method = pick<model::SyncMethod>(option, reader.value(), kMethodWords, "method");
    else if (option == "--org")
        pair.orgPath = pathOf(option, "ORG", reader.value());
    else if (option == "--tgt")
        pair.tgtPath = pathOf(option, "TGT", reader.value());
    else if (option == "--remember" || option == "--no-remember") {
        reader.noValue();
        pair.extras.rememberState = option == "--remember";
    } else if (option == "--conflicts")
        pair.extras.conflictPolicy =
            pick<model::ConflictPolicy>(option, reader.value(), kConflictWords, "conflict policy");
    else if (option == "--versions")
        pair.extras.versionsFolder = versionsFolderOf(option, reader.value());
    else if (option == "--keep-versions")
        pair.extras.keepVersions = countOf(option, reader.value(), kMostVersions);
    else if (option == "--keep-days")
        pair.extras.keepDays = countOf(option, reader.value(), kMostDays);
    else
        return false;
    return true;
}

namespace {

// The pair as the dialog would check it: an include list left empty reads as "*", as the dialog
// shows it.
model::PairDraft draftOf(const model::FolderPair& pair)
{
    const auto patterns = [](const model::PatternList& list, bool include) {
        return include && list.empty() ? std::string("*") : text::toUtf8(model::joinPatternList(list));
    };
    model::PairDraft draft;
    draft.name = text::toUtf8(pair.name);
    draft.orgPath = text::toUtf8(pair.orgPath);
    draft.tgtPath = text::toUtf8(pair.tgtPath);
    draft.includeFiles = patterns(pair.includeFiles, true);
    draft.includeFolders = patterns(pair.includeFolders, true);
    draft.method = pair.method;
    draft.rememberState = pair.extras.rememberState;
    draft.versionsFolder = pair.extras.versionsFolder;
    return draft;
}

} // namespace

void checkWholePair(const model::FolderPair& pair, std::string_view action)
{
    // Typed paths are compared as the dialog compares them: a folder that does not exist yet has
    // no volume to ask, so names match ignoring case everywhere.
    const std::optional<model::PairProblem> problem = model::checkPair(draftOf(pair), &text::foldName);
    if (!problem)
        return;
    const std::string side = problem->root == model::PairRoot::Org ? "ORG" : "TGT";
    const std::string prefix = std::string(action) + ": ";
    switch (problem->fault) {
    case model::PairFault::NameEmpty:
        throw UsageError(prefix + "a pair name cannot be empty");
    case model::PairFault::OrgPathEmpty:
    case model::PairFault::TgtPathEmpty:
        throw UsageError(prefix + "the " + side + " path cannot be empty");
    case model::PairFault::IncludeFilesEmpty:
        throw UsageError(prefix + "needs at least one pattern (* for all files)");
    case model::PairFault::IncludeFoldersEmpty:
        throw UsageError(prefix + "needs at least one pattern (* for all folders)");
    case model::PairFault::FoldersOverlap:
        throw UsageError(prefix + "ORG " + quoteArgument(problem->rootPath) + " and TGT " +
                         quoteArgument(problem->otherPath) + " overlap; neither may lie inside the other");
    case model::PairFault::RememberNeedsSynchronize:
        throw UsageError(prefix +
                         "--remember is an option of Synchronize pairs only (--method sync); this pair is " +
                         text::toUtf8(model::methodLabel(problem->method)));
    case model::PairFault::VersionsFolderInsideRoot:
        throw UsageError(prefix + "the versions folder " + quoteArgument(problem->otherPath) +
                         " lies inside " + side + " " + quoteArgument(problem->rootPath) +
                         "; it must be outside both folders");
    }
}

void settlePair(model::FolderPair& pair)
{
    model::settlePairId(pair.extras);
}

int findPair(const model::Job& job, std::string_view option, std::string_view wanted)
{
    const std::string shown = std::string(option) + " " + quoteArgument(wanted);
    if (!wanted.empty() &&
        std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int slot = wanted.size() <= 3 ? std::stoi(std::string(wanted)) : model::kMaxPairs;
        if (job.pairAt(slot) == nullptr)
            throw UsageError(shown + ": no pair in slot " + std::string(wanted) +
                             " (`show` lists the slots)");
        return slot;
    }
    const std::u16string name = model::trimSpaces(text::fromUtf8(wanted));
    std::vector<int> found;
    for (const int slot : job.occupiedSlots()) {
        if (job.pairAt(slot)->name == name)
            found.push_back(slot);
    }
    if (found.empty())
        throw UsageError(shown + ": no pair of that name");
    if (found.size() > 1) {
        std::string slots;
        for (const int slot : found)
            slots += (slots.empty() ? "" : ", ") + std::to_string(slot);
        throw UsageError(shown + ": " + std::to_string(found.size()) + " pairs have that name (slots " +
                         slots + "); give the slot");
    }
    return found.front();
}

} // namespace tavrel::cli
