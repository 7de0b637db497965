// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"
#include "platform/AtomicWriter.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "store/Records.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

// What the data files may be, and what a failed save says.
class TestTextFile : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The error both loaders give for the file, which must name it.
    static QString loadError(const QString& file)
    {
        QString messages[2];
        for (int which = 0; which < 2; ++which) {
            try {
                if (which == 0) {
                    Records db;
                    db.LoadFromFile(file);
                } else {
                    KnowledgeBase kb;
                    kb.LoadKnowledge(file);
                }
            } catch (const VestranaError& e) {
                messages[which] = e.message();
            }
        }
        if (messages[0].isEmpty() || messages[1].isEmpty()) return QStringLiteral("no error");
        if (!messages[0].contains(QFileInfo(file).fileName())) return QStringLiteral("no file name");
        return messages[0];
    }

private Q_SLOTS:
    // Something that never ends is refused before a byte is read, also a
    // pipe, which would otherwise wait for a writer.
    // The code page in bulk and one character at a time agree, wherever a
    // character stands among the sixteen that are converted at once.
    void codePageInBulkAsCharByChar()
    {
        QString one[256]; // each byte decoded alone, through the table
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            char16_t out = 0;
            textfile::DecodeCp1251(&c, 1, &out);
            one[b] = QChar(out);
        }
        QCOMPARE(one[0xC0], QStringLiteral("А"));
        QCOMPARE(one[0xFF], QStringLiteral("я"));
        QCOMPARE(one[0xA8], QStringLiteral("Ё"));
        // A field's characters: each alone, as the file gets them.
        const auto encodeOne = [](QChar c) -> QByteArray {
            if (c == u'|') return "\xA6";
            if (c == u'\r' || c == u'\n') return " ";
            return textfile::ToCp1251(QString(c));
        };
        const QString alphabet = QStringLiteral("aZ09 ,.|\r\nАЯабяёЁ«»№€—\u0098\u4E2D\u0000");
        quint32 seed = 7;
        const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
        for (int round = 0; round < 400; ++round) {
            // Mostly letters, as in a listing, with the others here and there.
            QString s;
            const int length = int(next() % 70);
            for (int i = 0; i < length; ++i)
                s += next() % 4 ? QChar(char16_t(u'а' + next() % 32))
                                : alphabet[int(next() % alphabet.size())];
            QByteArray want;
            for (qsizetype i = 0; i < s.size(); ++i) {
                want += encodeOne(s[i]);
                if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i; // CR LF: one space
            }
            QByteArray got;
            textfile::AppendFieldCp1251(got, s);
            QCOMPARE(got, want);

            QString wantText;
            for (char c : want)
                wantText += one[uchar(c)];
            QCOMPARE(textfile::FromCp1251(want), wantText);
        }
    }

    void onlyRegularFilesAreRead()
    {
        const QString zero = path(QStringLiteral("zero.txt"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QVERIFY(loadError(zero).contains(QStringLiteral("не обычный файл")));

        const QString fifo = path(QStringLiteral("fifo.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(loadError(fifo).contains(QStringLiteral("не обычный файл")));

        const QString folder = path(QStringLiteral("folder.txt"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(loadError(folder).contains(QStringLiteral("не обычный файл")));

        // Nor is a save ever written over a pipe (or a device) or a folder.
        for (const QString& target : {fifo, folder}) {
            try {
                textfile::AtomicWriter out(target);
                out.WriteLine(u"x");
                out.Commit();
                QFAIL("no error");
            } catch (const VestranaError& e) {
                QVERIFY2(e.message().contains(QStringLiteral("не обычный файл")), qPrintable(e.message()));
            }
        }
        QVERIFY(!QFileInfo(fifo).isFile());

        // A link to a regular file is read as the file.
        const QString real = WriteBytes(path(QStringLiteral("real.txt")), QByteArray(18, '|') + "\r\n");
        const QString link = path(QStringLiteral("link.txt"));
        QVERIFY(QFile::link(real, link));
        Records db;
        db.LoadFromFile(link);
        QCOMPARE(db.Items.Count(), 1);
    }

    void overlongLineIsRefused()
    {
        QByteArray huge(textfile::LineReader::MaxLineBytes + 10, 'x');
        const QString file =
            WriteBytes(path(QStringLiteral("long.txt")), QByteArray(18, '|') + "\r\n" + huge);
        const QString message = loadError(file);
        QVERIFY2(message.contains(QStringLiteral("строка 2 длиннее 8 МБ")), qPrintable(message));
        // A line just under the limit is still a line.
        textfile::LineReader in(QStringLiteral("mem"),
                                QByteArray(textfile::LineReader::MaxLineBytes, 'y') + "\nz");
        QCOMPARE(in.ReadLineBytes().size(), textfile::LineReader::MaxLineBytes);
        QCOMPARE(in.ReadLine(), QStringLiteral("z"));
    }

    void byteOrderMarkIsRefused_data()
    {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") << "UTF-8";
        QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE") << "UTF-16";
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF") << "UTF-16";
    }
    void byteOrderMarkIsRefused()
    {
        QFETCH(QByteArray, mark);
        QFETCH(QString, encoding);
        const QString file = WriteBytes(path(QStringLiteral("bom.txt")), mark + QByteArray(18, '|') + "\r\n");
        const QString message = loadError(file);
        QVERIFY2(message.contains(QStringLiteral("кодировке %1").arg(encoding)), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("windows-1251")));
    }

    // UTF-8 throughout with something beyond ASCII: refused by both loaders,
    // also when the first such character comes long after the first block.
    // Windows-1251 Cyrillic fails UTF-8 at once and loads, as does plain ASCII.
    void utf8TextIsRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("refused");
        const QByteArray line = QByteArray(18, '|') + "\r\n";
        const QString cyrillic = QStringLiteral("Центр|Ёлка|");
        QTest::newRow("UTF-8 Cyrillic") << cyrillic.toUtf8() + line << true;
        QTest::newRow("UTF-8 after 3 MB of ASCII")
            << line.repeated(150000) + cyrillic.toUtf8() + line << true;
        QTest::newRow("windows-1251 Cyrillic") << textfile::ToCp1251(cyrillic) + line << false;
        // "Пё" is a valid UTF-8 pair in windows-1251 bytes; the next letter is not.
        QTest::newRow("windows-1251 starting like UTF-8")
            << textfile::ToCp1251(QStringLiteral("Пётр|")) + line << false;
        QTest::newRow("ASCII only") << line << false;
    }
    void utf8TextIsRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, refused);
        const QString file = WriteBytes(path(QStringLiteral("utf8.txt")), content);
        const QString message = loadError(file);
        if (!refused) {
            // Either loader may refuse it as data, never for its encoding.
            QVERIFY2(!message.contains(QStringLiteral("UTF-8")), qPrintable(message));
            return;
        }
        QVERIFY2(message.contains(QStringLiteral("в кодировке UTF-8")), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("windows-1251")));
        QVERIFY(message.contains(QStringLiteral("vestrana-cli recode")));
    }

    // Fed in pieces split anywhere, even inside a character, the verdict is the same.
    void utf8ScanAcrossPieces_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8Text");
        QTest::newRow("two-, three- and four-byte characters")
            << QStringLiteral("abcdefghЖ€\U0001F600xyz").toUtf8() << true;
        QTest::newRow("ASCII only") << QByteArray("abcdefghijklmnop") << false;
        QTest::newRow("overlong slash") << QByteArray("abc\xC0\xAF") << false;
        QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << false;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("cut off at the end") << QByteArray("abc\xD0") << false;
        QTest::newRow("windows-1251 word") << textfile::ToCp1251(QStringLiteral("квартира")) << false;
    }
    void utf8ScanAcrossPieces()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8Text);
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            textfile::Utf8Scan scan;
            scan.Feed(bytes.constData(), cut);
            scan.Feed(bytes.constData() + cut, bytes.size() - cut);
            QCOMPARE(scan.IsUtf8Text(), utf8Text);
        }
    }

    void saveFailureSaysWhatHappened_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << ENOSPC << "нет места на диске";
        QTest::newRow("quota") << EDQUOT << "нет места на диске";
        QTest::newRow("read-only file system") << EROFS << "файловая система только для чтения";
        QTest::newRow("no rights") << EACCES << "нет прав на запись";
        QTest::newRow("not permitted") << EPERM << "нет прав на запись";
    }
    void saveFailureSaysWhatHappened()
    {
        QFETCH(int, code);
        QTEST(textfile::SaveFailureReason(code), "reason");
    }

    // A real failure in the middle of a save: the system's reason, the old file kept.
    void failedWriteKeepsOldFile()
    {
        const QString file = WriteBytes(path(QStringLiteral("big/knows.txt")), "old\r\n");
        struct rlimit old;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 4096;
        auto* previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        QString message;
        try {
            textfile::AtomicWriter out(file);
            out.WriteBytes(QByteArray(3 << 20, 'a'));
            out.Commit();
        } catch (const VestranaError& e) {
            message = e.message();
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY2(message.contains(QStringLiteral("файл слишком велик")), qPrintable(message));
        QVERIFY(message.contains(QStringLiteral("прежний файл не изменён")));
        QCOMPARE(ReadBytes(file), QByteArray("old\r\n"));
        QCOMPARE(QDir(path(QStringLiteral("big"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"knows.txt"});
    }

    // A write-protected file (mode 444) is never replaced, even where the folder
    // or the superuser would allow it, directly or through a link.
    void writeProtectedFileIsKept()
    {
        const QString file = WriteBytes(path(QStringLiteral("ro/database.txt")), "old\r\n");
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
        const QString link = path(QStringLiteral("ro/link.txt"));
        QVERIFY(QFile::link(file, link));
        for (const QString& target : {file, link}) {
            QString message;
            try {
                textfile::AtomicWriter out(target);
                out.WriteLine(u"новое");
                out.Commit();
            } catch (const VestranaError& e) {
                message = e.message();
            }
            QVERIFY2(message.contains(QStringLiteral("защищён от записи")) &&
                         message.contains(QStringLiteral("прежний файл не изменён")),
                     qPrintable(message));
        }
        QCOMPARE(ReadBytes(file), QByteArray("old\r\n"));
        QCOMPARE(QDir(path(QStringLiteral("ro"))).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (QStringList{"database.txt", "link.txt"}));
    }

    // A save keeps the file's mode and writes through a link to the file it names.
    void saveKeepsModeAndLink()
    {
        const QString real = WriteBytes(path(QStringLiteral("mode/real.txt")), "old\r\n");
        QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString link = path(QStringLiteral("mode/link.txt"));
        QVERIFY(QFile::link(real, link));
        textfile::AtomicWriter out(link);
        out.WriteLine(u"новое");
        out.Commit();
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadBytes(real), textfile::ToCp1251(u"новое") + "\r\n");
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
