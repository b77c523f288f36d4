// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The six pages of the setup sheet: which control edits which setting, and how values are checked.

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace fk {

// A value the page would not take: the message to show and the control that gets the focus.
struct Refusal {
  QString message;
  QWidget* control = nullptr;
};

// The refusal texts of the exchange.
QString integer_message();
QString positive_integer_message();
QString range_message(long long low, long long high);
QString length_message(int max);
// A password longer than this many bytes would not survive FENNICK.INI (98 Base64 characters).
inline constexpr int kPasswordMaxBytes = 73;
QString password_message();

class SetupPage : public QWidget {
  Q_OBJECT
 public:
  explicit SetupPage(const QString& caption, QWidget* parent = nullptr);
  const QString& caption() const { return caption_; }

  // Fills the controls from the settings (once per showing); the page is unmodified afterwards.
  void fill(const Settings& settings);
  bool filled() const { return filled_; }
  // Fills again only the controls of the named settings (their object names), leaving the others as
  // the user left them.
  void refill(const Settings& settings, const std::vector<std::string_view>& keys);
  // Takes the values in the page's exchange order, each into `settings` the moment it passes, and
  // stops at the first refused value, which it returns (the values after it are not taken).
  std::optional<Refusal> take(SharedSettings& settings);

  bool modified() const { return modified_; }
  void set_modified(bool modified);

 signals:
  void modified_changed(bool modified);

 protected:
  // One step of the exchange; returns a refusal or nothing.
  using Step = std::function<std::optional<Refusal>(SharedSettings&)>;
  // One step of filling the controls.
  using Fill = std::function<void(Settings&)>;
  enum class Case { AsTyped, Lower };

  // Binds a control to the setting `key` of the settings table: filled from it, taken into it with the
  // checks its row implies (kind, limits, length). The order of taking is set_exchange_order's, not the
  // order of binding.
  void bind(QCheckBox* box, std::string_view key);
  void bind(QLineEdit* edit, std::string_view key, Case text_case = Case::AsTyped);
  // The choice's index is the value.
  void bind(QComboBox* choice, std::string_view key);
  // Sets the exchange order: the controls in the order their values are taken.
  void set_exchange_order(std::vector<QWidget*> order);

  // Lays the page's content out beside the program icon at the top right.
  void set_content(QLayout* content);

 private:
  struct Binding {
    QWidget* control;
    Fill fill;
    Step take;
  };
  void bind_int(QLineEdit* edit, const SettingDef& def);
  void bind_uint(QLineEdit* edit, const SettingDef& def);
  void bind_text(QLineEdit* edit, const SettingDef& def, Case text_case);
  void watch(QCheckBox* box);
  void watch(QLineEdit* edit);
  void watch(QComboBox* choice);

  QString caption_;
  std::vector<Binding> bindings_;
  std::vector<QWidget*> order_;
  bool filled_ = false;
  bool filling_ = false;
  bool modified_ = false;
};

// "Connection": the COMM section.
class ConnectionPage : public SetupPage {
  Q_OBJECT
 public:
  explicit ConnectionPage(QWidget* parent = nullptr);

 private:
  // TLS is usually served on 563: moving between the usual ports follows the choice.
  void propose_port(int use_tls);
  void browse_ca_file();

  QLineEdit* port_;
  QLineEdit* tls_ca_file_;
};

// "Article Selection": the SELECTION section.
class ArticlePage : public SetupPage {
  Q_OBJECT
 public:
  explicit ArticlePage(QWidget* parent = nullptr);
};

// "Subject Selection": the SUBJECT section and DEFAULTS.
class SubjectPage : public SetupPage {
  Q_OBJECT
 public:
  explicit SubjectPage(QWidget* parent = nullptr);
  // Puts the three default filter texts into the fields (not into the settings).
  void set_default_filters();

 private:
  QLineEdit* filter1_;
  QLineEdit* filter2_;
  QLineEdit* filter3_;
};

// "Logging": the LOGGING section.
class LogPage : public SetupPage {
  Q_OBJECT
 public:
  explicit LogPage(QWidget* parent = nullptr);
};

// "Screen": the SCREEN section.
class ScreenPage : public SetupPage {
  Q_OBJECT
 public:
  explicit ScreenPage(QWidget* parent = nullptr);
};

// "Scheduler": the SCHEDULE section.
class SchedulePage : public SetupPage {
  Q_OBJECT
 public:
  explicit SchedulePage(QWidget* parent = nullptr);
};

}  // namespace fk
