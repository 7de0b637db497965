// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Text.h"

#include <QTest>

#include <clocale>
#include <cmath>

class TestText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Numbers are read and written with "." whatever the user's locale: run
    // everything under one whose decimal separator is a comma.
    void initTestCase()
    {
        if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
            qWarning("ru_RU.UTF-8 is not installed; the comma-locale cases run under the C locale");
        QLocale::setDefault(QLocale(QLocale::Russian));
    }

    void val_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<double>("expected");
        QTest::newRow("comma stops the number") << QStringLiteral("45,5") << 45.0;
        QTest::newRow("blanks inside are ignored") << QStringLiteral("1 234") << 1234.0;
        QTest::newRow("hexadecimal") << QStringLiteral("&H1F") << 31.0;
        QTest::newRow("hexadecimal 16-bit is signed") << QStringLiteral("&HFFFF") << -1.0;
        QTest::newRow("hexadecimal beyond 16 bits") << QStringLiteral("&H10000") << 65536.0;
        QTest::newRow("octal") << QStringLiteral("&O17") << 15.0;
        QTest::newRow("exponent E") << QStringLiteral("1e3") << 1000.0;
        QTest::newRow("exponent D") << QStringLiteral("1D2") << 100.0;
        QTest::newRow("negative fraction without zero") << QStringLiteral("-.5") << -0.5;
        QTest::newRow("a word") << QStringLiteral("дог.") << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("too big for single") << QStringLiteral("1e39") << 1e39;
        QTest::newRow("tabs and line feeds skipped") << QStringLiteral("\t\n 12\t3") << 123.0;
        QTest::newRow("carriage return stops") << QStringLiteral("12\r3") << 12.0;
        QTest::newRow("decimal point") << QStringLiteral("45.5") << 45.5;
        QTest::newRow("second point stops") << QStringLiteral("1.2.3") << 1.2;
        QTest::newRow("exponent without digits is ignored") << QStringLiteral("5e") << 5.0;
        QTest::newRow("signed exponent") << QStringLiteral("25E-1x") << 2.5;
        QTest::newRow("plus sign") << QStringLiteral("+7") << 7.0;
        QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
        QTest::newRow("ampersand alone") << QStringLiteral("&") << 0.0;
        QTest::newRow("number then text") << QStringLiteral("1500 т.р.") << 1500.0;
        QTest::newRow("floor over storeys") << QStringLiteral("5/9") << 5.0;
    }
    void val()
    {
        QFETCH(QString, input);
        QFETCH(double, expected);
        QCOMPARE(text::Val(input), expected);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("expected");
        QTest::newRow("12.5") << 12.5 << 0 << 12.0;
        QTest::newRow("37.5") << 37.5 << 0 << 38.0;
        QTest::newRow("-2.5") << -2.5 << 0 << -2.0;
        QTest::newRow("2.5 index") << 2.5 << 0 << 2.0;
        QTest::newRow("3.5 index") << 3.5 << 0 << 4.0;
        QTest::newRow("one decimal of 1600/17") << double(1600.0f / 17.0f) << 1 << 94.1;
        QTest::newRow("one decimal half to even") << 0.25 << 1 << 0.2;
        QTest::newRow("one decimal 0.35 reads as a half") << 0.35 << 1 << 0.4;
    }
    void roundHalfEven()
    {
        QFETCH(double, x);
        QFETCH(int, decimals);
        QFETCH(double, expected);
        QCOMPARE(decimals == 0 ? text::RoundHalfEven(x) : text::RoundHalfEven(x, decimals), expected);
    }

    void numberText_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 12.0 << QStringLiteral(" 12");
        QTest::newRow("zero") << 0.0 << QStringLiteral(" 0");
        QTest::newRow("fraction") << 94.1 << QStringLiteral(" 94.1");
        QTest::newRow("negative") << -3.0 << QStringLiteral("-3");
        QTest::newRow("half without zero") << 0.5 << QStringLiteral(" .5");
        QTest::newRow("negative half") << -0.5 << QStringLiteral("-.5");
        QTest::newRow("single keeps seven digits") << double(1.0f / 3.0f) << QStringLiteral(" .3333333");
        QTest::newRow("ten million in exponent form") << 1e7 << QStringLiteral(" 1E+07");
        QTest::newRow("below ten million stays plain") << 9999999.0 << QStringLiteral(" 9999999");
        QTest::newRow("large with mantissa") << 12345678.0 << QStringLiteral(" 1.234568E+07");
        QTest::newRow("small") << 0.00001 << QStringLiteral(" 1E-05");
    }
    void numberText()
    {
        QFETCH(double, x);
        QFETCH(QString, expected);
        QCOMPARE(text::NumberText(x), expected);
    }

    void generalNumber_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("expected");
        QTest::newRow("start of range") << -999999.0 << QStringLiteral("-999999");
        QTest::newRow("fraction keeps its zero") << 0.5 << QStringLiteral("0.5");
        QTest::newRow("fraction") << 45.5 << QStringLiteral("45.5");
        QTest::newRow("ten million") << 1e7 << QStringLiteral("1E+07");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0");
    }
    void generalNumber()
    {
        QFETCH(double, x);
        QFETCH(QString, expected);
        QCOMPARE(text::GeneralNumber(x), expected);
    }

    void toSingleOverflow()
    {
        QCOMPARE(text::ToSingle(1e38), 1e38f);
        QVERIFY(!text::FitsSingle(1e39));
        QVERIFY_THROWS_EXCEPTION(std::exception, text::ToSingle(1e39));
        QVERIFY_THROWS_EXCEPTION(std::exception, text::ToSingle(std::nan("")));
    }

    void trimAndLowerCase()
    {
        QCOMPARE(text::Trimmed(u"  Центр \t "), QStringLiteral("Центр \t"));
        QCOMPARE(text::Folded(u"КИРПИЧНЫЙ Ёж ABC"), QStringLiteral("кирпичный ёж abc"));
        QCOMPARE(text::Folded(u"  ЦЕНТР  "), QStringLiteral("центр"));
    }

    void fileSafe_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain stays") << QStringLiteral("ул. Ленина, 5") << QStringLiteral("ул. Ленина, 5");
        QTest::newRow("bar") << QStringLiteral("a|b") << QStringLiteral("a¦b");
        QTest::newRow("CR LF is one space") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
        QTest::newRow("CR alone") << QStringLiteral("a\rb") << QStringLiteral("a b");
        QTest::newRow("LF alone") << QStringLiteral("a\nb") << QStringLiteral("a b");
        QTest::newRow("LF CR is two") << QStringLiteral("a\n\rb") << QStringLiteral("a  b");
    }
    void fileSafe()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(text::FileSafe(input), expected);
        QVERIFY(text::IsFileSafe(text::FileSafe(input)));
    }

    // The wish boxes' filter: a match anywhere, letter case aside.
    void containsLowered_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("lowered");
        QTest::addColumn<bool>("contains");
        QTest::newRow("Cyrillic, case aside") << "пер. Липовый, д. 12"
                                              << "липовый, д. 1" << true;
        QTest::newRow("Latin, case aside") << "ЖК Sky Tower"
                                           << "sky t" << true;
        QTest::newRow("Ё") << "ул. ЁЛОЧНАЯ"
                           << "ёлоч" << true;
        QTest::newRow("at the very end") << "д. 12"
                                         << "12" << true;
        QTest::newRow("first letter repeated") << "ААБ"
                                               << "аб" << true;
        QTest::newRow("both cases of the first letter") << "Мама мыла"
                                                        << "мыл" << true;
        QTest::newRow("cut off by the end") << "Липовый, д. 1"
                                            << "д. 12" << false;
        QTest::newRow("absent") << "ул. Мира"
                                << "липов" << false;
        QTest::newRow("empty looked for") << "ул. Мира"
                                          << "" << true;
    }
    void containsLowered()
    {
        QFETCH(QString, text);
        QFETCH(QString, lowered);
        QFETCH(bool, contains);
        QCOMPARE(text::ContainsLowered(text, lowered), contains);
        QCOMPARE(text.contains(lowered, Qt::CaseInsensitive), contains);
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
