// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>

namespace tavrel::ui {

// How a text too wide for its label is shortened.
enum class ElideRule
{
    PathMiddle, // an ellipsis in the middle, keeping both ends of a path
    AfterWord,  // cut after the last whole word that fits, then an ellipsis
};

// `text` shortened to fit `width` pixels of `metrics` by `rule`; unchanged when it fits.
QString elideText(const QString& text, const QFontMetrics& metrics, int width, ElideRule rule);

// A transparent one-line label that keeps its full text and shows it shortened to fit.
class ElidedLabel final : public QLabel
{
public:
    ElidedLabel(ElideRule rule, QWidget* parent);

    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    ElideRule m_rule;
    QString m_fullText;
};

// A button that is nothing but its picture: one for enabled, one for disabled; no focus
// frame and no pressed look.
class PictureButton final : public QAbstractButton
{
public:
    PictureButton(QPixmap enabled, QPixmap disabled, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_enabled;
    QPixmap m_disabled;
};

} // namespace tavrel::ui
