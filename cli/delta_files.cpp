#include "cli/delta_files.hpp"

#include <algorithm>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/usage_error.hpp"
#include "core/apply/delta_patch.hpp"
#include "core/delta/delta_decoder.hpp"
#include "core/delta/delta_errors.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/ips/hex_address.hpp"

namespace vips::cli {
namespace {

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

// The decoders' two texts for an original that is not the patch's: its
// CRC-32 or its size, each beginning with the name they were given.
bool IsWrongOriginal(const std::string& text, const std::string& originalName) {
  return StartsWith(text, "CRC-32 of " + originalName + " is ") ||
         StartsWith(text, originalName + " is ");
}

}  // namespace

PatchFormat FormatOfPatch(const std::string& path) {
  return AtPath(path, [&] { return PatchFormatOf(path); });
}

std::vector<std::uint8_t> ReadWholeFile(ExistingFile& file) {
  return AtPath(file.Path(), [&] {
    if (file.Length() > kMaxDeltaResultSize) {
      throw Error("The file is larger than 4 GiB, more than BPS and UPS patches are applied to");
    }
    return ReadFileStart(file, kMaxDeltaResultSize);
  });
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  return AtPath(path, [&] {
    ExistingFile file = ExistingFile::OpenForReading(path);
    std::vector<std::uint8_t> bytes = ReadWholeFile(file);
    file.Close();
    return bytes;
  });
}

std::vector<std::uint8_t> ReadWholeTakenBack(const std::string& path, std::ostream& err) {
  ExistingFile file = OpenTakenBack(path, err);
  std::vector<std::uint8_t> bytes = ReadWholeFile(file);
  AtPath(path, [&] { file.Close(); });
  return bytes;
}

void RequireOriginal(const std::string& patchPath, PatchFormat format,
                     const std::string& originalPath, const std::string& need) {
  if (!originalPath.empty()) return;
  throw UsageError(patchPath + " is a " + (format == PatchFormat::Bps ? "BPS" : "UPS") +
                   " patch: " + need);
}

DeltaResult DecodeDelta(const std::string& patchPath, std::span<const std::uint8_t> original,
                        const std::string& originalName) {
  const std::vector<std::uint8_t> patch = ReadWholeFile(patchPath);
  try {
    return DecodeDeltaBytes(patch, original, originalName);
  } catch (const Error& error) {
    const std::string text = error.what();
    // Limits of this program and of the machine, not faults of the patch.
    if (text == kDeltaOutOfMemory || text == kDeltaTooLarge) throw Error(text, patchPath);
    throw PatchRefused(
        text, patchPath,
        IsWrongOriginal(text, originalName) ? kExitChecksumMismatch : kExitDamagedPatch);
  }
}

DeltaSummary SummarizeOrRefuse(const std::string& path) {
  const std::vector<std::uint8_t> patch = ReadWholeFile(path);
  try {
    return SummarizeDelta(patch);
  } catch (const Error& error) {
    throw PatchRefused(error.what(), path, kExitDamagedPatch);
  }
}

std::vector<std::uint8_t> WithChosenStretches(std::span<const std::uint8_t> original,
                                              std::vector<std::uint8_t> result,
                                              const StretchList& stretches,
                                              const std::vector<bool>& chosen) {
  if (std::find(chosen.begin(), chosen.end(), false) == chosen.end()) return result;
  std::vector<std::uint8_t> bytes(original.begin(), original.end());
  for (std::size_t index = 0; index < stretches.stretches.size(); ++index) {
    if (!chosen[index]) continue;
    const Stretch& stretch = stretches.stretches[index];
    if (stretch.last >= bytes.size()) bytes.resize(static_cast<std::size_t>(stretch.last + 1));
    const std::span<const std::uint8_t> now = stretch.NewBytes(result);
    std::copy(now.begin(), now.end(), bytes.begin() + static_cast<std::ptrdiff_t>(stretch.first));
  }
  return bytes;
}

std::string StretchLine(std::size_t number, const Stretch& stretch) {
  return std::to_string(number) + '\t' + HexPositionText(stretch.first) + '\t' +
         HexPositionText(stretch.last) + "\tdata\t" + std::to_string(stretch.Length()) + '\n';
}

void NoteBackwards(std::ostream& err, const std::string& patchPath,
                   const std::string& originalName) {
  err << patchPath << ": " << originalName << " is the file this patch makes: it is applied "
      << "backwards, back to the file it was made from.\n";
}

}  // namespace vips::cli
