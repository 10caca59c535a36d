#pragma once

#include "settings/SettingsStore.h"

class QWidget;

namespace karv {

/// Shows the settings store's messages as application-modal message boxes (exclamation icon where
/// asked). `parent` may be null.
SettingsMessageSink settingsMessageBoxes(QWidget* parent = nullptr);

/// The event pump the store calls once per pass: QCoreApplication::processEvents.
EventPump qtEventPump();

} // namespace karv
