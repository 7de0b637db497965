// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/AtomicWriter.h"
#include "platform/Errors.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "store/FlatIdentity.h"

namespace {

// The names of the fields in which a copy differs from the listing that stays.
QString differences(const Record& copy, const Record& kept)
{
    QStringList names;
    for (field::Field k : DifferingFields(copy, kept))
        names << (field::IsAttribute(k) ? QString::fromUtf16(fieldinfo::Names[k]) : QStringLiteral("Резерв"));
    return names.isEmpty() ? QStringLiteral("ничем") : names.join(QStringLiteral(", "));
}

// Cleans a database that earlier imports filled with copies: the newest
// listing of each flat stays, filled in where it is empty from its copies, and
// the copies go. The file as it was is kept as database.txt.bak first. The
// knowledge base is not touched; a re-index brings it in line as after any change.
class Dedupe final : public Command
{
public:
    Dedupe()
        : Command(
              "dedupe", Access::Writes,
              "удалить повторы квартир, оставив самое новое объявление каждой (копия в database.txt.bak): "
              "[--dry-run]",
              "dedupe [--dry-run]")
    {
    }
    QList<QCommandLineOption> Options() const override { return {m_dryRun}; }
    ExitCode Run(CliContext& ctx) const override;

private:
    const QCommandLineOption m_dryRun{
        QStringLiteral("dry-run"),
        QStringLiteral("только показать, что было бы удалено, и чем повтор отличается")};
};

ExitCode Dedupe::Run(CliContext& ctx) const
{
    const bool dryRun = ctx.parser.isSet(m_dryRun);

    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
    const RecordList& items = program.Records.Items;
    const QList<FlatCopy> copies = FindCopies(items);
    for (const FlatCopy& c : copies) {
        const Record& r = *items.Item(c.position);
        ctx.out << (dryRun ? "Будет удалена запись " : "Удалена запись ") << c.position << " (повтор записи "
                << c.original << "): " << r.Field(field::Address) << ", этаж " << r.Field(field::Floor)
                << ", площадь " << r.Field(field::TotalArea)
                << "; отличается: " << differences(r, *items.Item(c.original)) << '\n';
    }
    const int before = items.Count();
    if (dryRun) {
        ctx.out << "Повторов: " << copies.size() << " из " << before
                << " записей. Проверка без изменений: файл database.txt не изменён.\n";
        return ExitCode::Ok;
    }
    if (copies.isEmpty()) {
        ctx.out << "Повторов нет, записей: " << before << ". Файл database.txt не изменён.\n";
        return ExitCode::Ok;
    }
    const QString backup = program.DatabasePath() + QStringLiteral(".bak");
    try {
        textfile::CopyFileAtomic(program.DatabasePath(), backup);
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения копии: " << e.message() << "\nФайл database.txt не изменён.\n";
        return ExitCode::SaveFailed;
    }
    ctx.out << "Прежний файл сохранён как database.txt.bak.\n";
    RemoveCopies(program.Records, copies);
    try {
        program.SaveDatabase();
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\nФайл database.txt не изменён.\n";
        return ExitCode::SaveFailed;
    }
    ctx.out << "Удалено повторов: " << copies.size()
            << ". Файл database.txt сохранён, записей: " << items.Count() << ".\n";
    return ExitCode::Ok;
}

} // namespace

const Command& DedupeCommand()
{
    static const Dedupe command;
    return command;
}
