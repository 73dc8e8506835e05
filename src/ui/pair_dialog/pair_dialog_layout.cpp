// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/context_help.h"
#include "ui/pair_dialog/pair_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSvgRenderer>

namespace tavrel::ui {

namespace {

// Push buttons drawn flat with a one-pixel frame, edit boxes with a thin sunken edge, and
// the group box's title set into its frame line.
const char* const kDialogStyle = R"(
QPushButton {
    border: 1px solid #7a7a7a;
    background: #f0f0f0;
    color: #000000;
    padding: 0px 4px;
}
QPushButton:default { border: 1px solid #000000; }
QPushButton:hover { background: #e5f1fb; border-color: #3c7fb1; }
QPushButton:pressed { background: #cce4f7; }
QPushButton:focus { border-color: #000000; }
QPushButton:disabled { color: #8a8a8a; border-color: #b8b8b8; }
QLineEdit {
    border-style: solid;
    border-width: 1px;
    border-color: #a0a0a0 #ffffff #ffffff #a0a0a0;
    background: #ffffff;
    padding: 0px 1px;
}
QLineEdit:disabled { background: #f0f0f0; color: #8a8a8a; }
QGroupBox {
    border: 1px solid #a0a0a0;
    margin-top: 7px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 6px;
    padding: 0px 2px;
}
)";

constexpr int kMethodPictureSize = 14;

// A button that answers a click anywhere in its rectangle, not only on its indicator and
// text, so a short label such as "Copy" is as easy to hit as a long one.
template <typename Button> class WholeAreaButton final : public Button
{
public:
    WholeAreaButton(const QString& text, QWidget* parent) : Button(text, parent) {}

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

// The arrow keys move through a radio group in its order and wrap from its last button to
// its first and back, ticking the button they reach; grayed buttons are passed over. Qt's own
// arrow handling goes by screen position and stops at the ends.
class RadioGroupKeys final : public QObject
{
public:
    explicit RadioGroupKeys(QButtonGroup* group) : QObject(group), m_group(group)
    {
        for (QAbstractButton* button : group->buttons())
            button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        int step = 0;
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        default:
            return false;
        }
        const QList<QAbstractButton*> buttons = m_group->buttons();
        const qsizetype count = buttons.size();
        const qsizetype from = buttons.indexOf(static_cast<QAbstractButton*>(watched));
        for (qsizetype i = 1; from >= 0 && i < count; ++i) {
            QAbstractButton* next = buttons[(from + step * i + count * count) % count];
            if (!next->isEnabled())
                continue;
            next->setFocus(Qt::TabFocusReason);
            if (!next->isChecked())
                next->click();
            break;
        }
        return true;
    }

private:
    QButtonGroup* m_group;
};

// Only the ticked button of a radio group is a tab stop; the arrow keys move within it.
void keepTabStopOnTicked(QButtonGroup* group)
{
    const auto update = [group] {
        for (QAbstractButton* button : group->buttons())
            button->setFocusPolicy(button->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    QObject::connect(group, &QButtonGroup::idToggled, group, update);
    update();
    new RadioGroupKeys(group);
}

} // namespace

QWidget* PairOptionsDialog::place(QWidget* widget, int id, const QRect& dialogRect)
{
    widget->setGeometry(dialogRectToPixels(dialogRect, m_units));
    if (id > 0) {
        m_controls.insert(id, widget);
        m_help->addControl(widget, id);
    }
    return widget;
}

QRadioButton* PairOptionsDialog::addRadio(const QString& text, int id, const QRect& dialogRect)
{
    auto* button = new WholeAreaButton<QRadioButton>(text, this);
    place(button, id, dialogRect);
    return button;
}

QLabel* PairOptionsDialog::addLabel(const QString& text, const QRect& dialogRect)
{
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, 0, dialogRect);
    return label;
}

QLineEdit* PairOptionsDialog::addEdit(int id, const QRect& dialogRect)
{
    auto* edit = new QLineEdit(this);
    edit->setFrame(true);
    place(edit, id, dialogRect);
    return edit;
}

void PairOptionsDialog::addMethodPicture(const QString& resource, int y)
{
    QPixmap pixmap(kMethodPictureSize, kMethodPictureSize);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(0, 0, kMethodPictureSize, kMethodPictureSize));
    painter.end();

    auto* picture = new QLabel(this);
    picture->setPixmap(pixmap);
    const QPoint corner = dialogRectToPixels(QRect(9, y, 0, 0), m_units).topLeft();
    picture->setGeometry(QRect(corner, QSize(kMethodPictureSize, kMethodPictureSize)));
}

void PairOptionsDialog::buildControls()
{
    setStyleSheet(QString::fromLatin1(kDialogStyle));

    // Made first so that it lies beneath the controls it frames.
    auto* options = new QGroupBox(tr("Options"), this);
    place(options, 0, QRect(5, 12, 300, 173));

    addLabel(tr("Pair Name"), QRect(10, 2, 50, 10));
    m_nameBox = addEdit(IdName, QRect(65, 2, 85, 10));

    const QString methodNames[] = {tr("Light Copy"), tr("Update Copy"), tr("Copy"), tr("Absolute Copy"),
                                   tr("Synchronize")};
    const char* const pictures[] = {"light_copy", "update_copy", "copy", "absolute_copy", "synchronize"};
    auto* methods = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        m_methodButtons[i] = addRadio(methodNames[i], IdLightCopy + i, QRect(19, 22 + 10 * i, 69, 10));
        methods->addButton(m_methodButtons[i], i);
        addMethodPicture(QStringLiteral(":/methods_small/%1.svg").arg(QLatin1String(pictures[i])),
                         24 + 10 * i);
        connect(m_methodButtons[i], &QRadioButton::clicked, this, [this, i] { chooseMethod(i); });
    }
    keepTabStopOnTicked(methods);

    m_description = new QLabel(this);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(m_description, IdDescription, QRect(95, 22, 205, 50));

    addLabel(tr("Original Path"), QRect(10, 77, 50, 10));
    m_orgBox = addEdit(IdOrgPath, QRect(65, 77, 210, 10));
    m_browseOrgButton = new QPushButton(tr("..."), this);
    place(m_browseOrgButton, IdBrowseOrg, QRect(280, 77, 20, 10));
    addLabel(tr("Target Path"), QRect(10, 89, 50, 10));
    m_tgtBox = addEdit(IdTgtPath, QRect(65, 89, 210, 10));
    m_browseTgtButton = new QPushButton(tr("..."), this);
    place(m_browseTgtButton, IdBrowseTgt, QRect(280, 89, 20, 10));
    connect(m_browseOrgButton, &QPushButton::clicked, this, [this] { browseFor(m_orgBox); });
    connect(m_browseTgtButton, &QPushButton::clicked, this, [this] { browseFor(m_tgtBox); });

    addLabel(tr("File to Include"), QRect(10, 102, 50, 10));
    m_includeFilesBox = addEdit(IdIncludeFiles, QRect(65, 102, 85, 10));
    addLabel(tr("Folder to Include"), QRect(155, 102, 60, 10));
    m_includeFoldersBox = addEdit(IdIncludeFolders, QRect(220, 102, 80, 10));
    addLabel(tr("File to Exclude"), QRect(10, 114, 50, 10));
    m_excludeFilesBox = addEdit(IdExcludeFiles, QRect(65, 114, 85, 10));
    addLabel(tr("Folder to Exclude"), QRect(155, 114, 60, 10));
    m_excludeFoldersBox = addEdit(IdExcludeFolders, QRect(220, 114, 80, 10));

    const int columns[] = {85, 135, 195};
    addLabel(tr("Check File Contents"), QRect(10, 127, 75, 10));
    auto* contents = new QButtonGroup(this);
    const QString contentNames[] = {tr("Auto"), tr("Check"), tr("Not Check")};
    const int contentIds[] = {IdAuto, IdCheck, IdNotCheck};
    for (int i = 0; i < 3; ++i) {
        m_contentButtons[i] = addRadio(contentNames[i], contentIds[i], QRect(columns[i], 127, 45, 10));
        contents->addButton(m_contentButtons[i], i);
    }
    keepTabStopOnTicked(contents);

    const QString rowNames[] = {tr("Read-only Files"), tr("Hidden Files"), tr("System Files")};
    const int attributeIds[3][3] = {{IdReadOnlyInvolve, IdReadOnlyCopyOnly, IdReadOnlyIgnore},
                                    {IdHiddenInvolve, IdHiddenCopyOnly, IdHiddenIgnore},
                                    {IdSystemInvolve, IdSystemCopyOnly, IdSystemIgnore}};
    const QString modeNames[] = {tr("Involve"), tr("Copy Only"), tr("Ignore")};
    for (int row = 0; row < 3; ++row) {
        const int y = 137 + 10 * row;
        addLabel(rowNames[row], QRect(10, y, 75, 10));
        auto* group = new QButtonGroup(this);
        for (int i = 0; i < 3; ++i) {
            m_attributeButtons[row][i] =
                addRadio(modeNames[i], attributeIds[row][i], QRect(columns[i], y, 45, 10));
            group->addButton(m_attributeButtons[row][i], i);
        }
        keepTabStopOnTicked(group);
    }

    m_subfoldersBox = new WholeAreaButton<QCheckBox>(tr("Include subfolders"), this);
    place(m_subfoldersBox, IdIncludeSubfolders, QRect(10, 172, 143, 10));
    connect(m_subfoldersBox, &QCheckBox::clicked, this, &PairOptionsDialog::updateSubfolderBoxes);
    m_recycleBox = new WholeAreaButton<QCheckBox>(tr("Take deleted files to recycle bin"), this);
    place(m_recycleBox, IdRecycleDeleted, QRect(155, 172, 145, 10));

    m_okButton = new QPushButton(tr("OK"), this);
    place(m_okButton, IdOk, QRect(229, 189, 35, 12));
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    place(m_cancelButton, IdCancel, QRect(269, 189, 36, 12));
    m_cancelButton->setAutoDefault(false);
    m_browseOrgButton->setAutoDefault(false);
    m_browseTgtButton->setAutoDefault(false);
    // Left of OK with the gap OK keeps to Cancel, so neither moves. Reached by Alt+M rather
    // than by Tab, which keeps the dialog's tab order as it always was.
    m_moreButton = new QPushButton(tr("&More..."), this);
    place(m_moreButton, IdMore, QRect(189, 189, 35, 12));
    m_moreButton->setAutoDefault(false);
    m_moreButton->setFocusPolicy(Qt::ClickFocus);
    connect(m_moreButton, &QPushButton::clicked, this, &PairOptionsDialog::editMoreOptions);
    connect(m_okButton, &QPushButton::clicked, this, &PairOptionsDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &PairOptionsDialog::reject);

    setUpTabOrder();
}

void PairOptionsDialog::setUpTabOrder()
{
    m_tabOrder = {m_nameBox};
    for (auto* button : m_methodButtons)
        m_tabOrder << button;
    m_tabOrder << m_orgBox << m_browseOrgButton << m_tgtBox << m_browseTgtButton << m_includeFilesBox
               << m_includeFoldersBox << m_excludeFilesBox << m_excludeFoldersBox;
    for (auto* button : m_contentButtons)
        m_tabOrder << button;
    for (const auto& row : m_attributeButtons) {
        for (auto* button : row)
            m_tabOrder << button;
    }
    m_tabOrder << m_subfoldersBox << m_recycleBox << m_okButton << m_cancelButton;
    for (qsizetype i = 1; i < m_tabOrder.size(); ++i)
        setTabOrder(m_tabOrder[i - 1], m_tabOrder[i]);
}

} // namespace tavrel::ui
