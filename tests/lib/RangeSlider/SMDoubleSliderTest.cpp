// The two-knob slider: values held in range and in order, signals, and the
// knobs driven by mouse, keyboard and wheel.

#include "lib/RangeSlider/SMDoubleSlider.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <utility>

namespace {

QList<int> values(const QSignalSpy& spy)
{
    QList<int> list;
    for (const QList<QVariant>& call : spy)
        list << call.value(0).toInt();
    return list;
}

// Both knobs' values, low first.
std::pair<int, int> knobs(const SMDoubleSlider& slider)
{
    return {slider.loValue(), slider.hiValue()};
}

void wheel(QWidget* widget, QPoint at, int degrees)
{
    QWheelEvent event(QPointF(at), QPointF(widget->mapToGlobal(at)), QPoint(), QPoint(0, degrees * 8), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class SMDoubleSliderTest : public QObject {
    Q_OBJECT

private slots:
    void valuesStayInRangeAndInOrder()
    {
        SMDoubleSlider slider;
        QCOMPARE(knobs(slider), std::pair(0, 100));
        QSignalSpy lo(&slider, &SMDoubleSlider::loValueChanged);
        QSignalSpy hi(&slider, &SMDoubleSlider::hiValueChanged);

        slider.setLoValue(-5);
        slider.setHiValue(150);
        QCOMPARE(knobs(slider), std::pair(0, 100));
        QVERIFY(lo.isEmpty() && hi.isEmpty()); // no change, no signal

        slider.setHiValue(50);
        slider.setLoValue(80); // cannot pass the high knob
        QCOMPARE(slider.loValue(), 50);
        slider.setHiValue(10); // nor the other way
        QCOMPARE(slider.hiValue(), 50);
        slider.setLoValue(20);
        QCOMPARE(values(lo), (QList<int>{50, 20}));
        QCOMPARE(values(hi), (QList<int>{50}));

        // Both at once reach a pair one knob at a time could not.
        slider.setValues(60, 90);
        QCOMPARE(knobs(slider), std::pair(60, 90));
        slider.setValues(5, 10);
        QCOMPARE(knobs(slider), std::pair(5, 10));
        slider.setValues(70, 30); // crossed: the low knob gives way
        QCOMPARE(knobs(slider), std::pair(30, 30));

        // A narrower range pulls both in, and says so.
        slider.setValues(10, 90);
        lo.clear();
        hi.clear();
        slider.setMinValue(20);
        slider.setMaxValue(40);
        QCOMPARE(knobs(slider), std::pair(20, 40));
        QCOMPARE(values(lo), QList<int>{20});
        QCOMPARE(values(hi), QList<int>{40});
        slider.setMaxValue(0); // below the minimum: taken as the minimum
        QCOMPARE(slider.maxValue(), 20);
        QCOMPARE(knobs(slider), std::pair(20, 20));
    }

    void geometryAndPainting()
    {
        SMDoubleSlider slider;
        slider.resize(220, 24);
        QCOMPARE(slider.knobCentreX(0), slider.trackLeft());
        QCOMPARE(slider.knobCentreX(100), slider.trackRight());
        for (int value : {0, 1, 30, 50, 99, 100})
            QCOMPARE(slider.valueAtX(slider.knobCentreX(value)), value);
        QCOMPARE(slider.valueAtX(-50), 0);
        QCOMPARE(slider.valueAtX(1000), 100);

        // Painted: the disabled look differs.
        slider.setValues(30, 30);
        QImage on = slider.grab().toImage();
        slider.setEnabled(false);
        QImage off = slider.grab().toImage();
        QVERIFY(on != off);
        // The band between the knobs is drawn in the kit's accent colour.
        slider.setEnabled(true);
        slider.setValues(20, 80);
        const QImage band = slider.grab().toImage();
        const QColor mid = band.pixelColor(slider.knobCentreX(50), slider.height() / 2);
        QCOMPARE(mid, QColor(0x4f, 0xa3, 0xe0));
        const QColor outside = band.pixelColor(slider.knobCentreX(5), slider.height() / 2);
        QVERIFY(outside != mid);
    }

    void mouseKeyboardAndWheel()
    {
        // A field before and after the slider, for focus moves.
        QWidget top;
        auto* layout = new QVBoxLayout(&top);
        auto* before = new QLineEdit;
        auto* s = new SMDoubleSlider;
        auto* after = new QLineEdit;
        for (QWidget* widget : std::initializer_list<QWidget*>{before, s, after})
            layout->addWidget(widget);
        top.resize(232, 120);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        s->setValues(40, 80);
        const int y = s->height() / 2;
        QSignalSpy lo(s, &SMDoubleSlider::loValueChanged);
        // Pressed at the first value, moved through the others, released at the last.
        const auto drag = [&](std::initializer_list<int> path) {
            QTest::mousePress(s, Qt::LeftButton, {}, QPoint(s->knobCentreX(*path.begin()), y));
            for (auto at = path.begin() + 1; at != path.end(); ++at)
                QTest::mouseMove(s, QPoint(s->knobCentreX(*at), y));
            QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(s->knobCentreX(*(path.end() - 1)), y));
        };

        drag({40, 35, 30});
        QCOMPARE(knobs(*s), std::pair(30, 80));
        QCOMPARE(values(lo), (QList<int>{35, 30})); // tracked while dragging
        drag({30, 95}); // past the high knob it stops there
        QCOMPARE(knobs(*s), std::pair(80, 80));
        drag({80, 90}); // both on one spot: the direction of the drag decides
        QCOMPARE(knobs(*s), std::pair(80, 90));
        drag({90});
        QCOMPARE(s->hiValue(), 90); // a press without a move moves nothing

        // A click on the track moves the nearer knob there.
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->knobCentreX(10), y));
        QCOMPARE(knobs(*s), std::pair(10, 90));
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->knobCentreX(70), y));
        QCOMPARE(knobs(*s), std::pair(10, 70));
        QCOMPARE(s->focusedKnob(), SMDoubleSlider::Knob::High);

        // Disabled, it ignores the mouse.
        s->setEnabled(false);
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->knobCentreX(20), y));
        QCOMPARE(s->loValue(), 10);
        s->setEnabled(true);

        // Keys move the focused knob, held by the other one; Tab goes from
        // the low knob to the high one, then out of the slider. The wheel
        // moves only a slider that has the focus.
        top.activateWindow();
        s->setValues(40, 42);
        before->setFocus();
        QTRY_VERIFY(before->hasFocus());
        const QPoint middle(s->width() / 2, s->height() / 2);
        wheel(s, middle, 15);
        QCOMPARE(s->loValue(), 40); // scrolled past, not moved

        QTest::keyClick(&top, Qt::Key_Tab); // into the slider: the low knob
        QTRY_VERIFY(s->hasFocus());
        using Knob = SMDoubleSlider::Knob;
        const struct {
            Qt::Key key;
            Knob knob;
            int lo, hi;
        } steps[] = {
            {Qt::Key_Right, Knob::Low, 41, 42},
            {Qt::Key_Right, Knob::Low, 42, 42},
            {Qt::Key_Right, Knob::Low, 42, 42},
            {Qt::Key_Down, Knob::Low, 41, 42},
            {Qt::Key_Tab, Knob::High, 41, 42},
            {Qt::Key_Left, Knob::High, 41, 41},
            {Qt::Key_Left, Knob::High, 41, 41},
            {Qt::Key_End, Knob::High, 41, 100},
            {Qt::Key_PageDown, Knob::High, 41, 90},
            {Qt::Key_Backtab, Knob::Low, 41, 90},
            {Qt::Key_Home, Knob::Low, 0, 90},
            {Qt::Key_Left, Knob::Low, 0, 90},
        };
        for (const auto& step : steps) {
            QTest::keyClick(s, step.key);
            QVERIFY(s->hasFocus());
            QCOMPARE(s->focusedKnob(), step.knob);
            QCOMPARE(knobs(*s), std::pair(step.lo, step.hi));
        }
        wheel(s, middle, 15);
        wheel(s, middle, 15);
        QCOMPARE(s->loValue(), 2);
        wheel(s, middle, -15);
        QCOMPARE(knobs(*s), std::pair(1, 90));

        QTest::keyClick(s, Qt::Key_Tab);
        QTest::keyClick(s, Qt::Key_Tab); // past the high knob: out of the slider
        QTRY_VERIFY(after->hasFocus());
        QTest::keyClick(after, Qt::Key_Backtab); // back in at the high knob
        QTRY_VERIFY(s->hasFocus());
        QCOMPARE(s->focusedKnob(), Knob::High);
    }
};

QTEST_MAIN(SMDoubleSliderTest)
#include "SMDoubleSliderTest.moc"
