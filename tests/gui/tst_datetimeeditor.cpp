#include "gui/DateTimeBox.h"
#include "gui/DateTimeFieldEditor.h"
#include "support/FakeDesktop.h"

#include <memory>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QStyleOptionSpinBox>
#include <QtTest>

using namespace karv;

/// Drives a time box as a person would: clicks, keys, spin buttons and the wheel.
class DateTimeEditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DateTimeBox> box;
    std::unique_ptr<DateTimeFieldEditor> editor;
    test::FakeClock clock;

    QLineEdit* edit() { return box->edit(); }

    void make(const char* text) {
        box = std::make_unique<DateTimeBox>(QString::fromUtf8(text));
        editor = std::make_unique<DateTimeFieldEditor>(clock);
        editor->setCurrentYearSource([] { return 2026; });
        editor->attach(box.get());
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    }

    /// A point inside the line edit whose click puts the caret at `position`.
    QPoint pointAt(int position) {
        const int y = edit()->height() / 2;
        for (int x = 0; x < edit()->width(); ++x)
            if (edit()->cursorPositionAt(QPoint(x, y)) == position)
                return QPoint(x, y);
        qFatal("no point for caret position %d", position);
        return {};
    }

    void clickAt(int position) {
        QTest::mouseClick(edit(), Qt::LeftButton, Qt::NoModifier, pointAt(position));
    }

    /// Selects a part the way the mouse does.
    void pick(int part) {
        static const int starts[7] = {0, 0, 5, 8, 11, 14, 17};
        clickAt(starts[part] + 1);
    }

    void key(Qt::Key code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(box.get(), code, modifiers);
    }

    void wheel(int distance) {
        QWheelEvent event(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, distance),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(box.get(), &event);
    }

    void clickSpin(bool up) {
        QStyleOptionSpinBox option;
        option.initFrom(box.get());
        option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown | QStyle::SC_SpinBoxFrame;
        option.buttonSymbols = box->buttonSymbols();
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        option.frame = box->hasFrame();
        const QRect button = box->style()->subControlRect(
            QStyle::CC_SpinBox, &option, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, box.get());
        QTest::mouseClick(box.get(), Qt::LeftButton, Qt::NoModifier, button.center());
    }

    QString text() { return box->text(); }
    QString selected() { return edit()->selectedText(); }

private slots:
    void init() { clock.now = 100000; }
    void cleanup() {
        editor.reset();
        box.reset();
    }

    void attachingKeepsTheText() {
        make("2012-12-21 12:12:12");
        QCOMPARE(text(), QString("2012-12-21 12:12:12"));
        QCOMPARE(box->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
    }

    void caretPositionsMapToParts() {
        make("2014-03-31 23:55:00 ");
        const int expected[21] = {1, 1, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0};
        for (int position = 0; position <= 20; ++position) {
            edit()->setCursorPosition(position);
            QCOMPARE(editor->partAtCaret(), expected[position]);
        }
    }

    void clickingSelectsThePartUnderTheCaret() {
        make("2014-03-31 23:55:00");
        clickAt(2);
        QCOMPARE(selected(), QString("2014"));
        clickAt(5); // just after the first "-"
        QCOMPARE(selected(), QString("03"));
        clickAt(19);
        QCOMPARE(selected(), QString("00"));
        QCOMPARE(edit()->selectionStart(), 17);
        QCOMPARE(text(), QString("2014-03-31 23:55:00"));
    }

    void arrowsStepTheMonthAroundItsRange() {
        make("2014-12-31 23:55:00");
        pick(2);
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("2014-01-31 23:55:00"));
        QCOMPARE(selected(), QString("01"));
        key(Qt::Key_Down);
        QCOMPARE(text(), QString("2014-12-31 23:55:00"));
        key(Qt::Key_Down);
        QCOMPARE(text(), QString("2014-11-31 23:55:00"));
    }

    void leftAndRightMoveBetweenPartsAndWrap() {
        make("2014-03-31 23:55:00 ");
        pick(6);
        key(Qt::Key_Right);
        QCOMPARE(selected(), QString("2014"));
        key(Qt::Key_Left);
        QCOMPARE(selected(), QString("00"));
        QCOMPARE(edit()->selectionStart(), 17);
        key(Qt::Key_Left);
        QCOMPARE(selected(), QString("55"));
        // From no part, left goes to the seconds and right to the year.
        edit()->setCursorPosition(20);
        key(Qt::Key_Left);
        QCOMPARE(edit()->selectionStart(), 17);
        edit()->setCursorPosition(20);
        key(Qt::Key_Right);
        QCOMPARE(selected(), QString("2014"));
        QCOMPARE(text(), QString("2014-03-31 23:55:00 "));
    }

    void digitsTypedWithinFiveSecondsCombine() {
        make("2014-03-31 12:55:00");
        pick(4);
        key(Qt::Key_2);
        clock.now += 1000;
        key(Qt::Key_3);
        QCOMPARE(text(), QString("2014-03-31 23:55:00"));
        // 25 is no hour: the second digit stays alone.
        clock.now += 6000;
        key(Qt::Key_2);
        QCOMPARE(text(), QString("2014-03-31 02:55:00"));
        clock.now += 4999;
        key(Qt::Key_5);
        QCOMPARE(text(), QString("2014-03-31 05:55:00"));
        QCOMPARE(selected(), QString("05"));
    }

    void aPauseOfFiveSecondsStartsAFreshValue() {
        make("2014-03-31 12:55:00");
        pick(4);
        key(Qt::Key_2);
        clock.now += 1000;
        key(Qt::Key_1);
        QCOMPARE(text(), QString("2014-03-31 21:55:00"));
        clock.now += 5000;
        key(Qt::Key_3);
        QCOMPARE(text(), QString("2014-03-31 03:55:00"));
    }

    void typingInAnotherPartStartsAfresh() {
        make("2014-03-31 12:55:00");
        pick(5);
        key(Qt::Key_4);
        pick(6);
        key(Qt::Key_7); // the seconds did not receive the last digit: a fresh value
        QCOMPARE(text(), QString("2014-03-31 12:04:07"));
    }

    void aFreshZeroWrapsMonthAndDayToTheirTop() {
        make("2014-03-31 12:55:00");
        pick(2);
        key(Qt::Key_5); // continues the "03" of the first selection: 035 is too large, 5 stays
        QCOMPARE(text(), QString("2014-05-31 12:55:00"));
        pick(2);
        clock.now += 6000;
        key(Qt::Key_0);
        QCOMPARE(text(), QString("2014-12-31 12:55:00"));
        pick(3);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        QCOMPARE(text(), QString("2014-12-29 12:55:00"));
        pick(3);
        key(Qt::Key_0); // the last digit went to the month: a fresh 0
        QCOMPARE(text(), QString("2014-12-31 12:55:00"));
    }

    void aTooLargeCombinationNeverLeavesAZeroDayOrMonth() {
        make("2014-12-29 12:55:00");
        pick(3);
        key(Qt::Key_3);
        QCOMPARE(text(), QString("2014-12-03 12:55:00")); // 293: the 3 alone
        key(Qt::Key_5);
        QCOMPARE(text(), QString("2014-12-05 12:55:00")); // 35: the 5 alone
        key(Qt::Key_0);
        QCOMPARE(text(), QString("2014-12-31 12:55:00")); // 50: a 0 alone is no day, it wraps
        pick(2);
        key(Qt::Key_4);
        key(Qt::Key_0);
        QCOMPARE(text(), QString("2014-12-31 12:55:00"));
        pick(6);
        key(Qt::Key_6);
        key(Qt::Key_0);
        QCOMPARE(text(), QString("2014-12-31 12:55:00")); // 60 seconds: the 0 alone is valid
    }

    void theDayReachesThirtyOneInAnyMonth() {
        make("2014-02-30 12:55:00");
        pick(3);
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("2014-02-31 12:55:00"));
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("2014-02-01 12:55:00"));
    }

    void hoursMinutesAndSecondsWrap() {
        make("2014-02-03 23:59:59");
        pick(4);
        key(Qt::Key_Up);
        pick(5);
        key(Qt::Key_Up);
        pick(6);
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("2014-02-03 00:00:00"));
        key(Qt::Key_Down);
        QCOMPARE(text(), QString("2014-02-03 00:00:59"));
    }

    void theYearWrapsBetween1946AndTheCurrentYear() {
        make("1946-01-01 00:00:00");
        pick(1);
        key(Qt::Key_Down);
        QCOMPARE(text(), QString("2026-01-01 00:00:00"));
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("1946-01-01 00:00:00"));
        QCOMPARE(selected(), QString("1946"));
    }

    void aYearIsTypedAsFourDigitsAndKeptInRange() {
        make("2014-03-31 12:55:00");
        pick(1);
        for (Qt::Key digit : {Qt::Key_2, Qt::Key_0, Qt::Key_0})
            key(digit);
        QCOMPARE(text(), QString("2014-03-31 12:55:00")); // incomplete: unchanged
        key(Qt::Key_8);
        QCOMPARE(text(), QString("2008-03-31 12:55:00"));
        QCOMPARE(selected(), QString("2008"));
        // Out of range, the year's own rule: below 1946 the current year, above it 1946.
        for (Qt::Key digit : {Qt::Key_1, Qt::Key_9, Qt::Key_0, Qt::Key_0})
            key(digit);
        QCOMPARE(text(), QString("2026-03-31 12:55:00"));
        for (Qt::Key digit : {Qt::Key_2, Qt::Key_0, Qt::Key_9, Qt::Key_9})
            key(digit);
        QCOMPARE(text(), QString("1946-03-31 12:55:00"));
        // A pause drops the digits typed so far.
        key(Qt::Key_1);
        key(Qt::Key_9);
        clock.now += 5000;
        for (Qt::Key digit : {Qt::Key_1, Qt::Key_9, Qt::Key_9, Qt::Key_5})
            key(digit);
        QCOMPARE(text(), QString("1995-03-31 12:55:00"));
    }

    void spinButtonsStepTheSelectedPart() {
        make("2014-03-31 12:55:00");
        pick(5);
        clickSpin(true);
        QCOMPARE(text(), QString("2014-03-31 12:56:00"));
        clickSpin(false);
        clickSpin(false);
        QCOMPARE(text(), QString("2014-03-31 12:54:00"));
        editor->onSpin(7); // any value but 1 steps down
        QCOMPARE(text(), QString("2014-03-31 12:53:00"));
    }

    void theWheelMovesBetweenParts() {
        make("2014-03-31 12:55:00");
        pick(3);
        wheel(120);
        QCOMPARE(selected(), QString("03"));
        QCOMPARE(edit()->selectionStart(), 5);
        wheel(-120);
        wheel(-120);
        QCOMPARE(edit()->selectionStart(), 11);
        QCOMPARE(text(), QString("2014-03-31 12:55:00"));
    }

    void otherKeysLeaveTheTextAlone() {
        make("2014-03-31 12:55:00");
        pick(2);
        key(Qt::Key_5, Qt::KeypadModifier);
        key(Qt::Key_A);
        key(Qt::Key_Backspace);
        key(Qt::Key_Delete);
        QTest::keyClicks(box.get(), "xyz");
        QCOMPARE(text(), QString("2014-03-31 12:55:00"));
    }

    void pastesAndDroppedTextsAreTakenOnlyAsAWholeDateTime() {
        make("2014-03-31 23:55:00");
        pick(6);
        QClipboard* clipboard = QGuiApplication::clipboard();
        for (const char* refused :
             {"hello", "2014-02-31 10:00:00", "2014-03-31", "12:00:00", "2014-03-31 23:55:00x", ""}) {
            clipboard->setText(QString::fromUtf8(refused));
            key(Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(text(), QString("2014-03-31 23:55:00"));
        }
        clipboard->setText(" 2020-01-02 03:04:05\n");
        key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text(), QString("2020-01-02 03:04:05"));

        auto dropText = [this](const QString& dropped) {
            QMimeData mime;
            mime.setText(dropped);
            const QPoint at = box->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box.get(), &enter);
            QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box.get(), &drop);
        };
        dropText("hello");
        QCOMPARE(text(), QString("2020-01-02 03:04:05"));
        dropText("2012-12-21 12:12:12");
        QCOMPARE(text(), QString("2012-12-21 12:12:12"));
    }

    void aShortTextNeverBreaksTheEditor() {
        make("2014");
        edit()->setCursorPosition(4);
        QCOMPARE(editor->partAtCaret(), 1);
        editor->editPart(2, true, true, 0, false); // the text has no month
        editor->editPart(6, false, false, 3, true);
        QCOMPARE(text(), QString("2014"));
        editor->editPart(0, true, true, 0, false); // no part: nothing changes
        QCOMPARE(text(), QString("2014"));
        key(Qt::Key_Up);
        QCOMPARE(text(), QString("2015"));
    }
};

QTEST_MAIN(DateTimeEditorTest)
#include "tst_datetimeeditor.moc"
