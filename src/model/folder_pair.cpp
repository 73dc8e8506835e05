// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/folder_pair.h"

namespace tavrel::model {

std::u16string methodLabel(SyncMethod method)
{
    switch (method) {
    case SyncMethod::LightCopy:
        return u"Light Copy";
    case SyncMethod::UpdateCopy:
        return u"Update Copy";
    case SyncMethod::Copy:
        return u"Copy";
    case SyncMethod::AbsoluteCopy:
        return u"Absolute Copy";
    case SyncMethod::Synchronize:
        return u"Synchronize";
    }
    return {};
}

std::u16string contentCheckPanelText(ContentCheckMode mode)
{
    switch (mode) {
    case ContentCheckMode::Auto:
        return u"Auto";
    case ContentCheckMode::Check:
        return u"CHECK";
    case ContentCheckMode::NotCheck:
        return u"NOT CHECK";
    }
    return {};
}

std::u16string attributePanelText(AttributeMode mode)
{
    switch (mode) {
    case AttributeMode::Involve:
        return u"INVOLVE";
    case AttributeMode::CopyOnly:
        return u"COPY ONLY";
    case AttributeMode::Ignore:
        return u"IGNORE";
    }
    return {};
}

} // namespace tavrel::model
