// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/picture_index_keeper.h"

#include <utility>

#include "ui/picture_hash.h"

namespace fk {

PictureIndexKeeper::PictureIndexKeeper(QString root, QObject* parent, int quiet_ms)
    : QObject(parent), root_(std::move(root)), due_(this) {
  due_.setSingleShot(true);
  due_.setInterval(quiet_ms);
  connect(&due_, &QTimer::timeout, this, &PictureIndexKeeper::update);
}

PictureIndexKeeper::~PictureIndexKeeper() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

void PictureIndexKeeper::pictures_filed() {
  if (busy_)
    again_ = true;
  else
    due_.start();
}

void PictureIndexKeeper::update() {
  if (worker_.joinable()) worker_.join();  // ended already: busy_ is false
  busy_ = true;
  again_ = false;
  worker_ = std::thread([this, root = root_] {
    const IndexRefresh r = refresh_picture_index(root, list_filed_pictures(root), stop_);
    if (r.stopped) return;  // the keeper is going; nobody to tell
    QMetaObject::invokeMethod(this, [this, saved = r.saved] { finished(saved); }, Qt::QueuedConnection);
  });
}

void PictureIndexKeeper::finished(bool saved) {
  busy_ = false;
  emit updated(saved);
  if (again_) {
    again_ = false;
    due_.start();
  }
}

}  // namespace fk
