// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "knowledge/Formula.h"
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

} // namespace

int CmdSearch(CliContext& ctx)
{
    Program& program = NewProgram(ctx);
    program.InitAttributeNames(); // the slots' names, before anything is read
    SearchRun::Wishes wishes;
    bool explain = false;
    bool csv = false;
    QChar separator = u';';
    for (int i = 0; i < ctx.args.size(); ++i) {
        QString arg = ctx.args[i];
        if (arg == QLatin1String("--explain")) {
            explain = true;
            continue;
        }
        if (arg == QLatin1String("--csv")) {
            csv = true;
            continue;
        }
        if (arg == QLatin1String("--csv-separator") || arg.startsWith(QLatin1String("--csv-separator="))) {
            const qsizetype eq = arg.indexOf(u'=');
            const QString value = eq > 0                    ? arg.mid(eq + 1)
                                  : i + 1 < ctx.args.size() ? ctx.args[++i]
                                                            : QString();
            if (value != QLatin1String(";") && value != QLatin1String(",")) {
                ctx.err << "Неверный разделитель CSV «" << value << "»: нужен «;» или «,»\n";
                return 64;
            }
            separator = value[0];
            continue;
        }
        if (arg == QLatin1String("--wish") && i + 1 < ctx.args.size())
            arg = ctx.args[++i];
        else if (arg.startsWith(QLatin1String("--wish=")))
            arg = arg.mid(7);
        else {
            ctx.err << "Неизвестный параметр: " << arg
                    << "\nИспользование: search [--explain | --csv [--csv-separator ;|,]] [--wish "
                       "СЛОТ=ТЕКСТ]...\n";
            return 64;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const int k = eq > 0 ? slotOf(program, arg.left(eq)) : -1;
        if (k < 0) {
            ctx.err << "Неверное пожелание «" << arg
                    << "»: нужно СЛОТ=ТЕКСТ, где СЛОТ — номер от 0 до 13 или название атрибута\n";
            return 64;
        }
        wishes[field::At(k)] = arg.mid(eq + 1);
    }
    if (explain && csv) {
        ctx.err << "Параметры --explain и --csv вместе не используются\n";
        return 64;
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
                return 2;
            }
            answered = true;
        }
    }
    if (!answered) {
        if (!LoadProgram(ctx, program)) return 2;
        // Nothing here asks the search to stop, so it always runs to its end.
        [[maybe_unused]] const bool completed = SearchRun::Run(program, wishes, hooks);
    }
    if (csv) {
        // The same text as the file the window saves, byte order mark included.
        ctx.out << QChar(0xFEFF) << SearchRun::Csv(program, program.FoundList, separator);
        return 0;
    }
    for (const RecordPtr& r : program.FoundList) {
        ctx.out << SearchRun::ResultCells(*r).join(u'\t') << '\n';
        if (explain) {
            const Explanation x = SearchRun::Explain(program, *r, prepared);
            for (const AttributeExplanation& e : x.attributes)
                ctx.out << explanationLine(e) << '\n';
        }
    }
    return 0;
}

int CmdFormula(CliContext& ctx)
{
    static const char* const usage = "Использование: formula [--listing НОМЕР] [--] ФОРМУЛА\n";
    const CliArgs args = SplitOptions(ctx.args);
    int position = 1;
    QStringList formulas;
    for (int i = 0; i < args.options.size(); ++i) {
        const QString& a = args.options[i];
        if (a == QLatin1String("--listing") && i + 1 < args.options.size()) {
            bool ok = false;
            position = args.options[++i].toInt(&ok);
            if (!ok) {
                ctx.err << "Номер записи должен быть целым числом\n";
                return 64;
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            ctx.err << "Неизвестный параметр: " << a << "\n" << usage;
            return 64;
        } else {
            formulas << a;
        }
    }
    formulas << args.operands;
    if (formulas.size() != 1) {
        ctx.err << usage;
        return 64;
    }
    const QString formula = formulas.first();
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return 2;
    const int count = program.Records.Items.Count();
    if (position < 1 || position > count) {
        ctx.err << "Нет записи с номером " << position << " (в базе " << count << ")\n";
        return 2;
    }
    bool ok = false;
    QString reason;
    const float value = EvaluateFormula(*program.Records.Items.Item(position), formula, ok, program.Knowledge,
                                        program.Engine(), &reason);
    if (!ok) {
        ctx.out << "ERROR: " << reason << '\n';
        return 1;
    }
    ctx.out << text::NumberText(value) << '\n';
    return 0;
}
