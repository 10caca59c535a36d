#pragma once

#include "settings/SettingsStore.h"

#include <QList>
#include <QString>

class QWidget;

namespace karv {

/// The controls of a window in design order: every descendant widget, depth first, each parent's
/// children in the order they were created (or moved into it), as QObject::findChildren lists them.
/// Controls inside group boxes and other containers are included; a child that is a window of its
/// own (a tool window owned by this one, a dialog) is listed but its inside is not.
QList<QWidget*> windowControls(QWidget* window);

/// Saves (`restore` false) or restores (`restore` true) the state of every control of `window`
/// under the section `section` of `store`; an empty section name means the store's current section.
/// The section becomes the store's current section.
///
/// The kind of a control comes from the start of its objectName() and decides the Qt class it must
/// have (others are skipped):
///   "按钮"       any widget           key name + ".标记", the dynamic property `tag`
///   "编辑框"     QLineEdit, QPlainTextEdit, QTextEdit (plain text), QAbstractSpinBox: the text
///   "选择框"     QAbstractButton      checked state
///   "单选框"     QAbstractButton      checked state
///   "组合框"     QComboBox            not editable: selected index (-1 none); editable: edit text
///                                     under name + ".内容"
///   "列表框"     QListWidget          items: text and Qt::UserRole value
///   "选择列表框" QListWidget          items: text, Qt::UserRole value, check state
///   "颜色选择器" QColorDialog         currentColor as 0x00BBGGRR
///   "通用对话框" any widget           the dynamic property `fileName` (a QFileDialog also gets
///                                     selectFile() on restore)
/// A `tag` of "禁止保存" skips the control; "字节集方式" stores a button's tag or an edit box's text
/// in a byte-value file. Multi-line edit text is stored with CR LF line breaks.
///
/// The store's event pump runs once per control; a control deleted meanwhile is skipped, and a
/// handler that transfers another window meanwhile does not move this window's keys elsewhere.
/// A save replaces the settings file once, at the end.
void syncControls(SettingsStore& store, QWidget* window, bool restore, const QString& section);

} // namespace karv
