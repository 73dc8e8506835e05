// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/common/message_box.h"

#include <QString>
#include <deque>
#include <vector>

namespace tavrel::uitest {

struct Message
{
    QString title;
    QString text;
    ui::MessageIcon icon;
    ui::MessageButtons buttons;
};

// Answers message boxes from a script (OK when the script is used up) and records them, so
// tests never enter a modal loop.
class ScriptedPresenter final : public ui::MessagePresenter
{
public:
    std::deque<ui::MessageAnswer> answers;
    std::vector<Message> shown;

    ui::MessageAnswer ask(QWidget*, const QString& title, const QString& text, ui::MessageIcon icon,
                          ui::MessageButtons buttons) override
    {
        shown.push_back({title, text, icon, buttons});
        if (answers.empty())
            return ui::MessageAnswer::Ok;
        const ui::MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace tavrel::uitest
