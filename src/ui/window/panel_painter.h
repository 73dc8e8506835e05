// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_state.h"
#include "model/folder_pair.h"
#include "ui/common/cell_font.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace tavrel::ui {

// The UI font of the log box and the pair information labels.
QFont uiFont();

enum class PanelFont
{
    Title,   // "Arial" 25, the panel titles
    Label,   // "Arial" 15, the Result panel's labels
    Heading, // "Arial" 16 bold, the pair information headings and the method line
    Value,   // "Tahoma" 15, the option values
    Counter, // "Arial" 15 bold, counters and elapsed time
};

// One text drawn on the client area; `topLeft` is the top-left corner of the text's cell.
struct TextRun
{
    QPoint topLeft;
    QString text;
    QColor color;
    PanelFont font;
};

namespace panel_colors {
inline const QColor kTitleShadow{180, 180, 180};
inline const QColor kSeparator{200, 200, 200};
inline const QColor kOrgCounter{0, 100, 0};
inline const QColor kTgtCounter{0, 0, 100};
} // namespace panel_colors

// Rectangles repainted when the counters or the shown pair change.
inline constexpr QRect kCounterArea{QPoint(92, 325), QPoint(197, 474)};
inline constexpr QRect kProgressTextArea{QPoint(650, 308), QPoint(789, 322)};
inline constexpr QRect kOptionValueArea{QPoint(677, 157), QPoint(787, 270)};
inline constexpr QRect kMethodLineArea{QPoint(223, 254), QPoint(411, 270)};

// Everything painted directly on the main window's client area, in four steps. The text
// builders are separate from the drawing so that what is shown can be checked without pixels.
class PanelPainter final
{
public:
    PanelPainter();

    // Panel titles with their shadows, Result labels, method line and headings.
    static std::vector<TextRun> panelTexts(const model::FolderPair* shownPair);
    // The six option values of the shown pair, or "(Unknown)" in each row without one.
    static std::vector<TextRun> pairOptionTexts(const model::FolderPair* shownPair);
    static std::vector<TextRun> counterTexts(const engine::StatisticsSnapshot& stats);
    static QString progressText(const engine::StatisticsSnapshot& stats);

    // The four steps in order; `deviceFont` draws the progress text.
    void paint(QPainter& painter, const model::FolderPair* shownPair, const engine::StatisticsSnapshot& stats,
               const QFont& deviceFont) const;

    const QFont& font(PanelFont role) const;

private:
    void drawRuns(QPainter& painter, const std::vector<TextRun>& runs) const;
    // The three panel frames and the two separators of the Pair Information panel.
    static void drawFrames(QPainter& painter);

    QFont m_fonts[5];
};

} // namespace tavrel::ui
