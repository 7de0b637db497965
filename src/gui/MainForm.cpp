// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/MainForm.h"

#include "gui/AccessForm.h"
#include "gui/AsideWork.h"
#include "gui/ChoiceBox.h"
#include "gui/ExplanationWindow.h"
#include "gui/GuiItemToolTips.h"
#include "gui/GuiResources.h"
#include "gui/HelpWindow.h"
#include "gui/SlotGuard.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
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
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QShortcut>
#include <QStringListModel>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMargin(2); // room for the focus frame
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) Q_EMIT clicked();
    QLabel::mouseReleaseEvent(e);
}

void LinkLabel::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    if ((e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        e->accept();
        Q_EMIT clicked();
        return;
    }
    QLabel::keyPressEvent(e);
}

void LinkLabel::paintEvent(QPaintEvent* e)
{
    QLabel::paintEvent(e);
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.backgroundColor = palette().color(backgroundRole());
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}

namespace {

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
    // The links' keys, named in their tooltips: function keys and Ctrl+Q, which a
    // wish box's line edit does not take for itself.
    const struct
    {
        LinkLabel* link;
        QKeySequence keys;
    } linkKeys[] = {{label19, QKeySequence(Qt::Key_F2)},
                    {label21, QKeySequence(Qt::CTRL | Qt::Key_Q)},
                    {label15, QKeySequence(Qt::Key_F1)}};
    for (const auto& k : linkKeys) {
        auto* shortcut = new QShortcut(k.keys, this);
        connect(shortcut, &QShortcut::activated, k.link, &LinkLabel::clicked);
        k.link->setToolTip(k.link->text() + QStringLiteral(" (") + k.keys.toString(QKeySequence::NativeText) +
                           u')');
    }

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
        // The search uses the text as typed: the box filters its list as the
        // user types but never completes inline.
        auto* box = new ChoiceBox(this);
        box->setObjectName(QStringLiteral("Combo%1").arg(s.box));
        if (s.tooltip) box->setToolTip(QString::fromUtf16(s.tooltip));
        const field::Field k = s.field;
        connect(box, &QComboBox::editTextChanged, this, [this, k] { updateWishHint(k); });
        label->setBuddy(box);
        forms[s.column]->addRow(label, box);
        Combo[static_cast<size_t>(s.box)] = box;
        m_wishBoxes[s.field] = box;
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
        static_cast<ChoiceBox*>(WishBox(s.field))->SetEntries(choices);
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
    searchRow->addWidget(Command1);
    searchRow->addWidget(Label23, 1);
    // Shown only while the files load or are saved.
    m_fileProgress = new QProgressBar(this);
    m_fileProgress->setObjectName(QStringLiteral("FileProgress"));
    m_fileProgress->setTextVisible(false);
    m_fileProgress->setMaximumWidth(240);
    m_fileProgress->hide();
    searchRow->addWidget(m_fileProgress);
    root->addLayout(searchRow);
    // What the boxes' wishes mean for the search: those not used (with a
    // suggestion to click), numbers turned into scores, formulas that failed.
    m_zeroHint = new QLabel(this);
    m_zeroHint->setObjectName(QStringLiteral("LabelHint"));
    m_zeroHint->setTextFormat(Qt::RichText);
    m_zeroHint->setWordWrap(true);
    m_zeroHint->setContentsMargins(10, 0, 10, 0);
    m_zeroHint->hide();
    connect(m_zeroHint, &QLabel::linkActivated, this, &MainForm::takeSuggestion);
    root->addWidget(m_zeroHint);

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
    // The links, made first, lead the tab chain; the focus starts in the first wish box all
    // the same, and Tab from the result list goes on to the links.
    WishBox(fieldinfo::WishBoxes[0].field)->setFocus();

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

QComboBox* MainForm::WishBox(field::Field attribute) const
{
    return field::IsAttribute(attribute) ? m_wishBoxes[attribute] : nullptr;
}

void MainForm::StartUp()
{
    std::atomic<qint64> done{0}, total{0};
    WishEntries entries;
    m_loading = true;
    showFileProgress(QStringLiteral("Загрузка базы…"), 0, 0);
    const auto loaded = qScopeGuard([this] {
        m_loading = false;
        hideFileProgress();
    });
    RunAside(
        [&] {
            m_program.StartUp(false, [&](qint64 d, qint64 t) {
                done = d;
                total = t;
            });
            // The accepted values are decoded and indexed at their first use:
            // here, rather than on the window's thread when the wish boxes
            // fill or the first search or re-index starts.
            for (const AttributeValueList& list : m_program.Knowledge.AttributeValueLists)
                (void)list.IndexOf(QStringView());
            // Sorting a million addresses takes seconds: not on the window's thread.
            entries = wishEntries();
        },
        [&] {
            if (total > 0)
                showFileProgress(QStringLiteral("Загрузка базы: %1 из %2").arg(done).arg(total), done, total);
        },
        this);
    ShowRecordCount();
    setWishEntries(std::move(entries));
    m_started = true;
    if (m_closeAfterLoad) QTimer::singleShot(0, this, &QWidget::close);
}

void MainForm::showFileProgress(const QString& text, qint64 done, qint64 total)
{
    Label23->setText(text);
    // A bar counts in int: a total beyond that is scaled down.
    const int scale = total > 1000000000 ? 1000 : 1;
    m_fileProgress->setRange(0, int(total / scale));
    m_fileProgress->setValue(int(std::min(done, total) / scale));
    m_fileProgress->show();
}

void MainForm::hideFileProgress()
{
    Label23->clear();
    m_fileProgress->hide();
}

void MainForm::ShowRecordCount()
{
    Label16->setText(QStringLiteral("Записей в базе данных : ") +
                     QString::number(m_program.Records.Items.Count()));
}

MainForm::WishEntries MainForm::wishEntries() const
{
    WishEntries all;
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes) {
        if (!s.choices.empty()) continue;
        QStringList entries = m_program.Knowledge.AttributeValueLists[s.field].Values();
        if (s.capitalized) {
            // (House types) shown with only their first letter in capitals.
            for (QString& e : entries)
                e = e.left(1).toUpper() + e.mid(1).toLower();
        }
        all[s.field] = text::SortedChoices(std::move(entries));
    }
    return all;
}

void MainForm::setWishEntries(WishEntries entries)
{
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes)
        if (s.choices.empty())
            static_cast<ChoiceBox*>(WishBox(s.field))->SetEntries(std::move(entries[s.field]));
    // The accepted values (and with them what a wish means) may have changed.
    for (field::Field k : field::AttributeFields)
        if (k <= fieldinfo::LastWished) updateWishHint(k);
}

void MainForm::FillWishBoxes()
{
    setWishEntries(wishEntries());
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
    for (field::Field k : field::AttributeFields)
        if (k <= fieldinfo::LastWished) wishes[k] = WishBox(k)->currentText();
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
    m_failedEverywhere.clear();
    SearchHooks hooks;
    hooks.progress = [this](const QString& t) { Label23->setText(t); };
    hooks.UseEventLoop();
    hooks.stopRequested = [this] { return m_stopRequested; };
    hooks.refresh = [this] { refreshResults(); };
    hooks.prepared = [this](const PreparedWishes& w) {
        m_runPrepared = w;
        for (field::Field k : field::AttributeFields)
            if (k <= fieldinfo::LastWished) m_wishHints[k] = w[k];
        showWishHints();
    };
    hooks.formulaFailedEverywhere = [this](const QList<int>& attributes) {
        m_failedEverywhere.clear();
        for (int k : attributes)
            m_failedEverywhere << field::At(k);
        showWishHints();
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

void MainForm::updateWishHint(field::Field k)
{
    QComboBox* box = WishBox(k);
    if (!box || !m_zeroHint) return; // the window is still being built
    PreparedWish& hint = m_wishHints[k];
    Guarded(m_prompts, [&] {
        hint = PrepareWish(m_program.Knowledge, m_program.Engine(), field::Index(k), box->currentText());
    });
    // A changed wish may no longer be the one whose formula failed.
    m_failedEverywhere.removeAll(k);
    showWishHints();
}

void MainForm::showWishHints()
{
    QStringList lines;
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes) {
        const PreparedWish& p = m_wishHints[s.field];
        QComboBox* box = WishBox(s.field);
        const QString tooltip = s.tooltip ? QString::fromUtf16(s.tooltip) : QString();
        // A wish that is not used gets a red frame; the tooltip says why. Set
        // only on a change: a new style sheet polishes the box anew.
        const QString frame = p.Ignored() ? QStringLiteral("QComboBox { border: 2px solid #c0392b; "
                                                           "border-radius: 3px; padding: 1px 4px; }")
                                          : QString();
        if (box->styleSheet() != frame) box->setStyleSheet(frame);
        box->setToolTip(p.hint.isEmpty() ? tooltip : (tooltip.isEmpty() ? p.hint : tooltip + u'\n' + p.hint));
        if (p.hint.isEmpty()) continue;
        QString line = p.hint.toHtmlEscaped();
        if (!p.suggestion.isEmpty()) {
            // The suggestion is a link that puts it in the box.
            const QString shown =
                QString(QStringLiteral("«") + p.suggestion + QStringLiteral("»")).toHtmlEscaped();
            const QString link = QStringLiteral("<a href=\"%1:%2\">%3</a>")
                                     .arg(field::Index(s.field))
                                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(p.suggestion)), shown);
            line.replace(line.lastIndexOf(shown), shown.size(), link);
        }
        lines << QStringLiteral("<span style=\"color:%1\">%2</span>")
                     .arg(p.Ignored() ? QStringLiteral("#a00000") : QStringLiteral("#505050"), line);
    }
    for (field::Field k : m_failedEverywhere)
        lines << QStringLiteral("<span style=\"color:#a00000\">%1</span>")
                     .arg(QString(QStringLiteral("«") + WishBoxCaption(m_program.Knowledge, field::Index(k)) +
                                  QStringLiteral(
                                      "»: формула не вычислилась ни для одной квартиры, везде сравнивалось "
                                      "с 0. Проверьте формулу атрибута «") +
                                  m_program.Knowledge.AttributeNames[k] + QStringLiteral("»."))
                              .toHtmlEscaped());
    m_zeroHint->setText(lines.join(QStringLiteral("<br>")));
    m_zeroHint->setVisible(!lines.isEmpty());
}

void MainForm::takeSuggestion(const QString& link)
{
    const qsizetype colon = link.indexOf(u':');
    QComboBox* box = WishBox(field::At(link.left(colon).toInt()));
    if (colon < 0 || !box) return;
    box->setEditText(QUrl::fromPercentEncoding(link.mid(colon + 1).toLatin1()));
    box->setFocus();
}

QString MainForm::WishHintText() const
{
    return m_zeroHint->isVisible() ? QTextDocumentFragment::fromHtml(m_zeroHint->text()).toPlainText()
                                   : QString();
}

void MainForm::finishRun(bool clearProgress)
{
    m_running = false;
    Command1->setText(QStringLiteral("&Поиск"));
    if (clearProgress) Label23->clear();
    // The whole result at once, not at the display timer's next tick.
    refreshResults();
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
    if (!Guarded(m_prompts, [&] { x = SearchRun::Explain(m_program, *r, m_shownPrepared); })) return nullptr;
    QStringList names, fields;
    for (field::Field k : field::AttributeFields) {
        names << m_program.Knowledge.AttributeNames[k];
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
    QChar separator = u';';
    QString path;
    if (m_chooseSaveFile) {
        path = m_chooseSaveFile(suggested, separator);
    } else {
        const QString semicolon = QStringLiteral("Файлы CSV, разделитель «;» (*.csv)");
        const QString comma = QStringLiteral("Файлы CSV, разделитель «,» (*.csv)");
        QString chosen = semicolon;
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить результаты"), suggested,
                                            semicolon + QStringLiteral(";;") + comma, &chosen);
        if (chosen == comma) separator = u',';
    }
    if (path.isEmpty()) return;
    QSaveFile file(path);
    const QByteArray bytes =
        QByteArray("\xEF\xBB\xBF") + SearchRun::Csv(m_program, m_shown, separator).toUtf8();
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
            // Written on a helper thread while the window says so; a file that
            // already holds what would be written is left alone.
            std::atomic<qint64> done{0}, total{0};
            const QString saving = QStringLiteral("Сохранение…");
            showFileProgress(saving, 0, 0);
            const auto shown = qScopeGuard([this] { hideFileProgress(); });
            RunAside(
                [&] {
                    if (database)
                        m_program.SaveDatabaseIfChanged([&](qint64 d, qint64 t) {
                            done = d;
                            total = t;
                        });
                    else
                        m_program.SaveKnowledgeIfChanged();
                },
                [&] {
                    if (total > 0) showFileProgress(saving, done, total);
                },
                this);
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
    if (m_loading) {
        // The listings are half there: the close follows the load.
        m_closeAfterLoad = true;
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
