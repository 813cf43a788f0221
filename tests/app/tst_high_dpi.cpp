// At a screen scale of 2 the program's pictures are drawn at the screen's density, not scaled up:
// action icons, the logo, and the formula picture of the results window, while the report keeps its
// picture at the size it has always had.
#include "ResultsSupport.h"
#include "TestSupport.h"

#include "results/Result_Frm.h"
#include "scoring/Calc_Records.h"
#include "widgets/Icons.h"

#include <QLabel>
#include <QtTest>

namespace {

constexpr int kMenId = 7;

// The same picture drawn at 1 and scaled up by 2 pixel for pixel.
QImage scaledUp(const QImage& image) {
    return image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

class TestHighDpi : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    void actionIcons_data() {
        QTest::addColumn<int>("kind");
        for (Icons::Kind k : {Icons::Kind::NewDB, Icons::Kind::SeekTest, Icons::Kind::ResultTest,
                              Icons::Kind::Help, Icons::Kind::App})
            QTest::newRow(qPrintable(QString::number(static_cast<int>(k)))) << static_cast<int>(k);
    }
    // A 16-point icon comes as 32 × 32 pixels drawn at that size, not a 16-pixel picture doubled.
    void actionIcons() {
        QFETCH(int, kind);
        const QIcon icon = Icons::icon(static_cast<Icons::Kind>(kind));
        const QPixmap pixmap = icon.pixmap(QSize(16, 16), 2.0);
        QCOMPARE(pixmap.size(), QSize(32, 32));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        const QImage sharp = pixmap.toImage();
        const QImage doubled =
            scaledUp(icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(sharp.format()));
        QVERIFY(sharp != doubled);
    }

    void logo() {
        const QPixmap logo = Icons::logo(174, 90, 2.0);
        QCOMPARE(logo.size(), QSize(348, 180));
        QCOMPARE(logo.deviceIndependentSize(), QSizeF(174, 90));
    }

    // The window's formula picture has the screen's density; the report's stays at 649 × 257.
    void formulaPicture() {
        TestSupport::pinRussianLocale();
        TestSupport::ProgramDirFixture dir;
        auto dm = dir.createDataModule();
        QVERIFY(dm);
        TestSupport::ensureTestee(dm->Main_Database(), 1, kMenId);
        TestSupport::insertTest(1, kMenId, QDate(2026, 3, 14), QTime(10, 0), QString(),
                                TestSupport::compose(QStringLiteral("135724681538264713457812"
                                                                    "264815372467381567285634")));
        TResult_Form form;
        form.show();
        form.LoadResults(TestSupport::resultsOf(kMenId));
        QCOMPARE(form.Picture().size(), QSize(649, 257));
        QCOMPARE(form.Picture().devicePixelRatio(), 1.0);
        const QPixmap shown = form.Image->pixmap();
        QCOMPARE(shown.devicePixelRatio(), 2.0);
        QCOMPARE(shown.size(), QSize(1298, 514));
        const QImage doubled = scaledUp(form.Picture().convertToFormat(shown.toImage().format()));
        QVERIFY(shown.toImage() != doubled);
    }
};

int main(int argc, char** argv) {
    // The scale must be set before the application starts.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_high_dpi.moc"
