// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ChoiceBox.h"

#include "platform/Text.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace {

// Entries measured for the width: the longest by characters. Measuring every
// one of a few hundred thousand would hold the window up.
constexpr int kMeasured = 64;
// Entries the filtered list shows at most: enough to scroll, few enough to
// show at once.
constexpr int kMostShown = 1000;

} // namespace

ChoiceBox::ChoiceBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A list of a hundred thousand entries must not be measured entry by entry.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(12);
    // The wheel reaches the box only once it has focus (a click or Tab).
    setFocusPolicy(Qt::StrongFocus);
    auto* view = new QListView(this);
    view->setUniformItemSizes(true);
    setView(view);
    m_model = new QStringListModel(this);
    setModel(m_model);
    // The width is measured anew after any change of the entries.
    const auto remeasure = [this] { m_popupWidth = -1; };
    connect(m_model, &QAbstractItemModel::modelReset, this, remeasure);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, remeasure);
    connect(m_model, &QAbstractItemModel::dataChanged, this, remeasure);

    // The filter is driven by the box, not attached to its line edit: an
    // attached one would make the box match the text to its entries ignoring
    // letter case when editing ends, and replace what the user typed.
    setCompleter(nullptr);
    // The filter shows a short list of the entries that hold the text, found
    // here in one pass (the completer's own search over a few hundred
    // thousand entries would hold up every keystroke).
    m_matches = new QStringListModel(this);
    m_filter = new QCompleter(m_matches, this);
    m_filter->setCaseSensitivity(Qt::CaseInsensitive);
    m_filter->setFilterMode(Qt::MatchContains);
    m_filter->setCompletionMode(QCompleter::PopupCompletion);
    m_filter->setMaxVisibleItems(12);
    auto* filtered = new QListView;
    filtered->setUniformItemSizes(true);
    m_filter->setPopup(filtered);
    m_filter->setWidget(lineEdit());
    filtered->installEventFilter(this);
    // Only what the user types opens the list, never a text set by the program.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.trimmed().isEmpty()) {
            m_filter->popup()->hide();
            return;
        }
        QStringList matches;
        QString lowered = text;
        for (QChar& c : lowered)
            c = QChar(text::LowerChar(c.unicode()));
        for (const QString& e : m_model->stringList()) {
            if (text::ContainsLowered(e, lowered)) {
                matches.append(e);
                if (matches.size() >= kMostShown) break;
            }
        }
        m_matches->setStringList(matches);
        m_filter->setCompletionPrefix(text);
        m_filter->complete();
    });
    // An entry picked from the list becomes the wish.
    connect(m_filter, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& entry) { setEditText(entry); });
}

void ChoiceBox::SetEntries(const QStringList& entries)
{
    // A refill resets the box's text; what the user typed stays.
    const QString typed = currentText();
    const int cursor = lineEdit()->cursorPosition();
    m_model->setStringList(entries);
    setEditText(typed);
    lineEdit()->setCursorPosition(cursor);
}

QStringList ChoiceBox::Entries() const
{
    return m_model->stringList();
}

int ChoiceBox::PopupWidth() const
{
    if (m_popupWidth < 0) {
        const QStringList& entries = m_model->stringList();
        std::vector<qsizetype> lengths;
        lengths.reserve(static_cast<size_t>(entries.size()));
        for (const QString& e : entries)
            lengths.push_back(e.size());
        qsizetype cut = 0;
        if (lengths.size() > static_cast<size_t>(kMeasured)) {
            std::nth_element(lengths.begin(), lengths.begin() + (kMeasured - 1), lengths.end(),
                             std::greater<>());
            cut = lengths[static_cast<size_t>(kMeasured - 1)];
        }
        const QFontMetrics metrics = view()->fontMetrics();
        int widest = 0;
        for (const QString& e : entries)
            if (e.size() >= cut) widest = std::max(widest, metrics.horizontalAdvance(e));
        // Room for the item's margins, the frame and a scroll bar.
        const int extra = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16 +
                          style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        m_popupWidth = widest + extra;
    }
    int width = std::max(m_popupWidth, this->width());
    if (const QScreen* s = screen()) width = std::min(width, s->availableGeometry().width());
    return width;
}

void ChoiceBox::showPopup()
{
    view()->setMinimumWidth(PopupWidth());
    QComboBox::showPopup();
}

void ChoiceBox::wheelEvent(QWheelEvent* e)
{
    if (!hasFocus()) {
        // Left to the window behind, which may scroll.
        e->ignore();
        return;
    }
    QComboBox::wheelEvent(e);
}

bool ChoiceBox::eventFilter(QObject* watched, QEvent* e)
{
    QAbstractItemView* popup = m_filter->popup();
    if (watched == popup && (e->type() == QEvent::Show || e->type() == QEvent::Move)) {
        // The filtered list opens as wide as its entries, kept on the screen.
        const int wanted = PopupWidth();
        if (popup->minimumWidth() != wanted) popup->setMinimumWidth(wanted);
        if (const QScreen* s = screen()) {
            const QRect area = s->availableGeometry();
            QRect g = popup->geometry();
            if (g.width() < wanted) g.setWidth(wanted);
            if (g.right() > area.right()) g.moveRight(area.right());
            if (g != popup->geometry()) popup->setGeometry(g);
        }
    }
    return QComboBox::eventFilter(watched, e);
}
