#include "app/AboutBox.h"
#include "support/ScriptedPrompts.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestAboutBox : public QObject {
    Q_OBJECT

private:
    static QStringList lines(const AboutBox& box) {
        return Named<QPlainTextEdit>(&box, "aboutText")->toPlainText().split(QLatin1Char('\n'));
    }

private slots:
    void tenLines() {
        AboutBox box;
        const QStringList text = lines(box);
        QCOMPARE(text.size(), 10);
        QCOMPARE(text[0], QStringLiteral("Morwick"));
        QCOMPARE(text[2], QStringLiteral("(version 1.2 / July 2004)"));
        for (int empty : {1, 3, 5, 8})
            QCOMPARE(text[empty], QString());
        QVERIFY(text[4].contains(QStringLiteral("Morwick")));
        QVERIFY(text[6].contains(QLatin1Char('@')));
        QVERIFY(text[7].contains(QStringLiteral("morwick.example")));
        QCOMPARE(text[9], QStringLiteral("You have tagged 0 files"));
    }

    void boxShape() {
        AboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QCOMPARE(box.size(), QSize(257, 217));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        const Qt::WindowFlags flags = box.windowFlags();
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
        QVERIFY(Named<QPlainTextEdit>(&box, "aboutText")->isReadOnly());
        QCOMPARE(Named<QPlainTextEdit>(&box, "aboutText")->focusPolicy(), Qt::NoFocus);
        QCOMPARE(Named<QPushButton>(&box, "okButton")->text(), QStringLiteral("&Ok"));
        QVERIFY(Named<QPushButton>(&box, "okButton")->isDefault());
    }

    void showingCountsTaggedFiles_data() {
        QTest::addColumn<int>("uses");
        QTest::addColumn<QString>("line");
        QTest::newRow("stored 10 and three tagged") << 13 << "You have tagged 13 files";
        QTest::newRow("one: same wording") << 1 << "You have tagged 1 files";
        QTest::newRow("negative") << -5 << "You have tagged -5 files";
        QTest::newRow("large, no separators") << 1234567 << "You have tagged 1234567 files";
    }
    void showingCountsTaggedFiles() {
        QFETCH(int, uses);
        QFETCH(QString, line);
        AboutBox box;
        box.setTaggedFiles(uses);
        box.show();
        QCOMPARE(lines(box).value(9), line);
        QCOMPARE(lines(box).size(), 10);
        box.hide();
        box.setTaggedFiles(0);
        box.show(); // each showing counts afresh
        QCOMPARE(lines(box).value(9), QStringLiteral("You have tagged 0 files"));
    }

    void enterClosesWithOk_EscapeDoesNot() {
        AboutBox box;
        int result = -1;
        QTimer::singleShot(0, &box, [&] {
            QTest::keyClick(&box, Qt::Key_Escape);
            QVERIFY(box.isVisible());
            QTest::keyClick(&box, Qt::Key_Return);
        });
        result = box.exec();
        QCOMPARE(result, int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestAboutBox)
#include "TestAboutBox.moc"
