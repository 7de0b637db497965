// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

#include <iconv.h>

#include <optional>

// Our windows-1251 tables checked against converters we did not write: the
// C library's iconv, and Qt's own codec where this Qt has one. Both data
// files are in this code page, so a wrong table entry garbles them silently.
namespace {

// One conversion through iconv; empty when iconv has no such character.
class Iconv
{
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid()) iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    std::optional<QByteArray> convert(QByteArray in)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // a fresh start for each
        char out[16];
        char* inp = in.data();
        size_t inLeft = size_t(in.size());
        char* outp = out;
        size_t outLeft = sizeof out;
        if (iconv(m_cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0) return std::nullopt;
        return QByteArray(out, qsizetype(sizeof out - outLeft));
    }

private:
    iconv_t m_cd;
};

QByteArray utf16le(char16_t c)
{
    const char bytes[2] = {char(c & 0xFF), char(c >> 8)};
    return QByteArray(bytes, 2);
}

char16_t oursDecoded(int b)
{
    const char c = char(b);
    char16_t out = 0;
    textfile::DecodeCp1251(&c, 1, &out);
    return out;
}

} // namespace

class TestCodePage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every byte decodes to the character iconv gives it. The one byte the
    // code page leaves without a character, 0x98, is ours to decide: it
    // stays U+0098, so that a file holding it is written back unchanged.
    void everyByteDecodesAsTheOracleDoes()
    {
        Iconv decoder("UTF-16LE", "CP1251");
        QVERIFY(decoder.valid());
        int withoutCharacter = 0;
        for (int b = 0; b < 256; ++b) {
            const char16_t ours = oursDecoded(b);
            const std::optional<QByteArray> theirs = decoder.convert(QByteArray(1, char(b)));
            if (!theirs) {
                ++withoutCharacter;
                QCOMPARE(b, 0x98);
                QCOMPARE(ours, u'\u0098');
                continue;
            }
            QCOMPARE(theirs->size(), 2);
            const char16_t want = char16_t(uchar(theirs->at(0)) | uchar(theirs->at(1)) << 8);
            QVERIFY2(ours == want, qPrintable(QStringLiteral("byte 0x%1: ours U+%2, iconv U+%3")
                                                  .arg(b, 2, 16, QLatin1Char('0'))
                                                  .arg(int(ours), 4, 16, QLatin1Char('0'))
                                                  .arg(int(want), 4, 16, QLatin1Char('0'))));
            // Decoding a byte in a run gives what it gives alone.
            QCOMPARE(textfile::FromCp1251(QByteArray(40, char(b))), QString(40, QChar(ours)));
        }
        QCOMPARE(withoutCharacter, 1);
    }

    // Qt's codec, where this Qt carries one (an ICU build), agrees with
    // ours on every byte; it decodes 0x98 as U+0098 too.
    void everyByteDecodesAsQtDoes()
    {
        QStringDecoder qt("windows-1251", QStringDecoder::Flag::Stateless);
        if (!qt.isValid()) QSKIP("this Qt has no windows-1251 codec");
        for (int b = 0; b < 256; ++b) {
            const QString theirs = qt.decode(QByteArray(1, char(b)));
            QCOMPARE(theirs.size(), 1);
            QCOMPARE(oursDecoded(b), theirs.at(0).unicode());
        }
    }

    // Every character of the Basic Multilingual Plane (surrogates aside)
    // encodes to the byte iconv gives it, and one the code page lacks becomes
    // "?". U+0098 is again ours: it goes back to 0x98.
    void everyCharacterEncodesAsTheOracleDoes()
    {
        Iconv encoder("CP1251", "UTF-16LE");
        QVERIFY(encoder.valid());
        int inCodePage = 0;
        for (int c = 1; c < 0x10000; ++c) {
            if (c >= 0xD800 && c < 0xE000) continue;
            const char16_t ch = char16_t(c);
            const QByteArray ours = textfile::ToCp1251(QStringView(&ch, 1));
            QByteArray want = encoder.convert(utf16le(ch)).value_or(QByteArray("?"));
            if (c == 0x98) want = "\x98";
            QVERIFY2(ours == want, qPrintable(QStringLiteral("U+%1: ours %2, iconv %3")
                                                  .arg(c, 4, 16, QLatin1Char('0'))
                                                  .arg(QString::fromLatin1(ours.toHex()),
                                                       QString::fromLatin1(want.toHex()))));
            if (want != "?" || c == u'?') {
                ++inCodePage;
                // And back: the code page maps one to one.
                QCOMPARE(oursDecoded(uchar(ours.at(0))), ch);
            }
        }
        QCOMPARE(inCodePage, 255); // every byte but NUL, once each
    }

    // Qt's encoder, where there is one, agrees on every character the code
    // page holds.
    void everyCharacterEncodesAsQtDoes()
    {
        QStringEncoder qt("windows-1251", QStringEncoder::Flag::Stateless);
        if (!qt.isValid()) QSKIP("this Qt has no windows-1251 codec");
        for (int b = 1; b < 256; ++b) {
            const char16_t ch = oursDecoded(b);
            const QByteArray theirs = qt.encode(QStringView(&ch, 1));
            QCOMPARE(theirs, QByteArray(1, char(b)));
            QCOMPARE(textfile::ToCp1251(QStringView(&ch, 1)), theirs);
        }
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
