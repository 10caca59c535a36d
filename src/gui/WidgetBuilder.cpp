#include "gui/WidgetBuilder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace karv::ui {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

QRadioButton* radio(const char* name, const char* caption, QWidget* parent) {
    return named(new QRadioButton(u8(caption), parent), name);
}
QCheckBox* check(const char* name, const char* caption, QWidget* parent) {
    return named(new QCheckBox(u8(caption), parent), name);
}
QLabel* label(const char* name, const char* caption, QWidget* parent) {
    return named(new QLabel(u8(caption), parent), name);
}
QPushButton* button(const char* name, const char* caption, QWidget* parent) {
    return named(new QPushButton(u8(caption), parent), name);
}
QLineEdit* lineEdit(const char* name, const char* text, QWidget* parent) {
    return named(new QLineEdit(u8(text), parent), name);
}

QWidget* radioRow(const char* name, std::initializer_list<QRadioButton*> radios, QWidget* parent,
                  QButtonGroup** groupOut) {
    auto* box = named(new QWidget(parent), name);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* group = new QButtonGroup(box);
    int id = 0;
    for (QRadioButton* radioButton : radios) {
        radioButton->setParent(box);
        group->addButton(radioButton, id++);
        row->addWidget(radioButton);
    }
    row->addStretch(1);
    if (groupOut != nullptr)
        *groupOut = group;
    return box;
}

QHBoxLayout* radioSet(std::initializer_list<QRadioButton*> radios, QObject* owner) {
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    auto* group = new QButtonGroup(owner);
    int id = 0;
    for (QRadioButton* radioButton : radios) {
        group->addButton(radioButton, id++);
        row->addWidget(radioButton);
    }
    row->addStretch(1);
    return row;
}

QGridLayout* groupGrid(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    return grid;
}

QString withCrLf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.replace('\n', QStringLiteral("\r\n"));
}

PumpThrottle::PumpThrottle() {
    m_sinceLast.start();
}

bool PumpThrottle::due() const {
    return m_sinceLast.elapsed() >= m_intervalMs;
}

void PumpThrottle::processEvents() {
    QCoreApplication::processEvents();
    m_sinceLast.restart();
}

} // namespace karv::ui
