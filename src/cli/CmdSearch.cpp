// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"

namespace {

// A slot is a wish box's attribute index (0..LastWished) or an attribute's name.
int slotOf(const Program& program, const QString& slot)
{
    bool ok = false;
    const int k = slot.toInt(&ok);
    if (ok) return k >= 0 && k <= field::Index(fieldinfo::LastWished) ? k : -1;
    for (int i = 0; i <= field::Index(fieldinfo::LastWished); ++i)
        if (program.Knowledge.AttributeNames[field::At(i)] == slot) return i;
    return -1;
}

// A cell of a TAB-separated line: tabs and line breaks inside become spaces.
QString cell(QString s)
{
    for (QChar& c : s)
        if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    return s;
}

// One attribute line of an explanation: attribute, kind, wish, prepared wish,
// field, value, score.
QString explanationLine(const AttributeExplanation& e)
{
    QString value = e.hasValue ? text::Trimmed(text::NumberText(e.value)) : QString();
    if (!e.failure.isEmpty())
        value += (value.isEmpty() ? QString() : QStringLiteral(" ")) + u'(' + e.failure + u')';
    return QStringList{cell(e.name),
                       cell(e.kind.Text()),
                       cell(e.wish),
                       cell(e.prepared),
                       cell(e.field),
                       cell(value),
                       text::Trimmed(text::NumberText(e.score))}
        .join(u'\t');
}

class Search final : public Command
{
public:
    Search()
        : Command("search", Access::ReadOnly,
                  "поиск: [--wish СЛОТ=ТЕКСТ]..., СЛОТ — номер 0..13 или название атрибута; [--explain] или "
                  "[--csv [--csv-separator ;|,]]",
                  "search [--explain | --csv [--csv-separator ;|,]] [--wish СЛОТ=ТЕКСТ]...")
    {
    }
    QList<QCommandLineOption> Options() const override { return {m_wish, m_explain, m_csv, m_separator}; }
    ExitCode Run(CliContext& ctx) const override;

private:
    const QCommandLineOption m_wish{
        QStringLiteral("wish"),
        QStringLiteral("пожелание; СЛОТ — номер 0..13 или название атрибута; можно повторять"),
        QStringLiteral("СЛОТ=ТЕКСТ")};
    const QCommandLineOption m_explain{QStringLiteral("explain"),
                                       QStringLiteral("после каждого объявления — разбор его оценки")};
    const QCommandLineOption m_csv{QStringLiteral("csv"),
                                   QStringLiteral("вывести файл CSV, как сохраняет окно программы")};
    const QCommandLineOption m_separator{QStringLiteral("csv-separator"),
                                         QStringLiteral("разделитель полей CSV: «;» (по умолчанию) или «,»"),
                                         QStringLiteral(";|,")};
};

ExitCode Search::Run(CliContext& ctx) const
{
    Program& program = NewProgram(ctx);
    program.InitAttributeNames(); // the slots' names, before anything is read
    SearchRun::Wishes wishes;
    const bool explain = ctx.parser.isSet(m_explain);
    const bool csv = ctx.parser.isSet(m_csv);
    QChar separator = u';';
    for (const QString& value : ctx.parser.values(m_separator)) {
        if (value != QLatin1String(";") && value != QLatin1String(",")) {
            ctx.err << "Неверный разделитель CSV «" << value << "»: нужен «;» или «,»\n";
            return ExitCode::Usage;
        }
        separator = value[0];
    }
    for (const QString& arg : ctx.parser.values(m_wish)) {
        const qsizetype eq = arg.indexOf(u'=');
        const int k = eq > 0 ? slotOf(program, arg.left(eq)) : -1;
        if (k < 0) {
            ctx.err << "Неверное пожелание «" << arg
                    << "»: нужно СЛОТ=ТЕКСТ, где СЛОТ — номер от 0 до 13 или название атрибута\n";
            return ExitCode::Usage;
        }
        wishes[field::At(k)] = arg.mid(eq + 1);
    }
    if (explain && csv) {
        ctx.err << "Параметры --explain и --csv вместе не используются\n";
        return ExitCode::Usage;
    }
    PreparedWishes prepared;
    SearchHooks hooks;
    hooks.prepared = [&](const PreparedWishes& w) {
        prepared = w;
        // What the window says beside the boxes: wishes not used, units turned into scores.
        for (const PreparedWish& p : w)
            if (!p.hint.isEmpty()) ctx.err << p.hint << '\n';
    };
    bool answered = false; // the search ran over the file at rest
    if (!explain && !csv) {
        // The result rows alone are answered from the files at rest: the
        // listings are scored as they are read and only the best are kept,
        // with the results of a search over the loaded database.
        bool knowledge = true;
        try {
            program.Knowledge.LoadKnowledge(program.KnowledgePath(), false);
        } catch (const VestranaError&) {
            // Left to the start below, which reports the database's fault first.
            program.Knowledge = KnowledgeBase();
            knowledge = false;
        }
        if (knowledge) {
            try {
                SearchRun::RunOverFile(program, wishes, program.DatabasePath(), hooks);
            } catch (const VestranaError& e) {
                ctx.err << "Ошибка загрузки: " << e.message() << "\nФайлы данных не изменены.\n";
                return ExitCode::LoadFailed;
            }
            answered = true;
        }
    }
    if (!answered) {
        if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
        // Nothing here asks the search to stop, so it always runs to its end.
        [[maybe_unused]] const bool completed = SearchRun::Run(program, wishes, hooks);
    }
    if (csv) {
        // The same text as the file the window saves, byte order mark included.
        ctx.out << QChar(0xFEFF) << SearchRun::Csv(program, program.FoundList, separator);
        return ExitCode::Ok;
    }
    for (const RecordPtr& r : program.FoundList) {
        ctx.out << SearchRun::ResultCells(*r).join(u'\t') << '\n';
        if (explain) {
            const Explanation x = SearchRun::Explain(program, *r, prepared);
            for (const AttributeExplanation& e : x.attributes)
                ctx.out << explanationLine(e) << '\n';
        }
    }
    return ExitCode::Ok;
}

} // namespace

const Command& SearchCommand()
{
    static const Search command;
    return command;
}
