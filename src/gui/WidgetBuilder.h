#pragma once

#include <initializer_list>

#include <QElapsedTimer>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QString;
class QWidget;

/// Small builders shared by every window: each control gets its design name as objectName() and its
/// caption as text, so the settings store and the accessibility tree find it by either.
namespace karv::ui {

QString u8(const char* text);

/// Sets `name` as the widget's objectName() and returns it.
template <typename T> T* named(T* widget, const char* name);

QRadioButton* radio(const char* name, const char* caption, QWidget* parent);
QCheckBox* check(const char* name, const char* caption, QWidget* parent);
QLabel* label(const char* name, const char* caption, QWidget* parent);
QPushButton* button(const char* name, const char* caption, QWidget* parent);
QLineEdit* lineEdit(const char* name, const char* text, QWidget* parent);

/// A picture box that holds a row of radio buttons, exclusive among themselves only.
QWidget* radioRow(const char* name, std::initializer_list<QRadioButton*> radios, QWidget* parent,
                  QButtonGroup** groupOut = nullptr);

/// A radio set that lives directly in a group box row: exclusive through its own button group.
QHBoxLayout* radioSet(std::initializer_list<QRadioButton*> radios, QObject* owner);

/// The grid of a group box: captions in column 0, the stretching controls in column 1.
QGridLayout* groupGrid(QGroupBox* group);

/// Plain-text edits hold LF; the program's texts use CR LF.
QString withCrLf(QString text);

/// Hands a long run's control to the event loop at most once per interval: handling events after
/// every file or folder would cost more than the work itself, while 10 ms keeps clicks, timers and
/// repaints prompt.
class PumpThrottle {
public:
    PumpThrottle();
    void setIntervalMs(int interval) { m_intervalMs = interval; }
    /// When the interval has passed: `beforeEvents()`, then the pending events.
    template <typename BeforeEvents> void pump(BeforeEvents&& beforeEvents) {
        if (!due())
            return;
        beforeEvents();
        processEvents();
    }
    void pump() {
        pump([] {});
    }

private:
    bool due() const;
    void processEvents();

    QElapsedTimer m_sinceLast;
    int m_intervalMs = 10;
};

} // namespace karv::ui

#include <QString>
#include <QWidget>

template <typename T> T* karv::ui::named(T* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}
