// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop notifications: the end of a session that filed pictures, with an action that opens the gallery.

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

namespace fk {

// What the window tells the desktop through; tests record instead of needing a session bus.
class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  // Shows `summary` with one action labelled `action`; on_action runs (on the GUI thread) when it is chosen.
  virtual void notify(const QString& summary, const QString& action, std::function<void()> on_action) = 0;
};

// "Fennick: 42 new pictures in 3 groups", with the locale's separators and singulars.
QString harvest_notice(qint64 pictures, int groups);

// The freedesktop.org notification service on the session bus; silent where there is none.
class FreedesktopNotifier : public QObject, public DesktopNotifier {
  Q_OBJECT
 public:
  explicit FreedesktopNotifier(QObject* parent = nullptr);
  void notify(const QString& summary, const QString& action, std::function<void()> on_action) override;

 private slots:
  void action_invoked(uint id, const QString& key);
  void closed(uint id, uint reason);

 private:
  QHash<uint, std::function<void()>> actions_;
};

}  // namespace fk
