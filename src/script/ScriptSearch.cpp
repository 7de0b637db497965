// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "script/ScriptInternal.h"

#include <QChar>

namespace script {

SearchText::SearchText(QStringView s, Qt::CaseSensitivity cs) : m_view(s)
{
    if (cs == Qt::CaseSensitive) return;
    spendWork(s.size());
    m_folded.resize(s.size());
    char16_t* out = reinterpret_cast<char16_t*>(m_folded.data());
    const char16_t* in = s.utf16();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, in[i + 1]));
            // A fold that left the supplementary planes would shift every later position.
            if (QChar::requiresSurrogates(folded)) {
                out[i] = QChar::highSurrogate(folded);
                out[i + 1] = QChar::lowSurrogate(folded);
            } else {
                out[i] = c;
                out[i + 1] = in[i + 1];
            }
            ++i;
            continue;
        }
        out[i] = static_cast<char16_t>(QChar::toCaseFolded(char32_t(c)));
    }
    m_view = m_folded;
}

TextMatcher::TextMatcher(QStringView needle, Qt::CaseSensitivity cs, Direction dir) : m_needle(needle, cs)
{
    const QStringView p = m_needle.view();
    const auto m = static_cast<std::int32_t>(p.size());
    spendWork(m);
    const bool back = dir == Direction::Backward;
    // The k-th character of the needle as this direction reads it.
    auto at = [&](std::int32_t k) { return back ? p[m - 1 - k] : p[k]; };
    m_border.assign(static_cast<size_t>(m), 0);
    std::int32_t q = 0;
    for (std::int32_t k = 1; k < m; ++k) {
        while (q > 0 && at(k) != at(q))
            q = m_border[static_cast<size_t>(q - 1)];
        if (at(k) == at(q)) ++q;
        m_border[static_cast<size_t>(k)] = q;
    }
}

qsizetype TextMatcher::indexIn(QStringView hay, qsizetype from) const
{
    const QStringView p = m_needle.view();
    const qsizetype m = p.size();
    const qsizetype n = hay.size();
    if (from < 0) from = 0;
    if (m == 0) return from <= n ? from : -1;
    qsizetype q = 0;
    for (qsizetype i = from; i < n; ++i) {
        while (q > 0 && hay[i] != p[q])
            q = m_border[static_cast<size_t>(q - 1)];
        if (hay[i] == p[q]) ++q;
        if (q == m) {
            spendWork(i + 1 - from);
            return i + 1 - m;
        }
    }
    spendWork(n - from);
    return -1;
}

qsizetype TextMatcher::lastIndexIn(QStringView hay, qsizetype from) const
{
    const QStringView p = m_needle.view();
    const qsizetype m = p.size();
    const qsizetype n = hay.size();
    if (from < 0 || m > n) return -1;
    if (from > n - m) from = n - m;
    if (m == 0) return from;
    // Reads backwards from the last character a match at `from` would cover.
    const qsizetype last = from + m - 1;
    qsizetype q = 0;
    for (qsizetype i = last; i >= 0; --i) {
        while (q > 0 && hay[i] != p[m - 1 - q])
            q = m_border[static_cast<size_t>(q - 1)];
        if (hay[i] == p[m - 1 - q]) ++q;
        if (q == m) {
            spendWork(last + 1 - i);
            return i;
        }
    }
    spendWork(last + 1);
    return -1;
}

} // namespace script
