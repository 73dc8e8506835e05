// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/pair_dialog.h"

#include "engine/method_rules.h"
#include "model/folder_pair.h"
#include "model/job.h"
#include "model/pair_rules.h"
#include "model/text_rules.h"
#include "text/case_fold.h"
#include "text/text_codec.h"
#include "ui/common/cell_font.h"
#include "ui/common/message_box.h"
#include "ui/common/owned_placement.h"
#include "ui/common/string_table.h"
#include "ui/pair_dialog/context_help.h"
#include "ui/pair_dialog/folder_browser.h"
#include "ui/pair_dialog/sync_memory_dialog.h"
#include "ui/pair_dialog/tooltip_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace tavrel::ui {

namespace {

constexpr int kFirstDescriptionId = 40015;
constexpr int kDescriptionCapacity = 511;
constexpr int kPatternBoxLimit = static_cast<int>(model::kPatternTextCapacity);
constexpr int kPathBoxLimit = static_cast<int>(model::kPathCapacity);

// The box's text cut to `capacity` code units, as the pair stores it.
std::u16string boxText(const QLineEdit* box, std::size_t capacity)
{
    return model::fitText(box->text().toStdU16String(), capacity);
}

QString toQString(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

// The shown form of an include list: "*" stands for an empty one.
QString includeListText(const model::PatternList& list)
{
    return list.empty() ? QStringLiteral("*") : toQString(model::joinPatternList(list));
}

// The stored value of a row of radio buttons: the first ticked one, else the last.
template <std::size_t N> int32_t tickedIndex(const std::array<QRadioButton*, N>& row)
{
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (row[i]->isChecked())
            return static_cast<int32_t>(i);
    }
    return static_cast<int32_t>(N - 1);
}

} // namespace

PairOptionsDialog::PairOptionsDialog(model::Job& job, model::FolderPair& pair, MessagePresenter& messages,
                                     QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_job(job), m_pair(pair), m_messages(messages),
      m_chooseFolder([this](QWidget* browserOwner, const QString& currentPath) {
          return FolderBrowser::choose(browserOwner, currentPath, m_browseFont);
      }),
      m_editMoreOptions([this](QWidget* owner, const model::PairExtras& extras, bool synchronize) {
          SyncMemoryDialog dialog(extras, synchronize, m_messages, m_chooseFolder, owner);
          return dialog.exec() == QDialog::Accepted ? std::optional(dialog.extras()) : std::nullopt;
      })
{
    setWindowTitle(tr("Pair options"));
    setModal(true);
    const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    setFont(dialogFont(QStringLiteral("Arial"), 10, dpi));
    m_units = measureBaseUnits(font());

    m_browseFont = arialFifteenPixelsHigh();
    setFixedSize(dialogSizeToPixels(kTemplateSize, m_units));
    if (owner != nullptr)
        placeOverOwner(*this, *owner, centredOn);

    m_tooltip = new TooltipWindow(this);
    m_help = new ContextHelp(this, [this](int id, const QPoint& pos) { showControlHelp(id, pos); });

    buildControls();
    loadPair();
}

PairOptionsDialog::~PairOptionsDialog() = default;

void PairOptionsDialog::loadPair()
{
    m_methodButtons[0]->setChecked(true);
    m_contentButtons[0]->setChecked(true);
    for (const auto& row : m_attributeButtons)
        row[0]->setChecked(true);

    // Limits equal to what OK stores, so no typed character is dropped unseen: a path cut
    // by one character would name another folder.
    for (QLineEdit* box : {m_includeFilesBox, m_excludeFilesBox, m_includeFoldersBox, m_excludeFoldersBox})
        box->setMaxLength(kPatternBoxLimit);
    m_orgBox->setMaxLength(kPathBoxLimit);
    m_tgtBox->setMaxLength(kPathBoxLimit);

    m_nameBox->setText(m_pair.name.empty() ? QStringLiteral("Pair_%1").arg(m_job.slotOf(&m_pair))
                                           : toQString(m_pair.name));

    const int method = static_cast<int>(m_pair.method);
    if (method >= 0 && method < static_cast<int>(m_methodButtons.size()))
        m_methodButtons[method]->click();

    m_orgBox->setText(toQString(m_pair.orgPath));
    m_tgtBox->setText(toQString(m_pair.tgtPath));
    // A list longer than its box is shown cut; the box's limit does the cutting.
    m_includeFilesBox->setText(includeListText(m_pair.includeFiles));
    m_excludeFilesBox->setText(toQString(model::joinPatternList(m_pair.excludeFiles)));
    m_includeFoldersBox->setText(includeListText(m_pair.includeFolders));
    m_excludeFoldersBox->setText(toQString(model::joinPatternList(m_pair.excludeFolders)));
    for (QLineEdit* box : {m_nameBox, m_orgBox, m_tgtBox, m_includeFilesBox, m_excludeFilesBox,
                           m_includeFoldersBox, m_excludeFoldersBox})
        box->setCursorPosition(0);

    const auto tick = [](const auto& row, int value) {
        if (value >= 0 && value < static_cast<int>(row.size()))
            row[value]->setChecked(true);
    };
    tick(m_contentButtons, static_cast<int>(m_pair.contentCheck));
    tick(m_attributeButtons[0], static_cast<int>(m_pair.readOnlyMode));
    tick(m_attributeButtons[1], static_cast<int>(m_pair.hiddenMode));
    tick(m_attributeButtons[2], static_cast<int>(m_pair.systemMode));

    m_subfoldersBox->setChecked(m_pair.includeSubfolders != 0);
    updateSubfolderBoxes();
    m_recycleBox->setChecked(m_pair.recycleDeleted != 0);
    m_extras = m_pair.extras;

    m_nameBox->setFocus(Qt::OtherFocusReason);
}

void PairOptionsDialog::chooseMethod(int method)
{
    m_description->setText(loadString(kFirstDescriptionId + method).left(kDescriptionCapacity));
    const engine::MethodTraits& traits = engine::traitsOf(static_cast<model::SyncMethod>(method));
    m_recycleBox->setEnabled(traits.offersRecycleBin());
    for (auto* button : m_contentButtons)
        button->setEnabled(traits.appliesContentCheck());
}

void PairOptionsDialog::updateSubfolderBoxes()
{
    const bool enabled = m_subfoldersBox->isChecked();
    m_includeFoldersBox->setEnabled(enabled);
    m_excludeFoldersBox->setEnabled(enabled);
}

void PairOptionsDialog::browseFor(QLineEdit* pathBox)
{
    const QString current = toQString(boxText(pathBox, model::kPathCapacity));
    const std::optional<QString> chosen = m_chooseFolder(this, current);
    if (chosen.has_value())
        pathBox->setText(toQString(model::fitText(chosen->toStdU16String(), model::kPathCapacity)));
}

void PairOptionsDialog::editMoreOptions()
{
    const bool synchronize = m_methodButtons[static_cast<int>(model::SyncMethod::Synchronize)]->isChecked();
    if (const std::optional<model::PairExtras> edited = m_editMoreOptions(this, m_extras, synchronize)) {
        // The id is the pair's, not an option: no editor may change it.
        const model::PairId id = m_extras.pairId;
        m_extras = *edited;
        m_extras.pairId = id;
    }
}

void PairOptionsDialog::showControlHelp(int controlId, const QPoint& globalPos)
{
    const QString text = helpText(controlId);
    m_tooltip->setTipText(text);
    if (!text.isEmpty())
        m_tooltip->showTip(globalPos);
}

void PairOptionsDialog::fail(const QString& message, QWidget* focus)
{
    m_messages.ask(this, kErrorTitle, message, MessageIcon::Error, MessageButtons::Ok);
    focus->setFocus(Qt::OtherFocusReason);
}

bool PairOptionsDialog::checkInput()
{
    const auto text = [](const QLineEdit* box, std::size_t capacity) {
        return text::toUtf8(boxText(box, capacity));
    };
    model::PairDraft draft;
    draft.name = text(m_nameBox, model::kNameCapacity);
    draft.orgPath = text(m_orgBox, model::kPathCapacity);
    draft.tgtPath = text(m_tgtBox, model::kPathCapacity);
    draft.includeFiles = text(m_includeFilesBox, model::kPatternTextCapacity);
    // Checked even while "Include subfolders" is off and the box is disabled.
    draft.includeFolders = text(m_includeFoldersBox, model::kPatternTextCapacity);
    draft.method = static_cast<model::SyncMethod>(tickedIndex(m_methodButtons));
    // The options behind More... are checked against what the dialog now holds.
    draft.rememberState = m_extras.rememberState;
    draft.versionsFolder = m_extras.versionsFolder;
    // Typed folders may not exist yet, so there is no volume to ask: names match ignoring case.
    const std::optional<model::PairProblem> problem = model::checkPair(draft, &text::foldName);
    if (!problem)
        return true;
    switch (problem->fault) {
    case model::PairFault::NameEmpty:
        fail(QStringLiteral("Pair name cannot be NULL."), m_nameBox);
        break;
    case model::PairFault::OrgPathEmpty:
        fail(QStringLiteral("ORG path cannot be NULL."), m_orgBox);
        break;
    case model::PairFault::TgtPathEmpty:
        fail(QStringLiteral("TGT path cannot be NULL."), m_tgtBox);
        break;
    case model::PairFault::IncludeFilesEmpty:
        fail(QStringLiteral("Include file cannot be NULL.  Specify * for all files."), m_includeFilesBox);
        break;
    case model::PairFault::IncludeFoldersEmpty:
        fail(QStringLiteral("Include folder cannot be NULL. Specify * for all folders."),
             m_includeFoldersBox);
        break;
    case model::PairFault::FoldersOverlap:
        fail(QStringLiteral("ORG path and TGT path cannot be overlapped."), m_orgBox);
        break;
    case model::PairFault::RememberNeedsSynchronize:
        fail(QStringLiteral("Remembering the last run is an option of Synchronize pairs. Turn it off under "
                            "More... or choose Synchronize."),
             m_moreButton);
        break;
    case model::PairFault::VersionsFolderInsideRoot:
        fail(QStringLiteral("The versions folder cannot lie inside the ORG or TGT path."), m_moreButton);
        break;
    }
    return false;
}

void PairOptionsDialog::writePair()
{
    m_pair.name = model::trimSpaces(boxText(m_nameBox, model::kNameCapacity));
    m_pair.method = static_cast<model::SyncMethod>(tickedIndex(m_methodButtons));
    m_pair.orgPath = boxText(m_orgBox, model::kPathCapacity);
    m_pair.tgtPath = boxText(m_tgtBox, model::kPathCapacity);
    model::parsePatternList(m_pair, boxText(m_includeFilesBox, model::kPatternTextCapacity),
                            model::PatternListKind::FilesInclude);
    model::parsePatternList(m_pair, boxText(m_excludeFilesBox, model::kPatternTextCapacity),
                            model::PatternListKind::FilesExclude);
    model::parsePatternList(m_pair, boxText(m_includeFoldersBox, model::kPatternTextCapacity),
                            model::PatternListKind::FoldersInclude);
    model::parsePatternList(m_pair, boxText(m_excludeFoldersBox, model::kPatternTextCapacity),
                            model::PatternListKind::FoldersExclude);
    m_pair.contentCheck = static_cast<model::ContentCheckMode>(tickedIndex(m_contentButtons));
    m_pair.readOnlyMode = static_cast<model::AttributeMode>(tickedIndex(m_attributeButtons[0]));
    m_pair.hiddenMode = static_cast<model::AttributeMode>(tickedIndex(m_attributeButtons[1]));
    m_pair.systemMode = static_cast<model::AttributeMode>(tickedIndex(m_attributeButtons[2]));
    m_pair.includeSubfolders = m_subfoldersBox->isChecked() ? 1 : 0;
    m_pair.recycleDeleted = m_recycleBox->isChecked() ? 1 : 0;
    m_pair.extras = m_extras;
    model::settlePairId(m_pair.extras);
}

void PairOptionsDialog::accept()
{
    if (!checkInput())
        return;
    writePair();
    done(kResultOk);
}

void PairOptionsDialog::reject()
{
    done(kResultCancel);
}

} // namespace tavrel::ui
