// A desktop notification through the freedesktop notification service on
// the session bus. Where there is no bus or no service, nothing is shown.
// User-interface thread.
#pragma once

#include <QString>

// True when the service took the notification.
bool NotifyDesktop(const QString& title, const QString& body);
