// SPDX-License-Identifier: GPL-3.0-or-later
// The setup sheet "Fennick Setup".
#include "ui/setup_sheet.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <iterator>

#include "app/first_start.h"
#include "session/view.h"
#include "store/scan_marks.h"
#include "store/settings.h"
#include "store/status_log.h"
#include "ui/dialog_kit.h"

namespace fk {

namespace {

std::string filters_of(const Settings& s) {
  return s.filter1 + '\n' + s.filter2 + '\n' + s.filter3;
}

void copy_setting(const SettingDef& def, const Settings& from, Settings& to) {
  if (def.is_text())
    def.text(to) = def.text(const_cast<Settings&>(from));  // the accessor only hands out the field
  else
    def.set_number(to, def.number(from));
}

}  // namespace

SetupSheet::SetupSheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log, QWidget* parent,
                       const Welcome* welcome)
    : QDialog(parent), settings_(settings), dialogs_(dialogs), log_(log), changed_(settings_table().size(), false) {
  setWindowTitle(QStringLiteral("Fennick Setup"));
  tabs_ = new QTabWidget(this);
  // All six captions in view: a scrolled tab row hides "Scheduler" behind an arrow.
  tabs_->setUsesScrollButtons(false);
  pages_ = {new ConnectionPage, new ArticlePage, new SubjectPage,
            new LogPage,        new ScreenPage,  new SchedulePage};
  for (SetupPage* p : pages_) {
    tabs_->addTab(p, p->caption());
    connect(p, &SetupPage::modified_changed, this, &SetupSheet::update_apply);
  }

  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Cancel"));
  apply_->setText(QStringLiteral("&Apply"));
  apply_->setToolTip(QStringLiteral("Nothing has been changed yet"));
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &SetupSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SetupSheet::reject);
  connect(apply_, &QPushButton::clicked, this, &SetupSheet::apply);

  auto* layout = new QVBoxLayout(this);
  if (welcome) layout->addWidget(make_welcome(*welcome));
  layout->addWidget(tabs_);
  layout->addWidget(buttons);

  filters_before_ = filters_of(settings_.get());
  show_page(0);
  connect(tabs_, &QTabWidget::currentChanged, this, &SetupSheet::on_tab_changed);
}

QWidget* SetupSheet::make_welcome(const Welcome& welcome) {
  auto* box = new QGroupBox(QStringLiteral("Welcome to Fennick"), this);
  box->setObjectName(QStringLiteral("welcome"));
  auto* folder = new QLabel(QStringLiteral("Working folder: %1").arg(welcome.working_folder), box);
  folder->setObjectName(QStringLiteral("workingFolder"));
  folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
  folder->setWordWrap(true);
  auto* ask = new QLabel(QStringLiteral("Enter your news server below. What kind of server is it?"), box);
  // The captions are the choices' own words; the letters only add the keyboard's way to them.
  auto* classic = new QRadioButton(QStringLiteral("Classic pacin&g"), box);
  classic->setObjectName(QStringLiteral("classicServer"));
  auto* modern = new QRadioButton(
      QStringLiteral("Mod&ern server (TLS on 563, fast transfers, incremental scans, multi-part sets)"), box);
  modern->setObjectName(QStringLiteral("modernServer"));
  const Settings now = settings_.get();
  modern->setChecked(!matches_server_kind(now, ServerKind::Classic));
  classic->setChecked(!modern->isChecked());
  connect(modern, &QRadioButton::toggled, this, &SetupSheet::choose_server_kind);
  auto* layout = new QVBoxLayout(box);
  layout->addWidget(folder);
  layout->addWidget(ask);
  layout->addWidget(modern);
  layout->addWidget(classic);
  return box;
}

void SetupSheet::choose_server_kind(bool modern) {
  settings_.update([modern](Settings& s) { apply_server_kind(s, modern ? ServerKind::Modern : ServerKind::Classic); });
  // The pages show what the choice set; a page not yet shown is filled when it is.
  const Settings now = settings_.get();
  const std::vector<std::string_view> keys(std::begin(kServerKindKeys), std::end(kServerKindKeys));
  for (SetupPage* p : pages_)
    if (p->filled()) p->refill(now, keys);
}

void SetupSheet::show_page(int index) {
  current_ = index;
  SetupPage* p = page(index);
  if (!p->filled()) p->fill(settings_.get());
}

bool SetupSheet::take_current() {
  Settings before = settings_.get();
  auto refusal = page(current_)->take(settings_);
  // Remember the first value of each setting the sheet changes, for Cancel; changes made elsewhere
  // meanwhile are no business of the sheet's.
  Settings after = settings_.get();
  const auto table = settings_table();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const SettingDef& def = table[i];
    if (changed_[i]) continue;
    if (def.is_text() ? def.text(before) != def.text(after) : def.number(before) != def.number(after)) {
      changed_[i] = true;
      copy_setting(def, before, opened_);
    }
  }
  if (!refusal) return true;
  log_.log_status(refusal->message.toStdString(), 0);
  dialogs_.message_box(refusal->message.toStdString(), "Fennick", Icon::Warning, Buttons::Ok);
  if (refusal->control) {
    refusal->control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(refusal->control)) edit->selectAll();
  }
  return false;
}

void SetupSheet::on_tab_changed(int index) {
  if (reverting_ || index == current_ || index < 0) return;
  // The tab widget has switched already; a refused value switches it straight back before anything paints.
  reverting_ = true;
  tabs_->setCurrentIndex(current_);
  reverting_ = false;
  if (!take_current()) return;
  reverting_ = true;
  tabs_->setCurrentIndex(index);
  reverting_ = false;
  show_page(index);
}

bool SetupSheet::select_page(int index) {
  if (index < 0 || index >= page_count()) return false;
  tabs_->setCurrentIndex(index);
  return current_ == index;
}

bool SetupSheet::apply() {
  if (!take_current()) return false;
  for (SetupPage* p : pages_) p->set_modified(false);
  return true;
}

void SetupSheet::accept() {
  if (!take_current()) return;
  offer_rescan();
  QDialog::accept();
}

void SetupSheet::offer_rescan() {
  const Settings now = settings_.get();
  if (!now.incremental_scan || filters_of(now) == filters_before_) return;
  filters_before_ = filters_of(now);
  ScanMarks marks;
  auto all = marks.all();
  if (all.empty()) return;
  if (dialogs_.message_box("The subject filters have changed.\nRescan every news group, so that articles "
                           "scanned before\nare looked at again with the new filters?",
                           "Fennick", Icon::Question, Buttons::YesNo) != Answer::Yes)
    return;
  std::vector<std::string> groups;
  for (const auto& entry : all) groups.push_back(entry.first);
  if (marks.forget(groups))
    log_.log_status("Scan marks forgotten for " + std::to_string(groups.size()) + " group(s)", 0);
  else
    log_.log_status(std::string("ERROR: File Write ") + kScanMarkFileName, 0);
}

void SetupSheet::reject() {
  settings_.update([this](Settings& s) {
    const auto table = settings_table();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (changed_[i]) copy_setting(table[i], opened_, s);
    }
  });
  QDialog::reject();
}

void SetupSheet::update_apply() {
  bool any = false;
  for (SetupPage* p : pages_) any = any || p->modified();
  apply_->setEnabled(any);
  apply_->setToolTip(any ? QStringLiteral("Use the changed values now")
                         : QStringLiteral("Nothing has been changed yet"));
}

bool run_setup_sheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log, QWidget* parent) {
  SetupSheet sheet(settings, dialogs, log, parent);
  kit::centre_on(sheet, parent);
  return sheet.exec() == QDialog::Accepted;
}

bool run_welcome_sheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log,
                       const SetupSheet::Welcome& welcome, QWidget* parent) {
  SetupSheet sheet(settings, dialogs, log, parent, &welcome);
  kit::centre_on(sheet, parent);
  return sheet.exec() == QDialog::Accepted;
}

}  // namespace fk
