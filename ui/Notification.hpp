#pragma once
// Desktop notifications: the end of a long run whose window is behind others
// is announced through the session's notification service
// (org.freedesktop.Notifications over D-Bus). Without a session bus or a
// service nothing is shown and nothing fails.

#include <QString>
#include <functional>

// Shows one notification. The default sends it over D-Bus; tests install a recorder.
using TNotifieur = std::function<void(const QString& titre, const QString& corps)>;
// Installs n (an empty one restores D-Bus); returns the previous one.
TNotifieur DefinirNotifieur(TNotifieur n);

void Notifier(const QString& titre, const QString& corps);
