// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class Record;

// Shared helpers of the tests: fixture paths and a scratch folder per test.
namespace testsupport {

// Path of a file under tests/data.
QString DataFile(const QString& name);

// Reads a whole file as bytes (empty when missing).
QByteArray ReadBytes(const QString& path);
// Writes bytes to a file, creating folders; returns the path.
QString WriteBytes(const QString& path, const QByteArray& bytes);

// A text as the data files hold it: windows-1251 bytes.
QByteArray Cp1251(const QString& s);

// All fields of a listing, in field order, for comparing listings whole.
QStringList FieldsOf(const Record& r);

} // namespace testsupport
