// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/SyncForm.h"

#include "gui/GuiItemToolTips.h"
#include "gui/GuiResources.h"
#include "gui/SlotGuard.h"
#include "import/ImportMerge.h"
#include "import/ImportRun.h"
#include "platform/Prompts.h"
#include "program/Program.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {

// The log. A list lays its rows out only some time after rows were added, and
// draws nothing until then, so lines arriving by the hundred left it blank.
// Here lines are added in batches (at most every 30 ms) and laid out at once,
// so every line is drawn as it arrives, and the newest line stays in view.
class LogList : public QListWidget
{
public:
    explicit LogList(QWidget* parent) : QListWidget(parent)
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(kBatchMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Flush(); });
        m_sinceFlush.start();
    }

    void Append(const QString& line)
    {
        m_pending.append(line);
        if (m_sinceFlush.elapsed() >= kBatchMs)
            Flush();
        else if (!m_timer.isActive())
            m_timer.start();
    }

    void Flush()
    {
        m_timer.stop();
        m_sinceFlush.restart();
        if (m_pending.isEmpty()) return;
        addItems(m_pending);
        m_pending.clear();
        executeDelayedItemsLayout();
        scrollToBottom();
    }

    void ClearLog()
    {
        m_pending.clear();
        m_timer.stop();
        clear();
    }

    // Selects the last line and keeps it in view.
    void SelectLast()
    {
        Flush();
        setCurrentRow(count() - 1);
        scrollToBottom();
    }

private:
    static constexpr int kBatchMs = 30;
    QStringList m_pending;
    QTimer m_timer;
    QElapsedTimer m_sinceFlush;
};

} // namespace

SyncForm::SyncForm(Program& program, Prompts& prompts, QWidget* parent, const QString& site)
    : QDialog(parent), m_program(program), m_prompts(prompts),
      m_site(site.isEmpty() ? ListingSiteAddress() : site)
{
    setObjectName(QStringLiteral("SyncForm"));
    setWindowTitle(QStringLiteral("Синхронизация"));
    setModal(true);
    ApplyWindowFont(this);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 10);
    root->setSpacing(6);

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/img/banner.png")));
    Picture1->setFixedHeight(70);
    root->addWidget(Picture1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 0, 10, 0);
    body->setSpacing(6);
    Label1 = new QLabel(
        QStringLiteral("Объявления о продаже квартир берутся с сайта объявлений о недвижимости."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    body->addWidget(Label1);
    Label15 = new QLabel(QStringLiteral("Синхронизация данных с сайта ") + m_site, this);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->setTextFormat(Qt::PlainText);
    QFont bold = Label15->font();
    bold.setBold(true);
    Label15->setFont(bold);
    body->addWidget(Label15);

    List = new LogList(this);
    List->setObjectName(QStringLiteral("List"));
    List->setUniformItemSizes(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    ShowCutOffTextsAsToolTips(List);
    body->addWidget(List, 1);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(20);
    body->addWidget(ProgressBar1);

    auto* buttons = new QHBoxLayout;
    Check1 = new QCheckBox(QStringLiteral("Обновлять уже имеющиеся объявления"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(true);
    buttons->addWidget(Check1);
    buttons->addStretch();
    Command1 = new QPushButton(QStringLiteral("&Запуск"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command1->setMinimumWidth(97);
    buttons->addWidget(Command1);
    Command2 = new QPushButton(QStringLiteral("Отмена"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAutoDefault(false);
    Command2->setMinimumWidth(97);
    buttons->addWidget(Command2);
    body->addLayout(buttons);
    root->addLayout(body, 1);
    resize(760, 480);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(0);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);
    connect(Timer2, &QTimer::timeout, this, [this] { Command2->setEnabled(Timer1->interval() == 0); });
    Timer2->start();

    connect(Command1, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &SyncForm::onCommand1));
    connect(Command2, &QPushButton::clicked, this, &SyncForm::close);
}

SyncForm::~SyncForm() = default;

void SyncForm::requestStop()
{
    // Pressed again before the run has wound down, the button starts nothing.
    Command1->setText(QStringLiteral("&Запуск"));
    Timer1->setInterval(0);
}

void SyncForm::onCommand1()
{
    if (Timer1->interval() != 0) {
        requestStop();
        return;
    }
    // A stop is pending: the run ends at its next checkpoint, and only then
    // may a new one begin.
    if (m_running) return;

    // "Да" empties the database only once the run has its first listing: a
    // site that fails from the start leaves the listings as they were.
    m_clearFirst = m_prompts.Message(QStringLiteral("Вы хотите удалить все записи в БД?"), AppTitle(),
                                     Prompts::Yes | Prompts::No | Prompts::DefaultNo) == Prompts::Yes;
    Timer1->setInterval(1000);
    Command1->setText(QStringLiteral("&Остановить"));
    {
        // However the run ends (also by an error), the window is ready for the next one.
        const auto idle = qScopeGuard([this] {
            Timer1->setInterval(0);
            Command1->setText(QStringLiteral("&Запуск"));
            Command2->setEnabled(true);
            m_clearFirst = false;
        });
        SyncStart();
    }

    if (m_closePending) {
        m_closePending = false;
        QDialog::reject();
    }
}

void SyncForm::SyncStart()
{
    QScopedValueRollback<bool> running(m_running, true);
    Check1->setEnabled(false);
    const auto unlock = qScopeGuard([this] { Check1->setEnabled(true); });
    // Not the bar of the run before (a range of 0 would show a busy bar).
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ImportOptions options = RunOptions;
    options.updateExisting = Check1->isChecked();
    options.clearFirst = m_clearFirst;
    LoaderPageSource pages(PageTimeoutMs);
    ImportHooks hooks;
    auto* log = static_cast<LogList*>(List);
    hooks.clearLog = [log] { log->ClearLog(); };
    hooks.log = [log](const QString& line) { log->Append(line); };
    hooks.steps = [this](qint64 maximum, qint64 value) { setProgress(maximum, value); };
    hooks.listingTaken = [log] { log->SelectLast(); };
    hooks.stopRequested = [this] { return Timer1->interval() == 0; };
    hooks.UseEventLoop(0);
    const auto flush = qScopeGuard([log] { log->Flush(); });
    const ImportResult result = ::SyncStart(m_program, m_site, pages, hooks, options);
    if (result.added > 0 || result.updated > 0) m_tookListings = true;
    // The run's own last line says "Завершено." for a stop as for the end of
    // the list; say which, what to do when the site failed, and the counts.
    if (result.gaveUp) {
        log->Append(QStringLiteral("Проверьте подключение к интернету и адрес сайта: %1").arg(m_site));
        log->Append(QStringLiteral("Адрес задаёт переменная окружения VESTRANA_SITE при запуске программы."));
    } else if (!result.completed) {
        log->Append(QStringLiteral("Импорт остановлен пользователем."));
    }
    if (!result.completed || !options.updateExisting)
        log->Append(ImportSummaryLine(result.added, result.updated, result.unchanged));
}

void SyncForm::setProgress(qint64 maximum, qint64 value)
{
    // A bar holds ints; an announced total beyond that is scaled down.
    constexpr qint64 limit = std::numeric_limits<int>::max();
    maximum = std::max<qint64>(0, maximum);
    qint64 divisor = 1;
    while (maximum / divisor > limit)
        divisor *= 2;
    ProgressBar1->setMaximum(static_cast<int>(maximum / divisor));
    ProgressBar1->setValue(static_cast<int>(qBound<qint64>(0, value / divisor, maximum / divisor)));
}

void SyncForm::reject()
{
    if (m_running) {
        requestStop();
        m_closePending = true;
        return;
    }
    QDialog::reject();
}

bool OpenSyncForm(Program& program, Prompts& prompts, QWidget* parent)
{
    SyncForm form(program, prompts, parent);
    form.exec();
    return form.TookListings();
}
