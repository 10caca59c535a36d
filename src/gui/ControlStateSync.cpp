#include "ControlStateSync.h"

#include "settings/SettingsFormat.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QVariant>
#include <QWidget>

namespace karv {

namespace {

const char* const kTagProperty = "tag";
const char* const kFileNameProperty = "fileName";

std::string utf8(const QString& text) {
    return text.toStdString();
}
QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

// Multi-line boxes use "\n" inside Qt; stored edit text always has CR LF line breaks, so that "┊*┊"
// and the byte-value files mean the same bytes whichever platform wrote them.
QString toStoredLineBreaks(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}
QString fromStoredLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::optional<QString> editText(QWidget* control) {
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        return toStoredLineBreaks(plain->toPlainText());
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return toStoredLineBreaks(rich->toPlainText());
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
        return spin->text();
    return std::nullopt;
}

void setEditText(QWidget* control, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        line->setText(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        plain->setPlainText(fromStoredLineBreaks(text));
    } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        rich->setPlainText(fromStoredLineBreaks(text));
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) {
        if (auto* inner = spin->findChild<QLineEdit*>()) {
            inner->setText(text);
            spin->interpretText();
        }
    }
}

// A stored number selects an index; anything outside int (or not a number) selects nothing.
int indexFromNumber(double value) {
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()))
        return -1;
    return static_cast<int>(value);
}

// Colours are stored as a colour-reference integer: red in the low byte, then green, then blue.
double colourNumber(const QColor& colour) {
    return static_cast<double>(static_cast<unsigned>(colour.red()) |
                               (static_cast<unsigned>(colour.green()) << 8) |
                               (static_cast<unsigned>(colour.blue()) << 16));
}

QColor colourFromNumber(double value) {
    double whole = std::trunc(value);
    if (!(whole >= 0))
        whole = 0;
    if (whole > 4294967295.0)
        whole = 4294967295.0;
    const auto bits = static_cast<std::uint32_t>(whole);
    return QColor(static_cast<int>(bits & 0xff), static_cast<int>((bits >> 8) & 0xff),
                  static_cast<int>((bits >> 16) & 0xff));
}

std::vector<SettingsListItem> listItems(const QListWidget* list, bool withCheckState) {
    std::vector<SettingsListItem> items;
    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem* item = list->item(row);
        items.push_back(SettingsListItem{utf8(item->text()), item->data(Qt::UserRole).toInt(),
                                         withCheckState && item->checkState() == Qt::Checked});
    }
    return items;
}

void fillList(QListWidget* list, const std::vector<SettingsListItem>& items, bool withCheckState) {
    list->clear();
    for (const SettingsListItem& stored : items) {
        auto* item = new QListWidgetItem(qtext(stored.text), list);
        item->setData(Qt::UserRole, stored.value);
        if (withCheckState) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(stored.checked ? Qt::Checked : Qt::Unchecked);
        }
    }
}

// Reads between store calls re-check the pointer: the store pumps events, and a handler may have
// deleted the control.
void transferButton(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                    const QString& tag, bool restore) {
    const std::string key = name + std::string(kButtonTagSuffix);
    const bool byteMode = tag == qtext(std::string(kTagByteValue));
    if (!restore) {
        if (byteMode)
            store.writeByteValue(key, utf8(tag));
        else
            store.writeText(key, utf8(tag));
        return;
    }
    const std::string value = byteMode ? store.readByteValue(key, utf8(tag)) : store.readText(key, utf8(tag));
    if (control)
        control->setProperty(kTagProperty, qtext(value));
}

void transferEditBox(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                     const QString& tag, bool restore) {
    const std::optional<QString> current = editText(control);
    if (!current)
        return;
    const bool byteMode = tag == qtext(std::string(kTagByteValue));
    if (!restore) {
        if (byteMode)
            store.writeByteValue(name, utf8(*current));
        else
            store.writeText(name, utf8(*current));
        return;
    }
    const std::string value =
        byteMode ? store.readByteValue(name, utf8(*current)) : store.readText(name, utf8(*current));
    if (control)
        setEditText(control, qtext(value));
}

void transferCheckable(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                       bool restore) {
    auto* button = qobject_cast<QAbstractButton*>(control.data());
    if (!button)
        return;
    if (!restore) {
        store.writeFlag(name, button->isChecked());
        return;
    }
    const bool checked = store.readFlag(name, button->isChecked());
    // An auto-exclusive radio button cannot be unchecked directly; checking its partner does it,
    // so restoring a group one button at a time still ends with the stored choice.
    if (control)
        button->setChecked(checked);
}

void transferComboBox(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                      bool restore) {
    auto* combo = qobject_cast<QComboBox*>(control.data());
    if (!combo)
        return;
    if (!combo->isEditable()) {
        if (!restore) {
            store.writeNumber(name, combo->currentIndex());
            return;
        }
        const int index = indexFromNumber(store.readNumber(name, combo->currentIndex()));
        if (control)
            combo->setCurrentIndex(index);
        return;
    }
    const std::string key = name + std::string(kComboTextSuffix);
    if (!restore) {
        store.writeText(key, utf8(combo->currentText()));
        return;
    }
    const std::string text = store.readText(key, utf8(combo->currentText()));
    if (control)
        combo->setEditText(qtext(text));
}

void transferList(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                  bool withCheckState, bool restore) {
    auto* list = qobject_cast<QListWidget*>(control.data());
    if (!list)
        return;
    const std::string current = itemListText(listItems(list, withCheckState), withCheckState);
    if (!restore) {
        store.writeText(name, current);
        return;
    }
    const std::string text = store.readText(name, current);
    if (control)
        fillList(list, parseItemList(text), withCheckState);
}

void transferColour(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                    bool restore) {
    auto* picker = qobject_cast<QColorDialog*>(control.data());
    if (!picker)
        return;
    if (!restore) {
        store.writeNumber(name, colourNumber(picker->currentColor()));
        return;
    }
    const double value = store.readNumber(name, colourNumber(picker->currentColor()));
    if (control)
        picker->setCurrentColor(colourFromNumber(value));
}

void transferCommonDialog(SettingsStore& store, const QPointer<QWidget>& control, const std::string& name,
                          bool restore) {
    const QString current = control->property(kFileNameProperty).toString();
    if (!restore) {
        store.writeText(name, utf8(current));
        return;
    }
    const QString text = qtext(store.readText(name, utf8(current)));
    if (!control)
        return;
    control->setProperty(kFileNameProperty, text);
    if (auto* dialog = qobject_cast<QFileDialog*>(control.data()); dialog && !text.isEmpty())
        dialog->selectFile(text);
}

} // namespace

namespace {

void collectControls(const QObject* parent, QList<QWidget*>& controls) {
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget)
            continue;
        controls.append(widget);
        // A window owned by this one (the tools' windows, dialogs) has a design and a section of its
        // own; only the window object itself can be a control here (a file or colour dialog).
        if (!widget->isWindow())
            collectControls(widget, controls);
    }
}

} // namespace

QList<QWidget*> windowControls(QWidget* window) {
    QList<QWidget*> controls;
    if (window)
        collectControls(window, controls);
    return controls;
}

void syncControls(SettingsStore& store, QWidget* window, bool restore, const QString& section) {
    if (!window)
        return;
    if (!section.isEmpty())
        store.setCurrentSection(utf8(section));
    const std::string windowSection = store.currentSection();
    QList<QPointer<QWidget>> controls;
    for (QWidget* control : windowControls(window))
        controls.append(control);
    SettingsBatch batch(store);
    for (const QPointer<QWidget>& control : controls) {
        store.pumpMessages();
        if (!control)
            continue;
        const std::string name = utf8(control->objectName());
        if (name.empty())
            continue;
        const ControlKind kind = controlKindOf(name);
        if (kind == ControlKind::None)
            continue;
        const QString tag = control->property(kTagProperty).toString();
        if (tag == qtext(std::string(kTagNoSave)))
            continue;
        // A handler run by the pump may have transferred another window and moved the section.
        store.setCurrentSection(windowSection);
        switch (kind) {
        case ControlKind::Button:
            transferButton(store, control, name, tag, restore);
            break;
        case ControlKind::EditBox:
            transferEditBox(store, control, name, tag, restore);
            break;
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            transferCheckable(store, control, name, restore);
            break;
        case ControlKind::ComboBox:
            transferComboBox(store, control, name, restore);
            break;
        case ControlKind::ListBox:
            transferList(store, control, name, false, restore);
            break;
        case ControlKind::CheckListBox:
            transferList(store, control, name, true, restore);
            break;
        case ControlKind::ColourPicker:
            transferColour(store, control, name, restore);
            break;
        case ControlKind::CommonDialog:
            transferCommonDialog(store, control, name, restore);
            break;
        case ControlKind::None:
            break;
        }
    }
    store.setCurrentSection(windowSection);
}

} // namespace karv
