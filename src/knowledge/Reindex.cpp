#include "knowledge/Reindex.h"

#include "knowledge/KnowledgeBase.h"
#include "platform/Text.h"
#include "platform/TimeSlice.h"
#include "search/Program.h"

namespace {

constexpr float kNoMax = -999999.0f;
constexpr float kNoMin = 999999.0f;

// Reports progress only when the value has moved by a thousandth of the
// whole: a bar cannot show finer steps, and a million listings would
// otherwise mean seventeen million repaints.
class ProgressThrottle
{
public:
    explicit ProgressThrottle(const ReindexHooks& hooks, qint64 maximum)
        : m_hook(hooks.progress), m_maximum(maximum), m_step(qMax<qint64>(1, maximum / 1000))
    {
    }

    void operator()(qint64 value)
    {
        if (!m_hook || value < m_next)
            return;
        m_next = value + m_step;
        m_hook(m_maximum, value);
    }

private:
    const std::function<void(qint64, qint64)>& m_hook;
    qint64 m_maximum;
    qint64 m_step;
    qint64 m_next = 0;
};

// A pass walks listings scattered over the heap, and waiting for memory is
// most of its time: fetch the listings and their texts a few steps ahead.
inline void prefetchAhead(const RecordList& items, qint64 i, qint64 n, int field)
{
    if (i + 32 <= n)
        __builtin_prefetch(items.at(static_cast<int>(i + 31)).get());
    if (i + 16 <= n)
        __builtin_prefetch(items.at(static_cast<int>(i + 15))->Field(field).data());
}

} // namespace

QString ReindexComment()
{
    return QStringLiteral("Индексирование базы данных...");
}

bool Normalize(Program& program, const ReindexHooks& hooks)
{
    Program::BusyScope busy(program);
    program.ProcessState = 2;
    if (hooks.comment)
        hooks.comment(ReindexComment());
    TimeSlice slice(hooks.yield);
    const RecordList& items = program.Records.Items;
    KnowledgeBase& kb = program.Knowledge;
    const QString zero = QStringLiteral("0");

    for (int j = 0; j < KnowledgeBase::Attributes; ++j) {
        const auto slot = static_cast<size_t>(j);
        const qint64 n = items.Count();
        ProgressThrottle progress(hooks, 17 * n + 1);
        const bool numeric = kb.AttributeKinds[slot] == kinds::Numeric;
        AttributeValueList& values = kb.AttributeValueLists[slot];
        float max = kNoMax;
        float min = kNoMin;
        bool cancelled = false;

        for (qint64 i = 1; i <= n; ++i) {
            slice();
            progress(n * j + i);
            if (program.ProcessState == 3) {
                cancelled = true;
                break;
            }
            // Checked access: a listing removed during a yield must raise the
            // out-of-range error, not read freed memory.
            const QStringView v = items.Item(static_cast<int>(i))->Field(j);
            prefetchAhead(items, i, n, j);
            if (numeric) {
                const double x = text::Val(v);
                // A number beyond single precision is left out of the range: it
                // cannot be scored anyway, and an infinite bound would flatten
                // the closeness of every other listing.
                if (text::FitsSingle(x)) {
                    const float s = static_cast<float>(x);
                    if (s > max)
                        max = s;
                    if (s < min)
                        min = s;
                }
            }
            values.AppendIfAbsent(v, zero);
        }

        kb.AttributeMax[slot] = max;
        kb.AttributeMin[slot] = min;
        if (cancelled)
            return false;
    }
    return true;
}
