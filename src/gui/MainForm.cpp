// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/MainForm.h"

#include "gui/AccessForm.h"
#include "gui/ExplanationWindow.h"
#include "gui/GuiItemToolTips.h"
#include "gui/GuiResources.h"
#include "gui/HelpWindow.h"
#include "gui/SlotGuard.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringListModel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

void LinkLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) Q_EMIT clicked();
    QLabel::mouseReleaseEvent(e);
}

namespace {

// The caption beside the wish box of attribute k, with single spaces.
QString wishCaption(int k)
{
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes)
        if (s.field == k) return QString::fromUtf16(s.caption).simplified();
    return QString();
}

QLabel* separator(QWidget* parent)
{
    auto* l = new QLabel(QStringLiteral("|"), parent);
    return l;
}

} // namespace

MainForm::MainForm(Program& program, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_program(program), m_prompts(prompts)
{
    InitGuiResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Жилоскоп 01.02.2008"));
    ApplyWindowFont(this);
    buildWindow();
}

MainForm::~MainForm()
{
    closeExplanations();
}

void MainForm::buildWindow()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 8);
    root->setSpacing(6);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->setPixmap(QPixmap(QStringLiteral(":/img/banner.png")));
    picture->setScaledContents(true);
    picture->setFixedHeight(70);
    picture->setMinimumWidth(200);
    root->addWidget(picture);

    // The link bar: separator, count, separator, editing, separator, exit, separator, help.
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(10, 0, 10, 0);
    auto* sep17 = separator(this);
    sep17->setObjectName(QStringLiteral("Label17"));
    Label16 = new QLabel(QStringLiteral("Записей в базе данных : "), this);
    Label16->setObjectName(QStringLiteral("Label16"));
    auto* sep18 = separator(this);
    sep18->setObjectName(QStringLiteral("Label18"));
    auto* image2 = new QLabel(this);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->setPixmap(QPixmap(QStringLiteral(":/img/edit.png")));
    auto* label19 = new LinkLabel(QStringLiteral("Редактирование БД"), this);
    label19->setObjectName(QStringLiteral("Label19"));
    auto* sep20 = separator(this);
    sep20->setObjectName(QStringLiteral("Label20"));
    auto* label21 = new LinkLabel(QStringLiteral("Выход"), this);
    label21->setObjectName(QStringLiteral("Label21"));
    auto* sep22 = separator(this);
    sep22->setObjectName(QStringLiteral("Label22"));
    auto* image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(QPixmap(QStringLiteral(":/img/help.png")));
    auto* label15 = new LinkLabel(QStringLiteral("Справка"), this);
    label15->setObjectName(QStringLiteral("Label15"));
    for (LinkLabel* link : {label19, label21, label15}) {
        link->setCursor(Qt::PointingHandCursor);
        link->setStyleSheet(QStringLiteral("color: #1f4e79; text-decoration: underline;"));
    }
    for (QWidget* w : std::initializer_list<QWidget*>{sep17, Label16, sep18, image2, label19, sep20, label21,
                                                      sep22, image1, label15})
        bar->addWidget(w);
    bar->addStretch();
    root->addLayout(bar);
    connect(label19, &LinkLabel::clicked, this, &MainForm::OpenAccess);
    connect(label21, &LinkLabel::clicked, this, &MainForm::close);
    connect(label15, &LinkLabel::clicked, this, &MainForm::ShowHelp);

    // The wish boxes in three columns.
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(10, 0, 10, 0);
    columns->setSpacing(16);
    QFormLayout* forms[3];
    for (QFormLayout*& form : forms) {
        form = new QFormLayout;
        form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    }
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes) {
        auto* label = new QLabel(QString::fromUtf16(s.caption), this);
        label->setObjectName(QStringLiteral("Label%1").arg(s.box));
        auto* box = new QComboBox(this);
        box->setObjectName(QStringLiteral("Combo%1").arg(s.box));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        // A list of a hundred thousand entries must not be measured entry by entry.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(12);
        auto* view = new QListView(box);
        view->setUniformItemSizes(true);
        box->setView(view);
        box->setModel(new QStringListModel(box));
        // The search uses the text as typed: no completion from the list
        // (picking an entry is still there).
        box->setCompleter(nullptr);
        if (s.tooltip) box->setToolTip(QString::fromUtf16(s.tooltip));
        label->setBuddy(box);
        forms[s.column]->addRow(label, box);
        Combo[static_cast<size_t>(s.box)] = box;
        m_wishBoxes[field::Slot(s.field)] = box;
    }
    for (QFormLayout* form : forms)
        columns->addLayout(form, 1);
    root->addLayout(columns);

    // A box with a fixed list keeps it.
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes) {
        if (s.choices.empty()) continue;
        QStringList choices;
        for (const char16_t* c : s.choices)
            choices << QString::fromUtf16(c);
        static_cast<QStringListModel*>(WishBox(s.field)->model())->setStringList(choices);
    }
    for (QComboBox* box : Combo)
        if (box) box->setEditText(QString());

    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(10, 0, 10, 0);
    Command1 = new QPushButton(QStringLiteral("&Поиск"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setMinimumWidth(120);
    Label23 = new QLabel(this);
    Label23->setObjectName(QStringLiteral("Label23"));
    // Says which number wishes were read as 0 because they hold no number.
    m_zeroHint = new QLabel(this);
    m_zeroHint->setObjectName(QStringLiteral("LabelHint"));
    m_zeroHint->setTextFormat(Qt::PlainText);
    m_zeroHint->setStyleSheet(QStringLiteral("color: #a00000;"));
    searchRow->addWidget(Command1);
    searchRow->addWidget(Label23, 1);
    searchRow->addWidget(m_zeroHint);
    root->addLayout(searchRow);

    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true);
    List->setAlternatingRowColors(true);
    // Several rows may be selected, to copy them together.
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const QStringList headers = SearchRun::ResultHeaders();
    List->setColumnCount(fieldinfo::ResultColumnCount);
    List->setHeaderLabels(headers);
    for (int c = 0; c < fieldinfo::ResultColumnCount; ++c) {
        List->setColumnWidth(c, Twips(fieldinfo::ResultColumns[c].twips));
        // Narrow headers ("% совпадения") are cut off: the whole caption on hover.
        List->headerItem()->setToolTip(c, headers[c]);
    }
    List->header()->setStretchLastSection(true);
    List->header()->setSectionResizeMode(QHeaderView::Interactive);
    ShowCutOffTextsAsToolTips(List);
    List->setMinimumHeight(220);
    // A double click or Enter on a row explains it; the menu offers the rest.
    connect(List, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { OpenExplanation(List->indexOfTopLevelItem(item)); });
    // Ctrl+C copies the selected rows whole (the list alone would copy one cell).
    List->installEventFilter(this);
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List, &QWidget::customContextMenuRequested, this, &MainForm::showListMenu);
    auto* listBox = new QVBoxLayout;
    listBox->setContentsMargins(10, 0, 10, 0);
    listBox->addWidget(List);
    root->addLayout(listBox, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Command1, &QPushButton::clicked, this, &MainForm::onSearchClicked);
    connect(Timer1, &QTimer::timeout, this, &MainForm::onSearchTrigger);
    connect(Timer2, &QTimer::timeout, this, &MainForm::refreshResults);
    Timer2->start();

    // The count and the wish lists follow the listings and the knowledge base.
    connect(&m_program, &Program::listingsChanged, this, [this] {
        if (m_started) {
            ShowRecordCount();
            FillWishBoxes();
        }
    });
    connect(&m_program, &Program::knowledgeChanged, this, [this] {
        if (m_started) FillWishBoxes();
    });

    resize(1000, 640);
}

QComboBox* MainForm::WishBox(int attribute) const
{
    if (attribute >= 0 && attribute < field::Attributes) return m_wishBoxes[static_cast<size_t>(attribute)];
    return nullptr;
}

void MainForm::StartUp()
{
    m_program.StartUp();
    ShowRecordCount();
    FillWishBoxes();
    m_started = true;
}

void MainForm::ShowRecordCount()
{
    Label16->setText(QStringLiteral("Записей в базе данных : ") +
                     QString::number(m_program.Records.Items.Count()));
}

void MainForm::FillWishBoxes()
{
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes) {
        if (!s.choices.empty()) continue;
        QStringList entries = m_program.Knowledge.AttributeValueLists[field::Slot(s.field)].Values();
        if (s.capitalized) {
            // (House types) shown with only their first letter in capitals.
            for (QString& e : entries)
                e = e.left(1).toUpper() + e.mid(1).toLower();
        }
        QComboBox* box = WishBox(s.field);
        // A refill resets the box's text; what the user typed stays.
        const QString typed = box->currentText();
        const int cursor = box->lineEdit()->cursorPosition();
        static_cast<QStringListModel*>(box->model())->setStringList(entries);
        box->setEditText(typed);
        box->lineEdit()->setCursorPosition(cursor);
    }
}

bool MainForm::SearchActive() const
{
    return Timer1->isActive() || m_running;
}

bool MainForm::SearchRunning() const
{
    return m_running;
}

void MainForm::onSearchClicked()
{
    if (m_running) {
        if (!m_stopRequested) {
            // A click during a run ends it at its next yield point.
            m_stopRequested = true;
            Command1->setText(QStringLiteral("&Поиск"));
        } else {
            // A new run starts only after the stopped one has ended.
            m_rearm = !m_rearm;
            Command1->setText(m_rearm ? QStringLiteral("&Остановить") : QStringLiteral("&Поиск"));
        }
        return;
    }
    if (Timer1->isActive()) {
        Timer1->stop();
        Command1->setText(QStringLiteral("&Поиск"));
    } else {
        Timer1->setInterval(10);
        Timer1->start();
        Command1->setText(QStringLiteral("&Остановить"));
    }
}

SearchRun::Wishes MainForm::ReadWishes() const
{
    SearchRun::Wishes wishes;
    for (int k = 0; k <= fieldinfo::LastWished; ++k)
        wishes[static_cast<size_t>(k)] = WishBox(k)->currentText();
    return wishes;
}

void MainForm::onSearchTrigger()
{
    // The trigger fires once per arming.
    Timer1->stop();
    if (m_running) return;
    if (m_program.Busy()) {
        // A re-index or an import is reading or changing the listings: the
        // search waits, armed, until it has ended.
        Timer1->setInterval(100);
        Timer1->start();
        return;
    }
    m_running = true;
    m_stopRequested = false;
    m_rearm = false;
    Label23->clear();
    m_runTyped = ReadWishes();
    m_runPrepared = {};
    SearchHooks hooks;
    hooks.progress = [this](const QString& t) { Label23->setText(t); };
    hooks.UseEventLoop();
    hooks.stopRequested = [this] { return m_stopRequested; };
    hooks.refresh = [this] { refreshResults(); };
    hooks.prepared = [this](const SearchRun::Wishes& w) {
        m_runPrepared = w;
        showZeroHint(SearchRun::ReadAsZero(m_program, w));
    };
    bool completed = true;
    const bool ran = Guarded(m_prompts, [&] {
        // A run that failed ends like a completed one, before its error is shown.
        auto failed = qScopeGuard([this] { finishRun(true); });
        completed = SearchRun::Run(m_program, m_runTyped, hooks);
        failed.dismiss();
    });
    // A stopped run leaves its progress text saying so.
    if (ran) finishRun(completed);
}

void MainForm::showZeroHint(const QList<int>& attributes)
{
    QStringList names;
    for (int k : attributes)
        names << QStringLiteral("«") + wishCaption(k) + QStringLiteral("»");
    if (names.isEmpty())
        m_zeroHint->clear();
    else
        m_zeroHint->setText((names.size() == 1 ? QStringLiteral("Не число, считается как 0: ")
                                               : QStringLiteral("Не числа, считаются как 0: ")) +
                            names.join(QStringLiteral(", ")));
}

void MainForm::finishRun(bool clearProgress)
{
    m_running = false;
    Command1->setText(QStringLiteral("&Поиск"));
    if (clearProgress) Label23->clear();
    Q_EMIT searchFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    if (m_rearm) {
        m_rearm = false;
        Timer1->setInterval(10);
        Timer1->start();
        Command1->setText(QStringLiteral("&Остановить"));
    }
}

void MainForm::refreshResults()
{
    const QList<RecordPtr>& found = m_program.FoundList;
    if (found.size() == ShownCount) return;
    ShownCount = static_cast<int>(found.size());
    List->clear();
    m_shown = found;
    m_shownTyped = m_runTyped;
    m_shownPrepared = m_runPrepared;
    const QIcon icon(QStringLiteral(":/img/row.png"));
    QList<QTreeWidgetItem*> rows;
    for (const RecordPtr& r : found) {
        auto* item = new QTreeWidgetItem(SearchRun::ResultCells(*r));
        item->setIcon(0, icon);
        rows.append(item);
    }
    List->addTopLevelItems(rows);
}

ExplanationWindow* MainForm::OpenExplanation(int row)
{
    if (row < 0 || row >= m_shown.size()) return nullptr;
    const RecordPtr& r = m_shown[row];
    if (ExplanationWindow* open = m_explanations.value(r.get()).second) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    if (m_program.Busy() && !m_running) {
        // A re-index or an import may be changing the lists being compared.
        m_prompts.Message(
            QStringLiteral(
                "Сейчас идёт переиндексация или импорт. Подробности можно открыть после их окончания."),
            AppTitle(), Prompts::Ok, Prompts::Icon::Information);
        return nullptr;
    }
    Explanation x;
    if (!Guarded(m_prompts, [&] { x = SearchRun::Explain(m_program, *r, m_shownTyped, m_shownPrepared); }))
        return nullptr;
    QStringList names, fields;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        names << m_program.Knowledge.AttributeNames[static_cast<size_t>(k)];
        fields << r->GetRecord(k);
    }
    auto* w = new ExplanationWindow(names, fields, x, nullptr);
    w->setAttribute(Qt::WA_DeleteOnClose);
    m_explanations.insert(r.get(), {r, w});
    const Record* key = r.get();
    connect(w, &QObject::destroyed, this, [this, key] { m_explanations.remove(key); });
    w->show();
    return w;
}

void MainForm::closeExplanations()
{
    const auto windows = m_explanations.values();
    m_explanations.clear();
    for (const auto& [listing, w] : windows)
        if (w) w->close();
}

bool MainForm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == List && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->matches(QKeySequence::Copy)) {
        CopySelectedRows();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void MainForm::CopySelectedRows()
{
    QList<RecordPtr> rows;
    for (int i = 0; i < List->topLevelItemCount() && i < m_shown.size(); ++i)
        if (List->topLevelItem(i)->isSelected()) rows.append(m_shown[i]);
    if (rows.isEmpty()) return;
    QApplication::clipboard()->setText(SearchRun::Tsv(rows));
}

void MainForm::SaveResults()
{
    if (m_shown.isEmpty()) return;
    const QString suggested = m_program.DataDir.isEmpty()
                                  ? QStringLiteral("результаты.csv")
                                  : m_program.DataDir + QStringLiteral("/результаты.csv");
    const QString path =
        m_chooseSaveFile
            ? m_chooseSaveFile(suggested)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить результаты"), suggested,
                                           QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    if (path.isEmpty()) return;
    QSaveFile file(path);
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + SearchRun::Csv(m_program, m_shown).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_prompts.Message(
            QStringLiteral("Не удалось сохранить результаты в файл «%1».\n%2").arg(path, file.errorString()),
            AppTitle(), Prompts::Ok, Prompts::Icon::Critical);
    }
}

void MainForm::showListMenu(const QPoint& at)
{
    QTreeWidgetItem* item = List->itemAt(at);
    QMenu menu(this);
    QAction* details = menu.addAction(QStringLiteral("Подробнее…"));
    details->setEnabled(item != nullptr);
    QAction* copy = menu.addAction(QStringLiteral("Копировать"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!List->selectedItems().isEmpty());
    menu.addSeparator();
    QAction* save = menu.addAction(QStringLiteral("Сохранить результаты…"));
    save->setEnabled(!m_shown.isEmpty());
    QAction* chosen = menu.exec(List->viewport()->mapToGlobal(at));
    Guarded(m_prompts, [&] {
        if (chosen == details)
            OpenExplanation(List->indexOfTopLevelItem(item));
        else if (chosen == copy)
            CopySelectedRows();
        else if (chosen == save)
            SaveResults();
    });
}

void MainForm::ShowHelp()
{
    for (const QPointer<HelpWindow>& w : m_helpWindows) {
        if (w) {
            w->ShowTopic();
            w->show();
            w->raise();
            w->activateWindow();
            return;
        }
    }
    auto* help = new HelpWindow(nullptr);
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->SetDataFolder(m_program.DataDir);
    help->ShowTopic();
    help->show();
    m_helpWindows.append(help);
}

void MainForm::OpenAccess()
{
    AccessForm dialog(m_program, m_prompts, this);
    dialog.exec();
}

bool MainForm::saveWithRetry(bool database)
{
    for (;;) {
        try {
            if (database)
                m_program.SaveDatabase();
            else
                m_program.SaveKnowledge();
            return true;
        } catch (const VestranaError& e) {
            const QString what = database ? QStringLiteral("базу данных (database.txt)")
                                          : QStringLiteral("базу знаний (knows.txt)");
            const auto answer = m_prompts.Message(
                QStringLiteral("Не удалось сохранить %1.\n%2\n\n«Повторить» — попробовать снова, "
                               "«Отмена» — не закрывать программу, чтобы ничего не потерять.")
                    .arg(what, e.message()),
                AppTitle(), Prompts::Retry | Prompts::Cancel | Prompts::Discard, Prompts::Icon::Critical);
            if (answer == Prompts::Retry) continue;
            return answer == Prompts::Discard;
        }
    }
}

void MainForm::closeOtherWindows()
{
    // Database editors and their dialogs close first, so that the files get the
    // collection as they left it.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && !qobject_cast<HelpWindow*>(w)) w->close();
    }
}

void MainForm::closeEvent(QCloseEvent* e)
{
    if (m_closing) {
        e->ignore();
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        // A dialog's own loop is running further down the stack (a signal can
        // ask for the close at any time): close the dialog first and come back
        // once its loop has unwound, so that no window is destroyed under a
        // handler that still runs.
        modal->close();
        e->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    if (m_running || m_program.Busy()) {
        // A run ends first (the search at its next yield point, a re-index at
        // its next check, an import when its window closes); the close follows.
        m_stopRequested = true;
        const bool closeArmed = m_closeAfterRun; // a second close while waiting adds nothing
        m_closeAfterRun = true;
        m_program.ProcessState = Program::ProcessCancelled;
        closeOtherWindows();
        e->ignore();
        if (!m_running && !closeArmed) {
            // Queued: the close comes once the run has unwound, not from inside its end.
            // Should another run hold the program by then, this close waits again.
            connect(
                &m_program, &Program::busyChanged, this,
                [this] {
                    m_closeAfterRun = false;
                    close();
                },
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        }
        return;
    }
    if (!m_started) {
        // A start that failed writes nothing: the user's files stay as they are.
        closeExplanations();
        e->accept();
        Q_EMIT shutDown();
        return;
    }
    Timer1->stop();
    m_closing = true;
    closeOtherWindows();
    if (!saveWithRetry(true) || !saveWithRetry(false)) {
        m_closing = false;
        e->ignore();
        return;
    }
    for (const QPointer<HelpWindow>& w : m_helpWindows)
        if (w) w->close();
    m_helpWindows.clear();
    closeExplanations();
    m_closing = false;
    e->accept();
    Q_EMIT shutDown();
}
