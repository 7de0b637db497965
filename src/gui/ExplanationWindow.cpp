// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ExplanationWindow.h"

#include "gui/GuiResources.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The score column's data role holding the score as a number.
constexpr int kScoreRole = Qt::UserRole + 1;

enum Column { Attribute, Score, Bar, Wish, Listing, ColumnCount };

const QColor kBarColour(0x3a, 0x7b, 0xbf);
const QColor kWarningColour(0xc0, 0x39, 0x2b);
const QColor kNoWishColour(0x80, 0x80, 0x80);

bool hasWish(const AttributeExplanation& e)
{
    return !e.prepared.isEmpty();
}

// Numbers as the result list writes them: "." as the decimal point.
QString numberText(float v)
{
    return text::Trimmed(text::NumberText(static_cast<double>(v)));
}

QString quoted(const QString& s)
{
    return QStringLiteral("«") + s + QStringLiteral("»");
}

// The wish cell: as typed, and what it became when it was replaced.
QString wishText(const AttributeExplanation& e)
{
    const QString typed = text::Trimmed(e.wish);
    if (e.prepared.isEmpty()) return typed.isEmpty() ? typed : typed + QStringLiteral(" — не учитывается");
    if (e.prepared == typed) return typed;
    if (e.note == PreparedWish::Note::Formula)
        return typed + QStringLiteral(" → ") + e.prepared + QStringLiteral(" из 100");
    return typed + QStringLiteral(" → ") + e.prepared;
}

// The listing cell: the field, and the number compared where it is not the field itself.
QString listingText(const AttributeExplanation& e)
{
    QString s = e.field;
    if (e.hasValue && text::Trimmed(e.field) != numberText(e.value))
        s += QStringLiteral(" → ") + numberText(e.value);
    if (!e.failure.isEmpty()) s += QStringLiteral(" (") + e.failure + u')';
    return s;
}

// A bar from 0 to 100 behind the score; a negative score is drawn as long as
// its size in the warning colour.
class ScoreBarDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain = option;
        initStyleOption(&plain, index);
        plain.text.clear();
        QStyledItemDelegate::paint(painter, plain, index);
        const float score = index.data(kScoreRole).toFloat();
        const QRect area = option.rect.adjusted(4, 4, -4, -4);
        const double part = std::min(1.0, std::abs(static_cast<double>(score)) / 100.0);
        painter->save();
        painter->setPen(QColor(0xc8, 0xc8, 0xc8));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(area.adjusted(0, 0, -1, -1));
        QRect bar = area.adjusted(1, 1, -1, -1);
        bar.setWidth(static_cast<int>(bar.width() * part));
        QColor colour = score < 0 ? kWarningColour : kBarColour;
        if (!index.data(Qt::UserRole + 2).toBool()) colour = kNoWishColour.lighter(130);
        painter->fillRect(bar, colour);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index).expandedTo(QSize(120, 18));
    }
};

} // namespace

QString ExplanationWindow::ScoreText(float score)
{
    return text::Trimmed(text::NumberText(text::RoundHalfEven(static_cast<double>(score), 1)));
}

QList<field::Field> ExplanationWindow::RowOrder(const Explanation& x)
{
    QList<field::Field> order(field::AttributeFields.begin(), field::AttributeFields.end());
    std::stable_sort(order.begin(), order.end(), [&](field::Field a, field::Field b) {
        const AttributeExplanation& ea = x.attributes[a];
        const AttributeExplanation& eb = x.attributes[b];
        if (hasWish(ea) != hasWish(eb)) return hasWish(ea);
        return ea.lost > eb.lost;
    });
    return order;
}

QString ExplanationWindow::Summary(const Explanation& x)
{
    QString s = QStringLiteral("Совпадение ") + ScoreText(x.so) + QStringLiteral(" %.");
    const AttributeExplanation& top = x.attributes[RowOrder(x).first()];
    if (!hasWish(top)) return s + QStringLiteral(" Пожеланий не задано.");
    if (top.lost <= 0) return s + QStringLiteral(" Все пожелания выполнены.");
    QString wish = QStringLiteral("пожелание ") + quoted(text::Trimmed(top.wish));
    // The listing's number is worth naming only for the kinds whose wording says what it is.
    const kinds::Traits& traits = kinds::Of(top.kind.Id());
    const char16_t* valueCaption = traits.valueCaption;
    if (traits.wish == kinds::Wish::AcceptedValue && top.prepared != text::Trimmed(top.wish))
        wish += QStringLiteral(" — оценка ") + top.prepared;
    else if (top.note == PreparedWish::Note::Formula)
        wish += QStringLiteral(" → ") + top.prepared + QStringLiteral(" из 100");
    QString listing = QStringLiteral("у квартиры ") + quoted(top.field);
    if (top.formulaFailed)
        listing += QStringLiteral(" — ") + top.failure.left(1).toLower() + top.failure.mid(1);
    else if (top.hasValue && valueCaption)
        listing += QString::fromUtf16(valueCaption) + numberText(top.value);
    else if (!top.failure.isEmpty())
        listing += QStringLiteral(" — ") + top.failure;
    return s + QStringLiteral(" Больше всего потеряно: ") + top.name + QStringLiteral(" (") + wish +
           QStringLiteral("; ") + listing + QStringLiteral(").");
}

ExplanationWindow::ExplanationWindow(const QStringList& names, const QStringList& fields,
                                     const Explanation& x, QWidget* parent)
    : QWidget(parent)
{
    InitGuiResources();
    setObjectName(QStringLiteral("ExplanationWindow"));
    ApplyWindowFont(this);
    const QString address = fields.value(field::Index(field::Address));
    setWindowTitle((address.trimmed().isEmpty() ? QStringLiteral("Квартира без адреса") : address) +
                   QStringLiteral(" — подробнее"));

    auto* root = new QVBoxLayout(this);
    m_summary = new QLabel(Summary(x), this);
    m_summary->setObjectName(QStringLiteral("Summary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    root->addWidget(m_summary);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_table = new QTreeWidget(splitter);
    m_table->setObjectName(QStringLiteral("Attributes"));
    m_table->setRootIsDecorated(false);
    m_table->setColumnCount(ColumnCount);
    m_table->setHeaderLabels({QStringLiteral("Атрибут"), QStringLiteral("Оценка"), QStringLiteral("0…100"),
                              QStringLiteral("Пожелание"), QStringLiteral("У квартиры")});
    m_table->setItemDelegateForColumn(Bar, new ScoreBarDelegate(m_table));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setWordWrap(true);
    for (field::Field k : RowOrder(x)) {
        const AttributeExplanation& e = x.attributes[k];
        auto* item = new QTreeWidgetItem(
            QStringList{e.name, ScoreText(e.score), QString(), wishText(e), listingText(e)});
        item->setData(Bar, kScoreRole, e.score);
        item->setData(Bar, Qt::UserRole + 2, hasWish(e));
        item->setData(Attribute, Qt::UserRole, field::Index(k));
        item->setTextAlignment(Score, Qt::AlignRight | Qt::AlignVCenter);
        const QString tip = e.name + QStringLiteral("\nВид: ") +
                            (e.kind.Text().isEmpty() ? QStringLiteral("не задан") : e.kind.Text()) +
                            QStringLiteral("\nПожелание: ") + wishText(e) +
                            (e.hint.isEmpty() ? QString() : u'\n' + e.hint) +
                            QStringLiteral("\nУ квартиры: ") + listingText(e) +
                            (e.hasRange ? QStringLiteral("\nДиапазон: ") + numberText(e.lo) +
                                              QStringLiteral(" … ") + numberText(e.hi)
                                        : QString()) +
                            QStringLiteral("\nОценка: ") + ScoreText(e.score) +
                            QStringLiteral(", потеряно ") + ScoreText(e.lost);
        for (int c = 0; c < ColumnCount; ++c)
            item->setToolTip(c, tip);
        if (!hasWish(e)) {
            for (int c = 0; c < ColumnCount; ++c)
                item->setForeground(c, kNoWishColour);
        } else if (e.score < 0 || !e.failure.isEmpty()) {
            item->setForeground(Score, kWarningColour);
        }
        m_table->addTopLevelItem(item);
    }
    m_table->setColumnWidth(Attribute, 175);
    m_table->setColumnWidth(Score, 60);
    m_table->setColumnWidth(Bar, 130);
    m_table->setColumnWidth(Wish, 170);
    m_table->header()->setStretchLastSection(true);

    // The listing's fields in full; long texts wrap.
    auto* scroll = new QScrollArea(splitter);
    scroll->setObjectName(QStringLiteral("Fields"));
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    for (field::Field k : field::AttributeFields) {
        auto* value = new QLabel(fields.value(field::Index(k)), page);
        value->setObjectName(QStringLiteral("Field%1").arg(field::Index(k)));
        value->setTextFormat(Qt::PlainText);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* label = new QLabel(names.value(field::Index(k)) + u':', page);
        form->addRow(label, value);
    }
    scroll->setWidget(page);
    splitter->addWidget(m_table);
    splitter->addWidget(scroll);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    root->addWidget(splitter, 1);
    resize(860, 680);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}
