// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/cell_font.h"

#include <QFontMetricsF>
#include <QRawFont>
#include <QtEndian>
#include <cmath>

namespace tavrel::ui {

namespace {

// Offsets of big-endian 16-bit fields in the font tables.
constexpr int kHeadUnitsPerEm = 18;
constexpr int kOs2WinAscent = 74;
constexpr int kOs2WinDescent = 76;

quint16 field(const QByteArray& table, int offset)
{
    return qFromBigEndian<quint16>(table.constData() + offset);
}

// Large enough that Qt's rounding of ascent and descent does not matter.
constexpr int kReferencePixels = 1000;

} // namespace

double cellPerEm(const QFont& font)
{
    QFont reference(font);
    reference.setPixelSize(kReferencePixels);
    const QRawFont raw = QRawFont::fromFont(reference);
    const QByteArray head = raw.fontTable("head");
    const QByteArray os2 = raw.fontTable("OS/2");
    if (head.size() >= kHeadUnitsPerEm + 2 && os2.size() >= kOs2WinDescent + 2) {
        const int unitsPerEm = field(head, kHeadUnitsPerEm);
        const int cell = field(os2, kOs2WinAscent) + field(os2, kOs2WinDescent);
        if (unitsPerEm > 0 && cell > 0)
            return double(cell) / unitsPerEm;
    }
    // A face without these tables (a bitmap font): Qt's ascent and descent are all there is.
    const QFontMetricsF metrics(reference);
    return (metrics.ascent() + metrics.descent()) / kReferencePixels;
}

QFont cellHeightFont(const QString& family, int cellHeight, int weight)
{
    QFont font(family);
    font.setWeight(QFont::Weight(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setPixelSize(std::max(1, int(std::lround(cellHeight / cellPerEm(font)))));
    return font;
}

QFont arialFifteenPixelsHigh()
{
    return cellHeightFont(QStringLiteral("Arial"), 15, QFont::Normal);
}

} // namespace tavrel::ui
