// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "support/TestSupport.h"

#include "platform/CodePage.h"
#include "store/Record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

QString DataFile(const QString& name)
{
    return QStringLiteral(VESTRANA_TEST_DATA "/") + name;
}

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QString WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}

QByteArray Cp1251(const QString& s)
{
    return textfile::ToCp1251(s);
}

QStringList FieldsOf(const Record& r)
{
    QStringList out;
    for (field::Field k : field::AllFields)
        out << r.GetRecord(k);
    return out;
}

} // namespace testsupport
