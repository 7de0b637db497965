#include "knowledge/Choices.h"

#include "platform/Text.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

QStringList SortedChoices(const QStringList& values)
{
    std::vector<std::pair<double, qsizetype>> numbers;
    std::vector<qsizetype> texts;
    QSet<QString> seen;
    seen.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString& v = values[i];
        if (text::TrimmedView(v).isEmpty() || seen.contains(v)) continue;
        seen.insert(v);
        if (text::IsNumber(v))
            numbers.emplace_back(text::Val(v), i);
        else
            texts.push_back(i);
    }
    std::stable_sort(numbers.begin(), numbers.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    // Sort keys once per text: a list of an attribute may hold every address.
    QCollator collator(QLocale(QLocale::Russian, QLocale::Russia));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (qsizetype i : texts)
        keys.push_back(collator.sortKey(values[i]));
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });

    QStringList out;
    out.reserve(static_cast<qsizetype>(numbers.size() + texts.size()));
    for (const auto& n : numbers)
        out << values[n.second];
    for (size_t k : order)
        out << values[texts[k]];
    return out;
}
