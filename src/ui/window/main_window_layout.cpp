// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, menus and toolbar at their fixed client coordinates.
#include "ui/common/artwork.h"
#include "ui/window/client_area.h"
#include "ui/window/command_ids.h"
#include "ui/window/main_window.h"
#include "ui/window/pair_list.h"
#include "ui/window/panel_painter.h"
#include "ui/window/panel_widgets.h"
#include "ui/window/toolbar.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QScreen>

namespace tavrel::ui {

namespace {

struct CommandItem
{
    int number;
    const char* text;
};

// Menu bar items in menu order; 0 is a separator.
constexpr CommandItem kFileMenu[] = {{command::New, "&New"},   {command::Open, "&Open..."},      {0, nullptr},
                                     {command::Save, "&Save"}, {command::SaveAs, "Save &As..."}, {0, nullptr},
                                     {command::Exit, "E&xit"}};
constexpr CommandItem kOperationMenu[] = {{command::AddPair, "&Add Pair..."},
                                          {command::EditPair, "&Edit Pair..."},
                                          {command::RemovePair, "&Remove Pair"},
                                          {0, nullptr},
                                          {command::Execute, "E&xecute"},
                                          {command::Preview, "&Preview"},
                                          {command::Stop, "&Stop"},
                                          {0, nullptr},
                                          {command::ViewReport, "&View Report"},
                                          {command::Schedule, "Sche&dule..."}};
constexpr CommandItem kHelpMenu[] = {
    {command::Content, "&Content"}, {0, nullptr}, {command::About, "&About"}};
constexpr CommandItem kContextMenu[] = {
    {command::AddPair, "&Add..."}, {command::EditPair, "&Edit..."}, {command::RemovePair, "&Remove"}};

// Toolbar entries left to right; 0 is a separator.
constexpr int kToolbarEntries[] = {command::New,
                                   command::Open,
                                   command::Save,
                                   0,
                                   command::AddPair,
                                   command::EditPair,
                                   command::RemovePair,
                                   0,
                                   command::Execute,
                                   command::Stop,
                                   0,
                                   command::Content};

// Lets a grayed menu item be highlighted, so that it too shows its tip in the status line:
// during a run the menus still explain the commands they hold.
class TipForEveryItemStyle final : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void MainWindow::CreateChildControls()
{
    m_client = new ClientArea(
        m_state, [this] { return shownPair(); }, this);
    setCentralWidget(m_client);
    createActions();
    createMenus();
    createToolbar();
    createPanels();
    // The window is exactly as large as its menu bar and the fixed client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::createActions()
{
    auto make = [this](const CommandItem& item, std::map<int, QAction*>& into) {
        auto* action = new QAction(QString::fromLatin1(item.text), this);
        action->setData(item.number);
        action->setMenuRole(QAction::NoRole);
        const int number = item.number;
        connect(action, &QAction::triggered, this, [this, number] { runCommand(number); });
        into[number] = action;
    };
    for (const CommandItem& item : kFileMenu)
        if (item.number)
            make(item, m_actions);
    for (const CommandItem& item : kOperationMenu)
        if (item.number)
            make(item, m_actions);
    for (const CommandItem& item : kHelpMenu)
        if (item.number)
            make(item, m_actions);
    for (const CommandItem& item : kContextMenu)
        make(item, m_contextActions);
    m_actions[command::Stop]->setEnabled(false);
}

void MainWindow::createMenus()
{
    auto fill = [this](QMenu* menu, const auto& items, const std::map<int, QAction*>& actions) {
        for (const CommandItem& item : items) {
            if (item.number)
                menu->addAction(actions.at(item.number));
            else
                menu->addSeparator();
        }
        // A highlighted item shows its tip; a closing menu leaves the status line empty. The
        // menu also relays hovers of its actions' toolbar buttons, which only the toolbar's
        // hot-button rule may answer, so hovers are taken only while the menu is open.
        connect(menu, &QMenu::hovered, this, [this, menu](QAction* action) {
            if (menu->isVisible() && !m_pairDialogOpen)
                ShowStatusTip(StatusTip::Command, action->data().toInt());
        });
        connect(menu, &QMenu::aboutToHide, this, [this] {
            if (!m_pairDialogOpen)
                ShowStatusTip(StatusTip::Clear);
        });
    };
    QMenuBar* bar = menuBar();
    fill(bar->addMenu(QStringLiteral("&File")), kFileMenu, m_actions);
    fill(bar->addMenu(QStringLiteral("&Operation")), kOperationMenu, m_actions);
    fill(bar->addMenu(QStringLiteral("&Help")), kHelpMenu, m_actions);
    // Popup titles carry no number, so highlighting one empties the status line.
    connect(bar, &QMenuBar::hovered, this,
            [this](QAction* action) { ShowStatusTip(StatusTip::Command, action->data().toInt()); });

    m_contextMenu = new QMenu(this);
    fill(m_contextMenu, kContextMenu, m_contextActions);
    m_contextMenu->setDefaultAction(m_contextActions.at(command::EditPair));

    // Made after the menus so that, as a later child of the window, it outlives them.
    auto* style = new TipForEveryItemStyle;
    style->setParent(this);
    for (QAction* title : bar->actions())
        title->menu()->setStyle(style);
    m_contextMenu->setStyle(style);
}

void MainWindow::createToolbar()
{
    std::vector<QAction*> entries;
    for (int number : kToolbarEntries)
        entries.push_back(number ? m_actions.at(number) : nullptr);
    m_toolbar = new Toolbar(entries, m_client);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setGeometry(0, 0, 792, m_toolbar->sizeHint().height());
    connect(m_toolbar, &Toolbar::hotChanged, this, &MainWindow::onToolbarHot);
}

void MainWindow::createPanels()
{
    const QFont labelFont = uiFont();

    m_pairList = new PairList(m_client);
    m_pairList->setObjectName(QStringLiteral("pairList"));
    m_pairList->setGeometry(0, 72, 200, 200);
    connect(m_pairList, &PairList::clickedAt, this, &MainWindow::onPairListClicked);
    connect(m_pairList, &PairList::doubleClickedAt, this, &MainWindow::onPairListDoubleClicked);

    m_methodPicture = new QLabel(m_client);
    m_methodPicture->setObjectName(QStringLiteral("methodPicture"));
    m_methodPicture->setGeometry(230, 160, 176, 92);
    m_methodPicture->setPixmap(artwork::noPairPicture());

    m_statusLine = new QLabel(m_client);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setGeometry(0, 484, 792, 20);
    m_statusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_statusLine->setIndent(4);
    m_statusLine->setTextFormat(Qt::PlainText);
    // The status line keeps the system's colours, not the client area's white. The roles are
    // set one by one: a palette taken whole from the application carries no resolved roles,
    // so the line would inherit the white again.
    QPalette systemColours = m_statusLine->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText})
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            systemColours.setColor(group, role, QGuiApplication::palette().color(group, role));
    m_statusLine->setPalette(systemColours);
    m_statusLine->setAutoFillBackground(true);

    auto makeLabel = [&](const char* name, ElideRule rule, QRect geometry) {
        auto* label = new ElidedLabel(rule, m_client);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(labelFont);
        label->setGeometry(geometry);
        label->setFullText(QStringLiteral("(Unknown)"));
        return label;
    };
    m_orgLabel = makeLabel("orgLabel", ElideRule::PathMiddle, {270, 78, 518, 16});
    m_tgtLabel = makeLabel("tgtLabel", ElideRule::PathMiddle, {270, 94, 518, 16});
    m_includeLabel = makeLabel("includeLabel", ElideRule::AfterWord, {400, 118, 388, 16});
    m_excludeLabel = makeLabel("excludeLabel", ElideRule::AfterWord, {400, 134, 388, 16});

    m_progressBar = new QProgressBar(m_client);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setGeometry(230, 308, 420, 15);
    m_progressBar->setRange(0, 1000);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    m_logBox = new QPlainTextEdit(m_client);
    m_logBox->setObjectName(QStringLiteral("logBox"));
    m_logBox->setGeometry(220, 340, 572, 144);
    m_logBox->setReadOnly(true);
    m_logBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_logBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_logBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_logBox->setFont(labelFont);
    m_logBox->setUndoRedoEnabled(false);

    m_reportButton = new PictureButton(artwork::reportPicture(true), artwork::reportPicture(false), m_client);
    m_reportButton->setObjectName(QStringLiteral("viewReportButton"));
    m_reportButton->setGeometry(146, 430, 28, 41);
    connect(m_reportButton, &QAbstractButton::clicked, this, [this] { runCommand(command::ViewReport); });
}

void MainWindow::centreOnScreen()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize frame = frameGeometry().size();
    m_centredFrame = frame;
    move(available.x() + (available.width() - frame.width()) / 2,
         available.y() + (available.height() - frame.height()) / 2);
}

} // namespace tavrel::ui
