// The widget side of the file operations, offscreen: the German questions give the answer
// of the button pressed (with "Für alle"), and the progress dialog shows up only for an
// operation still running after half a second, follows it, and cancels it.

#include "../fileops/FileOpsFixtures.h"
#include "controls/OperationProgressDialog.h"
#include "controls/OperationQuestions.h"
#include "fileops/OperationJob.h"
#include "fileops/TreeTransfer.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace fileops;

namespace {

// Presses a button of the next message box (by object name), after ticking "Für alle"
// when asked to; records the box's text, title and button captions (sorted).
void answerNextBox(const QString& button, bool forAll, QString* text)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answerNextBox(button, forAll, text);
            return;
        }
        QStringList buttons;
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        buttons.sort();
        *text = box->text() + u'|' + box->windowTitle() + u'|' + buttons.join(u'|') + u'|';
        box->checkBox()->setChecked(forAll);
        box->findChild<QPushButton*>(button)->click();
    });
}

} // namespace

class TestOperationDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TreeTransfer::setChunkHook({}); }
    void conflictQuestion_data();
    void conflictQuestion();
    void deleteForGoodQuestion_data();
    void deleteForGoodQuestion();
    void progressShownLateAndCancels();
    void quickOperationShowsNoProgress();
};

void TestOperationDialogs::conflictQuestion_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("forAll");
    QTest::addColumn<int>("choice");
    QTest::newRow("Ersetzen") << "first" << false << int(ConflictAnswer::Replace);
    QTest::newRow("Ersetzen für alle") << "first" << true << int(ConflictAnswer::Replace);
    QTest::newRow("Überspringen") << "skip" << false << int(ConflictAnswer::Skip);
    QTest::newRow("Überspringen für alle") << "skip" << true << int(ConflictAnswer::Skip);
    QTest::newRow("Abbrechen") << "cancel" << false << int(ConflictAnswer::Cancel);
}

void TestOperationDialogs::conflictQuestion()
{
    QFETCH(QString, button);
    QFETCH(bool, forAll);
    QFETCH(int, choice);
    ConflictQuestion q;
    q.source = "/quelle/Brief.txt";
    q.target = "/ziel/Brief.txt";
    q.sourceSize = 2048;
    q.targetSize = 10;
    q.sourceModified = QDateTime(QDate(2024, 5, 6), QTime(7, 8));
    q.targetModified = QDateTime(QDate(2023, 1, 2), QTime(3, 4));
    QString text;
    answerNextBox(button, forAll, &text);
    TOperationQuestions questions;
    const ConflictAnswer answer = questions.askConflict(q);
    QCOMPARE(int(answer.choice), choice);
    QCOMPARE(answer.forAll, forAll);
    QCOMPARE(text, TOperationQuestions::conflictText(q) +
                       u"|Objekt ersetzen|Abbrechen|Ersetzen|Überspringen|"_qs);
    QVERIFY(text.contains(u"„/ziel/Brief.txt“"_qs));
    QVERIFY(text.contains(u"geändert am 02.01.2023 03:04"_qs));
    QVERIFY(text.contains(u"geändert am 06.05.2024 07:08"_qs));
}

void TestOperationDialogs::deleteForGoodQuestion_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("forAll");
    QTest::addColumn<int>("choice");
    QTest::newRow("Endgültig löschen") << "first" << false << int(DeleteForGoodAnswer::Delete);
    QTest::newRow("Überspringen für alle") << "skip" << true << int(DeleteForGoodAnswer::Skip);
    QTest::newRow("Abbrechen") << "cancel" << false << int(DeleteForGoodAnswer::Cancel);
}

void TestOperationDialogs::deleteForGoodQuestion()
{
    QFETCH(QString, button);
    QFETCH(bool, forAll);
    QFETCH(int, choice);
    QString text;
    answerNextBox(button, forAll, &text);
    TOperationQuestions questions;
    const DeleteForGoodAnswer answer =
        questions.askDeleteForGood({"/mnt/stick/Datei", u"Kein Papierkorb dort."_qs});
    QCOMPARE(int(answer.choice), choice);
    QCOMPARE(answer.forAll, forAll);
    QVERIFY2(text.startsWith(u"„/mnt/stick/Datei“ kann nicht in den Papierkorb verschoben "
                             u"werden.\n\nKein Papierkorb dort.\n\n"_qs),
             qPrintable(text));
    QVERIFY(text.endsWith(u"|Endgültig löschen|Abbrechen|Endgültig löschen|Überspringen|"_qs));
}

void TestOperationDialogs::progressShownLateAndCancels()
{
    ScratchDir tmp;
    const QByteArray src = tmp.path() + "/big", dst = tmp.path() + "/dst";
    putFile(src, QByteArray(48 * 1024 * 1024, 'p'));
    QCOMPARE(::mkdir(dst.constData(), 0755), 0);
    TreeTransfer::setChunkHook([](const QByteArray&, std::uint64_t) { QThread::msleep(150); });
    OperationJob job(Operation{OperationKind::Copy, {src}, dst, {}}, nullptr);
    TOperationProgressDialog dialog(job);
    job.start();
    QTest::qWait(TOperationProgressDialog::kShowAfterMs - 200);
    QVERIFY(!dialog.isVisible());
    QTRY_VERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), u"Kopieren"_qs);
    QTRY_COMPARE(dialog.labelText(), QFile::decodeName(src));
    QTRY_VERIFY(dialog.value() > 0);
    QVERIFY(dialog.value() < 1000);
    dialog.findChild<QPushButton*>()->click();
    const OperationReport& report = job.waitForFinished();
    QCOMPARE(report.outcome, OperationReport::Outcome::Cancelled);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(snapshot(dst).keys(), QByteArrayList{""});
}

void TestOperationDialogs::quickOperationShowsNoProgress()
{
    ScratchDir tmp;
    putFile(tmp.path() + "/small", "s");
    QCOMPARE(::mkdir((tmp.path() + "/dst").constData(), 0755), 0);
    OperationJob job(
        Operation{OperationKind::Copy, {tmp.path() + "/small"}, tmp.path() + "/dst", {}}, nullptr);
    TOperationProgressDialog dialog(job);
    bool everShown = false;
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] { everShown = everShown || dialog.isVisible(); });
    probe.start(10);
    job.start();
    QCOMPARE(job.waitForFinished().outcome, OperationReport::Outcome::Done);
    QTest::qWait(TOperationProgressDialog::kShowAfterMs + 200);
    QVERIFY(!everShown);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestOperationDialogs)
#include "tst_operationdialogs.moc"
