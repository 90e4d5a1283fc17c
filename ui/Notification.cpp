#include "ui/Notification.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
TNotifieur& Installe() {
    static TNotifieur n;
    return n;
}

// Sent without waiting for a reply: a missing or slow service must not hold the window.
void NotifierParDBus(const QString& titre, const QString& corps) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                    "org.freedesktop.Notifications", "Notify");
    QVariantMap indices;
    indices.insert("desktop-entry", QCoreApplication::applicationFilePath().section('/', -1));
    m << QStringLiteral("ZymKOZ") << uint(0) << QStringLiteral("zymkozchiffre") << titre << corps << QStringList()
      << indices << int(-1);
    bus.send(m);
}
}  // namespace

TNotifieur DefinirNotifieur(TNotifieur n) {
    TNotifieur ancien = std::move(Installe());
    Installe() = std::move(n);
    return ancien;
}

void Notifier(const QString& titre, const QString& corps) {
    if (Installe())
        Installe()(titre, corps);
    else
        NotifierParDBus(titre, corps);
}
