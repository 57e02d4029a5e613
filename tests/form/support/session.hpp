#pragma once

// The road of one patching over real files in a temporary folder, driven
// through the logic's handlers as the view calls them.

#include <optional>
#include <string>

#include "support/fake_view.hpp"
#include "support/temp_dir.hpp"

namespace vips::form::testing {

struct Session : FakeWindow {
  explicit Session(int localeId = kEnglishLocale) : FakeWindow(localeId) {}

  // Writes both files and walks the first two steps: original file chosen,
  // patch chosen and listed.
  void Prepare(const std::string& originalBytes, const std::string& patchBytes) {
    original = dir.Write("image.bin", originalBytes);
    patch = dir.Write("change.ips", patchBytes);
    ChooseOriginal(original);
    ChoosePatch(patch);
  }
  // A Select... button's dialog confirmed with `path`, or cancelled.
  void ChooseOriginal(std::optional<std::string> path) {
    services.QueueFileChoice(std::move(path));
    form.ChooseOriginalFile();
  }
  void ChoosePatch(std::optional<std::string> path) {
    services.QueueFileChoice(std::move(path));
    form.ChoosePatchFile();
  }
  void Forget() { services.Forget(); }

  [[nodiscard]] std::string Bytes(const std::string& path) const {
    const auto bytes = vips::testing::ReadAll(path);
    return {bytes.begin(), bytes.end()};
  }
  [[nodiscard]] std::string Backup() const { return original + "_backup"; }
  [[nodiscard]] std::string Status() const { return Shown(ControlId::Status); }
  [[nodiscard]] std::string Marker(int row) const {
    return form.Table().Cell(PatchTable::kMarkerColumn, row);
  }

  vips::testing::TempDir dir;
  std::string original;
  std::string patch;
};

}  // namespace vips::form::testing
