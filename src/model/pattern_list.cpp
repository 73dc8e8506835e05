// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pattern_list.h"

#include "model/folder_pair.h"
#include "model/text_rules.h"

namespace tavrel::model {

void PatternList::append(std::u16string_view text)
{
    m_items.push_back(fitText(text, kItemCapacity));
}

int parsePatternList(FolderPair& pair, std::u16string_view text, PatternListKind kind)
{
    PatternList* list = pair.patternList(kind);
    if (list == nullptr)
        return 0;
    list->clear();
    if (text.empty())
        return 0;

    const bool isInclude = kind == PatternListKind::FilesInclude || kind == PatternListKind::FoldersInclude;
    int appended = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t stop = text.find(u';', start);
        if (stop == std::u16string_view::npos)
            stop = text.size();
        // Trimmed again after the cut to capacity: a cut can end on a space, which would not
        // survive the list being shown joined and parsed once more.
        const std::u16string item =
            trimSpaces(fitText(trimSpaces(text.substr(start, stop - start)), kItemCapacity));
        start = stop + 1;
        if (item.empty())
            continue;
        if (isInclude && (item == u"*" || item == u"*.*")) {
            list->clear();
            list->append(u"*");
            return 1;
        }
        list->append(item);
        ++appended;
    }
    return appended;
}

std::u16string joinPatternList(const PatternList& list)
{
    std::u16string text;
    for (const auto& item : list) {
        if (!text.empty())
            text += u"; ";
        text += item;
    }
    return text;
}

} // namespace tavrel::model
