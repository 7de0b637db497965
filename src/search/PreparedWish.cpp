// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "search/PreparedWish.h"

#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"
#include "store/Fields.h"
#include "store/Record.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

QString quoted(const QString& s)
{
    return QStringLiteral("«") + s + QStringLiteral("»");
}

// A number as the hints write it: no leading space, a decimal comma.
QString shownNumber(double x)
{
    QString s = text::Trimmed(text::NumberText(x));
    s.replace(u'.', u',');
    return s;
}

// The unit a box's caption ends with in brackets ("(м)"), if any.
QString unitOf(const QString& caption)
{
    if (!caption.endsWith(u')')) return QString();
    const qsizetype open = caption.lastIndexOf(u'(');
    return open < 0 ? QString() : caption.mid(open + 1, caption.size() - open - 2).trimmed();
}

// The attributes whose names a formula holds, found as the evaluation finds
// them: in index order on the growing text, each occurrence replaced before
// the next name is looked for.
std::array<bool, KnowledgeBase::Attributes> namedIn(const KnowledgeBase& kb, QString formula)
{
    std::array<bool, KnowledgeBase::Attributes> named{};
    for (int i = 0; i < KnowledgeBase::Attributes; ++i) {
        const QString& name = kb.AttributeNames[field::At(i)];
        if (name.isEmpty() || !formula.contains(name)) continue;
        named[static_cast<size_t>(i)] = true;
        // A character no name holds, so that what stands for this attribute is
        // never part of a later name.
        formula.replace(name, QString(QChar(0xE000 + i)));
    }
    return named;
}

} // namespace

bool HoldsNumber(QStringView s)
{
    qsizetype i = 0;
    auto next = [&]() -> QChar {
        while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n'))
            ++i;
        return i < s.size() ? s[i++] : QChar();
    };
    auto isDigit = [](QChar c, int base) {
        const char16_t u = c.toLower().unicode();
        if (u >= u'0' && u <= u'9') return u - u'0' < base;
        return base == 16 && u >= u'a' && u <= u'f';
    };
    QChar c = next();
    if (c == u'&') {
        const QChar p = next().toLower();
        const int base = p == u'h' ? 16 : p == u'o' ? 8 : 0;
        return base != 0 && isDigit(next(), base);
    }
    if (c == u'+' || c == u'-') c = next();
    if (c == u'.') c = next();
    return isDigit(c, 10);
}

QString NearestValue(const QStringList& values, const QString& wish)
{
    const QString folded = text::Folded(wish);
    QString best;
    int bestDistance = std::numeric_limits<int>::max();
    for (const QString& v : values) {
        const QString candidate = text::Folded(v);
        if (candidate.isEmpty()) continue;
        const int d = text::EditDistance(folded, candidate, bestDistance);
        if (d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    }
    return best;
}

QString WishBoxCaption(const KnowledgeBase& kb, int k)
{
    for (const fieldinfo::WishBox& s : fieldinfo::WishBoxes)
        if (s.field == field::At(k)) return QString::fromUtf16(s.caption).simplified();
    return k >= 0 && k < KnowledgeBase::Slots ? kb.AttributeNames[field::At(k)] : QString();
}

PreparedWish PrepareWish(const KnowledgeBase& kb, const ScriptEngine& engine, int k, const QString& typed)
{
    PreparedWish p;
    p.typed = typed;
    const QString w = text::Trimmed(typed);
    if (w.isEmpty() || k < 0 || k >= KnowledgeBase::Attributes) return p;
    const field::Field ks = field::At(k);
    const QString box = quoted(WishBoxCaption(kb, k));
    const bool number = HoldsNumber(w);
    auto scoreAs = [&](const QString& compared, double value) {
        p.text = compared;
        p.number = value;
        p.scored = true;
    };
    auto ignoreNoNumber = [&] {
        p.note = PreparedWish::Note::NoNumber;
        p.hint =
            quoted(w) + QStringLiteral(" — не число; пожелание ") + box + QStringLiteral(" не учитывается.");
    };

    switch (kinds::Of(kb.AttributeKinds[ks].Id()).wish) {
    case kinds::Wish::Text:
        p.text = w;
        p.scored = true;
        return p;
    case kinds::Wish::AcceptedValue: {
        // The scan goes on after a match, comparing the rest with the replaced
        // wish: a formalized value may itself be an accepted value.
        const AttributeValueList& list = kb.AttributeValueLists[field::At(k)];
        QString replaced = w;
        bool matched = false;
        QString folded = text::Folded(w);
        for (int i = 0; i < list.Count(); ++i) {
            if (folded == text::Folded(list.Values()[i])) {
                replaced = list.Scores()[i];
                folded = text::Folded(replaced);
                matched = true;
            }
        }
        if (matched) {
            scoreAs(replaced, text::Val(replaced));
            return p;
        }
        if (number) {
            scoreAs(w, text::Val(w));
            p.note = PreparedWish::Note::Scale;
            p.hint = box + QStringLiteral(": число ") + shownNumber(p.number) +
                     QStringLiteral(" сравнивается с оценками значений по шкале 0–100.");
            return p;
        }
        p.note = PreparedWish::Note::UnknownValue;
        p.suggestion = NearestValue(list.Values(), w);
        p.hint = quoted(w) + QStringLiteral(" нет среди значений ") + box +
                 (p.suggestion.isEmpty() ? QStringLiteral("; пожелание не учитывается.")
                                         : QStringLiteral("; может быть, ") + quoted(p.suggestion) + u'?');
        return p;
    }
    case kinds::Wish::FormulaResult: {
        const QString& formula = kb.AttributeFormulas[ks];
        const auto named = namedIn(kb, formula);
        const bool ownOnly =
            named[static_cast<size_t>(k)] && std::count(named.begin(), named.end(), true) == 1;
        if (!number) {
            ignoreNoNumber();
            return p;
        }
        const double a = text::Val(w);
        if (!ownOnly) {
            // No single unit for a formula of several attributes or none: the
            // wish is compared as typed.
            scoreAs(w, a);
            return p;
        }
        // The wish stands for the attribute's value, as a listing's field would.
        QString standIn = text::GeneralNumber(a, 15);
        if (a < 0) standIn = u'(' + standIn + u')';
        Record r;
        r.SetRecord(field::At(k), standIn);
        bool ok = false;
        QString reason;
        const float v = EvaluateFormula(r, formula, ok, kb, engine, &reason);
        if (!ok) {
            p.note = PreparedWish::Note::FormulaFailed;
            p.hint = box + QStringLiteral(": формула не вычисляется для ") + shownNumber(a) +
                     QStringLiteral(" (") + reason + QStringLiteral("); пожелание не учитывается.");
            return p;
        }
        scoreAs(text::GeneralNumber(static_cast<double>(v)), static_cast<double>(v));
        p.note = PreparedWish::Note::Formula;
        const QString unit = unitOf(WishBoxCaption(kb, k));
        p.hint = box + QStringLiteral(": ") + shownNumber(a) + (unit.isEmpty() ? QString() : u' ' + unit) +
                 QStringLiteral(" → ") + shownNumber(static_cast<double>(v)) + QStringLiteral(" из 100");
        return p;
    }
    case kinds::Wish::Number:
        if (!number) {
            ignoreNoNumber();
            return p;
        }
        scoreAs(w, text::Val(w));
        return p;
    }
    return p;
}

PreparedWishes PrepareWishes(const KnowledgeBase& kb, const ScriptEngine& engine, const WishTexts& typed)
{
    PreparedWishes out;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        out[field::At(k)] = PrepareWish(kb, engine, k, typed[field::At(k)]);
    out[field::Reserved].typed = typed[field::Reserved];
    return out;
}

WishTexts PreparedTexts(const PreparedWishes& prepared)
{
    WishTexts out;
    for (field::Field k : field::AllFields)
        out[k] = prepared[k].text;
    return out;
}
