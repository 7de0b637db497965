// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"
#include "platform/Text.h"
#include "sample/ListingGenerator.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QStringList kKinds = {QStringLiteral("Числовой"), QStringLiteral("Порядковый"),
                            QStringLiteral("Формализованный числовым значением"),
                            QStringLiteral("Формализованный формулой")};

bool Matches(const QString& pattern, const QString& s)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(s).hasMatch();
}

} // namespace

class TestListingGenerator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void deterministic_data()
    {
        QTest::addColumn<quint64>("index");
        QTest::addColumn<quint32>("seed");
        QTest::newRow("first, default seed") << quint64(0) << quint32(2008);
        QTest::newRow("far index") << quint64(987654321) << quint32(2008);
        QTest::newRow("seed zero") << quint64(5) << quint32(0);
        QTest::newRow("largest seed") << quint64(7) << quint32(0xFFFFFFFFu);
    }
    void deterministic()
    {
        QFETCH(quint64, index);
        QFETCH(quint32, seed);
        // Out of order on purpose: a listing must not depend on those made before it.
        const auto later = sample::GenerateListing(index + 1, seed);
        const auto first = sample::GenerateListing(index, seed);
        QCOMPARE(sample::GenerateListing(index, seed), first);
        QVERIFY(first != later);
        QVERIFY(first != sample::GenerateListing(index, seed + 1));
    }

    void seedsGiveDifferentMarkets()
    {
        int same = 0;
        for (quint64 i = 0; i < 200; ++i)
            same += sample::GenerateListing(i, 2008)[4] == sample::GenerateListing(i, 2009)[4];
        QCOMPARE(same, 0);
    }

    // Every field must survive the data file and be readable by the kinds that use it.
    void fieldsFitTheFilesAndTheirKinds()
    {
        const QString number = QStringLiteral("[0-9]+(\\.[0-9])?");
        for (quint64 i = 0; i < 5000; ++i) {
            const auto f = sample::GenerateListing(i);
            for (const QString& s : f) {
                QVERIFY2(text::IsFileSafe(s), qPrintable(s));
                QCOMPARE(textfile::FromCp1251(textfile::ToCp1251(s)), s); // nothing lost to "?"
            }
            QVERIFY(f[17].isEmpty());
            for (int k : {0, 1, 2, 3, 4, 6, 7, 9, 14, 15, 16})
                QVERIFY2(!f[size_t(k)].isEmpty(), qPrintable(QString::number(k)));
            QVERIFY2(Matches(QStringLiteral("[0-9]+"), f[10]), qPrintable(f[10])); // the formula reads it raw
            QVERIFY(Matches(QStringLiteral("[1-5]"), f[1]));
            QVERIFY(Matches(number, f[6]) && Matches(number, f[7]));
            QVERIFY(f[8].isEmpty() || Matches(number, f[8]));
            QVERIFY(f[5] == QStringLiteral("договорная") || Matches(QStringLiteral("[1-9][0-9]*0"), f[5]));
            QVERIFY(Matches(QStringLiteral("[0-3][0-9]\\.(0[6-9]|1[01])\\.2026"), f[14]));
            QVERIFY(f[2].toInt() >= 1 && f[2].toInt() <= f[16].toInt());
            QVERIFY(f[7].toDouble() < f[6].toDouble());
            const double distanceScore = 100 - f[10].toDouble() / 20;
            QVERIFY(distanceScore >= 0 && distanceScore <= 100);
        }
    }

    void addressesAndDescriptionsAreNearlyUnique()
    {
        constexpr int count = 20000;
        QSet<QString> addresses, descriptions;
        for (quint64 i = 0; i < count; ++i) {
            const auto f = sample::GenerateListing(i);
            addresses.insert(f[4]);
            descriptions.insert(f[15]);
        }
        QVERIFY2(addresses.size() > count * 99 / 100, qPrintable(QString::number(addresses.size())));
        QVERIFY2(descriptions.size() > count * 99 / 100, qPrintable(QString::number(descriptions.size())));
    }

    void knowledgeMatchesTheListings_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("no listings") << 0;
        QTest::newRow("one listing") << 1;
        QTest::newRow("a thousand") << 1000;
    }
    void knowledgeMatchesTheListings()
    {
        QFETCH(int, count);
        const QStringList lines = sample::SampleKnowledgeLines(quint64(count));
        const QStringList database = sample::SampleDatabaseLines(quint64(count));
        QCOMPARE(database.size(), count);

        // What a re-index over the database would find, worked out from the database lines.
        std::array<QStringList, 17> expectedValues;
        std::array<QSet<QString>, 17> seen;
        std::array<double, 17> maxima, minima;
        maxima.fill(-1e300);
        minima.fill(1e300);
        for (const QString& line : database) {
            QVERIFY(line.endsWith(u'|'));
            const QStringList f = line.split(u'|');
            QCOMPARE(f.size(), 19);
            for (int k = 0; k < 17; ++k) {
                maxima[size_t(k)] = std::max(maxima[size_t(k)], text::Val(f[k]));
                minima[size_t(k)] = std::min(minima[size_t(k)], text::Val(f[k]));
                if (!seen[size_t(k)].contains(f[k])) {
                    seen[size_t(k)].insert(f[k]);
                    expectedValues[size_t(k)].append(f[k]);
                }
            }
        }

        QVERIFY(lines.size() >= 36);
        QCOMPARE(lines.first(), QStringLiteral("AttributeValues"));
        const qsizetype typeMarker = lines.indexOf(QStringLiteral("AttributeType"));
        QCOMPARE(typeMarker, lines.size() - 18);

        std::array<QString, 17> kind;
        QSet<QString> kindsUsed;
        for (int k = 0; k < 17; ++k) {
            const QStringList t = lines[typeMarker + 1 + k].split(u'|');
            QCOMPARE(t.size(), 4);
            QCOMPARE(t[0], u' ' + QString::number(k));
            QVERIFY2(kKinds.contains(t[1]), qPrintable(t[1]));
            QCOMPARE(t[2].isEmpty(), t[1] != kKinds[3]);
            QVERIFY(!t[3].isEmpty());
            kind[size_t(k)] = t[1];
            kindsUsed.insert(t[1]);
        }
        QCOMPARE(kindsUsed.size(), 4);

        for (int k = 0; k < 17; ++k) {
            const QStringList r = lines[1 + k].split(u'|');
            QCOMPARE(r.size(), 3);
            QCOMPARE(r[0], u' ' + QString::number(k));
            if (kind[size_t(k)] != kKinds[0] || count == 0) {
                QCOMPARE(r[1] + u'|' + r[2], QStringLiteral("-999999|999999"));
                continue;
            }
            QVERIFY2(Matches(QStringLiteral("[0-9]+(\\.[0-9]*[1-9])?"), r[1]), qPrintable(r[1]));
            QCOMPARE(text::Val(r[1]), maxima[size_t(k)]);
            QCOMPARE(text::Val(r[2]), minima[size_t(k)]);
        }

        std::array<QStringList, 17> values;
        for (qsizetype i = 18; i < typeMarker; ++i) {
            const QStringList v = lines[i].split(u'|');
            QCOMPARE(v.size(), 3);
            const int k = v[0].trimmed().toInt();
            QCOMPARE(v[0], u' ' + QString::number(k));
            for (int later = k + 1; later < 17; ++later)
                QVERIFY2(values[size_t(later)].isEmpty(), "value lines out of attribute order");
            QVERIFY(Matches(QStringLiteral("[0-9]{1,3}"), v[2]) && v[2].toInt() <= 100);
            // Districts and house types always carry a rating; other attributes are unrated.
            if (k == 0 || k == 3) QVERIFY2(v[2].toInt() > 0, qPrintable(v[1]));
            if (kind[size_t(k)] != kKinds[2]) QCOMPARE(v[2], QStringLiteral("0"));
            values[size_t(k)].append(v[1]);
        }
        for (int k = 0; k < 17; ++k)
            QCOMPARE(values[size_t(k)], expectedValues[size_t(k)]);
    }

    void sampleFilesAreReproducible_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("database") << QStringLiteral("database.txt") << sample::SampleDatabaseLines(300);
        QTest::newRow("knowledge") << QStringLiteral("knows.txt") << sample::SampleKnowledgeLines(300);
    }
    void sampleFilesAreReproducible()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, lines);
        const QByteArray bytes =
            testsupport::ReadBytes(QStringLiteral(VESTRANA_TEST_DATA "/../../data/") + file);
        QVERIFY(!bytes.isEmpty());
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        // Compared as text first for a readable difference, then byte for byte.
        const QStringList onDisk = textfile::FromCp1251(bytes).split(QStringLiteral("\r\n"));
        QCOMPARE(onDisk.size(), lines.size() + 1);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(onDisk[i], lines[i]);
        QCOMPARE(bytes,
                 textfile::ToCp1251(QString(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))));
    }
};

QTEST_GUILESS_MAIN(TestListingGenerator)
#include "tst_listinggenerator.moc"
