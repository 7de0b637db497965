// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "FuzzTargets.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

// Replays the stored fuzzing corpus, crash inputs included, through the fuzzers'
// own entry points, so that every build (and the sanitizer build) checks them
// without clang. A broken property aborts the test.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        QDirIterator it(QStringLiteral(VESTRANA_FUZZ_CORPUS), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString target = QFileInfo(path).dir().dirName();
            QTest::newRow(qPrintable(target + u'/' + QFileInfo(path).fileName())) << target << path;
        }
    }
    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        const auto size = static_cast<size_t>(bytes.size());
        if (target == QLatin1String("database"))
            fuzz::Database(data, size);
        else if (target == QLatin1String("knowledge"))
            fuzz::Knowledge(data, size);
        else if (target == QLatin1String("formula"))
            fuzz::Formula(data, size);
        else if (target == QLatin1String("page"))
            fuzz::Page(data, size);
        else
            QFAIL("corpus folder of no fuzzer");
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
