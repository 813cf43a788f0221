// The picture loader and the rich-text reader: demo portraits decode at their size, large ones scale
// down while decoding, damaged or oversized pictures and missing files give errors, and the RTF
// constructs of the instruction files come out formatted; deep, wide and binary RTF input is read in
// bounded time.
#include "platform/JpegLoader.h"
#include "platform/RtfReader.h"
#include "tools/portraits/PortraitArt.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// The character format at the first occurrence of `text` in the document.
QTextCharFormat formatAt(const QTextDocument& doc, const QString& text) {
    const int pos = doc.toPlainText().indexOf(text);
    QTextCursor cursor(const_cast<QTextDocument*>(&doc));
    cursor.setPosition(pos + 1);
    return cursor.charFormat();
}

// The JPEG with the frame header's height and width replaced (the first SOFn marker).
QByteArray withSize(QByteArray jpeg, int width, int height) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width);
            return jpeg;
        }
    }
    return {};
}

// A smooth grey picture of the given size, as JPEG.
QByteArray gradientJpeg(int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x)
            line[x] = uchar((x + y) & 0xFF);
    }
    return Portraits::EncodeJpeg(image);
}

} // namespace

class TestMedia : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portraitsDecode() {
        const QByteArray jpeg = Portraits::EncodeJpeg(Portraits::DrawPortrait(3, 5));
        const QImage image = Platform::DecodeJpeg(jpeg);
        QCOMPARE(image.size(), QSize(162, 246));
        QCOMPARE(image.format(), QImage::Format_Grayscale8);
        // The screen form holds the same grey values as RGB.
        const QImage display = Platform::DecodeJpeg(jpeg, QString(), Platform::TJpegTarget::Display);
        QCOMPARE(display.format(), QImage::Format_RGB32);
        for (const QPoint p : {QPoint(0, 0), QPoint(81, 100), QPoint(161, 245)})
            QCOMPARE(display.pixel(p),
                     QColor(qGray(image.pixel(p)), qGray(image.pixel(p)), qGray(image.pixel(p))).rgb());
        // Different seeds give different faces.
        QVERIFY(Portraits::DrawPortrait(3, 5) != Portraits::DrawPortrait(3, 6));
        QVERIFY(Portraits::DrawPortrait(1, 1) != Portraits::DrawPortrait(2, 1));
    }

    void portraitSetKeepsExistingFiles() {
        QTemporaryDir dir;
        QCOMPARE(Portraits::WritePortraitSet(dir.path()), 48);
        const QString own = dir.path() + QStringLiteral("/Ser2/Photo4.jpg");
        QFile file(own);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("examiner's own");
        file.close();
        QFile::remove(dir.path() + QStringLiteral("/Ser6/Photo8.jpg"));
        QCOMPARE(Portraits::WritePortraitSet(dir.path()), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("examiner's own"));
        QCOMPARE(Platform::LoadJpeg(dir.path() + QStringLiteral("/Ser6/Photo8.jpg")).width(), 162);
    }

    void damagedPicturesThrow_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray jpeg = Portraits::EncodeJpeg(Portraits::DrawPortrait(1, 1));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a jpeg") << QByteArray("GIF89a not a jpeg at all");
        QTest::newRow("header only") << jpeg.left(200);
        QTest::newRow("cut in half") << jpeg.left(jpeg.size() / 2);
        QTest::newRow("end marker missing") << jpeg.left(jpeg.size() - 2);
        QByteArray garbled = jpeg;
        for (qsizetype i = jpeg.size() / 3; i < jpeg.size() / 3 + 64; ++i)
            garbled[i] = static_cast<char>(0xFF);
        QTest::newRow("garbled scan") << garbled;
    }
    void damagedPicturesThrow() {
        QFETCH(QByteArray, data);
        try {
            Platform::DecodeJpeg(data, QStringLiteral("Photo1.jpg"));
            QFAIL("no error");
        } catch (const Platform::EJpegError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("«Photo1.jpg»")), qPrintable(e.message()));
        }
    }

    void oversizedPicturesRefusedBeforeDecoding_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("65,000 square") << 65000 << 65000;
        QTest::newRow("too wide") << Platform::kMaxJpegSide + 1 << 246;
        QTest::newRow("too high") << 162 << Platform::kMaxJpegSide + 1;
    }
    void oversizedPicturesRefusedBeforeDecoding() {
        QFETCH(int, width);
        QFETCH(int, height);
        // Only the header is forged: the data behind it would never fill such a picture.
        const QByteArray jpeg = withSize(Portraits::EncodeJpeg(Portraits::DrawPortrait(2, 2)), width, height);
        QVERIFY(!jpeg.isEmpty());
        for (const auto target : {Platform::TJpegTarget::Natural, Platform::TJpegTarget::Display}) {
            try {
                Platform::DecodeJpeg(jpeg, QStringLiteral("Photo2.jpg"), target, QSize(162, 246));
                QFAIL("no error");
            } catch (const Platform::EJpegError& e) {
                QVERIFY2(e.message().contains(QStringLiteral("«Photo2.jpg» слишком велик")),
                         qPrintable(e.message()));
                QVERIFY(e.message().contains(QString::number(width)));
            }
        }
    }

    void largePicturesScaleWhileDecoding_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("atLeast");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("panel size stays") << QSize(162, 246) << QSize(162, 246) << QSize(162, 246);
        QTest::newRow("smaller stays") << QSize(100, 120) << QSize(162, 246) << QSize(100, 120);
        QTest::newRow("eighth exactly") << QSize(1296, 1968) << QSize(162, 246) << QSize(162, 246);
        QTest::newRow("eighth rounded up") << QSize(2000, 3000) << QSize(162, 246) << QSize(250, 375);
        QTest::newRow("half") << QSize(400, 600) << QSize(162, 246) << QSize(200, 300);
        QTest::newRow("the height decides") << QSize(1300, 500) << QSize(162, 246) << QSize(650, 250);
        QTest::newRow("largest legal side") << QSize(Platform::kMaxJpegSide, 1000) << QSize(162, 246)
                                            << QSize(Platform::kMaxJpegSide / 4, 250);
        QTest::newRow("no wish, full size") << QSize(400, 600) << QSize() << QSize(400, 600);
    }
    void largePicturesScaleWhileDecoding() {
        QFETCH(QSize, picture);
        QFETCH(QSize, atLeast);
        QFETCH(QSize, decoded);
        const QByteArray jpeg = gradientJpeg(picture.width(), picture.height());
        for (const auto target : {Platform::TJpegTarget::Natural, Platform::TJpegTarget::Display}) {
            const QImage image = Platform::DecodeJpeg(jpeg, QString(), target, atLeast);
            QCOMPARE(image.size(), decoded);
        }
    }

    void missingPicture() {
        QVERIFY_THROWS_EXCEPTION(Platform::EJpegError,
                                 Platform::LoadJpeg(QStringLiteral("/nonexistent/Photo1.jpg")));
    }

    void rtfText_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraphs") << QByteArray("{\\rtf1 one\\par two\\par\nthree}") << "one\ntwo\nthree";
        QTest::newRow("cp1251 escapes")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}") << "Привет";
        QTest::newRow("unicode with fallback")
            << QByteArray("{\\rtf1\\uc1 a\\u1046?b\\u-3913\\'3fc}") << QString::fromUtf16(u"aЖb\uF0B7c");
        QTest::newRow("font table and destinations skipped")
            << QByteArray("{\\rtf1{\\fonttbl{\\f0\\froman Times New Roman;}}{\\*\\generator Writer;}"
                          "{\\info{\\title T}}text}")
            << "text";
        // toPlainText shows the no-break space as a plain one.
        QTest::newRow("escaped symbols") << QByteArray("{\\rtf1 a\\{b\\}c\\\\d\\~e}") << "a{b}c\\d e";
        QTest::newRow("space after control word")
            << QByteArray("{\\rtf1\\b bold\\b0  plain}") << "bold plain";
    }
    void rtfText() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument doc;
        Platform::ReadRtf(rtf, doc);
        QCOMPARE(doc.toPlainText(), text);
    }

    void rtfFormats() {
        QTextDocument doc;
        Platform::ReadRtf("{\\rtf1{\\colortbl;\\red0\\green0\\blue128;\\red200\\green10\\blue20;}"
                          "\\pard\\qc\\fs32\\cf1 Title\\par\\pard plain {\\b bold} {\\i italic} {\\ul under}"
                          " \\cf2 red\\cf0  {\\fs18 small} after}",
                          doc);
        const QTextCharFormat title = formatAt(doc, QStringLiteral("Title"));
        QCOMPARE(title.fontPointSize(), 16.0);
        QCOMPARE(title.foreground().color(), QColor(0, 0, 128));
        QCOMPARE(doc.firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(doc.lastBlock().blockFormat().alignment(), Qt::AlignLeft);
        QCOMPARE(formatAt(doc, QStringLiteral("bold")).fontWeight(), int(QFont::Bold));
        QCOMPARE(formatAt(doc, QStringLiteral("plain")).fontWeight(), int(QFont::Normal));
        QVERIFY(formatAt(doc, QStringLiteral("italic")).fontItalic());
        QVERIFY(formatAt(doc, QStringLiteral("under")).fontUnderline());
        QVERIFY(!formatAt(doc, QStringLiteral("after")).fontUnderline());
        QCOMPARE(formatAt(doc, QStringLiteral("red")).foreground().color(), QColor(200, 10, 20));
        QCOMPARE(formatAt(doc, QStringLiteral("small")).fontPointSize(), 9.0);
        QCOMPARE(formatAt(doc, QStringLiteral("after")).fontPointSize(), 16.0);
    }

    void rtfErrors() {
        QTextDocument doc;
        QVERIFY_THROWS_EXCEPTION(Platform::ERtfError, Platform::ReadRtf("plain text", doc));
        QVERIFY_THROWS_EXCEPTION(Platform::ERtfError,
                                 Platform::ReadRtf(QByteArray(300, '{').prepend("{\\rtf1"), doc));
        try {
            Platform::LoadRtfFile(QStringLiteral("/nonexistent/First_Instruct.rtf"), doc);
            QFAIL("no error");
        } catch (const Platform::ERtfError& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Не удалось открыть файл «/nonexistent/First_Instruct.rtf»."));
        }
    }

    void rtfByteOrderMarkAndBinaryData_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF{\\rtf1 hello}") << "hello";
        QTest::newRow("mark, then blanks") << QByteArray("\xEF\xBB\xBF \r\n{\\rtf1 hello}") << "hello";
        // The bytes after \binN are data, whatever they look like: braces, backslashes, letters.
        QTest::newRow("binary picture data") << QByteArray("{\\rtf1 a{\\*\\pict\\bin6 }{x\\b}}b}") << "ab";
        QTest::newRow("binary outside a destination") << QByteArray("{\\rtf1 a\\bin3 xyzb}") << "ab";
        QTest::newRow("binary length past the end") << QByteArray("{\\rtf1 a\\bin99999 xyz") << "a";
        QTest::newRow("negative binary length") << QByteArray("{\\rtf1 a\\bin-5 b}") << "ab";
    }
    void rtfByteOrderMarkAndBinaryData() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument doc;
        Platform::ReadRtf(rtf, doc);
        QCOMPARE(doc.toPlainText(), text);
    }

    // Each file is read and laid out; a quadratic reader or layout would hold the suite for minutes.
    void rtfDeepAndWideFiles_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("letters");
        QTest::addColumn<bool>("refused");
        QTest::newRow("60,000 nested groups") << QByteArray(60000, '{').prepend("{\\rtf1 ") << 0 << true;
        QTest::newRow("300,000 small groups")
            << QByteArray("{\\b a}").repeated(300000).prepend("{\\rtf1 ").append('}') << 300000 << false;
        QTest::newRow("300,000 alternating formats")
            << QByteArray("{\\b a}{\\i a}").repeated(150000).prepend("{\\rtf1 ").append('}') << 300000
            << false;
        QTest::newRow("one word of 300,000 letters")
            << QByteArray(300000, 'a').prepend("{\\rtf1 ").append('}') << 300000 << false;
    }
    void rtfDeepAndWideFiles() {
        QFETCH(QByteArray, rtf);
        QFETCH(int, letters);
        QFETCH(bool, refused);
        QTextDocument doc;
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(Platform::ERtfError, Platform::ReadRtf(rtf, doc));
            return;
        }
        Platform::ReadRtf(rtf, doc);
        QCOMPARE(doc.toPlainText().count(QLatin1Char('a')), letters);
        QVERIFY(!doc.isUndoAvailable());
        doc.setTextWidth(600);
        QVERIFY(doc.size().height() > 0);
    }

    // Spacing, indents and sizes of 10^8 are taken as the largest real ones, so the layout stays small
    // and quick; a document that would still grow past what the layout handles is refused instead of
    // hanging the test window.
    void rtfHugeNumbersKeepTheLayoutBounded_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<bool>("refused");
        const QByteArray paragraphs = QByteArray("words of a paragraph\\par ").repeated(5) + '}';
        for (const char* word : {"sb", "sa", "li", "fi-", "fs"})
            QTest::newRow(word) << "{\\rtf1\\" + QByteArray(word) + "100000000 " + paragraphs << false;
        QTest::newRow("largest spacing on 20,000 paragraphs")
            << "{\\rtf1\\sb31680\\sa31680 " + QByteArray("x\\par ").repeated(20000) + '}' << true;
    }
    void rtfHugeNumbersKeepTheLayoutBounded() {
        QFETCH(QByteArray, rtf);
        QFETCH(bool, refused);
        QTextDocument doc;
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(Platform::ERtfError, Platform::ReadRtf(rtf, doc));
            QVERIFY(doc.isEmpty());
            return;
        }
        Platform::ReadRtf(rtf, doc);
        doc.setTextWidth(600);
        QVERIFY(doc.size().height() < 100000 && doc.size().width() < 100000);
    }

    // Long paragraphs are broken into blocks of bounded length; short ones stay whole.
    void rtfLongParagraphsAreBroken() {
        QTextDocument doc;
        Platform::ReadRtf(QByteArray("word ").repeated(2000).prepend("{\\rtf1 ").append("\\par short}"), doc);
        QVERIFY(doc.blockCount() > 2);
        for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
            QVERIFY(b.length() <= 4001);
        QCOMPARE(doc.lastBlock().text(), QStringLiteral("short"));
        QCOMPARE(doc.toPlainText().count(QStringLiteral("word")), 2000);
    }

    void shippedInstructions_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("first") << "First_Instruct.rtf"
                               << "наиболее симпатичными";
        QTest::newRow("second") << "Second_Instruct.rtf"
                                << "четыре портрета";
    }
    void shippedInstructions() {
        QFETCH(QString, file);
        QFETCH(QString, phrase);
        QTextDocument doc;
        Platform::LoadRtfFile(QStringLiteral(MORVEL_RESOURCES_DIR "/") + file, doc);
        const QString text = doc.toPlainText();
        QVERIFY2(text.contains(phrase), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("«Начать тестирование»")));
        QVERIFY(!text.contains(u'\\') && !text.contains(u'{'));
    }
};

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
