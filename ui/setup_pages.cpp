// SPDX-License-Identifier: GPL-3.0-or-later
// The six pages of the setup sheet.
#include "ui/setup_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <memory>

#include "store/text.h"
#include "store/text_file.h"
#include "ui/dialog_kit.h"
#include "ui/qt_text.h"

namespace fk {

QString integer_message() {
  return QStringLiteral("Please enter an integer.");
}
QString positive_integer_message() {
  return QStringLiteral("Please enter a positive integer.");
}
QString range_message(long long low, long long high) {
  return QStringLiteral("Please enter an integer between %1 and %2.").arg(low).arg(high);
}
QString length_message(int max) {
  return QStringLiteral("Please enter no more than %1 characters.").arg(max);
}
QString password_message() {
  return QStringLiteral(
             "Please enter a password of no more than %1 characters (letters outside plain ASCII count as "
             "two or "
             "more). Longer passwords cannot be kept in the settings file.")
      .arg(kPasswordMaxBytes);
}

namespace {

// Optional blanks, an optional sign, digits, optional blanks; nothing else.
std::optional<long long> parse_number(const QString& text, bool allow_minus) {
  std::string s = text.toStdString();
  std::string_view v = s;
  while (!v.empty() && is_blank(v.front())) v.remove_prefix(1);
  while (!v.empty() && is_blank(v.back())) v.remove_suffix(1);
  bool negative = false;
  if (!v.empty() && (v.front() == '+' || (allow_minus && v.front() == '-'))) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  if (v.empty() || v.size() > 12) return std::nullopt;
  const LeadingNumber n = read_decimal(v, NumberForm::Digits);
  if (n.end != v.size()) return std::nullopt;
  const auto value = static_cast<long long>(n.magnitude);
  return negative ? -value : value;
}

// With a buddy, the label names its field for screen readers and its mnemonic moves the focus there.
QLabel* label(const QString& text, QWidget* parent, QWidget* buddy = nullptr) {
  auto* l = new QLabel(text, parent);
  if (buddy) l->setBuddy(buddy);
  return l;
}

QLineEdit* edit(const char* name, QWidget* parent, int width_dlu = 0) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromLatin1(name));
  if (width_dlu > 0) e->setFixedWidth(dialog_units_x(e->fontMetrics(), width_dlu) + 8);
  return e;
}

QCheckBox* check(const QString& text, const char* name, QWidget* parent) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(QString::fromLatin1(name));
  return c;
}

// A row of widgets from the left, the rest of the width left empty.
QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int indent = 0) {
  auto* r = new QHBoxLayout;
  if (indent > 0) r->addSpacing(indent);
  for (QWidget* w : widgets) r->addWidget(w);
  r->addStretch(1);
  return r;
}

}  // namespace

// ---- SetupPage ----

SetupPage::SetupPage(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {}

void SetupPage::set_content(QLayout* content) {
  auto* outer = new QHBoxLayout(this);
  outer->addLayout(content, 1);
  auto* icon_column = new QVBoxLayout;
  icon_column->addWidget(kit::program_icon_label(this));
  icon_column->addStretch(1);
  outer->addLayout(icon_column);
}

void SetupPage::fill(const Settings& settings) {
  Settings copy = settings;
  filling_ = true;
  for (auto& b : bindings_) b.fill(copy);
  filling_ = false;
  filled_ = true;
  set_modified(false);
}

void SetupPage::refill(const Settings& settings, const std::vector<std::string_view>& keys) {
  Settings copy = settings;
  filling_ = true;
  for (auto& b : bindings_) {
    const QString name = b.control->objectName();
    for (std::string_view key : keys)
      if (name == QLatin1String(key.data(), static_cast<qsizetype>(key.size()))) b.fill(copy);
  }
  filling_ = false;
}

std::optional<Refusal> SetupPage::take(SharedSettings& settings) {
  for (QWidget* control : order_) {
    auto it = std::find_if(bindings_.begin(), bindings_.end(),
                           [&](const Binding& b) { return b.control == control; });
    if (it == bindings_.end()) continue;
    if (auto refusal = it->take(settings)) return refusal;
  }
  return std::nullopt;
}

void SetupPage::set_modified(bool modified) {
  if (filling_ || modified == modified_) return;
  modified_ = modified;
  emit modified_changed(modified);
}

void SetupPage::watch(QCheckBox* box) {
  connect(box, &QCheckBox::clicked, this, [this] { set_modified(true); });
}

void SetupPage::watch(QLineEdit* edit) {
  connect(edit, &QLineEdit::textChanged, this, [this] { set_modified(true); });
}

void SetupPage::set_exchange_order(std::vector<QWidget*> order) {
  order_ = std::move(order);
}

void SetupPage::watch(QComboBox* choice) {
  connect(choice, &QComboBox::activated, this, [this] { set_modified(true); });
}

void SetupPage::bind(QCheckBox* box, std::string_view key) {
  const SettingDef& def = setting_def(key);
  watch(box);
  bindings_.push_back({box, [box, &def](Settings& s) { box->setChecked(def.number(s) != 0); },
                       [box, &def](SharedSettings& shared) -> std::optional<Refusal> {
                         std::int32_t v = box->isChecked() ? 1 : 0;
                         shared.update([&](Settings& s) { def.set_number(s, v); });
                         return std::nullopt;
                       }});
}

void SetupPage::bind(QComboBox* choice, std::string_view key) {
  const SettingDef& def = setting_def(key);
  watch(choice);
  bindings_.push_back({choice,
                       [choice, &def](Settings& s) {
                         // A value FENNICK.INI held that could not be read shows no choice at all, so
                         // that OK cannot quietly turn it into the first one.
                         const std::int64_t v = def.number(s);
                         choice->setCurrentIndex(v < def.low ? -1 : static_cast<int>(std::clamp<std::int64_t>(
                                                                        v, 0, choice->count() - 1)));
                       },
                       [choice, &def](SharedSettings& shared) -> std::optional<Refusal> {
                         const int v = choice->currentIndex();
                         if (v < 0) return Refusal{QStringLiteral("Please choose one of the choices."), choice};
                         shared.update([&](Settings& s) { def.set_number(s, v); });
                         return std::nullopt;
                       }});
}

void SetupPage::bind(QLineEdit* edit, std::string_view key, Case text_case) {
  const SettingDef& def = setting_def(key);
  switch (def.kind) {
    case SettingKind::Text:
    case SettingKind::Secret: bind_text(edit, def, text_case); break;
    case SettingKind::Unsigned: bind_uint(edit, def); break;
    case SettingKind::Flag:
    case SettingKind::Signed: bind_int(edit, def); break;
  }
}

void SetupPage::bind_int(QLineEdit* edit, const SettingDef& def) {
  watch(edit);
  bindings_.push_back({edit, [edit, &def](Settings& s) { edit->setText(QString::number(def.number(s))); },
                       [edit, &def](SharedSettings& shared) -> std::optional<Refusal> {
                         auto v = parse_number(edit->text(), true);
                         if (!v || *v < std::numeric_limits<std::int32_t>::min() ||
                             *v > std::numeric_limits<std::int32_t>::max())
                           return Refusal{integer_message(), edit};
                         if (*v < def.low || *v > def.high) return Refusal{range_message(def.low, def.high), edit};
                         shared.update([&](Settings& s) { def.set_number(s, *v); });
                         return std::nullopt;
                       }});
}

void SetupPage::bind_uint(QLineEdit* edit, const SettingDef& def) {
  watch(edit);
  bindings_.push_back({edit, [edit, &def](Settings& s) { edit->setText(QString::number(def.number(s))); },
                       [edit, &def](SharedSettings& shared) -> std::optional<Refusal> {
                         auto v = parse_number(edit->text(), false);
                         if (!v || *v > std::numeric_limits<std::uint32_t>::max())
                           return Refusal{positive_integer_message(), edit};
                         if (*v < def.low || *v > def.high) return Refusal{range_message(def.low, def.high), edit};
                         shared.update([&](Settings& s) { def.set_number(s, *v); });
                         return std::nullopt;
                       }});
}

void SetupPage::bind_text(QLineEdit* edit, const SettingDef& def, Case text_case) {
  watch(edit);
  const int max_length = def.edit_length;
  const bool password = def.kind == SettingKind::Secret;
  if (max_length >= 0) edit->setMaxLength(max_length);
  if (password) edit->setEchoMode(QLineEdit::Password);
  // Bytes that are not UTF-8 (an old Latin-1 password, say) are kept as they were unless edited.
  struct Shown {
    std::string bytes;
    QString text;
  };
  auto shown = std::make_shared<Shown>();
  auto field = def.text;
  bindings_.push_back({edit,
                       [edit, field, shown](Settings& s) {
                         shown->bytes = field(s);
                         shown->text = to_qstring(shown->bytes);
                         edit->setText(shown->text);
                       },
                       [edit, field, shown, max_length, text_case,
                        password](SharedSettings& shared) -> std::optional<Refusal> {
                         const QString text = edit->text();
                         if (max_length >= 0 && text.size() > max_length)
                           return Refusal{length_message(max_length), edit};
                         std::string bytes = text == shown->text ? shown->bytes : text.toStdString();
                         if (password && bytes.size() > static_cast<std::size_t>(kPasswordMaxBytes))
                           return Refusal{password_message(), edit};
                         if (text_case == Case::Lower) bytes = to_lower(bytes);
                         shared.update([&](Settings& s) { field(s) = bytes; });  // may run twice: copy, never move
                         return std::nullopt;
                       }});
}

// ---- Connection ----

ConnectionPage::ConnectionPage(QWidget* parent) : SetupPage(QStringLiteral("Connection"), parent) {
  auto* news_server = edit("news_server", this);
  port_ = edit("port", this, 40);
  auto* use_tls = new QComboBox(this);
  use_tls->setObjectName(QStringLiteral("use_tls"));
  use_tls->addItems({QStringLiteral("None"), QStringLiteral("TLS"), QStringLiteral("STARTTLS")});
  tls_ca_file_ = edit("tls_ca_file", this);
  tls_ca_file_->setPlaceholderText(QStringLiteral("the system's certificates only"));
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  browse->setObjectName(QStringLiteral("browse_ca_file"));
  browse->setAutoDefault(false);
  auto* tls_verify = check(QStringLiteral("&Verify the Server's Certificate"), "tls_verify", this);
  auto* auth_box = new QGroupBox(QStringLiteral("News Server Authorization (use only if required)"), this);
  auto* check_auth = check(QStringLiteral("&Required"), "check_auth", auth_box);
  auto* user = edit("user", auth_box, 60);
  auto* pass = edit("pass", auth_box, 60);
  auto* dialup_box = new QGroupBox(QStringLiteral("Dialup Connection Information"), this);
  auto* check_dialup = check(QStringLiteral("Use &Dialup Internet Connection"), "check_dialup", dialup_box);
  auto* isp_user = edit("isp_user", dialup_box, 60);
  auto* isp_pass = edit("isp_pass", dialup_box, 60);
  // Two "User" and two "Pass" labels: the names say which is which.
  user->setAccessibleName(QStringLiteral("News server user"));
  pass->setAccessibleName(QStringLiteral("News server password"));
  isp_user->setAccessibleName(QStringLiteral("Dial-up user"));
  isp_pass->setAccessibleName(QStringLiteral("Dial-up password"));
  auto* unattended = check(QStringLiteral("U&nattended Operation - Requires No Startup or Exit Inputs"),
                           "unattended_operation", this);
  auto* max_connecttime = edit("max_connecttime", this, 40);
  auto* fast_transfers = check(QStringLiteral("&Fast transfers (modern servers)"), "fast_transfers", this);
  auto* pipeline_depth = edit("pipeline_depth", this, 40);
  auto* use_compression = check(QStringLiteral("&Use compression when offered"), "use_compression", this);
  auto* connections = edit("connections", this, 40);
  connections->setEnabled(fast_transfers->isChecked());
  connect(fast_transfers, &QCheckBox::toggled, connections, &QWidget::setEnabled);
  // Compression is asked for only in fast mode.
  use_compression->setEnabled(fast_transfers->isChecked());
  connect(fast_transfers, &QCheckBox::toggled, use_compression, &QWidget::setEnabled);

  auto* server_rows = new QGridLayout;
  server_rows->addWidget(label(QStringLiteral("News &Server IP Address:"), this, news_server), 0, 0);
  server_rows->addWidget(news_server, 0, 1);
  server_rows->addWidget(label(QStringLiteral("&Port for Connection:"), this, port_), 1, 0);
  server_rows->addLayout(row({port_, label(QStringLiteral("Use T&LS:"), this, use_tls), use_tls, tls_verify}), 1, 1);
  server_rows->addWidget(label(QStringLiteral("Trusted Cer&tificates (CA File):"), this, tls_ca_file_), 2, 0);
  auto* ca_row = new QHBoxLayout;
  ca_row->addWidget(tls_ca_file_, 1);
  ca_row->addWidget(browse);
  server_rows->addLayout(ca_row, 2, 1);
  server_rows->setColumnStretch(1, 1);

  auto* auth = new QHBoxLayout(auth_box);
  auth->addWidget(check_auth);
  auth->addSpacing(8);
  auth->addWidget(label(QStringLiteral("User"), auth_box, user));
  auth->addWidget(user);
  auth->addSpacing(8);
  auth->addWidget(label(QStringLiteral("Pass"), auth_box, pass));
  auth->addWidget(pass);
  auth->addStretch(1);

  auto* dialup = new QGridLayout(dialup_box);
  dialup->addWidget(check_dialup, 0, 0, 1, 5);
  dialup->addWidget(label(QStringLiteral("User"), dialup_box, isp_user), 1, 1);
  dialup->addWidget(isp_user, 1, 2);
  dialup->addWidget(label(QStringLiteral("Pass"), dialup_box, isp_pass), 1, 3);
  dialup->addWidget(isp_pass, 1, 4);
  dialup->setColumnMinimumWidth(0, check_auth->sizeHint().width() + 8);
  dialup->setColumnStretch(5, 1);

  auto* content = new QVBoxLayout;
  content->addLayout(server_rows);
  content->addWidget(auth_box);
  content->addWidget(dialup_box);
  content->addWidget(unattended);
  content->addLayout(row({label(QStringLiteral("&Maximum Running Time"), this, max_connecttime), max_connecttime,
                          label(QStringLiteral("Minutes (0 means infinite time)"), this)}));
  content->addLayout(
      row({fast_transfers, label(QStringLiteral("Re&quests Ahead (1 to 64):"), this, pipeline_depth),
           pipeline_depth, use_compression}));
  content->addLayout(row({label(QStringLiteral("Connect&ions to the Server (1 to 50, with fast transfers):"), this,
                                connections),
                          connections}));
  content->addStretch(1);
  set_content(content);

  connect(use_tls, &QComboBox::activated, this, &ConnectionPage::propose_port);
  connect(browse, &QPushButton::clicked, this, &ConnectionPage::browse_ca_file);

  bind(news_server, "news_server");
  bind(port_, "port");
  bind(check_auth, "check_auth");
  bind(user, "user");
  bind(pass, "pass");
  bind(check_dialup, "check_dialup");
  bind(isp_user, "isp_user");
  bind(isp_pass, "isp_pass");
  bind(unattended, "unattended_operation");
  bind(max_connecttime, "max_connecttime");
  bind(use_tls, "use_tls");
  bind(tls_ca_file_, "tls_ca_file");
  bind(tls_verify, "tls_verify");
  bind(fast_transfers, "fast_transfers");
  bind(pipeline_depth, "pipeline_depth");
  bind(use_compression, "use_compression");
  bind(connections, "connections");
  set_exchange_order({check_auth, unattended, pass, news_server, user, max_connecttime, check_dialup,
                      isp_pass, isp_user, port_, use_tls, tls_ca_file_, tls_verify, fast_transfers,
                      pipeline_depth, use_compression, connections});
}

void ConnectionPage::propose_port(int use_tls) {
  const QString port = port_->text().trimmed();
  if (use_tls == Settings::kImplicitTls && port == QStringLiteral("119"))
    port_->setText(QStringLiteral("563"));
  else if (use_tls != Settings::kImplicitTls && port == QStringLiteral("563"))
    port_->setText(QStringLiteral("119"));
}

void ConnectionPage::browse_ca_file() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, QStringLiteral("Trusted Certificates"), tls_ca_file_->text(),
      QStringLiteral("Certificates (*.pem *.crt *.cer);;All Files (*)"));
  if (!chosen.isEmpty()) tls_ca_file_->setText(chosen);
}

// ---- Article Selection ----

ArticlePage::ArticlePage(QWidget* parent) : SetupPage(QStringLiteral("Article Selection"), parent) {
  auto* check_date = check(QStringLiteral("Articles &Must Be Less Than "), "check_date", this);
  auto* max_days = edit("max_days", this, 40);
  max_days->setAccessibleName(QStringLiteral("Maximum age in days"));
  max_days->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), max_days));
  auto* check_minlines = check(QStringLiteral("Article Must Contain At &Least"), "check_minlines", this);
  auto* minlines = edit("minlines", this, 40);
  minlines->setAccessibleName(QStringLiteral("Least number of lines"));
  auto* check_maxlines = check(QStringLiteral("Article Must Contain Less T&han"), "check_maxlines", this);
  auto* maxlines = edit("maxlines", this, 40);
  maxlines->setAccessibleName(QStringLiteral("Greatest number of lines"));
  auto* max_art_per_grp = edit("max_art_per_grp", this, 40);
  auto* incremental_scan =
      check(QStringLiteral("Scan Only Articles Not Scanned &Before"), "incremental_scan", this);
  auto* first_scan_articles = edit("first_scan_articles", this, 60);
  auto* collect_multipart =
      check(QStringLiteral("Collect &pictures posted in several parts"), "collect_multipart", this);

  auto* grid = new QGridLayout;
  grid->addWidget(check_date, 0, 0);
  grid->addWidget(max_days, 0, 1);
  grid->addWidget(label(QStringLiteral("Days Old"), this), 0, 2);
  grid->addWidget(check_minlines, 1, 0);
  grid->addWidget(minlines, 1, 1);
  grid->addWidget(label(QStringLiteral("Lines"), this), 1, 2);
  grid->addWidget(check_maxlines, 2, 0);
  grid->addWidget(maxlines, 2, 1);
  grid->addWidget(label(QStringLiteral("Lines"), this), 2, 2);
  grid->setColumnStretch(3, 1);
  grid->setHorizontalSpacing(10);

  const int indent = dialog_units_x(fontMetrics(), 15);
  auto* content = new QVBoxLayout;
  content->addSpacing(dialog_units_x(fontMetrics(), 20));
  auto* indented = new QHBoxLayout;
  indented->addSpacing(indent);
  indented->addLayout(grid, 1);
  content->addLayout(indented);
  content->addSpacing(6);
  content->addLayout(row({label(QStringLiteral("Download a Ma&ximum of "), this, max_art_per_grp),
                          max_art_per_grp, label(QStringLiteral("Articles Per News Group"), this)},
                         indent));
  content->addSpacing(6);
  content->addLayout(row({incremental_scan}, indent));
  content->addLayout(
      row({label(QStringLiteral("A Group's &First Scan Looks At Its Newest"), this, first_scan_articles),
           first_scan_articles, label(QStringLiteral("Articles (0 = All)"), this)},
          indent));
  content->addLayout(row({collect_multipart}, indent));
  content->addStretch(1);
  set_content(content);

  bind(check_date, "check_date");
  bind(max_days, "max_days");
  bind(check_minlines, "check_minlines");
  bind(minlines, "minlines");
  bind(check_maxlines, "check_maxlines");
  bind(maxlines, "maxlines");
  bind(max_art_per_grp, "max_art_per_grp");
  bind(incremental_scan, "incremental_scan");
  bind(first_scan_articles, "first_scan_articles");
  bind(collect_multipart, "collect_multipart");
  set_exchange_order({check_date, check_minlines, check_maxlines, max_days, maxlines, minlines, max_art_per_grp,
                      incremental_scan, first_scan_articles, collect_multipart});
}

// ---- Subject Selection ----

SubjectPage::SubjectPage(QWidget* parent) : SetupPage(QStringLiteral("Subject Selection"), parent) {
  filter1_ = edit("filter1", this, 200);
  filter2_ = edit("filter2", this, 200);
  filter3_ = edit("filter3", this, 170);
  filter1_->setAccessibleName(QStringLiteral("Subjects must include"));
  filter2_->setAccessibleName(QStringLiteral("Subjects must also include"));
  filter3_->setAccessibleName(QStringLiteral("Subjects must include none of"));
  auto* check_subject = check(QStringLiteral("&Enable Subject Search"), "check_subject", this);
  auto* defaults = new QPushButton(QStringLiteral("&DEFAULTS"), this);
  defaults->setObjectName(QStringLiteral("defaults"));
  defaults->setAutoDefault(false);

  auto* filters = new QGridLayout;
  filters->addWidget(label(QStringLiteral("Article &Subjects Must Include:"), this, filter1_), 0, 0, 1, 3);
  filters->addWidget(filter1_, 1, 0, 1, 2);
  filters->addWidget(label(QStringLiteral("AND"), this), 1, 2);
  filters->addWidget(filter2_, 2, 0, 1, 2);
  filters->addWidget(label(QStringLiteral("AND"), this), 2, 2);
  filters->addWidget(label(QStringLiteral("&None Of"), this, filter3_), 3, 0);
  filters->addWidget(filter3_, 3, 1, Qt::AlignRight);
  filters->setColumnStretch(3, 1);

  auto* help = new QVBoxLayout;
  help->setSpacing(0);
  for (const char* line :
       {"If this search is enabled, the keyword(s) or keyword(s)/wildcard(s)s listed ",
        "above must appear in the article subject title for the article to be considered",
        "for downloading. The token '|' is used to separate keyword strings",
        "The token '*' is used as a wildcard. The wildcard can only appear before", "or after the keyword.",
        "For example: the filter \"rec*|*.jpg*|*bytes\" would consider articles starting",
        "with 'rec', had the string '.jpg' in it, or ended with the word 'bytes'."})
    help->addWidget(label(QString::fromLatin1(line), this));
  auto* help_indent = new QHBoxLayout;
  help_indent->addSpacing(dialog_units_x(fontMetrics(), 5));
  help_indent->addLayout(help, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(check_subject);
  bottom->addStretch(1);
  bottom->addWidget(defaults);

  auto* content = new QVBoxLayout;
  content->addLayout(filters);
  content->addSpacing(4);
  content->addLayout(help_indent);
  content->addStretch(1);
  content->addLayout(bottom);
  set_content(content);

  connect(defaults, &QPushButton::clicked, this, &SubjectPage::set_default_filters);

  bind(check_subject, "check_subject");
  bind(filter1_, "filter1", Case::Lower);
  bind(filter2_, "filter2", Case::Lower);
  bind(filter3_, "filter3");
  set_exchange_order({check_subject, filter1_, filter2_, filter3_});
}

void SubjectPage::set_default_filters() {
  const Settings defaults;
  filter1_->setText(QString::fromStdString(defaults.filter1));
  filter2_->setText(QString::fromStdString(defaults.filter2));
  filter3_->setText(QString::fromStdString(defaults.filter3));
}

// ---- Logging ----

LogPage::LogPage(QWidget* parent) : SetupPage(QStringLiteral("Logging"), parent) {
  auto* status_box = new QGroupBox(QStringLiteral("Contents of  FK.LOG"), this);
  auto* status_logging =
      check(QStringLiteral("Enable &Logging of Fennick Status"), "status_logging_enabled", status_box);
  auto* detailed = check(QStringLiteral("Enable &Detailed Logging of Article Selection Status"),
                         "detailed_status_logging_enabled", status_box);
  auto* files_box = new QGroupBox(QStringLiteral("Contents of FILES.LOG"), this);
  auto* files_logging = check(QStringLiteral("&Enable Logging of 'filename, size, subject\""),
                              "files_logging_enabled", files_box);
  auto* buffers_box = new QGroupBox(QStringLiteral("Maximum Size of Internal Buffers"), this);
  auto* max_history = edit("max_history", buffers_box, 40);
  auto* max_filenames = edit("max_filenames", buffers_box, 40);
  auto* max_blacklist = edit("max_blacklist", buffers_box, 40);
  max_history->setAccessibleName(QStringLiteral("Article IDs kept"));
  max_filenames->setAccessibleName(QStringLiteral("Filenames kept"));
  max_blacklist->setAccessibleName(QStringLiteral("Blacklisted authors kept"));

  auto* status_layout = new QVBoxLayout(status_box);
  status_layout->addWidget(status_logging);
  status_layout->addWidget(detailed);
  auto* files_layout = new QVBoxLayout(files_box);
  files_layout->addWidget(files_logging);
  auto* buffers = new QGridLayout(buffers_box);
  // The three rows begin alike; the words after each field carry its mnemonic.
  buffers->addWidget(label(QStringLiteral("Keep History On The Last "), buffers_box, max_history), 0, 0);
  buffers->addWidget(max_history, 0, 1);
  buffers->addWidget(label(QStringLiteral("Article &ID,s"), buffers_box, max_history), 0, 2);
  buffers->addWidget(label(QStringLiteral("Keep History On The Last"), buffers_box, max_filenames), 1, 0);
  buffers->addWidget(max_filenames, 1, 1);
  buffers->addWidget(label(QStringLiteral("&Filenames"), buffers_box, max_filenames), 1, 2);
  buffers->addWidget(label(QStringLiteral("Keep History On The Last"), buffers_box, max_blacklist), 2, 0);
  buffers->addWidget(max_blacklist, 2, 1);
  buffers->addWidget(label(QStringLiteral("&Blacklisted Authors"), buffers_box, max_blacklist), 2, 2);
  buffers->setColumnStretch(3, 1);

  auto* content = new QVBoxLayout;
  content->addWidget(status_box);
  content->addWidget(files_box);
  content->addWidget(buffers_box);
  content->addStretch(1);
  set_content(content);

  bind(status_logging, "status_logging_enabled");
  bind(detailed, "detailed_status_logging_enabled");
  bind(files_logging, "files_logging_enabled");
  bind(max_history, "max_history");
  bind(max_filenames, "max_filenames");
  bind(max_blacklist, "max_blacklist");
  set_exchange_order({files_logging, status_logging, max_history, detailed, max_blacklist, max_filenames});
}

// ---- Screen ----

ScreenPage::ScreenPage(QWidget* parent) : SetupPage(QStringLiteral("Screen"), parent) {
  auto* taskbar_name = edit("taskbar_name", this, 140);
  auto* display = check(QStringLiteral("Display \"jpg and gif\" as Downloaded Using System &Viewer"),
                        "display_as_downloaded", this);
  auto* sound_on = check(QStringLiteral("Enable Progress and Error &Sounds"), "sound_on", this);
  auto* check_decode =
      check(QStringLiteral("&Decode Articles as Loaded (else save as file in original format)"),
            "check_decode", this);
  auto* notify =
      check(QStringLiteral("Notify the Desktop &When a Session Has Filed New Pictures"), "notify", this);

  // The browser view (fennick --headless serves it): its port, address and the token a browser needs.
  auto* web_box = new QGroupBox(QStringLiteral("Browser View (fennick --headless)"), this);
  auto* web_port = edit("web_port", web_box, 40);
  web_port->setPlaceholderText(QStringLiteral("0 = off"));
  auto* web_bind = edit("web_bind", web_box, 100);
  auto* web_token = edit("web_token", web_box);
  web_token->setReadOnly(true);
  auto* new_token = new QPushButton(QStringLiteral("&New token"), web_box);
  new_token->setObjectName(QStringLiteral("new_web_token"));
  new_token->setAutoDefault(false);
  new_token->setToolTip(QStringLiteral("Makes a new token; browsers logged in with the old one must log in again"));
  connect(new_token, &QPushButton::clicked, web_token, [web_token] {
    // 256 bits from the system's generator, as the headless program makes them.
    QString token;
    for (int i = 0; i < 8; ++i)
      token += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    web_token->setText(token);
  });
  auto* web_rows = new QGridLayout;
  web_rows->addWidget(label(QStringLiteral("Web view &port"), web_box, web_port), 0, 0);
  web_rows->addLayout(row({web_port}), 0, 1);
  web_rows->addWidget(label(QStringLiteral("Listen on Addr&ess"), web_box, web_bind), 1, 0);
  web_rows->addLayout(row({web_bind}), 1, 1);
  web_rows->addWidget(label(QStringLiteral("To&ken"), web_box, web_token), 2, 0);
  auto* token_row = new QHBoxLayout;
  token_row->addWidget(web_token, 1);
  token_row->addWidget(new_token);
  web_rows->addLayout(token_row, 2, 1);
  web_rows->setColumnStretch(1, 1);
  web_box->setLayout(web_rows);

  auto* content = new QVBoxLayout;
  content->addSpacing(dialog_units_x(fontMetrics(), 25));
  content->addLayout(row({label(QStringLiteral("&TaskBar Name"), this, taskbar_name), taskbar_name}));
  content->addSpacing(dialog_units_x(fontMetrics(), 25));
  content->addWidget(display);
  content->addWidget(sound_on);
  content->addWidget(check_decode);
  content->addWidget(notify);
  content->addSpacing(dialog_units_x(fontMetrics(), 10));
  content->addWidget(web_box);
  content->addStretch(1);
  set_content(content);

  bind(taskbar_name, "taskbar_name");
  bind(display, "display_as_downloaded");
  bind(sound_on, "sound_on");
  bind(check_decode, "check_decode");
  bind(notify, "notify");
  bind(web_port, "web_port");
  bind(web_bind, "web_bind");
  bind(web_token, "web_token");
  set_exchange_order({display, sound_on, check_decode, notify, taskbar_name, web_port, web_bind, web_token});
}

// ---- Scheduler ----

SchedulePage::SchedulePage(QWidget* parent) : SetupPage(QStringLiteral("Scheduler"), parent) {
  static constexpr const char* kDayCaptions[7] = {"S&un", "&Mon", "&Tue", "&Wed", "T&hu", "&Fri", "&Sat"};
  static constexpr const char* kDayKeys[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
  auto* box = new QGroupBox(QStringLiteral("Schedule A Scan of the News Groups On Every"), this);
  QCheckBox* days[7];
  for (int d = 0; d < 7; ++d) days[d] = check(QString::fromLatin1(kDayCaptions[d]), kDayKeys[d], box);
  auto* start_hour = edit("Start_Hour", box, 20);
  auto* start_min = edit("Start_Min", box, 20);
  auto* end_hour = edit("End_Hour", box, 20);
  auto* end_min = edit("End_Min", box, 20);
  start_hour->setAccessibleName(QStringLiteral("Starting hour"));
  start_min->setAccessibleName(QStringLiteral("Starting minute"));
  end_hour->setAccessibleName(QStringLiteral("Ending hour"));
  end_min->setAccessibleName(QStringLiteral("Ending minute"));

  auto* day_row = new QHBoxLayout;
  for (auto* d : days) day_row->addWidget(d);
  day_row->addStretch(1);
  auto* times = new QGridLayout;
  times->addWidget(label(QStringLiteral("Sta&rting At:"), box, start_hour), 0, 0);
  times->addWidget(start_hour, 0, 1);
  times->addWidget(label(QStringLiteral("hrs"), box), 0, 2);
  times->addWidget(start_min, 0, 3);
  times->addWidget(label(QStringLiteral("mins"), box), 0, 4);
  times->addWidget(label(QStringLiteral("&Ending At:"), box, end_hour), 1, 0);
  times->addWidget(end_hour, 1, 1);
  times->addWidget(label(QStringLiteral("hrs"), box), 1, 2);
  times->addWidget(end_min, 1, 3);
  times->addWidget(label(QStringLiteral("mins"), box), 1, 4);
  times->setColumnStretch(5, 1);
  auto* box_layout = new QVBoxLayout(box);
  box_layout->addLayout(day_row);
  box_layout->addLayout(times);

  const QString notes_prefix = QStringLiteral("Notes: ");
  auto* notes = new QGridLayout;
  notes->setVerticalSpacing(0);
  notes->setHorizontalSpacing(0);
  notes->addWidget(
      label(notes_prefix + QStringLiteral("- The maximum running time on the setup/connection page will be "),
            this),
      0, 0, 1, 2);
  int row_index = 1;
  for (const char* line : {"ignored if you are using this scheduling option.",
                           "- Times are entered as local times in 24hr format.",
                           "- To activate this scheduler service, you must enabled unattended",
                           "operation ( on the Connection tab ) and check at least 1 day above."})
    notes->addWidget(label(QString::fromLatin1(line), this), row_index++, 1);
  notes->setColumnMinimumWidth(0, fontMetrics().horizontalAdvance(notes_prefix));
  notes->setColumnStretch(1, 1);

  auto* content = new QVBoxLayout;
  content->addSpacing(dialog_units_x(fontMetrics(), 20));
  content->addWidget(box);
  content->addSpacing(4);
  content->addLayout(notes);
  content->addStretch(1);
  set_content(content);

  for (int d = 0; d < 7; ++d) bind(days[d], kDayKeys[d]);
  bind(start_hour, "Start_Hour");
  bind(start_min, "Start_Min");
  bind(end_hour, "End_Hour");
  bind(end_min, "End_Min");
  // Friday, Monday, Saturday, Sunday, Thursday, Tuesday, Wednesday, then the times.
  set_exchange_order({days[5], days[1], days[6], days[0], days[4], days[2], days[3], end_hour, end_min,
                      start_hour, start_min});
}

}  // namespace fk
