// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ExpertForm.h"

#include "editing/ExpertChecks.h"
#include "gui/GuiItemToolTips.h"
#include "gui/GuiResources.h"
#include "gui/SlotGuard.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "program/Program.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

// The accepted values of one attribute as a one-column table. A plain string list
// model fills tens of thousands of entries at once.
class ValueListModel : public QStringListModel
{
public:
    using QStringListModel::QStringListModel;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QStringLiteral("Значения");
        return QStringListModel::headerData(section, orientation, role);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        return QStringListModel::flags(index) & ~Qt::ItemIsEditable;
    }
};

// knows.txt separates its fields with "|" and its lines with line breaks, so a
// text holding either would come back broken at the next start. Such input is
// refused whole, typed or pasted.
class FileSafeValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        return text::IsFileSafe(input) ? Acceptable : Invalid;
    }
};

const QString kValueMessage = QStringLiteral("Формализованное значение - число от 0 до 100");

// A frame caption shows an "&" in a text as it is, not as an access key.
QString caption(const QString& s)
{
    QString out = s;
    return out.replace(u'&', QStringLiteral("&&"));
}

// A frame's title of a fixed beginning and a text of any length (a listing's
// description is an accepted value too): the text is shortened with "…" to
// what the frame has room for, so that a long one cannot widen the frame and
// the window past the screen; the whole title is then the frame's tooltip.
void setTitle(QGroupBox* frame, const QString& head, const QString& text)
{
    const QFontMetrics metrics(frame->font());
    // Before the window is laid out its frames have no width of their own yet.
    const int width = frame->isVisible() ? frame->width() : 0;
    const int room = std::max(width - metrics.horizontalAdvance(head) - 24, 240);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
    frame->setTitle(head + caption(shown));
    frame->setToolTip(shown == text ? QString() : head + text);
}

} // namespace

ExpertForm::ExpertForm(Program& program, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_program(program), m_prompts(prompts)
{
    setObjectName(QStringLiteral("ExpertForm"));
    setWindowTitle(QStringLiteral("Редактирование базы знаний"));
    setModal(true);
    ApplyWindowFont(this);
    buildWindow();

    // Building: the attribute list in index order, the first entry selected, a refresh.
    List->clear();
    const QIcon icon(QStringLiteral(":/img/attribute.png"));
    for (field::Field k : field::AttributeFields) {
        auto* item = new QListWidgetItem(icon, m_program.Knowledge.AttributeNames[k]);
        // Long names are cut off under their icons.
        item->setToolTip(item->text());
        List->addItem(item);
    }
    List->setCurrentRow(0);

    connect(List, &QListWidget::itemSelectionChanged, this,
            GuardedSlot(m_prompts, this, &ExpertForm::RefreshData));
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            GuardedSlot(m_prompts, this, &ExpertForm::onValueSelectionChanged));
    connect(Combo1, &QComboBox::activated, this, &ExpertForm::onKindPicked);
    connect(Text1, &QLineEdit::textChanged, this, &ExpertForm::onFormulaChanged);
    connect(Text2, &QLineEdit::textChanged, this, &ExpertForm::onCommentChanged);
    connect(Text3, &QLineEdit::textChanged, this, &ExpertForm::onFormalizedChanged);
    connect(Command1, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &ExpertForm::checkFormula));
    connect(Command2, &QPushButton::clicked, this, GuardedSlot(m_prompts, this, &ExpertForm::addValue));
    connect(Timer1, &QTimer::timeout, this, &ExpertForm::enablingCheck);

    RefreshData();
    Timer1->start();
}

ExpertForm::~ExpertForm() = default;

void ExpertForm::buildWindow()
{
    resize(886, 617); // 13290 x 9255 twips

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);

    auto* attributesLabel = new QLabel(QStringLiteral("Атрибуты:"), this);
    attributesLabel->setObjectName(QStringLiteral("Label1"));
    root->addWidget(attributesLabel);

    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setViewMode(QListView::IconMode);
    List->setIconSize(QSize(32, 32));
    List->setGridSize(QSize(118, 62));
    List->setMovement(QListView::Static);
    List->setResizeMode(QListView::Adjust);
    List->setWrapping(true);
    List->setWordWrap(true);
    List->setUniformItemSizes(true);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setMinimumHeight(140);
    List->setMaximumHeight(200);
    List->installEventFilter(this);
    List->viewport()->installEventFilter(this);
    root->addWidget(List);

    auto* lower = new QHBoxLayout;
    root->addLayout(lower, 1);

    // Left: the value list and the add button.
    auto* left = new QVBoxLayout;
    auto* valuesLabel = new QLabel(QStringLiteral("Принимаемые значения атрибута:"), this);
    valuesLabel->setObjectName(QStringLiteral("Label2"));
    left->addWidget(valuesLabel);
    m_values = new ValueListModel(this);
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(m_values);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setStretchLastSection(true);
    ListView1->header()->setSectionsClickable(false);
    ShowCutOffTextsAsToolTips(ListView1);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    left->addWidget(ListView1, 1);
    Command2 = new QPushButton(QStringLiteral("&Добавить значение атрибута"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    // Enter in a box must not press a button of the dialog.
    Command2->setAutoDefault(false);
    left->addWidget(Command2);
    lower->addLayout(left, 1);

    // Right: the attribute frame over the value frame.
    auto* right = new QVBoxLayout;
    Frame1 = new QGroupBox(QStringLiteral("Параметры атрибута"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* grid1 = new QGridLayout(Frame1);
    auto* kindLabel = new QLabel(QStringLiteral("Тип значения"), Frame1);
    kindLabel->setObjectName(QStringLiteral("Label3"));
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    for (Kind kind : kinds::Named)
        Combo1->addItem(kinds::TextOf(kind));
    Combo1->setCurrentIndex(3);
    Combo1->setValidator(new FileSafeValidator(Combo1));
    kindLabel->setBuddy(Combo1);
    auto* commentLabel = new QLabel(QStringLiteral("Комментарий"), Frame1);
    commentLabel->setObjectName(QStringLiteral("Label4"));
    Text2 = new QLineEdit(Frame1);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setValidator(new FileSafeValidator(Text2));
    commentLabel->setBuddy(Text2);
    auto* formulaLabel = new QLabel(QStringLiteral("Формула значимость = "), Frame1);
    formulaLabel->setObjectName(QStringLiteral("Label5"));
    Text1 = new QLineEdit(QStringLiteral("1+2+3"), Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setValidator(new FileSafeValidator(Text1));
    formulaLabel->setBuddy(Text1);
    Command1 = new QPushButton(QStringLiteral("&Проверить формулу"), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    m_hint = new QLabel(Frame1);
    m_hint->setObjectName(QStringLiteral("LabelHint"));
    m_hint->setWordWrap(true);
    m_hint->setStyleSheet(QStringLiteral("color: #a00000;"));
    m_hint->hide();
    m_formulaProblem = new QLabel(Frame1);
    m_formulaProblem->setObjectName(QStringLiteral("LabelFormula"));
    m_formulaProblem->setWordWrap(true);
    m_formulaProblem->setStyleSheet(QStringLiteral("color: #a00000;"));
    m_formulaProblem->hide();
    grid1->addWidget(kindLabel, 0, 0);
    grid1->addWidget(Combo1, 0, 1, 1, 2);
    grid1->addWidget(commentLabel, 1, 0);
    grid1->addWidget(Text2, 1, 1, 1, 2);
    grid1->addWidget(formulaLabel, 2, 0);
    grid1->addWidget(Text1, 2, 1);
    grid1->addWidget(Command1, 2, 2);
    grid1->addWidget(m_formulaProblem, 3, 1, 1, 2);
    grid1->addWidget(m_hint, 4, 0, 1, 3);
    grid1->setColumnStretch(1, 1);
    right->addWidget(Frame1);
    for (QLineEdit* box : {Text1, Text2, Combo1->lineEdit()}) {
        connect(box, &QLineEdit::inputRejected, this, &ExpertForm::refuseUnsafeInput);
        connect(box, &QLineEdit::textEdited, m_hint, &QLabel::hide);
    }

    Frame2 = new QGroupBox(QStringLiteral("Параметры значения атрибута"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    auto* grid2 = new QGridLayout(Frame2);
    auto* valueLabel = new QLabel(QStringLiteral("Формализованное значение"), Frame2);
    valueLabel->setObjectName(QStringLiteral("Label6"));
    Text3 = new QLineEdit(Frame2);
    Text3->setObjectName(QStringLiteral("Text3"));
    valueLabel->setBuddy(Text3);
    auto* rangeLabel = new QLabel(QStringLiteral("Значение - целое число в диапозоне от 0 до 100"), Frame2);
    rangeLabel->setObjectName(QStringLiteral("Label7"));
    auto* meaningLabel =
        new QLabel(QStringLiteral("Формализованное значение определяется экспертом, численное значение "
                                  "определяется как некая полезность конкретного значения атрибута."),
                   Frame2);
    meaningLabel->setObjectName(QStringLiteral("Label8"));
    meaningLabel->setWordWrap(true);
    m_valueProblem = new QLabel(Frame2);
    m_valueProblem->setObjectName(QStringLiteral("LabelValue"));
    m_valueProblem->setWordWrap(true);
    m_valueProblem->setStyleSheet(QStringLiteral("color: #a00000;"));
    m_valueProblem->hide();
    grid2->addWidget(valueLabel, 0, 0);
    grid2->addWidget(Text3, 0, 1);
    grid2->addWidget(m_valueProblem, 1, 1);
    grid2->addWidget(rangeLabel, 2, 0, 1, 2);
    grid2->addWidget(meaningLabel, 3, 0, 1, 2);
    grid2->setColumnStretch(1, 1);
    right->addWidget(Frame2);
    right->addStretch();
    lower->addLayout(right, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
}

std::optional<field::Field> ExpertForm::selectedAttribute() const
{
    const QList<QListWidgetItem*> items = List->selectedItems();
    if (items.isEmpty()) return std::nullopt;
    return field::At(List->row(items.first())); // the list holds the attributes in order
}

int ExpertForm::selectedValue() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ExpertForm::selectValue(int row)
{
    const QModelIndex index = m_values->index(row);
    ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    ListView1->scrollTo(index);
}

void ExpertForm::RefreshData()
{
    const std::optional<field::Field> k = selectedAttribute();
    if (!k) return;
    KnowledgeBase& kb = m_program.Knowledge;
    const field::Field slot = *k;
    Frame1->setTitle(QStringLiteral("Параметры атрибута: ") +
                     caption(List->item(field::Index(slot))->text()));

    if (ListedAttribute != k) {
        ++m_quiet;
        m_values->setStringList(kb.AttributeValueLists[slot].Values());
        if (m_values->rowCount() > 0) selectValue(0);
        --m_quiet;
    }
    ListedAttribute = k;

    const int q = selectedValue();
    // The shown list may be older than the knowledge base (it is relisted only
    // when another attribute is picked): a row past the stored values has no score.
    if (q < 0 || q >= kb.AttributeValueLists[slot].Count()) {
        Frame2->setEnabled(false);
    } else {
        Frame2->setEnabled(true);
        setTitle(Frame2, QStringLiteral("Параметры значения атрибута: "),
                 m_values->index(q).data().toString());
        m_showingScore = true;
        const QString stored = kb.AttributeValueLists[slot].Score(q + 1);
        // A refused entry stays marked until the box shows the stored value again.
        if (Text3->text() != stored) {
            Text3->setText(stored);
            markFormalized(false);
        }
        m_showingScore = false;
    }

    // A stored kind is shown as it is, also one that is none of the four.
    const QString& kind = kb.AttributeKinds[slot].Text();
    const int pick = Combo1->findText(kind, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (pick >= 0 && Combo1->currentIndex() != pick) Combo1->setCurrentIndex(pick);
    Combo1->setEditText(kind);
    m_writingBoxes = true;
    // Only a different text is written, and it shows its start; the text being
    // typed stays as it is, cursor included.
    for (auto [box, stored] :
         {std::pair{Text1, &kb.AttributeFormulas[slot]}, std::pair{Text2, &kb.AttributeComments[slot]}}) {
        if (box->text() != *stored) {
            box->setText(*stored);
            box->setCursorPosition(0);
        }
    }
    m_writingBoxes = false;

    // The formula box serves kinds that read the formula, the value frame those
    // that read the accepted values.
    const kinds::Traits& traits = kinds::Of(kinds::Parse(Combo1->currentText()));
    Text1->setEnabled(traits.usesFormula);
    Frame2->setEnabled(traits.usesValues && !m_program.Busy());
    showFormulaProblem();
}

void ExpertForm::showFormulaProblem()
{
    const QString problem = Text1->isEnabled()
                                ? FormulaProblem(m_program.Knowledge, m_program.Engine(), Text1->text())
                                : QString();
    m_formulaProblem->setText(problem);
    m_formulaProblem->setVisible(!problem.isEmpty());
}

void ExpertForm::done(int result)
{
    const KnowledgeBase& kb = m_program.Knowledge;
    QStringList names, lines;
    std::optional<field::Field> first;
    for (field::Field k : field::AttributeFields) {
        if (!kinds::Of(kb.AttributeKinds[k].Id()).usesFormula) continue;
        const QString problem = FormulaProblem(kb, m_program.Engine(), kb.AttributeFormulas[k]);
        if (problem.isEmpty()) continue;
        if (!first) first = k;
        names << QStringLiteral("«%1»").arg(kb.AttributeNames[k]);
        lines << problem;
    }
    if (first) {
        const bool one = names.size() == 1;
        QString question =
            one ? QStringLiteral("Формула атрибута %1 не читается:\n%2\nПри поиске этот атрибут "
                                 "даст 0 для каждой записи.")
                      .arg(names[0], lines[0])
                : QStringLiteral("Формулы атрибутов %1 не читаются.\nПри поиске эти атрибуты "
                                 "дадут 0 для каждой записи.")
                      .arg(names.join(QStringLiteral(", ")));
        question += one ? QStringLiteral("\n\nОставить формулу как есть и закрыть окно?")
                        : QStringLiteral("\n\nОставить формулы как есть и закрыть окно?");
        const auto answer = m_prompts.Message(
            question, AppTitle(), Prompts::Yes | Prompts::No | Prompts::DefaultNo, Prompts::Icon::Question);
        if (answer != Prompts::Yes) {
            // Back to the first of them, ready for mending.
            List->setCurrentRow(field::Index(*first));
            RefreshData();
            Text1->setFocus();
            return;
        }
    }
    QDialog::done(result);
}

bool ExpertForm::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == ListView1 && type == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        Guarded(m_prompts, [this] { deleteValue(); });
        return true;
    }
    const bool lists = watched == List || watched == ListView1;
    const bool viewports = watched == List->viewport() || watched == ListView1->viewport();
    if ((lists && type == QEvent::KeyRelease) || (viewports && type == QEvent::MouseButtonRelease))
        RefreshData();
    return QDialog::eventFilter(watched, event);
}

void ExpertForm::onValueSelectionChanged()
{
    if (m_quiet == 0) RefreshData();
}

void ExpertForm::onKindPicked(int index)
{
    const std::optional<field::Field> k = selectedAttribute();
    if (!k || index < 0 || m_program.Busy()) return;
    m_program.Knowledge.AttributeKinds[*k] = Combo1->itemText(index);
    RefreshData();
}

void ExpertForm::onFormulaChanged(const QString& text)
{
    const std::optional<field::Field> k = selectedAttribute();
    if (m_writingBoxes || !k || m_program.Busy()) return;
    m_program.Knowledge.AttributeFormulas[*k] = text;
    RefreshData();
}

void ExpertForm::onCommentChanged(const QString& text)
{
    const std::optional<field::Field> k = selectedAttribute();
    if (m_writingBoxes || !k || m_program.Busy()) return;
    m_program.Knowledge.AttributeComments[*k] = text;
    RefreshData();
}

void ExpertForm::onFormalizedChanged(const QString& text)
{
    switch (FormalizedValueCheck(text)) {
    case FormalizedCheck::Store:
        if (!m_showingScore) {
            markFormalized(false);
            storeFormalized(text);
        }
        return;
    case FormalizedCheck::ResetToZero:
        // The write of "0" runs this check again, which stores "0" before the
        // message below. A value merely shown keeps its text and what is stored.
        if (!m_showingScore) Text3->setText(QStringLiteral("0"));
        break;
    case FormalizedCheck::Refuse:
        // The typed text stays for correcting, marked as not stored.
        if (!m_showingScore) markFormalized(true);
        break;
    }
    showFormalizedMessage();
}

void ExpertForm::markFormalized(bool refused)
{
    const std::optional<field::Field> k = selectedAttribute();
    const int q = selectedValue();
    if (refused && k && q >= 0) {
        const QString stored = m_program.Knowledge.AttributeValueLists[*k].Score(q + 1);
        m_valueProblem->setText(QStringLiteral("Не сохранено: нужно целое число от 0 до 100. Сохранено: %1")
                                    .arg(stored.isEmpty() ? QStringLiteral("пусто") : stored));
    } else {
        refused = false;
    }
    m_valueProblem->setVisible(refused);
    // Every stored keystroke comes here: the box is restyled only on a change.
    const QString sheet = refused ? QStringLiteral("QLineEdit { border: 2px solid #c00000; }") : QString();
    if (Text3->styleSheet() != sheet) Text3->setStyleSheet(sheet);
}

void ExpertForm::storeFormalized(const QString& text)
{
    const std::optional<field::Field> k = selectedAttribute();
    const int q = selectedValue();
    if (!k || q < 0 || m_program.Busy()) return;
    try {
        m_program.Knowledge.AttributeValueLists[*k].SetScore(q + 1, text);
    } catch (const VestranaError&) {
        markFormalized(true);
        showFormalizedMessage();
    }
}

void ExpertForm::showFormalizedMessage()
{
    m_prompts.Message(kValueMessage, AppTitle(), Prompts::Ok);
}

void ExpertForm::deleteValue()
{
    if (m_program.Busy()) return;
    const auto answer = m_prompts.Message(
        QStringLiteral("Вы дейсвительно хотите удалить одно из значений аттрибута?"), QStringLiteral("?"),
        Prompts::Yes | Prompts::No | Prompts::DefaultNo, Prompts::Icon::Question);
    if (answer != Prompts::Yes) return;
    const std::optional<field::Field> k = selectedAttribute();
    const int q = selectedValue();
    if (!k || q < 0) return;
    ++m_quiet;
    m_program.Knowledge.AttributeValueLists[*k].Remove(q + 1);
    m_values->removeRows(q, 1);
    // The entry that moved up into the deleted one's place, or the new last one.
    if (m_values->rowCount() > 0) selectValue(std::min(q, m_values->rowCount() - 1));
    --m_quiet;
    RefreshData();
}

void ExpertForm::addValue()
{
    if (m_program.Busy()) return;
    const std::optional<QString> answer = m_prompts.Input(
        QStringLiteral("Введите значение"), QStringLiteral("Новое значение атрибута"), QString());
    if (!answer || answer->isEmpty()) return;
    const std::optional<field::Field> k = selectedAttribute();
    if (!k) return;
    if (!text::IsFileSafe(*answer)) {
        m_prompts.Message(
            QStringLiteral(
                "Значение не может содержать символ «|» или перевод строки. Значение не добавлено."),
            AppTitle(), Prompts::Ok, Prompts::Icon::Warning);
        return;
    }
    ++m_quiet;
    m_program.Knowledge.AttributeValueLists[*k].Append(*answer, QStringLiteral("0"));
    const int row = m_values->rowCount();
    m_values->insertRows(row, 1);
    m_values->setData(m_values->index(row), *answer);
    selectValue(row);
    --m_quiet;
    RefreshData();
}

void ExpertForm::checkFormula()
{
    const FormulaCheckResult result = CheckFormula(m_program, Text1->text());
    Prompts& prompts = m_prompts;
    switch (result.status) {
    case FormulaCheckResult::Status::NoListings:
        prompts.Message(QStringLiteral("В базе данных нет ни одной записи: формулу не на чем проверить."),
                        AppTitle(), Prompts::Ok, Prompts::Icon::Information);
        break;
    case FormulaCheckResult::Status::Failed:
        prompts.Message(QStringLiteral("Ошибка формулы, проверте синтаксис формулы\n") + result.reason,
                        AppTitle(), Prompts::Ok);
        break;
    case FormulaCheckResult::Status::Succeeded:
        prompts.Message(result.text, QStringLiteral("Отладка формулы"), Prompts::Ok);
        break;
    }
}

void ExpertForm::enablingCheck()
{
    const bool busy = m_program.Busy();
    Frame1->setEnabled(selectedAttribute().has_value() && !busy);
    // Only a refresh enables the value frame again.
    if (selectedValue() < 0 || busy) Frame2->setEnabled(false);
    Command2->setEnabled(!busy);
}

void ExpertForm::refuseUnsafeInput()
{
    m_hint->setText(
        QStringLiteral("Символ «|» и перевод строки недопустимы: они испортили бы файл базы знаний."));
    m_hint->show();
}
