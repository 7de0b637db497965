// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "editing/Reindex.h"

#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"
#include "platform/TimeSlice.h"
#include "program/Program.h"

namespace {

constexpr float kNoMax = -999999.0f;
constexpr float kNoMin = 999999.0f;

// Reports progress only when the value has moved by a thousandth of the
// whole: a bar cannot show finer steps, and a million listings would
// otherwise mean a repaint per attribute of every listing.
class ProgressThrottle
{
public:
    explicit ProgressThrottle(const RunContext& context, qint64 maximum)
        : m_hook(context.steps), m_maximum(maximum), m_step(qMax<qint64>(1, maximum / 1000))
    {
    }

    void operator()(qint64 value)
    {
        if (!m_hook || value < m_next) return;
        m_next = value + m_step;
        m_hook(m_maximum, value);
    }

private:
    const std::function<void(qint64, qint64)>& m_hook;
    qint64 m_maximum;
    qint64 m_step;
    qint64 m_next = 0;
};

} // namespace

QString ReindexComment()
{
    return QStringLiteral("Индексирование базы данных...");
}

bool Normalize(Program& program, const RunContext& context)
{
    Program::BusyScope busy(program, Program::ChangesKnowledge);
    program.ProcessState = Program::ProcessOpen;
    if (context.progress) context.progress(ReindexComment());
    TimeSlice slice(context.yield);
    const RecordList& items = program.Records.Items;
    KnowledgeBase& kb = program.Knowledge;
    const QString zero = QStringLiteral("0");

    // One walk over the listings handles all the attributes: the
    // listings lie all over the heap, and reading each of them once instead of
    // once per attribute is most of the speed. Each attribute's values still
    // come in the order of their first appearance, and the progress runs over
    // a step per attribute of every listing, as Normalize describes it.
    const qint64 n = items.Count();
    ProgressThrottle progress(context, field::Attributes * n + 1);
    field::FieldArray<bool, field::Attributes> numeric{};
    field::FieldArray<float, field::Attributes> max, min;
    for (field::Field f : field::AttributeFields) {
        numeric[f] = kinds::Of(kb.AttributeKinds[f].Id()).keepsRange;
        max[f] = kNoMax;
        min[f] = kNoMin;
    }
    bool cancelled = false;
    qint64 seen = 0;
    for (qint64 i = 1; i <= n; ++i) {
        slice();
        progress(field::Attributes * i);
        if (program.ProcessState == Program::ProcessCancelled || context.StopRequested()) {
            cancelled = true;
            break;
        }
        // Checked access: a listing removed during a yield must raise the
        // out-of-range error, not read freed memory.
        const Record* record = items.Item(static_cast<int>(i)).get();
        for (field::Field f : field::AttributeFields) {
            const QStringView v = record->Field(f);
            if (numeric[f]) {
                const double x = text::Val(v);
                // A number beyond single precision is left out of the range: it
                // cannot be scored anyway, and an infinite bound would flatten
                // the closeness of every other listing.
                if (text::FitsSingle(x)) {
                    const float s = static_cast<float>(x);
                    if (s > max[f]) max[f] = s;
                    if (s < min[f]) min[f] = s;
                }
            }
            kb.AttributeValueLists[f].AppendIfAbsent(v, zero);
        }
        seen = i;
    }
    // A cancel keeps the ranges of the listings seen so far; one that came
    // before the first listing leaves every range as it was.
    if (!cancelled || seen > 0) {
        for (field::Field f : field::AttributeFields) {
            kb.AttributeMax[f] = max[f];
            kb.AttributeMin[f] = min[f];
        }
    }
    if (cancelled) return false;
    return true;
}
