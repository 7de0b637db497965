// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "platform/Errors.h"
#include "platform/TextFile.h"
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

} // namespace

// Cleans a database that earlier imports filled with copies: the newest
// listing of each flat stays, filled in where it is empty from its copies, and
// the copies go. The file as it was is kept as database.txt.bak first. The
// knowledge base is not touched; a re-index brings it in line as after any change.
int CmdDedupe(CliContext& ctx)
{
    bool dryRun = false;
    for (const QString& arg : ctx.args) {
        if (arg == QLatin1String("--dry-run")) {
            dryRun = true;
        } else {
            ctx.err << "Неизвестный параметр: " << arg << "\nИспользование: dedupe [--dry-run]\n";
            return 64;
        }
    }

    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return 2;
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
        return 0;
    }
    if (copies.isEmpty()) {
        ctx.out << "Повторов нет, записей: " << before << ". Файл database.txt не изменён.\n";
        return 0;
    }
    const QString backup = program.DatabasePath() + QStringLiteral(".bak");
    try {
        textfile::CopyFileAtomic(program.DatabasePath(), backup);
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения копии: " << e.message() << "\nФайл database.txt не изменён.\n";
        return 3;
    }
    ctx.out << "Прежний файл сохранён как database.txt.bak.\n";
    RemoveCopies(program.Records, copies);
    try {
        program.SaveDatabase();
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\nФайл database.txt не изменён.\n";
        return 3;
    }
    ctx.out << "Удалено повторов: " << copies.size()
            << ". Файл database.txt сохранён, записей: " << items.Count() << ".\n";
    return 0;
}
