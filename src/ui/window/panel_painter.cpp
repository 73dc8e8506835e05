// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/panel_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace tavrel::ui {

namespace {

QString qs(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

QString attributeText(model::AttributeMode mode)
{
    return qs(model::attributePanelText(mode));
}

QString yesNo(int32_t value)
{
    return value != 0 ? QStringLiteral("YES") : QStringLiteral("NO");
}

const QColor kBlack{0, 0, 0};

} // namespace

QFont uiFont()
{
    return cellHeightFont(QStringLiteral("Tahoma"), 15, 400);
}

PanelPainter::PanelPainter()
{
    const QString arial = QStringLiteral("Arial");
    m_fonts[int(PanelFont::Title)] = cellHeightFont(arial, 25, 400);
    m_fonts[int(PanelFont::Label)] = cellHeightFont(arial, 15, 400);
    m_fonts[int(PanelFont::Heading)] = cellHeightFont(arial, 16, 700);
    m_fonts[int(PanelFont::Value)] = cellHeightFont(QStringLiteral("Tahoma"), 15, 400);
    m_fonts[int(PanelFont::Counter)] = cellHeightFont(arial, 15, 700);
}

const QFont& PanelPainter::font(PanelFont role) const
{
    return m_fonts[int(role)];
}

std::vector<TextRun> PanelPainter::panelTexts(const model::FolderPair* shownPair)
{
    std::vector<TextRun> runs;
    struct Title
    {
        int x, y;
        const char* text;
    };
    static constexpr Title titles[] = {{0, 47, "Folder Pairs"},
                                       {219, 47, "Pair Information"},
                                       {0, 275, "Result"},
                                       {219, 275, "Processing Information"}};
    // The grey copy one pixel to the lower right first, so the black title sits on its shadow.
    for (const Title& title : titles)
        runs.push_back(
            {{title.x + 1, title.y + 1}, title.text, panel_colors::kTitleShadow, PanelFont::Title});
    for (const Title& title : titles)
        runs.push_back({{title.x, title.y}, title.text, kBlack, PanelFont::Title});

    static constexpr Title labels[] = {
        {92, 305, "ORG"},          {146, 305, "TGT"},          {5, 325, "Create File"},
        {5, 345, "Create Folder"}, {5, 365, "Overwrite File"}, {5, 385, "Delete File"},
        {5, 405, "Delete Folder"}, {5, 430, "All Operations"}, {5, 455, "Time Usage"}};
    for (const Title& label : labels)
        runs.push_back({{label.x, label.y}, label.text, kBlack, PanelFont::Label});

    QString methodLine = QStringLiteral("Method: (Unknown)");
    if (shownPair) {
        const QString name = qs(model::methodLabel(shownPair->method));
        methodLine = name.isEmpty() ? QString() : QStringLiteral("Method: ") + name;
    }
    if (!methodLine.isEmpty())
        runs.push_back({{230, 254}, methodLine, kBlack, PanelFont::Heading});

    static constexpr Title headings[] = {{230, 118, "Files/Folders to include"},
                                         {230, 134, "Files/Folders to exclude"},
                                         {420, 158, "Check file contents"},
                                         {420, 182, "Read-only files"},
                                         {420, 198, "Hidden files"},
                                         {420, 214, "System files"},
                                         {420, 238, "Include subfolders"},
                                         {420, 254, "Take the deleted files to recycle bin"},
                                         {230, 78, "ORG"},
                                         {230, 94, "TGT"}};
    for (const Title& heading : headings)
        runs.push_back({{heading.x, heading.y}, heading.text, kBlack, PanelFont::Heading});
    return runs;
}

std::vector<TextRun> PanelPainter::pairOptionTexts(const model::FolderPair* shownPair)
{
    static constexpr int rows[] = {158, 182, 198, 214, 238, 254};
    QString values[6];
    if (shownPair) {
        values[0] = qs(model::contentCheckPanelText(shownPair->contentCheck));
        values[1] = attributeText(shownPair->readOnlyMode);
        values[2] = attributeText(shownPair->hiddenMode);
        values[3] = attributeText(shownPair->systemMode);
        values[4] = yesNo(shownPair->includeSubfolders);
        values[5] = yesNo(shownPair->recycleDeleted);
    } else {
        for (QString& value : values)
            value = QStringLiteral("(Unknown)");
    }
    std::vector<TextRun> runs;
    for (int i = 0; i < 6; ++i) {
        // A value outside its table leaves its row empty.
        if (!values[i].isEmpty())
            runs.push_back({{680, rows[i]}, values[i], kBlack, PanelFont::Value});
    }
    return runs;
}

std::vector<TextRun> PanelPainter::counterTexts(const engine::StatisticsSnapshot& stats)
{
    // Each column's operation counters top down, in the order of the run's list.
    std::vector<TextRun> runs;
    int orgRow = 0;
    int tgtRow = 0;
    for (const engine::StatisticsField& field : engine::kStatisticsFields) {
        if (field.kind == engine::CounterKind::Run)
            continue;
        const bool org = field.kind == engine::CounterKind::OrgOperation;
        const int row = org ? orgRow++ : tgtRow++;
        runs.push_back({{org ? 92 : 146, 325 + 20 * row},
                        QString::number(stats.*field.value),
                        org ? panel_colors::kOrgCounter : panel_colors::kTgtCounter,
                        PanelFont::Counter});
    }
    runs.push_back(
        {{92, 430}, QString::number(stats.allOperations), panel_colors::kTgtCounter, PanelFont::Counter});
    runs.push_back({{92, 455},
                    QStringLiteral("%1 s").arg(stats.elapsedMs / 1000),
                    panel_colors::kTgtCounter,
                    PanelFont::Counter});
    return runs;
}

QString PanelPainter::progressText(const engine::StatisticsSnapshot& stats)
{
    return QStringLiteral("%1 / %2").arg(stats.processedFiles).arg(stats.totalFiles);
}

void PanelPainter::drawRuns(QPainter& painter, const std::vector<TextRun>& runs) const
{
    for (const TextRun& run : runs) {
        const QFont& runFont = font(run.font);
        painter.setFont(runFont);
        painter.setPen(run.color);
        painter.drawText(run.topLeft + QPoint(0, QFontMetrics(runFont).ascent()), run.text);
    }
}

void PanelPainter::drawFrames(QPainter& painter)
{
    painter.setPen(QPen(kBlack, 1));
    for (const QRect& frame :
         {QRect(QPoint(220, 72), QPoint(791, 271)), QRect(QPoint(0, 300), QPoint(199, 483)),
          QRect(QPoint(220, 300), QPoint(791, 329))}) {
        // Four lines from the top-left corner, as an outline ending on the given corners.
        painter.drawLine(frame.topLeft(), frame.topRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
        painter.drawLine(frame.bottomRight(), frame.bottomLeft());
        painter.drawLine(frame.bottomLeft(), frame.topLeft());
    }
    painter.setPen(QPen(panel_colors::kSeparator, 1));
    painter.drawLine(230, 112, 780, 112);
    painter.drawLine(230, 152, 780, 152);
}

void PanelPainter::paint(QPainter& painter, const model::FolderPair* shownPair,
                         const engine::StatisticsSnapshot& stats, const QFont& deviceFont) const
{
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);

    // The panels in their fixed order, each drawn over what came before: titles, frames and
    // separators, the Result labels with the rule above their last two rows, then the method
    // line and the headings.
    const std::vector<TextRun> panel = panelTexts(shownPair);
    auto next = panel.begin();
    const auto drawWhile = [&](auto belongs) {
        auto end = next;
        while (end != panel.end() && belongs(*end))
            ++end;
        drawRuns(painter, std::vector<TextRun>(next, end));
        next = end;
    };
    drawWhile([](const TextRun& run) { return run.font == PanelFont::Title; });
    drawFrames(painter);
    drawWhile([](const TextRun& run) { return run.font == PanelFont::Label && run.topLeft.y() < 425; });
    painter.setPen(QPen(panel_colors::kSeparator, 1));
    painter.drawLine(5, 425, 194, 425);
    drawWhile([](const TextRun&) { return true; });

    drawRuns(painter, pairOptionTexts(shownPair));
    drawRuns(painter, counterTexts(stats));

    painter.setFont(deviceFont);
    painter.setPen(kBlack);
    painter.setClipRect(kProgressTextArea, Qt::IntersectClip);
    painter.drawText(kProgressTextArea, Qt::AlignHCenter | Qt::AlignTop, progressText(stats));
    painter.restore();
}

} // namespace tavrel::ui
