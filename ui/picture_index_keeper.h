// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the duplicate search's hash index current while the window runs, so the gallery's search
// reads only what came since.

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <thread>

namespace fk {

// pictures_filed() (GUI thread) asks for an update after a quiet spell; the pictures are listed and
// hashed on a thread of its own, one update at a time, and PICHASH.FNK is made when missing.
class PictureIndexKeeper : public QObject {
  Q_OBJECT
 public:
  explicit PictureIndexKeeper(QString root, QObject* parent = nullptr, int quiet_ms = 3000);
  // Stops the update in hand without writing.
  ~PictureIndexKeeper() override;

  void pictures_filed();
  bool busy() const { return busy_; }

 signals:
  // An update ended; `saved` false when the index file could not be written.
  void updated(bool saved);

 private:
  void update();
  void finished(bool saved);

  QString root_;
  QTimer due_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool busy_ = false;
  bool again_ = false;  // pictures were filed while an update ran
};

}  // namespace fk
