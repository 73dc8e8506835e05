// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/about_dialog.h"

#include "ui/common/artwork.h"
#include "ui/common/owned_placement.h"

#include <QLabel>
#include <QPushButton>

namespace tavrel::ui {

namespace {
// The box is laid out in dialog units of its font, two pixels each way.
constexpr int kUnit = 2;

QRect unitRect(int x, int y, int width, int height)
{
    return {x * kUnit, y * kUnit, width * kUnit, height * kUnit};
}
} // namespace

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(190 * kUnit, 43 * kUnit);

    auto* icon = new QLabel(this);
    icon->setGeometry(unitRect(5, 5, 20, 20));
    icon->setPixmap(artwork::programIcon().pixmap(icon->size()));

    auto* text = new QLabel(aboutText(), this);
    text->setGeometry(unitRect(29, 7, 115, 25));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setGeometry(unitRect(150, 5, 33, 15));
    // Flat, yet framed: the style's own flat button is a bare word on the dialog's ground.
    ok->setStyleSheet(QStringLiteral("QPushButton { border: 1px solid #000000; background: #f0f0f0;"
                                     " color: #000000; padding: 0px 4px; }"
                                     "QPushButton:hover { background: #e5f1fb; border-color: #3c7fb1; }"
                                     "QPushButton:pressed { background: #cce4f7; }"));
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (owner != nullptr)
        placeOverOwner(*this, *owner, placeOver);
}

QString AboutDialog::aboutText()
{
    return QStringLiteral("Tavrel Synchronizer V1.00\nKeeps folder pairs in step.");
}

QPoint AboutDialog::placeOver(const QRect& ownerFrame, const QSize& frameSize)
{
    return {ownerFrame.left() + (ownerFrame.width() - frameSize.width()) / 2,
            ownerFrame.top() + (ownerFrame.height() - frameSize.height()) / 2 - 50};
}

} // namespace tavrel::ui
