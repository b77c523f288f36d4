// SPDX-License-Identifier: GPL-3.0-or-later
// The picture gallery window.
#include "ui/gallery_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QComboBox>
#include <QImageReader>
#include <QPushButton>
#include <QLocale>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <ctime>
#include <set>

#include "session/view.h"
#include "store/status_log.h"
#include "store/text_file.h"
#include "store/trash.h"
#include "ui/picture_hash.h"
#include "ui/dialogs.h"
#include "ui/picture_model.h"
#include "thumbs/thumbnail_loader.h"

namespace fk {

namespace {

constexpr int kDirRole = Qt::UserRole + 1;

// The mark of a picture that does not decode: a frame with a tear through it.
void paint_broken_mark(QPainter& p, const QRect& area, const QPalette& palette) {
  const int w = std::min(area.width(), 64), h = std::min(area.height(), 50);
  const QRect frame(area.center().x() - w / 2, area.center().y() - h / 2, w, h);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  // Drawn in the text colour, so it reads on light and dark palettes alike.
  QColor ink = palette.color(QPalette::Text);
  ink.setAlphaF(0.75);
  QColor fill = ink;
  fill.setAlphaF(0.4);
  p.setPen(QPen(ink, 2));
  p.setBrush(palette.color(QPalette::Base));
  p.drawRect(frame);
  // A hill and a sun, torn apart by a jagged line.
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  QPainterPath hill;
  hill.moveTo(frame.left() + 4, frame.bottom() - 4);
  hill.lineTo(frame.left() + w * 0.35, frame.top() + h * 0.45);
  hill.lineTo(frame.left() + w * 0.6, frame.bottom() - 4);
  hill.closeSubpath();
  p.drawPath(hill);
  p.drawEllipse(QPointF(frame.right() - w * 0.25, frame.top() + h * 0.3), w * 0.08, w * 0.08);
  QPainterPath tear;
  const int x = frame.center().x();
  tear.moveTo(x - 2, frame.top() - 2);
  for (int i = 1; i <= 5; ++i) tear.lineTo(x + (i % 2 ? 5 : -5), frame.top() + h * i / 5);
  tear.lineTo(x, frame.bottom() + 2);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(palette.color(QPalette::Base), 4));
  p.drawPath(tear);
  p.setPen(QPen(QColor(235, 64, 52), 2));
  p.drawPath(tear);
  p.restore();
}

}  // namespace

class ThumbnailDelegate : public QStyledItemDelegate {
 public:
  ThumbnailDelegate(int edge, QObject* parent) : QStyledItemDelegate(parent), edge_(edge) {}
  void set_edge(int edge) { edge_ = edge; }
  int edge() const { return edge_; }

  QSize tile(const QFontMetrics& fm) const { return {edge_ + 20, edge_ + 12 + fm.height() * 2 + 6}; }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return tile(option.fontMetrics);
  }

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    if (selected) {
      p->save();
      p->setRenderHint(QPainter::Antialiasing);
      p->setPen(Qt::NoPen);
      p->setBrush(option.palette.color(group, QPalette::Highlight));
      p->drawRoundedRect(QRectF(option.rect.adjusted(2, 2, -2, -2)), 4, 4);
      p->restore();
    }

    const QRect r = option.rect.adjusted(4, 4, -4, -4);
    const QRect picture(r.left() + (r.width() - edge_) / 2, r.top() + 2, edge_, edge_);
    const auto state = static_cast<PictureModel::State>(index.data(PictureModel::StateRole).toInt());
    const QPixmap pixmap = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!pixmap.isNull()) {
      QSize size = pixmap.deviceIndependentSize().toSize().scaled(picture.size(), Qt::KeepAspectRatio);
      if (pixmap.width() <= edge_ && pixmap.height() <= edge_) size = pixmap.deviceIndependentSize().toSize();
      // Sitting on the name line, wide and tall pictures alike read as one tile.
      const QRect target(picture.left() + (picture.width() - size.width()) / 2,
                         picture.bottom() + 1 - size.height(), size.width(), size.height());
      p->drawPixmap(target, pixmap);
    } else if (state == PictureModel::State::Broken) {
      paint_broken_mark(*p, picture, option.palette);
    } else {
      p->fillRect(picture.adjusted(8, 8, -8, -8), option.palette.color(QPalette::AlternateBase));
    }

    const QPalette::ColorRole text_role = selected ? QPalette::HighlightedText : QPalette::Text;
    const QFontMetrics& fm = option.fontMetrics;
    QRect line(r.left(), picture.bottom() + 6, r.width(), fm.height());
    p->setPen(option.palette.color(group, text_role));
    p->drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                fm.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, line.width()));
    line.translate(0, fm.height());
    p->setPen(option.palette.color(group, selected ? text_role : QPalette::PlaceholderText));
    const QString copies = index.data(PictureModel::DuplicateRole).toString();
    const QDateTime when = index.data(PictureModel::DateRole).toDateTime();
    p->drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                copies.isEmpty() ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm")) : copies);
  }

 private:
  int edge_;
};

// The large preview: the picture fitted into the page, its name below.
class PicturePreview : public QWidget {
 public:
  explicit PicturePreview(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picturePreview"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(24, 24, 24));
    pal.setColor(QPalette::WindowText, QColor(230, 230, 230));
    setPalette(pal);
  }
  void show_picture(const QString& path, const QString& caption, const QPixmap& stand_in) {
    // The same picture again (a resize) keeps showing until its sharper copy arrives.
    if (path != path_) {
      image_ = QImage();
      broken_ = false;
    }
    path_ = path;
    caption_ = caption;
    stand_in_ = stand_in;
    update();
  }
  void picture_ready(const QString& path, const QImage& image) {
    if (path != path_) return;
    image_ = image;
    broken_ = image.isNull();
    update();
  }
  const QString& path() const { return path_; }
  QSize fit() const { return (size() - QSize(0, fontMetrics().height() + 8)) * devicePixelRatioF(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect area = rect().adjusted(0, 0, 0, -(fontMetrics().height() + 8));
    if (!image_.isNull()) {
      QSize size = (QSizeF(image_.size()) / devicePixelRatioF()).toSize();
      if (size.width() > area.width() || size.height() > area.height())
        size = size.scaled(area.size(), Qt::KeepAspectRatio);
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size), image_);
    } else if (broken_) {
      paint_broken_mark(p, area, palette());
    } else if (!stand_in_.isNull()) {
      const QSize size = stand_in_.size().scaled(area.size(), Qt::KeepAspectRatio);
      p.drawPixmap(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size), stand_in_);
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect().adjusted(4, 0, -4, -4), Qt::AlignHCenter | Qt::AlignBottom,
               fontMetrics().elidedText(caption_, Qt::ElideMiddle, width() - 8));
  }

 private:
  QString path_, caption_;
  QImage image_;
  QPixmap stand_in_;
  bool broken_ = false;
};

GalleryWindow::GalleryWindow(GalleryServices services, QWidget* parent)
    : QWidget(parent, Qt::Window), services_(std::move(services)) {
  setObjectName(QStringLiteral("galleryWindow"));
  setWindowTitle(QStringLiteral("Fennick - Pictures"));
  setWindowIcon(program_icon());
  if (services_.root.isEmpty()) services_.root = QDir::currentPath();
  if (services_.trash_dir.isEmpty()) services_.trash_dir = QFile::decodeName(home_trash_dir().c_str());
  if (services_.thumbnail_root.isEmpty()) services_.thumbnail_root = ThumbnailCache::default_root();
  // Screens that double every pixel get the large thumbnails, so the grid stays sharp.
  const auto flavour = devicePixelRatioF() > 1.0 ? ThumbnailCache::Flavour::Large : ThumbnailCache::Flavour::Normal;
  loader_ = new ThumbnailLoader(ThumbnailCache(services_.thumbnail_root, flavour), services_.loader_threads, this);
  model_ = new PictureModel(services_.root, *loader_, this);
  build();
  connect(model_, &PictureModel::folders_changed, this, &GalleryWindow::refill_folders);
  connect(model_, &PictureModel::refreshed, this, &GalleryWindow::update_status);
  index_due_ = new QTimer(this);
  index_due_->setSingleShot(true);
  index_due_->setInterval(3000);
  connect(index_due_, &QTimer::timeout, this, &GalleryWindow::keep_index_current);
  connect(model_, &PictureModel::refreshed, index_due_, qOverload<>(&QTimer::start));
  connect(model_, &QAbstractItemModel::modelReset, this, &GalleryWindow::update_status);
  connect(loader_, &ThumbnailLoader::preview_ready, this,
          [this](const QString& path, const QImage& image) { preview_->picture_ready(path, image); });
  model_->open();
}

// The hashing thread ends first; the loader's threads end before the model they report to.
GalleryWindow::~GalleryWindow() {
  hasher_stop_ = true;
  if (hasher_.joinable()) hasher_.join();
}

void GalleryWindow::build() {
  folders_ = new QTreeWidget(this);
  folders_->setObjectName(QStringLiteral("galleryFolders"));
  folders_->setAccessibleName(QStringLiteral("Picture folders"));
  folders_->setHeaderHidden(true);
  folders_->setRootIsDecorated(false);
  folders_->setUniformRowHeights(true);
  // A long group name gives way in its middle; its count at the end stays in view.
  folders_->setTextElideMode(Qt::ElideMiddle);
  folders_->setMinimumWidth(fontMetrics().averageCharWidth() * 24);
  connect(folders_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { folder_chosen(item); });

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("galleryFilter"));
  filter_->setAccessibleName(QStringLiteral("Filter by name"));
  filter_->setPlaceholderText(QStringLiteral("Filter by name (Ctrl+F)"));
  filter_->setClearButtonEnabled(true);
  connect(filter_, &QLineEdit::textChanged, model_, &PictureModel::set_name_filter);
  filter_->installEventFilter(this);

  grid_ = new QListView(this);
  grid_->setObjectName(QStringLiteral("galleryGrid"));
  grid_->setAccessibleName(QStringLiteral("Pictures"));
  auto* delegate = delegate_ =
      new ThumbnailDelegate(loader_->cache().edge() / (devicePixelRatioF() > 1.0 ? 2 : 1), grid_);
  grid_->setItemDelegate(delegate);
  grid_->setViewMode(QListView::IconMode);
  grid_->setMovement(QListView::Static);
  grid_->setResizeMode(QListView::Adjust);
  grid_->setUniformItemSizes(true);
  grid_->setWrapping(true);
  grid_->setGridSize(delegate->tile(grid_->fontMetrics()));
  // Shift, Ctrl and a rubber band select many, for Delete and the blacklist.
  grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  grid_->setSelectionRectVisible(true);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  grid_->verticalScrollBar()->setSingleStep(grid_->gridSize().height() / 3);
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  grid_->setModel(model_);
  grid_->installEventFilter(this);
  // Not `activated`: styles that activate on a single click would open the viewer on every click.
  connect(grid_, &QListView::doubleClicked, this, [this] { open_current(); });
  connect(grid_, &QWidget::customContextMenuRequested, this, &GalleryWindow::show_context_menu);
  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, &GalleryWindow::update_info);

  sort_ = new QComboBox(this);
  sort_->setObjectName(QStringLiteral("gallerySort"));
  sort_->addItems({QStringLiteral("Date"), QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Group")});
  auto* sort_label = new QLabel(QStringLiteral("S&ort by:"), this);
  sort_label->setBuddy(sort_);
  connect(sort_, &QComboBox::currentIndexChanged, this,
          [this](int index) { model_->set_sort(static_cast<PictureModel::SortKey>(index)); });

  size_ = new QSlider(Qt::Horizontal, this);
  size_->setObjectName(QStringLiteral("gallerySize"));
  size_->setRange(64, 256);
  size_->setSingleStep(16);
  size_->setPageStep(32);
  size_->setValue(delegate->edge());
  size_->setMaximumWidth(fontMetrics().averageCharWidth() * 20);
  size_->setToolTip(QStringLiteral("Thumbnail size (Ctrl+Plus, Ctrl+Minus)"));
  auto* size_label = new QLabel(QStringLiteral("Si&ze:"), this);
  size_label->setBuddy(size_);
  connect(size_, &QSlider::valueChanged, this, &GalleryWindow::set_thumbnail_edge);

  info_ = new QLabel(this);
  info_->setObjectName(QStringLiteral("galleryInfo"));
  info_->setAccessibleName(QStringLiteral("Picture information"));
  info_->setTextFormat(Qt::PlainText);
  info_->setWordWrap(true);
  info_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info_->setMinimumWidth(fontMetrics().averageCharWidth() * 16);
  info_->setMargin(4);

  slideshow_ = new QTimer(this);
  slideshow_->setInterval(4000);
  connect(slideshow_, &QTimer::timeout, this, [this] {
    if (!previewing() || previewed_.row() + 1 >= model_->rowCount()) {
      slideshow_->stop();
      say(QStringLiteral("Slideshow ended"));
      return;
    }
    step_preview(1);
  });

  preview_ = new PicturePreview(this);
  preview_->installEventFilter(this);

  pages_ = new QStackedWidget(this);
  pages_->addWidget(grid_);
  pages_->addWidget(preview_);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("galleryStatus"));
  status_->setTextFormat(Qt::PlainText);

  auto* right = new QWidget(this);
  auto* right_layout = new QVBoxLayout(right);
  right_layout->setContentsMargins(0, 0, 0, 0);
  duplicates_ = new QPushButton(QStringLiteral("&Duplicates"), this);
  duplicates_->setObjectName(QStringLiteral("galleryDuplicates"));
  duplicates_->setCheckable(true);
  duplicates_->setAutoDefault(false);
  duplicates_->setToolTip(QStringLiteral("Show pictures that are copies of one another (Ctrl+D); "
                                         "Shift+Delete moves every copy but the first of each group to the Trash"));
  connect(duplicates_, &QPushButton::toggled, this, &GalleryWindow::show_duplicates);
  auto* top = new QHBoxLayout;
  top->addWidget(filter_, 1);
  top->addWidget(duplicates_);
  top->addWidget(sort_label);
  top->addWidget(sort_);
  top->addWidget(size_label);
  top->addWidget(size_);
  right_layout->addLayout(top);
  right_layout->addWidget(pages_, 1);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(folders_);
  splitter->addWidget(right);
  splitter->addWidget(info_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({fontMetrics().averageCharWidth() * 42, 800, fontMetrics().averageCharWidth() * 30});

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addWidget(status_);

  auto* find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, this, [this] {
    if (previewing()) toggle_preview();
    filter_->setFocus();
    filter_->selectAll();
  });
  auto* undo = new QShortcut(QKeySequence::Undo, this);
  connect(undo, &QShortcut::activated, this, &GalleryWindow::undo_trash);
  for (const QKeySequence& keys : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)}) {
    auto* bigger = new QShortcut(keys, this);
    connect(bigger, &QShortcut::activated, this, [this] { size_->setValue(size_->value() + size_->singleStep()); });
  }
  auto* smaller = new QShortcut(QKeySequence::ZoomOut, this);
  connect(smaller, &QShortcut::activated, this, [this] { size_->setValue(size_->value() - size_->singleStep()); });
  auto* dup = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
  connect(dup, &QShortcut::activated, duplicates_, &QPushButton::toggle);
  auto* full = new QShortcut(QKeySequence(Qt::Key_F11), this);
  connect(full, &QShortcut::activated, this, &GalleryWindow::toggle_full_screen);
  auto* show = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(show, &QShortcut::activated, this, &GalleryWindow::toggle_slideshow);
  resize(1000, 700);
  grid_->setFocus();
}

void GalleryWindow::set_thumbnail_edge(int edge) {
  edge = std::clamp(edge, size_->minimum(), size_->maximum());
  if (size_->value() != edge) {
    size_->setValue(edge);  // comes back here
    return;
  }
  if (edge == delegate_->edge()) return;
  delegate_->set_edge(edge);
  grid_->setGridSize(delegate_->tile(grid_->fontMetrics()));
  grid_->verticalScrollBar()->setSingleStep(grid_->gridSize().height() / 3);
  if (grid_->currentIndex().isValid()) grid_->scrollTo(grid_->currentIndex());
}

int GalleryWindow::thumbnail_edge() const { return delegate_->edge(); }

bool GalleryWindow::duplicates_ready() const { return duplicates_ready_; }

void GalleryWindow::show_duplicates(bool on) {
  if (duplicates_->isChecked() != on) {
    duplicates_->setChecked(on);  // comes back here
    return;
  }
  duplicates_ready_ = false;
  if (!on) {
    hasher_stop_ = true;
    if (hasher_.joinable()) hasher_.join();
    model_->clear_duplicates();
    say(QString());
    return;
  }
  say(QStringLiteral("Looking for duplicates..."));
  start_hashing(true);
}

// While the gallery is open, an index the user has made is kept current as pictures are filed, so the
// next search reads only what came since.
void GalleryWindow::keep_index_current() {
  if (hasher_busy_ || duplicates_->isChecked() ||
      !QFile::exists(services_.root + QLatin1Char('/') + kPictureHashFile))
    return;
  start_hashing(false);
}

void GalleryWindow::start_hashing(bool show) {
  hasher_stop_ = true;  // a quiet update gives way to a search the user asked for
  if (hasher_.joinable()) hasher_.join();
  hasher_stop_ = false;
  hasher_busy_ = true;
  const QString root = services_.root;
  std::vector<PictureModel::Known> known = model_->known_pictures();
  hasher_ = std::thread([this, root, show, known = std::move(known)] {
    struct Done {
      std::atomic<bool>& busy;
      ~Done() { busy = false; }
    } done{hasher_busy_};
    const std::size_t total = known.size();
    auto progress = [this, show, total](std::size_t hashed) {
      if (!show) return;
      const QString text = QStringLiteral("Looking for duplicates... %1 of %2 pictures read")
                               .arg(QLocale().toString(static_cast<qlonglong>(hashed)),
                                    QLocale().toString(static_cast<qlonglong>(total)));
      QMetaObject::invokeMethod(this, [this, text] { say(text); }, Qt::QueuedConnection);
    };
    IndexRefresh refreshed = refresh_picture_index(root, known, hasher_stop_, progress);
    if (refreshed.stopped) return;
    const bool saved = refreshed.saved;
    const std::vector<PictureHash>& pictures = refreshed.pictures;
    if (!show) {
      if (!saved)
        QMetaObject::invokeMethod(
            this, [this] { log(std::string("ERROR: File Write ") + kPictureHashFile, 0); }, Qt::QueuedConnection);
      return;
    }
    auto groups = std::make_shared<std::vector<std::vector<QString>>>();
    std::size_t spare = 0;
    for (const auto& group : find_duplicates(pictures)) {
      std::vector<QString>& g = groups->emplace_back();
      for (const PictureHash& h : group) g.push_back(QString::fromStdString(h.path));
      spare += group.size() - 1;
    }
    QMetaObject::invokeMethod(
        this,
        [this, groups, spare, saved] {
          if (!duplicates_->isChecked()) return;
          if (!saved) log(std::string("ERROR: File Write ") + kPictureHashFile, 0);
          model_->show_duplicates(*groups);
          duplicates_ready_ = true;
          say(groups->empty() ? QStringLiteral("No duplicates found")
                              : QStringLiteral("%1 groups of copies; Shift+Delete moves the %2 spare copies to the Trash")
                                    .arg(QLocale().toString(static_cast<qlonglong>(groups->size())),
                                         QLocale().toString(static_cast<qlonglong>(spare))));
        },
        Qt::QueuedConnection);
  });
}

bool GalleryWindow::trash_spare_copies() {
  if (!model_->showing_duplicates()) return false;
  QItemSelection spare;
  for (int row = 0; row < model_->rowCount(); ++row)
    if (model_->is_spare_copy(row)) spare.select(model_->index(row), model_->index(row));
  if (spare.isEmpty()) return false;
  grid_->selectionModel()->select(spare, QItemSelectionModel::ClearAndSelect);
  return trash_current();
}

void GalleryWindow::toggle_full_screen() {
  if (isFullScreen())
    showNormal();
  else
    showFullScreen();
}

bool GalleryWindow::slideshow_running() const { return slideshow_->isActive(); }

void GalleryWindow::toggle_slideshow() {
  if (slideshow_->isActive()) {
    slideshow_->stop();
    say(QStringLiteral("Slideshow stopped"));
    return;
  }
  if (!previewing()) {
    if (!grid_->currentIndex().isValid() && model_->rowCount() > 0) grid_->setCurrentIndex(model_->index(0));
    toggle_preview();
  }
  if (!previewing()) return;
  slideshow_->start();
  say(QStringLiteral("Slideshow: F5 or S stops it"));
}

std::vector<int> GalleryWindow::chosen_rows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes()) rows.push_back(index.row());
  if (rows.empty() && grid_->currentIndex().isValid()) rows.push_back(grid_->currentIndex().row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void GalleryWindow::update_info() {
  const int row = grid_->currentIndex().row();
  const PictureModel::Entry* e = model_->entry(row);
  if (!e) {
    info_->setText(QStringLiteral("No picture chosen"));
    return;
  }
  const QLocale locale;
  const QString path = model_->absolute_path(row);
  const QString folder = QFileInfo(model_->relative_path(row)).path();
  QString group = folder.startsWith(QStringLiteral("pictures/")) ? folder.mid(9) : folder;
  QStringList lines{e->name, QString()};
  lines << QStringLiteral("Size: %1 (%2 bytes)").arg(locale.formattedDataSize(e->size), locale.toString(e->size));
  QImageReader reader(path);
  const QSize dimensions = reader.size();
  if (dimensions.isValid())
    lines << QStringLiteral("Dimensions: %1 x %2").arg(locale.toString(dimensions.width()),
                                                        locale.toString(dimensions.height()));
  lines << QStringLiteral("Date: %1").arg(locale.toString(QDateTime::fromMSecsSinceEpoch(e->mtime_ns / 1000000),
                                                          QLocale::ShortFormat));
  lines << QStringLiteral("Group: %1").arg(group);
  const std::string log_path = QFile::encodeName(services_.root + QStringLiteral("/files.log")).toStdString();
  if (const auto description = files_log_description(log_path, QFile::encodeName(e->name).toStdString())) {
    const std::string& d = *description;
    const std::size_t tab = d.find('\t');
    const auto text = [](std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); };
    lines << QStringLiteral("Author: %1").arg(text(trim(std::string_view(d).substr(0, tab))));
    if (tab != std::string::npos)
      lines << QStringLiteral("Subject: %1").arg(text(trim(std::string_view(d).substr(tab + 1))));
  }
  info_->setText(lines.join(QLatin1Char('\n')));
}

// Beside the status window where the screen has room (right, else left), never larger than the screen.
void GalleryWindow::place_beside_parent() {
  QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  QScreen* screen = owner ? owner->screen() : this->screen();
  if (!screen) return;
  const QRect room = screen->availableGeometry();
  // The frame the window manager adds is not known before the first showing: leave it some room.
  const QSize frame(16, 48);
  QSize size = this->size().boundedTo(room.size() - frame);
  size = size.expandedTo(minimumSizeHint().boundedTo(room.size() - frame));
  resize(size);
  QPoint at = room.topLeft();
  if (owner) {
    const QRect o = owner->frameGeometry();
    if (o.right() + 1 + size.width() + frame.width() <= room.right() + 1)
      at = QPoint(o.right() + 1, o.top());
    else if (o.left() - size.width() - frame.width() >= room.left())
      at = QPoint(o.left() - size.width() - frame.width(), o.top());
    else
      at = QPoint(room.right() + 1 - size.width() - frame.width(), o.top());
  }
  at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width() - frame.width())));
  at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height() - frame.height())));
  move(at);
}

bool GalleryWindow::previewing() const { return pages_->currentWidget() == preview_; }

void GalleryWindow::present() {
  if (!placed_) {
    placed_ = true;
    place_beside_parent();
  }
  show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void GalleryWindow::refill_folders() {
  const QString chosen = model_->shown_folder();
  QSignalBlocker block(folders_);
  folders_->clear();
  const QLocale locale;
  auto* all = new QTreeWidgetItem(folders_, {QStringLiteral("All Groups (%1)").arg(locale.toString(model_->group_total()))});
  all->setData(0, kDirRole, QString());
  QTreeWidgetItem* current = all;
  QTreeWidgetItem* unknown = nullptr;
  for (const PictureModel::Folder& f : model_->folders()) {
    if (!f.present || (f.kind == PictureModel::FolderKind::Loose && f.count == 0)) continue;
    QTreeWidgetItem* item = nullptr;
    if (f.kind == PictureModel::FolderKind::Unknown) {
      // Undecoded articles are not pictures: they get a heading of their own, apart from the groups.
      item = unknown = new QTreeWidgetItem({QStringLiteral("%1 (%2)").arg(f.label, locale.toString(f.count))});
      item->setToolTip(0, QStringLiteral("Articles that could not be decoded"));
    } else {
      item = new QTreeWidgetItem(all, {QStringLiteral("%1 (%2)").arg(f.label, locale.toString(f.count))});
      item->setToolTip(0, QStringLiteral("%1 (%2)").arg(f.label, locale.toString(f.count)));
    }
    item->setData(0, kDirRole, f.dir);
    if (f.dir == chosen) current = item;
  }
  all->sortChildren(0, Qt::AscendingOrder);
  if (unknown) {
    auto* heading = new QTreeWidgetItem(folders_, {QStringLiteral("Not Decoded")});
    heading->setFlags(Qt::ItemIsEnabled);
    QFont bold = heading->font(0);
    bold.setBold(true);
    heading->setFont(0, bold);
    heading->addChild(unknown);
  }
  QFont bold = all->font(0);
  bold.setBold(true);
  all->setFont(0, bold);
  folders_->expandAll();
  folders_->setCurrentItem(current);
  update_status();
}

void GalleryWindow::folder_chosen(QTreeWidgetItem* item) {
  if (!item || !(item->flags() & Qt::ItemIsSelectable)) return;
  model_->show_folder(item->data(0, kDirRole).toString());
  if (model_->rowCount() > 0) grid_->setCurrentIndex(model_->index(0));
}

void GalleryWindow::update_status() {
  const int shown = model_->rowCount();
  QString text = !model_->loaded() ? QStringLiteral("Reading...")
                 : shown == 1      ? QStringLiteral("1 picture shown")
                                   : QStringLiteral("%1 pictures shown").arg(QLocale().toString(shown));
  if (const auto selected = grid_->selectionModel()->selectedIndexes().size(); selected > 1)
    text += QStringLiteral(", %1 selected").arg(QLocale().toString(selected));
  if (!message_.isEmpty()) text += QStringLiteral("   ") + message_;
  status_->setText(text);
}

void GalleryWindow::say(const QString& text) {
  message_ = text;
  update_status();
}

void GalleryWindow::log(const std::string& text, int level) const {
  if (services_.log) services_.log->log_status(text, level);
}

void GalleryWindow::open_current() {
  const int row = grid_->currentIndex().row();
  const QString path = model_->absolute_path(row);
  if (path.isEmpty() || !services_.dialogs) return;
  if (!services_.dialogs->open_with_viewer(QFile::encodeName(path).toStdString())) {
    log("Could Not Display File... No System Association for File Type", 0);
    say(QStringLiteral("No program is set to show %1").arg(model_->entry(row)->name));
  }
}

void GalleryWindow::open_containing_folder() {
  const QString path = model_->absolute_path(grid_->currentIndex().row());
  if (path.isEmpty() || !services_.dialogs) return;
  const QString folder = QFileInfo(path).absolutePath();
  if (!services_.dialogs->open_with_viewer(QFile::encodeName(folder).toStdString()))
    say(QStringLiteral("No program is set to show folders"));
}

bool GalleryWindow::trash_current() {
  const std::vector<int> rows = chosen_rows();
  if (rows.empty() || !services_.dialogs) return false;
  const QString first = model_->entry(rows.front())->name;
  const std::string question =
      rows.size() == 1
          ? ("Move \"" + first + "\" to the Trash?\n\nIts name stays in FILENAMES.FNK, so it is not fetched again.")
                .toStdString()
          : ("Move " + QLocale().toString(static_cast<qlonglong>(rows.size())) +
             " pictures to the Trash?\n\nTheir names stay in FILENAMES.FNK, so they are not fetched again.")
                .toStdString();
  if (services_.dialogs->message_box(question, "Move to Trash", Icon::Question, Buttons::OkCancel) != Answer::Ok)
    return false;
  struct Pick {
    QString name, relative, absolute;
  };
  std::vector<Pick> picks;
  for (int row : rows)
    picks.push_back({model_->entry(row)->name, model_->relative_path(row), model_->absolute_path(row)});
  std::vector<Trashed> moved;
  QSet<QString> folders;
  for (const Pick& pick : picks) {
    const TrashResult result = move_to_trash(QFile::encodeName(pick.absolute).toStdString(),
                                             QFile::encodeName(services_.trash_dir).toStdString(), std::time(nullptr));
    if (!result.ok) {
      log("ERROR: Move To Trash " + pick.relative.toStdString() + ": " + result.error, 0);
      services_.dialogs->message_box(
          "Could not move \"" + pick.name.toStdString() + "\" to the Trash:\n" + result.error, "Move to Trash",
          Icon::Error, Buttons::Ok);
      break;  // what went so far can still be undone
    }
    log("Moved To Trash: " + pick.relative.toStdString(), 0);
    loader_->cache().forget(pick.absolute);
    moved.push_back({pick.absolute, QFile::decodeName(result.trashed_as.c_str())});
    folders.insert(QFileInfo(pick.relative).path());
  }
  if (moved.empty()) return false;
  // The next picture takes the place of those that went.
  const int next = rows.back() + 1 < model_->rowCount() ? rows.back() + 1 : rows.front() - 1;
  grid_->clearSelection();
  if (next >= 0) grid_->setCurrentIndex(model_->index(next));
  for (const QString& folder : folders) model_->rescan(folder);
  say(moved.size() == 1 ? QStringLiteral("%1 moved to the Trash (Ctrl+Z brings it back)").arg(picks.front().name)
                        : QStringLiteral("%1 pictures moved to the Trash (Ctrl+Z brings them back)")
                              .arg(QLocale().toString(static_cast<qlonglong>(moved.size()))));
  last_trashed_ = std::move(moved);
  return true;
}

bool GalleryWindow::undo_trash() {
  if (last_trashed_.empty()) {
    say(QStringLiteral("Nothing to bring back"));
    return false;
  }
  int back = 0, kept = 0;
  QSet<QString> folders;
  const QString root = QDir(services_.root).absolutePath() + QLatin1Char('/');
  for (const Trashed& t : last_trashed_) {
    const QString relative = t.original.startsWith(root) ? t.original.mid(root.size()) : t.original;
    // Never over a file that took the name meanwhile.
    if (QFileInfo::exists(t.original) || !QDir().mkpath(QFileInfo(t.original).path()) ||
        std::rename(QFile::encodeName(t.trashed_as).constData(), QFile::encodeName(t.original).constData()) != 0) {
      log("ERROR: Restore From Trash " + relative.toStdString(), 0);
      ++kept;
      continue;
    }
    const QString info = QFileInfo(t.trashed_as).dir().absoluteFilePath(QStringLiteral("../info/%1.trashinfo")
                                                                            .arg(QFileInfo(t.trashed_as).fileName()));
    QFile::remove(info);
    log("Restored From Trash: " + relative.toStdString(), 0);
    folders.insert(QFileInfo(relative).path());
    ++back;
  }
  last_trashed_.clear();
  for (const QString& folder : folders) model_->rescan(folder);
  QString text = back == 1 ? QStringLiteral("1 picture brought back from the Trash")
                           : QStringLiteral("%1 pictures brought back from the Trash").arg(QLocale().toString(back));
  if (kept > 0) text += QStringLiteral("; %1 left there (the name is taken)").arg(QLocale().toString(kept));
  say(text);
  return back > 0;
}

void GalleryWindow::blacklist_current_author() {
  if (!services_.dialogs) return;
  const std::string log_path = QFile::encodeName(services_.root + QStringLiteral("/files.log")).toStdString();
  std::vector<std::string> authors;
  std::set<std::string> seen;
  QString unnamed;
  for (int row : chosen_rows()) {
    const PictureModel::Entry* e = model_->entry(row);
    const auto author = files_log_author(log_path, QFile::encodeName(e->name).toStdString());
    if (!author || trim(*author).empty()) {
      if (unnamed.isEmpty()) unnamed = e->name;
      continue;
    }
    if (seen.insert(to_lower(trim(*author))).second) authors.push_back(*author);
  }
  if (authors.empty()) {
    if (!unnamed.isEmpty())
      services_.dialogs->message_box("files.log names no author for \"" + unnamed.toStdString() + "\".",
                                     "Blacklist Author", Icon::Information, Buttons::Ok);
    return;
  }
  QStringList done;
  for (const std::string& author : authors)
    if (services_.blacklist_author && services_.blacklist_author(author))
      done << QString::fromStdString(to_lower(trim(author)));
  if (!done.isEmpty()) say(QStringLiteral("Blacklisted %1").arg(done.join(QStringLiteral(", "))));
}

void GalleryWindow::show_context_menu(const QPoint& at) {
  const QModelIndex index = grid_->indexAt(at);
  if (!index.isValid()) return;
  // A click on one of the selected pictures acts on them all.
  if (!grid_->selectionModel()->isSelected(index)) grid_->setCurrentIndex(index);
  QMenu menu(this);
  menu.addAction(QStringLiteral("Open"), this, &GalleryWindow::open_current);
  menu.addAction(QStringLiteral("Open Containing Folder"), this, &GalleryWindow::open_containing_folder);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Move to Trash"), this, &GalleryWindow::trash_current);
  QAction* blacklist = menu.addAction(QStringLiteral("Blacklist Author"), this,
                                      &GalleryWindow::blacklist_current_author);
  blacklist->setEnabled(static_cast<bool>(services_.blacklist_author));
  menu.exec(grid_->viewport()->mapToGlobal(at));
}

void GalleryWindow::toggle_preview() {
  if (previewing()) {
    pages_->setCurrentWidget(grid_);
    if (previewed_.isValid()) grid_->setCurrentIndex(previewed_);
    grid_->setFocus();
    return;
  }
  if (!grid_->currentIndex().isValid()) return;
  previewed_ = grid_->currentIndex();
  pages_->setCurrentWidget(preview_);
  preview_->setFocus();
  load_preview();
}

void GalleryWindow::load_preview() {
  const int row = previewed_.row();
  const PictureModel::Entry* e = model_->entry(row);
  if (!e) return;
  const QString path = model_->absolute_path(row);
  preview_->show_picture(path, e->name, model_->index(row).data(Qt::DecorationRole).value<QPixmap>());
  loader_->request_preview(path, preview_->fit());
}

void GalleryWindow::step_preview(int delta) {
  const int row = previewed_.row() + delta;
  if (row < 0 || row >= model_->rowCount()) return;
  previewed_ = model_->index(row);
  grid_->setCurrentIndex(previewed_);
  load_preview();
}

bool GalleryWindow::eventFilter(QObject* watched, QEvent* event) {
  // A larger window deserves a sharper preview.
  if (watched == preview_ && event->type() == QEvent::Resize && previewing() && previewed_.isValid())
    load_preview();
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (watched == filter_) {
    if (key->key() == Qt::Key_Escape) {
      filter_->clear();
      grid_->setFocus();
      return true;
    }
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      grid_->setFocus();
      if (!grid_->currentIndex().isValid() && model_->rowCount() > 0) grid_->setCurrentIndex(model_->index(0));
      return true;
    }
    return false;
  }
  if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ShiftModifier && watched == grid_) {
    trash_spare_copies();
    return true;
  }
  if (!plain) return QWidget::eventFilter(watched, event);
  switch (key->key()) {
    case Qt::Key_Space: toggle_preview(); return true;
    case Qt::Key_Delete:
      if (watched == preview_) {
        grid_->setCurrentIndex(previewed_);
        if (trash_current()) {
          previewed_ = grid_->currentIndex();
          if (previewed_.isValid()) {
            load_preview();
          } else {
            toggle_preview();
          }
        }
      } else {
        trash_current();
      }
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (watched == preview_) grid_->setCurrentIndex(previewed_);
      open_current();
      return true;
    default: break;
  }
  if (watched == preview_) {
    switch (key->key()) {
      case Qt::Key_S: toggle_slideshow(); return true;
      case Qt::Key_Escape:
        slideshow_->stop();
        toggle_preview();
        return true;
      case Qt::Key_Left:
      case Qt::Key_Up: step_preview(-1); return true;
      case Qt::Key_Right:
      case Qt::Key_Down: step_preview(1); return true;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace fk
