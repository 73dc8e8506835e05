// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/pair_extras.h"
#include "ui/pair_dialog/dialog_units.h"

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QList>
#include <array>
#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavrel::model {
class Job;
struct FolderPair;
} // namespace tavrel::model

namespace tavrel::ui {

class ContextHelp;
class MessagePresenter;
class TooltipWindow;

// The modal editor of one folder pair. OK checks the input and writes every field of the
// pair at once (result 1); Cancel, Esc and the close box write nothing (result 2).
class PairOptionsDialog final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    // Control numbers of the dialog; the help text of a control has the same number.
    enum ControlId : int
    {
        IdOk = 1,
        IdCancel = 2,
        IdLightCopy = 1002,
        IdUpdateCopy = 1003,
        IdCopy = 1004,
        IdAbsoluteCopy = 1005,
        IdSynchronize = 1006,
        IdOrgPath = 1007,
        IdTgtPath = 1008,
        IdBrowseOrg = 1009,
        IdBrowseTgt = 1010,
        IdIncludeFiles = 1011,
        IdExcludeFiles = 1012,
        IdCheck = 1013,
        IdNotCheck = 1014,
        IdAuto = 1015,
        // The attribute rules, a row of Involve, Copy Only, Ignore each.
        IdReadOnlyInvolve = 1016,
        IdReadOnlyCopyOnly = 1017,
        IdReadOnlyIgnore = 1018,
        IdHiddenInvolve = 1019,
        IdHiddenCopyOnly = 1020,
        IdHiddenIgnore = 1021,
        IdSystemInvolve = 1022,
        IdSystemCopyOnly = 1023,
        IdSystemIgnore = 1024,
        IdIncludeSubfolders = 1025,
        IdRecycleDeleted = 1026,
        IdIncludeFolders = 1027,
        IdDescription = 1028,
        IdExcludeFolders = 1029,
        IdName = 1031,
        IdMore = 1033, // beside OK; opens SyncMemoryDialog
    };

    // Picks a folder starting from the given path; nothing when the user cancels.
    using FolderChooser = std::function<std::optional<QString>(QWidget* owner, const QString& currentPath)>;

    PairOptionsDialog(model::Job& job, model::FolderPair& pair, MessagePresenter& messages, QWidget* owner);
    ~PairOptionsDialog() override;

    // The control numbered `id`, or nullptr (labels, the group box and pictures have none).
    QWidget* control(int id) const { return m_controls.value(id, nullptr); }
    TooltipWindow* tooltipWindow() const { return m_tooltip; }
    const DialogBaseUnits& baseUnits() const { return m_units; }
    const QFont& browseFont() const { return m_browseFont; }
    // The controls in tab order, every radio button of a group included.
    const QList<QWidget*>& tabOrder() const { return m_tabOrder; }

    // Shows the help text of control `controlId` at `globalPos`, when it has one.
    void showControlHelp(int controlId, const QPoint& globalPos);
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    // Edits the options behind More...: given the pending options and whether Synchronize is
    // ticked, the options as accepted, or nothing when the user cancels. The default shows
    // SyncMemoryDialog; tests answer without a modal loop.
    using MoreOptionsEditor = std::function<std::optional<model::PairExtras>(
        QWidget* owner, const model::PairExtras&, bool synchronize)>;
    void setMoreOptionsEditor(MoreOptionsEditor editor) { m_editMoreOptions = std::move(editor); }
    // The options More... has accepted so far; written to the pair by OK only.
    const model::PairExtras& pendingExtras() const { return m_extras; }

    // Size of the dialog template in dialog units.
    static constexpr QSize kTemplateSize{311, 205};

public slots:
    void accept() override;
    void reject() override;

private:
    void buildControls();
    QWidget* place(QWidget* widget, int id, const QRect& dialogRect);
    QRadioButton* addRadio(const QString& text, int id, const QRect& dialogRect);
    QLabel* addLabel(const QString& text, const QRect& dialogRect);
    QLineEdit* addEdit(int id, const QRect& dialogRect);
    void addMethodPicture(const QString& resource, int y);
    void setUpTabOrder();

    void loadPair();
    void chooseMethod(int method);
    void updateSubfolderBoxes();
    void browseFor(QLineEdit* pathBox);
    void editMoreOptions();
    bool checkInput();
    void writePair();
    void fail(const QString& message, QWidget* focus);

    model::Job& m_job;
    model::FolderPair& m_pair;
    MessagePresenter& m_messages;
    DialogBaseUnits m_units;
    QFont m_browseFont;
    TooltipWindow* m_tooltip = nullptr;
    ContextHelp* m_help = nullptr;
    FolderChooser m_chooseFolder;
    MoreOptionsEditor m_editMoreOptions;
    model::PairExtras m_extras;

    QHash<int, QWidget*> m_controls;
    QList<QWidget*> m_tabOrder;
    QLineEdit* m_nameBox = nullptr;
    QLineEdit* m_orgBox = nullptr;
    QLineEdit* m_tgtBox = nullptr;
    QLineEdit* m_includeFilesBox = nullptr;
    QLineEdit* m_excludeFilesBox = nullptr;
    QLineEdit* m_includeFoldersBox = nullptr;
    QLineEdit* m_excludeFoldersBox = nullptr;
    QPushButton* m_browseOrgButton = nullptr;
    QPushButton* m_browseTgtButton = nullptr;
    std::array<QRadioButton*, 5> m_methodButtons{};
    // Indexed by the stored value: Auto, Check, Not Check.
    std::array<QRadioButton*, 3> m_contentButtons{};
    // Rows read-only, hidden, system; columns Involve, Copy Only, Ignore.
    std::array<std::array<QRadioButton*, 3>, 3> m_attributeButtons{};
    QCheckBox* m_subfoldersBox = nullptr;
    QCheckBox* m_recycleBox = nullptr;
    QLabel* m_description = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_moreButton = nullptr;
};

} // namespace tavrel::ui
