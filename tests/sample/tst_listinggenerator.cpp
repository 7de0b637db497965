// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"
#include "platform/Text.h"
#include "sample/ListingGenerator.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>

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
            same += sample::GenerateListing(i, 2008)[field::Address] ==
                    sample::GenerateListing(i, 2009)[field::Address];
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
            QVERIFY(f[field::Reserved].isEmpty());
            for (field::Field k : {field::District, field::Rooms, field::Floor, field::HouseType,
                                   field::Address, field::TotalArea, field::LivingArea, field::Stop,
                                   field::Date, field::Description, field::Storeys})
                QVERIFY2(!f[k].isEmpty(), qPrintable(QString::fromUtf16(fieldinfo::Names[k])));
            QVERIFY2(Matches(QStringLiteral("[0-9]+"), f[field::StopDistance]),
                     qPrintable(f[field::StopDistance])); // the formula reads it raw
            QVERIFY(Matches(QStringLiteral("[1-5]"), f[field::Rooms]));
            QVERIFY(Matches(number, f[field::TotalArea]) && Matches(number, f[field::LivingArea]));
            QVERIFY(f[field::KitchenArea].isEmpty() || Matches(number, f[field::KitchenArea]));
            QVERIFY(f[field::Price] == QStringLiteral("договорная") ||
                    Matches(QStringLiteral("[1-9][0-9]*0"), f[field::Price]));
            QVERIFY(Matches(QStringLiteral("[0-3][0-9]\\.(0[6-9]|1[01])\\.2026"), f[field::Date]));
            QVERIFY(f[field::Floor].toInt() >= 1 && f[field::Floor].toInt() <= f[field::Storeys].toInt());
            QVERIFY(f[field::LivingArea].toDouble() < f[field::TotalArea].toDouble());
            const double distanceScore = 100 - f[field::StopDistance].toDouble() / 20;
            QVERIFY(distanceScore >= 0 && distanceScore <= 100);
        }
    }

    void addressesAndDescriptionsAreNearlyUnique()
    {
        constexpr int count = 20000;
        QSet<QString> addresses, descriptions;
        for (quint64 i = 0; i < count; ++i) {
            const auto f = sample::GenerateListing(i);
            addresses.insert(f[field::Address]);
            descriptions.insert(f[field::Description]);
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
        field::FieldArray<QStringList, field::Attributes> expectedValues;
        field::FieldArray<QSet<QString>, field::Attributes> seen;
        field::FieldArray<double, field::Attributes> maxima, minima;
        std::fill(maxima.begin(), maxima.end(), -1e300);
        std::fill(minima.begin(), minima.end(), 1e300);
        for (const QString& line : database) {
            QVERIFY(line.endsWith(u'|'));
            const QStringList f = line.split(u'|');
            QCOMPARE(f.size(), field::Count + 1);
            for (field::Field k : field::AttributeFields) {
                const QString& v = f[field::Index(k)];
                maxima[k] = std::max(maxima[k], text::Val(v));
                minima[k] = std::min(minima[k], text::Val(v));
                if (!seen[k].contains(v)) {
                    seen[k].insert(v);
                    expectedValues[k].append(v);
                }
            }
        }

        QVERIFY(lines.size() >= 36);
        QCOMPARE(lines.first(), QStringLiteral("AttributeValues"));
        const qsizetype typeMarker = lines.indexOf(QStringLiteral("AttributeType"));
        QCOMPARE(typeMarker, lines.size() - 1 - field::Attributes);

        field::FieldArray<QString, field::Attributes> kind;
        QSet<QString> kindsUsed;
        for (field::Field k : field::AttributeFields) {
            const QStringList t = lines[typeMarker + 1 + field::Index(k)].split(u'|');
            QCOMPARE(t.size(), 4);
            QCOMPARE(t[0], u' ' + QString::number(field::Index(k)));
            QVERIFY2(kKinds.contains(t[1]), qPrintable(t[1]));
            QCOMPARE(t[2].isEmpty(), t[1] != kKinds[3]);
            QVERIFY(!t[3].isEmpty());
            kind[k] = t[1];
            kindsUsed.insert(t[1]);
        }
        QCOMPARE(kindsUsed.size(), 4);

        for (field::Field k : field::AttributeFields) {
            const QStringList r = lines[1 + field::Index(k)].split(u'|');
            QCOMPARE(r.size(), 3);
            QCOMPARE(r[0], u' ' + QString::number(field::Index(k)));
            if (kind[k] != kKinds[0] || count == 0) {
                QCOMPARE(r[1] + u'|' + r[2], QStringLiteral("-999999|999999"));
                continue;
            }
            QVERIFY2(Matches(QStringLiteral("[0-9]+(\\.[0-9]*[1-9])?"), r[1]), qPrintable(r[1]));
            QCOMPARE(text::Val(r[1]), maxima[k]);
            QCOMPARE(text::Val(r[2]), minima[k]);
        }

        field::FieldArray<QStringList, field::Attributes> values;
        for (qsizetype i = 1 + field::Attributes; i < typeMarker; ++i) {
            const QStringList v = lines[i].split(u'|');
            QCOMPARE(v.size(), 3);
            const int n = v[0].trimmed().toInt();
            QCOMPARE(v[0], u' ' + QString::number(n));
            const field::Field k = field::At(n);
            QVERIFY(field::IsAttribute(k));
            for (field::Field later : field::AttributeFields)
                if (later > k) QVERIFY2(values[later].isEmpty(), "value lines out of attribute order");
            QVERIFY(Matches(QStringLiteral("[0-9]{1,3}"), v[2]) && v[2].toInt() <= 100);
            // Districts and house types always carry a rating; other attributes are unrated.
            if (k == field::District || k == field::HouseType) QVERIFY2(v[2].toInt() > 0, qPrintable(v[1]));
            if (kind[k] != kKinds[2]) QCOMPARE(v[2], QStringLiteral("0"));
            values[k].append(v[1]);
        }
        for (field::Field k : field::AttributeFields)
            QCOMPARE(values[k], expectedValues[k]);
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
