#pragma once

// A window with recording services over files in a temporary folder, driven
// through its real widgets: the road of one patching as the user walks it.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/qt_window.hpp"
#include "support/ips.hpp"
#include "support/recording_services.hpp"
#include "support/temp_dir.hpp"

using vips::form::ControlId;

namespace vips::app::testing {

using form::testing::RecordingServices;

using form::testing::BigEndian;
using form::testing::DataRecord;
using form::testing::Ips;
using form::testing::PatchOfOneByteRecords;
using form::testing::RunRecord;

// Recording services that also let a test look at the window at the moment
// a box is shown, while the handler that shows it is still running.
class SessionServices : public RecordingServices {
 public:
  void ShowMessage(const std::string& text) override {
    RecordingServices::ShowMessage(text);
    if (whileBoxShown) whileBoxShown();
  }
  void ShowError(const std::string& text) override {
    RecordingServices::ShowError(text);
    if (whileBoxShown) whileBoxShown();
  }

  std::function<void()> whileBoxShown;
};

class PatchingSession {
 public:
  explicit PatchingSession(int localeId = 1033)
      : form(localeId, std::make_unique<SessionServices>()),
        services(static_cast<SessionServices&>(form.Services())) {
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
  }

  // Writes both files and walks steps 1 and 2 of the road: original file
  // chosen, patch chosen and listed.
  void Prepare(const std::string& originalBytes, const std::string& patchBytes,
               const std::string& originalName = "image.bin") {
    original = dir.Write(originalName, originalBytes);
    patch = dir.Write("change.ips", patchBytes);
    ChooseOriginal(original);
    ChoosePatch(patch);
  }

  // Clicks a Select... button; nothing as the choice cancels the dialog.
  void ChooseOriginal(std::optional<std::string> path) {
    services.QueueFileChoice(std::move(path));
    QTest::mouseClick(form.Widget<QPushButton>(ControlId::ChooseOriginal), Qt::LeftButton);
  }
  void ChoosePatch(std::optional<std::string> path) {
    services.QueueFileChoice(std::move(path));
    QTest::mouseClick(form.Widget<QPushButton>(ControlId::ChoosePatch), Qt::LeftButton);
  }

  void Go() { QTest::mouseClick(form.Widget<QPushButton>(ControlId::Go), Qt::LeftButton); }
  void Recover() {
    QTest::mouseClick(form.Widget<QPushButton>(ControlId::Recover), Qt::LeftButton);
  }

  // Clicks the check box when it is not in the wanted state already.
  static void SetChecked(QCheckBox* box, bool on) {
    if (box->isChecked() != on) QTest::mouseClick(box, Qt::LeftButton);
  }
  void SetBackupOption(bool on) { SetChecked(form.Widget<QCheckBox>(ControlId::BackupCheck), on); }
  void SetMessages(bool on) { SetChecked(form.Widget<QCheckBox>(ControlId::MessagesCheck), on); }

  // Events recorded from now on.
  void ForgetEvents() {
    services.events.clear();
    services.messages.clear();
    services.errors.clear();
    services.beeps = 0;
  }

  // What the services recorded, as lists the test framework prints.
  [[nodiscard]] static QStringList List(const std::vector<std::string>& texts) {
    QStringList out;
    for (const auto& text : texts) out << QString::fromStdString(text);
    return out;
  }
  [[nodiscard]] QStringList Events() const { return List(services.events); }
  [[nodiscard]] QStringList Messages() const { return List(services.messages); }
  [[nodiscard]] QStringList Errors() const { return List(services.errors); }

  [[nodiscard]] static QByteArray Bytes(const std::string& path) {
    const auto bytes = vips::testing::ReadAll(path);
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
  }
  [[nodiscard]] QString Status() const { return form.Widget<QLabel>(ControlId::Status)->text(); }
  [[nodiscard]] QString Cell(int column, int row) {
    return QString::fromStdString(form.Logic().Table().Cell(column, row));
  }
  [[nodiscard]] std::string Backup() const { return original + "_backup"; }

  vips::testing::TempDir dir;
  vips::app::QtWindow form;
  SessionServices& services;
  std::string original;
  std::string patch;
};

}  // namespace vips::app::testing
