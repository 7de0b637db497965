// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/EditorForm.h"

#include "gui/GuiItemToolTips.h"
#include "gui/GuiResources.h"
#include "gui/ProcessForm.h"
#include "gui/RecordForm.h"
#include "gui/SlotGuard.h"
#include "gui/SyncForm.h"
#include "platform/Prompts.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "store/FlatIdentity.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using fieldinfo::EditorColumns;
constexpr int kColumnCount = fieldinfo::EditorColumnCount;

} // namespace

// The rows are read straight from the collection when drawn; the model keeps
// only the row count of the last refresh, as a list filled then would.
class RecordsTableModel : public QAbstractTableModel
{
public:
    RecordsTableModel(Program& program, QObject* parent)
        : QAbstractTableModel(parent), m_program(program), m_icon(QStringLiteral(":/img/row.png"))
    {
    }

    void Refill()
    {
        beginResetModel();
        m_rows = m_program.Records.Items.Count();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : kColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const RecordList& items = m_program.Records.Items;
        // A collection changed behind the list's back shows empty rows, never
        // reads past its end.
        if (!index.isValid() || index.row() >= items.Count()) return {};
        if (role == Qt::DecorationRole) return index.column() == 0 ? QVariant(m_icon) : QVariant();
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
        const Record& r = *items.at(index.row());
        return CellText(r, EditorColumns[index.column()]);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        // The caption also as the tooltip of a header cut off by its fixed width.
        if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::ToolTipRole) &&
            section >= 0 && section < kColumnCount)
            return QString::fromUtf16(EditorColumns[section].header);
        return {};
    }

private:
    Program& m_program;
    QIcon m_icon;
    int m_rows = 0;
};

EditorForm::EditorForm(Program& program, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_program(program), m_prompts(prompts)
{
    InitGuiResources();
    setObjectName(QStringLiteral("EditorForm"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Редактирование БД"));
    setWindowIcon(QIcon(QStringLiteral(":/img/house.png")));
    ApplyWindowFont(this);

    m_model = new RecordsTableModel(program, this);
    List = new QTreeView(this);
    List->setObjectName(QStringLiteral("List"));
    List->setRootIsDecorated(false);
    List->setItemsExpandable(false);
    List->setUniformRowHeights(true);
    List->setAllColumnsShowFocus(true);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setSortingEnabled(false);
    List->setModel(m_model);
    // Columns can be widened by hand; the last one takes the free width, and a
    // cut-off cell shows its whole text on hover.
    List->header()->setStretchLastSection(true);
    List->header()->setSectionsMovable(false);
    List->header()->setSectionResizeMode(QHeaderView::Interactive);
    ShowCutOffTextsAsToolTips(List);
    for (int c = 0; c < kColumnCount; ++c)
        List->setColumnWidth(c, Twips(EditorColumns[c].twips));

    auto button = [this](const char16_t* caption, int number) {
        auto* b = new QPushButton(QString::fromUtf16(caption), this);
        b->setObjectName(QStringLiteral("Command%1").arg(number));
        b->setMinimumWidth(97);
        return b;
    };
    Command1 = button(u"&Добавить", 1);
    Command2 = button(u"&Удалить", 2);
    Command3 = button(u"&Редактировать", 3);
    Command4 = button(u"&Закрыть", 4);
    Command5 = button(u"&Синхронизация", 5);
    Command6 = button(u"&Индексирование", 6);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Command1, Command2, Command3, Command6, Command5})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(Command4);
    Status = new QLabel(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setTextFormat(Qt::PlainText);
    auto* root = new QVBoxLayout(this);
    root->addWidget(List, 1);
    root->addLayout(buttons);
    root->addWidget(Status);

    connect(Command1, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onAdd));
    connect(Command2, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onDelete));
    connect(Command3, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onEdit));
    connect(Command4, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onClose));
    connect(Command5, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onImport));
    connect(Command6, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &EditorForm::onReindex));
    // A double click on a row, or Enter, opens the record dialog; Delete asks to delete.
    connect(List, &QAbstractItemView::doubleClicked, this, GuardedSlot(m_prompts, this, &EditorForm::onEdit));
    List->installEventFilter(this);

    ListMenu = new QMenu(this);
    ListMenu->setObjectName(QStringLiteral("ListMenu"));
    DedupeAction = ListMenu->addAction(QStringLiteral("Удалить повторы…"));
    DedupeAction->setObjectName(QStringLiteral("DedupeAction"));
    connect(DedupeAction, &QAction::triggered, this, GuardedSlot(m_prompts, this, &EditorForm::onDedupe));
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListMenu->popup(List->viewport()->mapToGlobal(at)); });

    // Another window or a run changed the listings: show them as they are now.
    connect(&m_program, &Program::listingsChanged, this, [this](QObject* source) {
        if (source != this) RefreshData();
    });
    // Runs start and end in other windows too.
    connect(&m_program, &Program::busyChanged, this, &EditorForm::updateEnabled);
    updateEnabled();

    resize(880, 480);
}

EditorForm::~EditorForm() = default;

void EditorForm::RefreshData()
{
    m_model->Refill();
}

int EditorForm::SelectedPosition() const
{
    const QModelIndexList rows = List->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void EditorForm::selectPosition(int position)
{
    // The refill drops the selection; the keyboard user goes on from the same row.
    if (position < 1 || position > m_model->rowCount()) return;
    const QModelIndex row = m_model->index(position - 1, 0);
    List->setCurrentIndex(row);
    List->scrollTo(row);
}

void EditorForm::updateEnabled()
{
    // While a run reads the listings and the knowledge base, nothing may change them.
    const bool idle = !m_program.Busy() && !m_reindexing;
    for (QPushButton* b : {Command1, Command2, Command3, Command4, Command5, Command6})
        b->setEnabled(idle);
    DedupeAction->setEnabled(idle);
}

void EditorForm::notifyChanged()
{
    m_program.NotifyListingsChanged(this);
}

bool EditorForm::warnIfNothingSelected()
{
    if (SelectedPosition() > 0) return false;
    m_prompts.Message(QStringLiteral("Запись не выбрана"), QStringLiteral("Предупреждение"), Prompts::Ok,
                      Prompts::Icon::Information);
    return true;
}

// Each handler first checks for a run: a click already queued when a run
// began arrives from inside its yield, though the button is disabled by now. Runs started from inside a
// handler's modal dialog have ended by the time that dialog returns.

void EditorForm::onAdd()
{
    if (m_program.Busy()) return;
    auto record = std::make_shared<Record>();
    EditRecord(m_program, m_prompts, record, this);
    if (m_program.DialogResult != 1) return;
    m_program.Records.Items.Add(record);
    change = true;
    RefreshData();
    // The new listing is the last row: select it and show it.
    const QModelIndex added = m_model->index(m_model->rowCount() - 1, 0);
    List->setCurrentIndex(added);
    List->scrollTo(added);
    List->setFocus();
    notifyChanged();
}

void EditorForm::onDelete()
{
    if (m_program.Busy() || warnIfNothingSelected()) return;
    const int position = SelectedPosition();
    const auto answer =
        m_prompts.Message(QStringLiteral("Вы дейсвительно хотите удалить запись?"),
                          QStringLiteral("Подтверждение"), Prompts::Yes | Prompts::No | Prompts::DefaultNo);
    if (answer != Prompts::Yes) return;
    m_program.Records.Items.Remove(position);
    RefreshData();
    selectPosition(std::min(position, m_model->rowCount()));
    notifyChanged();
}

void EditorForm::onEdit()
{
    if (m_program.Busy() || warnIfNothingSelected()) return;
    const int position = SelectedPosition();
    EditRecord(m_program, m_prompts, m_program.Records.Items.Item(position), this);
    if (m_program.DialogResult == 1) change = true;
    RefreshData();
    selectPosition(position);
    notifyChanged();
}

void EditorForm::onClose()
{
    if (m_program.Busy()) return;
    if (change) {
        const auto answer =
            m_prompts.Message(QStringLiteral("База данных изменена, вы хотите выполнить индексирование БД?"),
                              QStringLiteral("?"), Prompts::Yes | Prompts::No);
        if (answer == Prompts::Yes) runReindex();
    }
    close();
}

void EditorForm::onImport()
{
    if (m_program.Busy()) return;
    // The import window is modal: the others learn of its runs once it has closed.
    if (OpenSyncForm(m_program, m_prompts, this)) change = true;
    RefreshData();
    notifyChanged();
}

void EditorForm::onReindex()
{
    if (m_program.Busy()) return;
    runReindex();
}

void EditorForm::onDedupe()
{
    if (m_program.Busy() || m_reindexing) return;
    // A million listings take a second; nothing else may change them meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QList<FlatCopy> copies = FindCopies(m_program.Records.Items);
    QApplication::restoreOverrideCursor();
    if (copies.isEmpty()) {
        m_prompts.Message(QStringLiteral("Повторяющихся объявлений в базе нет."),
                          QStringLiteral("Удаление повторов"), Prompts::Ok, Prompts::Icon::Information);
        return;
    }
    const QString backup = m_program.DatabasePath() + QStringLiteral(".bak");
    const auto answer = m_prompts.Message(
        QStringLiteral("Будет удалено объявлений: %1. Это повторы квартир, которые уже есть в базе; "
                       "у каждой квартиры останется самое новое объявление.\nПеред удалением все записи "
                       "будут сохранены в файле «%2».\nУдалить повторы?")
            .arg(copies.size())
            .arg(QDir::toNativeSeparators(backup)),
        QStringLiteral("Подтверждение"), Prompts::Yes | Prompts::No | Prompts::DefaultNo);
    if (answer != Prompts::Yes) return;
    // The listings as they are now, unsaved edits included: a failed write
    // stops here, before anything is removed.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    m_program.Records.SaveToFile(backup);
    RemoveCopies(m_program.Records, copies);
    Status->setText(QStringLiteral("Удалено повторов: %1.").arg(copies.size()));
    RefreshData();
    notifyChanged();
}

void EditorForm::runReindex()
{
    QPointer<EditorForm> self(this);
    m_reindexing = true;
    updateEnabled();
    const auto restore = qScopeGuard([&] {
        if (self) {
            m_reindexing = false;
            updateEnabled();
        }
    });
    Status->setText(QStringLiteral("Индексирование…"));
    const bool completed = RunReindex(m_program, this);
    if (self)
        Status->setText(completed ? QStringLiteral("Индексирование завершено.")
                                  : QStringLiteral("Индексирование отменено."));
}

bool EditorForm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == List && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (mods == Qt::NoModifier && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            Guarded(m_prompts, [this] { onEdit(); });
            return true;
        }
        if (mods == Qt::NoModifier && key->key() == Qt::Key_Delete) {
            Guarded(m_prompts, [this] { onDelete(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void EditorForm::closeEvent(QCloseEvent* e)
{
    // The window goes at once; its re-index ends at its next listing.
    if (m_reindexing) m_program.ProcessState = Program::ProcessCancelled;
    e->accept();
}
