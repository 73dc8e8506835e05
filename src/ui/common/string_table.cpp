// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/string_table.h"

#include <algorithm>
#include <iterator>

namespace tavrel::ui {

namespace {

struct StringEntry
{
    int id;
    const char* text;
};

// Sorted by id for the binary search below.
constexpr StringEntry kStrings[] = {
    {1, "Close the dialog box and apply the changes."},
    {2, "Close the dialog box and cancel the changes."},
    {1002, "Select the method: Light Copy"},
    {1003, "Select the method: Update Copy"},
    {1004, "Select the method: Copy"},
    {1005, "Select the method: Absolute Copy"},
    {1006, "Select the method: Synchronize"},
    {1007, "The selected original path."},
    {1008, "The selected target path."},
    {1009, "Browse directories to select the ORG path."},
    {1010, "Browse directories to select the TGT path."},
    {1011, "Specify the included files. If * is specified, all files are involved. Use ; to separate items."},
    {1012, "Specify the excluded files. * is not allowed here. Use ; to separate items. For example: "
           "desktop.ini; Thumbs.db"},
    {1013, "Check every file's content."},
    {1014, "Do not check the files' content. Judge them by their datetime. Datetime difference means the "
           "content difference."},
    {1015, "If datetime differs, check the file's content. (Suggestion)"},
    {1016, "Treat the read-only files as normal files."},
    {1017, "Existent read-only files will not be changed."},
    {1018, "Ignore all read-only files."},
    {1019, "Treat the hidden files as normal files."},
    {1020, "Existent hidden files will not be changed."},
    {1021, "Ignore all hidden files."},
    {1022, "Treat the system files as normal files."},
    {1023, "Existent system files will not be changed."},
    {1024, "Ignore all system files."},
    {1025, "Recursively expand all subfolders and do jobs to them."},
    {1026, "Take the deleted files, and the old versions of the files a run replaces, to the recycle bin."},
    {1027,
     "Specify the included folders. If * is specified, all folders are inivolved.  Use ; to separate items."},
    {1028, "Description of the methods."},
    {1029, "Specify the excluded folders. * is not allowed here. Use ; to separate items. For example: .svn; "
           ".security; cache"},
    {1031, "The pair name will be displayed on the list control in the main window. 20 chars at most."},
    {1032, "View the previous process report"},
    {1033, "More options: remember the last run (Synchronize), what to do with conflicts, and where "
           "replaced and deleted files are kept."},
    {40001, "Create a new job"},
    {40002, "Open an existent job"},
    {40004, "Save the current job"},
    {40008, "Quits the application"},
    {40009, "Add a folder pair to the job"},
    {40010, "Edit an existent folder pair"},
    {40011, "Remove an existent folder pair"},
    {40012, "Run this job"},
    {40013, "Display the table of the content for the documentation"},
    {40014, "Display the about information"},
    {40015, "Copy files from ORG to TGT which do not exist in TGT. There will be no change to the existent "
            "files. ORG keeps no change. This operation is very safe because no existent files will be "
            "changed or deleted. It is faster than other operations."},
    {40016, "Copy files from ORG to TGT. But if the TGT file is newer than the ORG file, it will keep no "
            "change. ORG keeps no change. It's very similar as the update operation. It has some risks "
            "because the old TGT files will be covered by the new ORG files. Make sure the old files are no "
            "more useful before this operation."},
    {40017, "This is similar to the normal copy operation. The TGT files will be covered by the ORG files. "
            "ORG keeps no change. It has some risks because the TGT files will be covered by the ORG files "
            "in despite of their version. Make sure the TGT files are no more useful before this operation."},
    {40018, "This operation makes TGT absolutly be equal to ORG. It will delete the TGT files which ORG "
            "doesn't  have. ORG keeps no change. This operation has great risks. Besides all TGT files will "
            "be replaced by ORG files, some TGT files will be deleted to make the TGT absolute be the same "
            "as ORG. So keep your eyes open when you choose this option."},
    {40019, "To make both TGT and ORG have the newer version files. Either TGT or ORG will be changed. They "
            "will be equal after this operation. This is the only operation which changes ORG. Its effect is "
            "similar as: update ORG to TGT and update TGT to ORG. It has some risks. Both the old ORG files "
            "and old TGT files will be replaced by the new version."},
    {40020, "Stop the current process"},
    {40021, "Save the current job as..."},
    {40022, "Show what Execute would do, changing nothing"},
    {40023, "Run the saved job by a timer or at login, without the window"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }));

} // namespace

QString loadString(int id)
{
    const auto* found = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                         [](const StringEntry& entry, int key) { return entry.id < key; });
    if (found == std::end(kStrings) || found->id != id)
        return QString();
    return QString::fromUtf8(found->text);
}

} // namespace tavrel::ui
