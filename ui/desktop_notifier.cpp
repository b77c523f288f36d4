// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLocale>
#include <QVariantMap>

namespace fk {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

QString harvest_notice(qint64 pictures, int groups) {
  const QLocale locale;
  const QString p = pictures == 1 ? QStringLiteral("1 new picture")
                                  : QStringLiteral("%1 new pictures").arg(locale.toString(pictures));
  const QString g = groups == 1 ? QStringLiteral("1 group") : QStringLiteral("%1 groups").arg(locale.toString(groups));
  return QStringLiteral("Fennick: %1 in %2").arg(p, g);
}

FreedesktopNotifier::FreedesktopNotifier(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(action_invoked(uint, QString)));
  bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
}

void FreedesktopNotifier::notify(const QString& summary, const QString& action, std::function<void()> on_action) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  call << QStringLiteral("Fennick") << uint(0) << QStringLiteral("fennick") << summary << QString()
       << QStringList{QStringLiteral("default"), action, QStringLiteral("open"), action}
       << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("fennick")}} << int(-1);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, on_action = std::move(on_action)](QDBusPendingCallWatcher* w) {
            QDBusPendingReply<uint> reply = *w;
            if (!reply.isError()) actions_.insert(reply.value(), on_action);
            w->deleteLater();
          });
}

void FreedesktopNotifier::action_invoked(uint id, const QString& key) {
  auto it = actions_.find(id);
  if (it == actions_.end() || (key != QStringLiteral("default") && key != QStringLiteral("open"))) return;
  const std::function<void()> run = it.value();
  actions_.erase(it);
  if (run) run();
}

void FreedesktopNotifier::closed(uint id, uint /*reason*/) { actions_.remove(id); }

}  // namespace fk
