// Benchmarks of the window offscreen: loading a million-record patch through
// the patch Select... handler until the grid shows it, and the whole-table and
// range commands over a million rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/qt_window.hpp"
#include "form/window_services.hpp"
#include "patch_generator.hpp"

using vips::app::StringGrid;
using vips::form::ControlId;

namespace {

constexpr int kRecords = 1'000'000;
constexpr std::uint64_t kSeed = 20240612;

// Every dialog answers with the path it was given; nothing is shown.
class SilentServices : public vips::form::WindowServices {
 public:
  void ShowMessage(const std::string& text) override { failure = text; }
  void ShowError(const std::string& text) override { failure = text; }
  void Beep() override {}
  void SetBusyCursor() override {}
  void SetNormalCursor() override {}
  [[nodiscard]] bool BusyCursorShown() const override { return false; }
  std::optional<std::string> OpenFile(const std::string&, const std::string&) override {
    return nextChoice;
  }

  std::string nextChoice;
  std::string failure;
};

class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vips-wbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// One window for the whole run, with the original file chosen.
struct Session {
  Scratch scratch;
  vips::bench::GeneratedCase files = vips::bench::WriteCase(scratch.Path(), 0, kRecords, kSeed);
  SilentServices* services = nullptr;
  std::unique_ptr<vips::app::QtWindow> form;

  Session() {
    auto owned = std::make_unique<SilentServices>();
    services = owned.get();
    form = std::make_unique<vips::app::QtWindow>(1033, std::move(owned));
    form->show();
    QApplication::processEvents();
    services->nextChoice = files.originalPath;
    form->Logic().ChooseOriginalFile();
  }

  // Loads the patch and waits until the grid has painted it.
  void Load() {
    services->nextChoice = files.patchPath;
    form->Logic().ChoosePatchFile();
    ShowTable();
    if (!services->failure.empty() ||
        form->Widget<StringGrid>(ControlId::Grid)->RowCount() != kRecords) {
      throw std::runtime_error("the generated patch did not load: " + services->failure);
    }
  }

  void ShowTable() {
    QApplication::processEvents();
    benchmark::DoNotOptimize(form->Widget<StringGrid>(ControlId::Grid)->viewport()->grab());
  }
};

// Made on first use and gone before the application object is.
std::unique_ptr<Session> theSession;

Session& TheSession() {
  if (!theSession) theSession = std::make_unique<Session>();
  return *theSession;
}

void BM_LoadThroughWindow(benchmark::State& state) {
  Session& session = TheSession();
  for (auto _ : state) session.Load();
  state.counters["records"] = kRecords;
  state.counters["patch_MiB"] = static_cast<double>(session.files.patchBytes) / (1024.0 * 1024.0);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_LoadThroughWindow)->Unit(benchmark::kMillisecond)->MinTime(3.0);

template <void (vips::form::WindowLogic::*Command)()>
void BM_WholeTableCommand(benchmark::State& state) {
  Session& session = TheSession();
  if (session.form->Widget<StringGrid>(ControlId::Grid)->RowCount() != kRecords) session.Load();
  for (auto _ : state) {
    (session.form->Logic().*Command)();
    session.ShowTable();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WholeTableCommand<&vips::form::WindowLogic::ExecuteAll>)
    ->Name("BM_ExecuteAll")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeTableCommand<&vips::form::WindowLogic::CancelAll>)
    ->Name("BM_CancelAll")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeTableCommand<&vips::form::WindowLogic::InvertAll>)
    ->Name("BM_Invert")
    ->Unit(benchmark::kMillisecond);

void BM_InvertRangeOfAllRows(benchmark::State& state) {
  Session& session = TheSession();
  if (session.form->Widget<StringGrid>(ControlId::Grid)->RowCount() != kRecords) session.Load();
  session.form->Widget<QLineEdit>(ControlId::InvertFrom)->setText("1");
  session.form->Widget<QLineEdit>(ControlId::InvertTo)->setText(QString::number(kRecords));
  for (auto _ : state) {
    session.form->Logic().InvertRange();
    session.ShowTable();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_InvertRangeOfAllRows)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  theSession.reset();
  return 0;
}
