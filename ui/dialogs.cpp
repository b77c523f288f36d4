// SPDX-License-Identifier: GPL-3.0-or-later
// The about box, the exit statistics dialog and the program icon.
#include "ui/dialogs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/lifecycle.h"

// The icons live in a static library: register them before the first use.
static void register_icon_resources() {
  Q_INIT_RESOURCE(fennick);
}

namespace fk {

QIcon program_icon() {
  static const bool registered = (register_icon_resources(), true);
  (void)registered;
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/fennick/fennick-%1.png").arg(size), QSize(size, size));
  return icon;
}

namespace {

QLabel* icon_label(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("programIcon"));
  label->setPixmap(program_icon().pixmap(48, 48));
  label->setAlignment(Qt::AlignCenter);
  return label;
}

QLabel* text(const QString& s, QWidget* parent) {
  auto* label = new QLabel(s, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(const QString& banner, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(QStringLiteral("About Fennick"));
  setWindowIcon(program_icon());

  auto* layout = new QVBoxLayout(this);
  const int gap = fontMetrics().height();
  layout->setContentsMargins(gap * 2, gap, gap * 2, gap);
  layout->setSpacing(gap / 2);
  layout->addWidget(icon_label(this));
  auto* line = text(banner, this);
  line->setObjectName(QStringLiteral("id1072"));
  line->setAlignment(Qt::AlignCenter);
  layout->addWidget(line);
  auto* note = text(QStringLiteral("Harvests pictures from Usenet news groups."), this);
  note->setAlignment(Qt::AlignCenter);
  layout->addWidget(note);
  auto* licence = text(QString::fromStdString(licence_lines()), this);
  licence->setObjectName(QStringLiteral("licence"));
  licence->setAlignment(Qt::AlignCenter);
  layout->addWidget(licence);
  layout->addSpacing(gap / 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("id1"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

ExitStatisticsDialog::ExitStatisticsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("exitStatisticsDialog"));
  setWindowTitle(QStringLiteral("Thankyou For Using \"Fennick\""));
  setWindowIcon(program_icon());

  auto field = [this](const char* id, const char* name) {
    auto* edit = new QLineEdit(QStringLiteral("0"), this);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setReadOnly(true);
    edit->setAccessibleName(QString::fromLatin1(name));
    edit->setAlignment(Qt::AlignRight);
    // Room for the largest 32-bit count.
    const int width = edit->fontMetrics().horizontalAdvance(QStringLiteral("4294967295")) +
                      edit->fontMetrics().averageCharWidth() * 2;
    edit->setFixedWidth(width);
    return edit;
  };
  sessions_ = field("id1003", "Download sessions");
  minutes_ = field("id1004", "Minutes of connect time");
  examined_ = field("id1005", "Articles checked");
  downloaded_ = field("id1006", "Articles downloaded");

  // The sentence runs around the four fields, one line of the template per row.
  auto row = [](std::initializer_list<QWidget*> parts) {
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    for (QWidget* w : parts) line->addWidget(w);
    line->addStretch(1);
    return line;
  };
  auto* sentence = new QVBoxLayout;
  sentence->addLayout(row({text(QStringLiteral("With this software you have conducted "), this), sessions_,
                           text(QStringLiteral("download sessions,"), this)}));
  sentence->addLayout(
      row({text(QStringLiteral("using "), this), minutes_,
           text(QStringLiteral("minutes of connect time. During this period, \"Fennick\""), this)}));
  sentence->addLayout(row({text(QStringLiteral("checked "), this), examined_,
                           text(QStringLiteral("articles and downloaded "), this), downloaded_,
                           text(QStringLiteral("articles that"), this)}));
  sentence->addLayout(row({text(QStringLiteral("matched your setup selections.  "), this)}));

  auto* body = new QHBoxLayout;
  auto* icon = icon_label(this);
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  body->addWidget(icon);
  body->addSpacing(8);
  body->addLayout(sentence, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("id1"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ExitStatisticsDialog::set_statistics(const ExitStatistics& stats) {
  sessions_->setText(QString::number(stats.sessions));
  minutes_->setText(QString::number(stats.minutes));
  examined_->setText(QString::number(stats.articles_examined));
  downloaded_->setText(QString::number(stats.articles_downloaded));
}

}  // namespace fk
